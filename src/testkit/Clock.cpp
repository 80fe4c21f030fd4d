#include "talvaren/testing/Clock.hpp"

#include <mutex>
#include <optional>

#include "platform/Seams.hpp"

namespace talvaren::testkit {
namespace {

struct FixedClock {
  std::mutex mutex;
  double seconds = 0;
};

FixedClock& fixedClock() {
  // Never destroyed: the clock source below may be read by a late thread while the process exits.
  static auto* clock = new FixedClock;
  return *clock;
}

}  // namespace

void fixClock(double secondsSince1970) {
  auto& clock = fixedClock();
  {
    std::lock_guard lock(clock.mutex);
    clock.seconds = secondsSince1970;
  }
  platform::detail::setClockSource([&clock] {
    std::lock_guard lock(clock.mutex);
    return clock.seconds;
  });
}

void advanceClock(double seconds) {
  auto& clock = fixedClock();
  std::lock_guard lock(clock.mutex);
  clock.seconds += seconds;
}

void setClockSource(std::function<double()> source) { platform::detail::setClockSource(std::move(source)); }

void resetClock() { platform::detail::setClockSource(nullptr); }

}  // namespace talvaren::testkit
