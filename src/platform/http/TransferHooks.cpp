#include "TransferHooks.hpp"

#include <mutex>

namespace talvaren::platform::http::detail {
namespace {

struct Installed {
  std::mutex mutex;
  std::shared_ptr<TransferHooks> hooks;
};

Installed& installed() {
  // Never destroyed: the default session's transfer thread may still read it while the process exits.
  static Installed* const instance = new Installed;
  return *instance;
}

std::shared_ptr<TransferHooks> currentHooks() {
  auto& slot = installed();
  std::lock_guard lock(slot.mutex);
  return slot.hooks;
}

}  // namespace

void setTransferHooks(std::shared_ptr<TransferHooks> hooks) {
  auto& slot = installed();
  std::lock_guard lock(slot.mutex);
  slot.hooks = std::move(hooks);
}

std::optional<InjectedFault> injectedFault(const std::string& host) {
  const auto hooks = currentHooks();
  return hooks ? hooks->injectedFault(host) : std::nullopt;
}

std::vector<std::string> connectToEntries() {
  const auto hooks = currentHooks();
  return hooks ? hooks->connectToEntries() : std::vector<std::string>{};
}

void requestAboutToBeWritten(const std::string& host) {
  if (const auto hooks = currentHooks()) hooks->requestAboutToBeWritten(host);
}

}  // namespace talvaren::platform::http::detail
