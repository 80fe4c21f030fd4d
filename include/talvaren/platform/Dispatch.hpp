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
// Executors
//   Queues are driven by the executor that is current when they are made (the main queue by the one
//   current when `DispatchQueue::main()` is asked). Two executors exist:
//   - `RealThreadExecutor`, the default: one worker thread per serial queue; the host runs the main
//     queue on a thread it owns, with the blocking `runMainQueue()` (until `stopMainQueue()`), or pumps
//     it with `drainMainQueue()`, which runs what is ready and returns. While `runMainQueue()` has
//     nothing to run, it also reads the replies of HTTP sessions (see platform/http/SessionManager.hpp).
//   - the virtual-time executor of tests (talvaren/testing/VirtualTime.hpp): every queue runs on the
//     test thread, time moves only when the test advances it, and the platform clock follows it.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace talvaren::platform {

class DispatchExecutor;

namespace detail {

/// The state behind one queue; each executor supplies its own kind.
class QueueCore : public std::enable_shared_from_this<QueueCore> {
 public:
  QueueCore(std::string label, bool isMain) : label_(std::move(label)), isMain_(isMain) {}
  virtual ~QueueCore() = default;
  QueueCore(const QueueCore&) = delete;
  QueueCore& operator=(const QueueCore&) = delete;

  const std::string& label() const { return label_; }
  bool isMain() const { return isMain_; }
  /// Queues `work` to run no earlier than `delaySeconds` from now (0 or less, NaN: as soon as possible).
  virtual void enqueue(double delaySeconds, std::function<void()> work) = 0;

 private:
  std::string label_;
  bool isMain_;
};

/// What executors record about the item that runs on the calling thread.
struct RunningQueue {
  std::weak_ptr<QueueCore> core;
  std::string label;
  bool isMain = false;
};

/// Executors mark the item they run with this for the length of its run; nesting is allowed.
class RunningQueueScope {
 public:
  explicit RunningQueueScope(const RunningQueue* running);
  ~RunningQueueScope();
  RunningQueueScope(const RunningQueueScope&) = delete;
  RunningQueueScope& operator=(const RunningQueueScope&) = delete;

 private:
  const RunningQueue* previous_;
};

/// Runs one work item, swallowing anything it throws.
void runWorkItem(std::function<void()>& work) noexcept;

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

  const std::string& label() const { return core_->label(); }
  bool isMain() const { return core_->isMain(); }
  /// True while an item of this queue runs on the calling thread.
  bool isCurrent() const;

  /// Runs `work` on this queue after the work already posted.
  void async(std::function<void()> work) const;
  /// Runs `work` on this queue no earlier than `seconds` from now (negative or NaN: at once).
  void asyncAfter(double seconds, std::function<void()> work) const;

  friend bool operator==(const DispatchQueue& a, const DispatchQueue& b) { return a.core_ == b.core_; }

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

/// What drives queues. Test code installs another through talvaren/testing/VirtualTime.hpp.
class DispatchExecutor {
 public:
  virtual ~DispatchExecutor() = default;
  virtual std::shared_ptr<detail::QueueCore> makeSerialQueue(std::string label) = 0;
  virtual std::shared_ptr<detail::QueueCore> mainQueue() = 0;

  /// Runs the main queue on the calling thread until `stopMain()` (real threads); on virtual time,
  /// runs all work, moving time forward, until `stopMain()` or until nothing is left.
  virtual void runMain() = 0;
  /// Makes a running `runMain()` return after the item it runs. Thread-safe. A stop requested
  /// while `runMain()` is not running makes the next call return at once.
  virtual void stopMain() = 0;
  /// Runs the main-queue work that is ready now, including what that work posts to the main queue
  /// and is ready at once, and returns the number of items run (virtual time: every queue's ready work).
  virtual std::size_t drainMain() = 0;
};

/// The default executor for hosts: a worker thread per serial queue, the main queue on the host's thread.
class RealThreadExecutor final : public DispatchExecutor {
 public:
  RealThreadExecutor();
  /// Stops every worker after the item it runs and joins them; work not yet run is dropped. When the
  /// last reference goes inside an item of one of its own workers, that worker ends by itself after
  /// the item instead of being joined.
  ~RealThreadExecutor() override;
  RealThreadExecutor(const RealThreadExecutor&) = delete;
  RealThreadExecutor& operator=(const RealThreadExecutor&) = delete;

  std::shared_ptr<detail::QueueCore> makeSerialQueue(std::string label) override;
  std::shared_ptr<detail::QueueCore> mainQueue() override;
  void runMain() override;
  void stopMain() override;
  std::size_t drainMain() override;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

/// The executor in force: the one a test installed, else the process-wide `RealThreadExecutor`.
std::shared_ptr<DispatchExecutor> currentDispatchExecutor();

/// Host entry points acting on the current executor's main queue (see `DispatchExecutor`).
inline void runMainQueue() { currentDispatchExecutor()->runMain(); }
inline void stopMainQueue() { currentDispatchExecutor()->stopMain(); }
inline std::size_t drainMainQueue() { return currentDispatchExecutor()->drainMain(); }

}  // namespace talvaren::platform
