// The locale of date texts: the host's choice, else "en_US" (declared with the calendar in
// talvaren/platform/Calendar.hpp).

#include "talvaren/platform/Calendar.hpp"

#include <mutex>
#include <optional>
#include <string>

namespace talvaren::platform {
namespace {

struct LocaleState {
  std::mutex mutex;
  std::optional<Locale> chosen;
};

LocaleState& localeState() {
  static auto& state = *new LocaleState();
  return state;
}

}  // namespace

std::string Locale::languageCode() const {
  auto end = identifier_.find_first_of("_-@.");
  return identifier_.substr(0, end);
}

Locale Locale::current() {
  auto& state = localeState();
  std::lock_guard lock(state.mutex);
  return state.chosen.value_or(Locale("en_US"));
}

void Locale::setCurrent(const Locale& locale) {
  auto& state = localeState();
  std::lock_guard lock(state.mutex);
  state.chosen = locale;
}

void Locale::resetCurrent() {
  auto& state = localeState();
  std::lock_guard lock(state.mutex);
  state.chosen.reset();
}

}  // namespace talvaren::platform
