#include "talvaren/platform/Date.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>

#include <date/date.h>

#include "platform/Seams.hpp"

namespace talvaren {
namespace {

struct ClockState {
  std::mutex mutex;
  std::function<double()> source;
};

ClockState& clockState() {
  static auto& state = *new ClockState();
  return state;
}

double systemNow() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

namespace platform {

double clockNow() {
  auto& state = clockState();
  std::function<double()> source;
  {
    std::lock_guard lock(state.mutex);
    source = state.source;
  }
  return source ? source() : systemNow();
}

void detail::setClockSource(std::function<double()> source) {
  auto& state = clockState();
  std::lock_guard lock(state.mutex);
  state.source = std::move(source);
}

Date::Date() : seconds_(clockNow()) {}

std::string Date::description() const {
  // Years beyond four digits cannot be shown in this form; pin to the representable range.
  constexpr double lowest = -62135596800.0;   // 0001-01-01 00:00:00
  constexpr double highest = 253402300799.0;  // 9999-12-31 23:59:59
  double s = std::floor(seconds_);
  if (std::isnan(s)) s = 0;
  if (s < lowest) s = lowest;
  if (s > highest) s = highest;
  auto whole = static_cast<long long>(s);
  long long days = whole / 86400;
  long long rest = whole % 86400;
  if (rest < 0) {
    rest += 86400;
    days -= 1;
  }
  date::year_month_day ymd{date::sys_days{date::days{days}}};
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02lld:%02lld:%02lld +0000", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), rest / 3600, (rest / 60) % 60,
                rest % 60);
  return buffer;
}

}  // namespace platform

}  // namespace talvaren
