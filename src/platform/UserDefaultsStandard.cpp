// The standard user defaults of the current application home, and the seams through which tests
// replace or drop them.

#include "talvaren/platform/UserDefaults.hpp"

#include <mutex>

#include "platform/HomeFiles.hpp"
#include "platform/Seams.hpp"
#include "talvaren/platform/AppHome.hpp"

namespace talvaren::platform {
namespace {

struct StandardState {
  std::mutex mutex;
  std::shared_ptr<UserDefaults> instance;
  std::shared_ptr<UserDefaults> replacement;
};

StandardState& standardState() {
  static auto& state = *new StandardState();
  return state;
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  auto& state = standardState();
  std::lock_guard lock(state.mutex);
  if (state.replacement) return state.replacement;
  const auto file = detail::userDefaultsFile();
  // The same text is the same file: compared as text, not component by component.
  const auto* current = state.instance && state.instance->file() ? &*state.instance->file() : nullptr;
  if (!current || current->native() != file->native()) state.instance = std::make_shared<UserDefaults>(*file);
  return state.instance;
}

}  // namespace talvaren::platform

namespace talvaren::platform::detail {

void replaceStandardUserDefaults(std::shared_ptr<UserDefaults> defaults) {
  auto& state = standardState();
  std::lock_guard lock(state.mutex);
  state.replacement = std::move(defaults);
}

void resetStandardUserDefaults() {
  auto& state = standardState();
  std::lock_guard lock(state.mutex);
  state.replacement.reset();
  state.instance.reset();
}

}  // namespace talvaren::platform::detail
