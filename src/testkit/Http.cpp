#include "talvaren/testing/Http.hpp"

#include <cctype>
#include <cerrno>
#include <functional>
#include <map>
#include <mutex>

#include "platform/http/TransferHooks.hpp"
#include "talvaren/platform/http/HTTPCookie.hpp"

namespace talvaren::testkit {
namespace {

using platform::http::detail::InjectedFault;

std::string lowercase(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class Hooks final : public platform::http::detail::TransferHooks {
 public:
  std::optional<InjectedFault> injectedFault(const std::string& host) override {
    std::lock_guard lock(mutex);
    if (faults.empty()) return std::nullopt;
    auto it = faults.find(lowercase(host));
    if (it == faults.end()) return std::nullopt;
    switch (it->second) {
      case HttpTransportFault::hostNotFound:
        return InjectedFault{CURLE_COULDNT_RESOLVE_HOST, 0};
      case HttpTransportFault::timedOut:
        return InjectedFault{CURLE_OPERATION_TIMEDOUT, 0};
      case HttpTransportFault::cannotConnect:
        return InjectedFault{CURLE_COULDNT_CONNECT, ECONNREFUSED};
      case HttpTransportFault::connectionLost:
        return InjectedFault{CURLE_RECV_ERROR, ECONNRESET};
      case HttpTransportFault::notConnectedToInternet:
        return InjectedFault{CURLE_COULDNT_CONNECT, ENETUNREACH};
      case HttpTransportFault::secureConnectionFailed:
        return InjectedFault{CURLE_SSL_CONNECT_ERROR, 0};
    }
    return std::nullopt;
  }

  std::vector<std::string> connectToEntries() override {
    std::lock_guard lock(mutex);
    std::vector<std::string> entries;
    for (const auto& [host, target] : routes) entries.push_back(host + "::" + target);
    return entries;
  }

  void requestAboutToBeWritten(const std::string& host) override {
    std::function<void()> action;
    {
      std::lock_guard lock(mutex);
      if (lastMoment.empty()) return;
      auto it = lastMoment.find(lowercase(host));
      if (it == lastMoment.end()) return;
      action = it->second;
    }
    action();  // outside the lock: it may well call into the HTTP layer
  }

  std::mutex mutex;
  std::map<std::string, HttpTransportFault> faults;
  std::map<std::string, std::string> routes;
  std::map<std::string, std::function<void()>> lastMoment;
};

/// The one set of faults and routes, installed into the engine the first time a test uses it.
Hooks& hooks() {
  static const auto& instance = *new std::shared_ptr<Hooks>([] {
    auto made = std::make_shared<Hooks>();
    platform::http::detail::setTransferHooks(made);
    return made;
  }());
  return *instance;
}

}  // namespace

void injectHttpTransportFault(const std::string& host, HttpTransportFault fault) {
  auto& h = hooks();
  std::lock_guard lock(h.mutex);
  h.faults[lowercase(host)] = fault;
}

void routeHttpHost(const std::string& host, const std::string& address, int port) {
  auto& h = hooks();
  std::lock_guard lock(h.mutex);
  const bool v6 = address.find(':') != std::string::npos;
  h.routes[lowercase(host)] = (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

void beforeHttpRequestIsWritten(const std::string& host, std::function<void()> action) {
  auto& h = hooks();
  std::lock_guard lock(h.mutex);
  h.lastMoment[lowercase(host)] = std::move(action);
}

void clearHttpTestHooks() {
  auto& h = hooks();
  std::map<std::string, std::function<void()>> actions;  // released outside the lock
  std::lock_guard lock(h.mutex);
  h.faults.clear();
  h.routes.clear();
  actions.swap(h.lastMoment);
}

void resetHttpCookies() { platform::http::HTTPCookieStorage::shared()->removeAllCookies(); }

}  // namespace talvaren::testkit
