#pragma once
// Test-only: drive the platform clock that Date::now() reads.

#include <functional>

namespace talvaren::testkit {

/// Freezes the clock at `secondsSince1970` until advanced or reset.
void fixClock(double secondsSince1970);
/// Moves a fixed clock forward (or back, with a negative amount).
void advanceClock(double seconds);
/// Lets another source (such as a virtual-time executor) supply the time; an empty function resets.
void setClockSource(std::function<double()> source);
/// Back to the system's real-time clock.
void resetClock();

/// Fixes the clock for the lifetime of a scope and restores the real clock afterwards.
class ScopedFixedClock {
 public:
  explicit ScopedFixedClock(double secondsSince1970) { fixClock(secondsSince1970); }
  ~ScopedFixedClock() { resetClock(); }
  ScopedFixedClock(const ScopedFixedClock&) = delete;
  ScopedFixedClock& operator=(const ScopedFixedClock&) = delete;
};

}  // namespace talvaren::testkit
