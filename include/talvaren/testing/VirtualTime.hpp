#pragma once
// Test-only: a virtual-time dispatch executor.
//
//   testkit::VirtualTime time;              // installs itself; Date::now() now reads virtual time
//   platform::DispatchQueue q("bluetoothQueue");
//   q.asyncAfter(20, [] { ... });
//   time.advance(19.999);                   // nothing yet
//   time.advance(0.001);                    // the item runs, with Date::now() at its deadline
//
// Every queue made while it is installed (and the main queue) runs on the thread that drives it (the
// test thread). Nothing runs by itself: work runs only inside `runReady`, `advance`, `advanceUntil`,
// `runUntil`, `runUntilIdle` and `drainMain`. Due work runs in deadline order, ties in posting order,
// so a test gives the same trace every time. Time is kept in whole microseconds.
//
// Posting is thread-safe: real I/O threads (libcurl, a loopback server) may post to any of these queues;
// their work lands in the same schedule at the current virtual time, and `runUntil` waits (in real
// time) for it. Destroying the `VirtualTime` uninstalls it, drops work not yet run, and resets the
// clock; queues made under it then silently drop what is posted to them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/DispatchExecutor.hpp"

namespace talvaren::testkit {

class VirtualTime {
 public:
  /// Installs a virtual-time executor starting at `startSecondsSince1970` and points the platform
  /// clock at it. Only one may be installed at a time; destroying it brings back the real-thread executor.
  explicit VirtualTime(double startSecondsSince1970 = 1700000000.0);
  ~VirtualTime();
  VirtualTime(const VirtualTime&) = delete;
  VirtualTime& operator=(const VirtualTime&) = delete;

  /// Virtual seconds since 1970.
  double now() const;
  /// Virtual microseconds since 1970.
  std::int64_t nowMicroseconds() const;
  /// Virtual seconds since this executor was made.
  double elapsed() const;

  /// Runs all work due now, including what it posts for now; returns the number of items run.
  std::size_t runReady();
  /// Moves time forward by `seconds`, running each item at its deadline (the clock reads the deadline
  /// while it runs); ends at exactly now + seconds with nothing due left. Returns items run.
  std::size_t advance(double seconds);
  /// Moves time to the next deadline and runs what is due then; false when nothing is scheduled.
  bool advanceToNextDeadline();
  /// Runs due work and moves time deadline by deadline until `done()` holds (checked before anything
  /// runs and after each item) or `maxSeconds` of virtual time have passed; true when `done()` held.
  bool advanceUntil(const std::function<bool()>& done, double maxSeconds);
  /// Runs everything, moving time, until nothing is scheduled or `maxSeconds` of virtual time passed;
  /// true when nothing is left.
  bool runUntilIdle(double maxSeconds = 3600);
  /// For work from real threads: runs ready work and waits (in real time, without moving virtual time)
  /// for posts until `done()` holds or `realTimeout` passes; true when `done()` held.
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeout);

  /// Items scheduled and not yet run (on any queue, delayed ones included).
  std::size_t pendingCount() const;
  /// The earliest deadline scheduled, in seconds since 1970.
  std::optional<double> nextDeadline() const;

  std::shared_ptr<platform::DispatchExecutor> executor() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::shared_ptr<platform::DispatchExecutor> executor_;
};

/// Installs `executor` as the current one (an empty pointer restores the default real-thread one).
void setDispatchExecutor(std::shared_ptr<platform::DispatchExecutor> executor);

}  // namespace talvaren::testkit
