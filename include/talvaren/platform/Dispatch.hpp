#pragma once
// Dispatch: serial queues, the main queue, delayed work and one-shot timers.
//
// Every piece of the kit that needs a thread, a delay or a timer goes through this header, so the same
// code runs on real threads in a host and on virtual time in tests.
//
// Queues
//   DispatchQueue q("bluetoothQueue");        // a new serial queue with that label
//   q.async([] { ... });                      // runs soon, in posting order, one item at a time
//   q.asyncAfter(3.0, [] { ... });            // runs no earlier than 3 s from now
//   DispatchQueue::main().async(...);         // the main queue, run by the host (see below)
//   DispatchQueue::currentLabel();            // "bluetoothQueue" while an item of q runs
//
//   A `DispatchQueue` is a cheap, copyable, thread-safe handle; copies name the same queue. Work on one
//   queue never overlaps and runs in the order it was posted; delayed work runs in deadline order, ties
//   in posting order. Work posted to a queue runs even after every handle to it is gone (a released
//   queue finishes what it was given, delayed work included). An exception thrown by a work item is
//   caught and dropped, never crossing the queue.
//
// Timers
//   auto timer = Timer::scheduledTimer(20, [] { ... });   // one-shot, fires on the main queue
//   timer->invalidate();                                   // from any thread; the action never runs
//
// The main queue
//   In a host, every serial queue has its own worker thread and the main queue runs on a thread the
//   host owns: the blocking `runMainQueue()` (until `stopMainQueue()`), or `drainMainQueue()`, which runs
//   what is ready and returns. While `runMainQueue()` has nothing to run, it also reads the replies of
//   HTTP sessions (see platform/http/SessionManager.hpp). Tests drive every queue on virtual time
//   instead (talvaren/testing/VirtualTime.hpp); the executors behind both live in
//   talvaren/platform/DispatchExecutor.hpp.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace talvaren::platform {

namespace detail {
/// The state behind one queue; each executor supplies its own kind (talvaren/platform/DispatchExecutor.hpp).
class QueueCore;
}  // namespace detail

/// A serial dispatch queue (or the main queue). See the top of this header.
class DispatchQueue {
 public:
  /// A new serial queue with the given label, driven by the current executor.
  explicit DispatchQueue(std::string label);

  /// The main queue of the current executor.
  static DispatchQueue main();
  /// The queue whose work item runs on the calling thread, if any (absent on a host thread outside
  /// any queue, or when that queue has been released while its last items still run).
  static std::optional<DispatchQueue> current();
  /// The label of the queue whose item runs on the calling thread; absent outside any queue.
  /// The main queue's label is "main".
  static std::optional<std::string> currentLabel();
  /// True while an item of the main queue runs on the calling thread.
  static bool isMainQueueCurrent();

  const std::string& label() const;
  bool isMain() const;
  /// True while an item of this queue runs on the calling thread.
  bool isCurrent() const;

  /// Runs `work` on this queue after the work already posted.
  void async(std::function<void()> work) const;
  /// Runs `work` on this queue no earlier than `seconds` from now (negative or NaN: at once).
  void asyncAfter(double seconds, std::function<void()> work) const;

  friend bool operator==(const DispatchQueue& a, const DispatchQueue& b) { return a.core_ == b.core_; }

  /// For executors (talvaren/platform/DispatchExecutor.hpp): the queue behind a state.
  explicit DispatchQueue(std::shared_ptr<detail::QueueCore> core) : core_(std::move(core)) {}
  const std::shared_ptr<detail::QueueCore>& core() const { return core_; }

 private:
  std::shared_ptr<detail::QueueCore> core_;
};

/// A one-shot timer on the main queue (the main run loop). Thread-safe.
class Timer : public std::enable_shared_from_this<Timer> {
 public:
  using Action = std::function<void()>;

  /// Schedules `action` to run once on the main queue `interval` seconds from now.
  static std::shared_ptr<Timer> scheduledTimer(double interval, Action action);

  /// Stops the timer: its action will not run (unless it is running already). Idempotent.
  void invalidate();
  /// True until the timer fired or was invalidated.
  bool isValid() const;
  double timeInterval() const { return interval_; }

  Timer(double interval, Action action);
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

 private:
  void fire();

  double interval_;
  struct State;
  std::shared_ptr<State> state_;
};

/// Host entry points acting on the current executor's main queue: `runMainQueue()` runs it on the
/// calling thread until `stopMainQueue()` (thread-safe; a stop asked while it is not running makes the
/// next run return at once); `drainMainQueue()` runs the main-queue work that is ready now, including
/// what that work posts for now, and returns the number of items run.
void runMainQueue();
void stopMainQueue();
std::size_t drainMainQueue();

}  // namespace talvaren::platform
