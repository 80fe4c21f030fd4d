#pragma once
// The machinery behind dispatch queues: queue states, the executors that drive them, and the record
// of the item running on a thread. Hosts need none of it (talvaren/platform/Dispatch.hpp is their
// interface); the kit's dispatch code builds on it, and so does the virtual-time executor of the
// testkit, installed through talvaren/testing/VirtualTime.hpp.
//
// Queues are driven by the executor that is current when they are made (the main queue by the one
// current when `DispatchQueue::main()` is asked). Two executors exist:
// - `RealThreadExecutor`, the default: one worker thread per serial queue; the main queue runs on the
//   host's thread inside `runMainQueue()` or `drainMainQueue()`.
// - the virtual-time executor of tests (talvaren/testing/VirtualTime.hpp): every queue runs on the
//   test thread, time moves only when the test advances it, and the platform clock follows it.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "talvaren/platform/Dispatch.hpp"

namespace talvaren::platform {

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

}  // namespace talvaren::platform
