#include "talvaren/platform/Dispatch.hpp"

#include <atomic>
#include <mutex>
#include <utility>

#include "platform/Seams.hpp"
#include "talvaren/platform/DispatchExecutor.hpp"

namespace talvaren::platform {
namespace detail {
namespace {
thread_local const RunningQueue* runningQueue = nullptr;
}

RunningQueueScope::RunningQueueScope(const RunningQueue* running) : previous_(runningQueue) {
  runningQueue = running;
}

RunningQueueScope::~RunningQueueScope() { runningQueue = previous_; }

void runWorkItem(std::function<void()>& work) noexcept {
  if (!work) return;
  try {
    work();
  } catch (...) {
    // A work item's failure stays inside it; the queue goes on with the next one.
  }
}

}  // namespace detail

namespace {

struct ExecutorSlot {
  std::mutex mutex;
  std::shared_ptr<DispatchExecutor> installed;
};

ExecutorSlot& executorSlot() {
  // Never destroyed: worker threads and late posts may still look here while the process exits.
  static auto* slot = new ExecutorSlot;
  return *slot;
}

std::shared_ptr<DispatchExecutor> defaultExecutor() {
  static auto* executor = new std::shared_ptr<DispatchExecutor>(std::make_shared<RealThreadExecutor>());
  return *executor;
}

}  // namespace

std::shared_ptr<DispatchExecutor> currentDispatchExecutor() {
  {
    auto& slot = executorSlot();
    std::lock_guard lock(slot.mutex);
    if (slot.installed) return slot.installed;
  }
  return defaultExecutor();
}

std::shared_ptr<DispatchExecutor> detail::exchangeDispatchExecutor(std::shared_ptr<DispatchExecutor> executor) {
  auto& slot = executorSlot();
  std::lock_guard lock(slot.mutex);
  return std::exchange(slot.installed, std::move(executor));
}

void runMainQueue() { currentDispatchExecutor()->runMain(); }
void stopMainQueue() { currentDispatchExecutor()->stopMain(); }
std::size_t drainMainQueue() { return currentDispatchExecutor()->drainMain(); }

const std::string& DispatchQueue::label() const { return core_->label(); }
bool DispatchQueue::isMain() const { return core_->isMain(); }

DispatchQueue::DispatchQueue(std::string label)
    : core_(currentDispatchExecutor()->makeSerialQueue(std::move(label))) {}

DispatchQueue DispatchQueue::main() { return DispatchQueue(currentDispatchExecutor()->mainQueue()); }

std::optional<DispatchQueue> DispatchQueue::current() {
  auto* running = detail::runningQueue;
  if (!running) return std::nullopt;
  if (auto core = running->core.lock()) return DispatchQueue(std::move(core));
  return std::nullopt;
}

std::optional<std::string> DispatchQueue::currentLabel() {
  auto* running = detail::runningQueue;
  if (!running) return std::nullopt;
  return running->label;
}

bool DispatchQueue::isMainQueueCurrent() {
  auto* running = detail::runningQueue;
  return running && running->isMain;
}

bool DispatchQueue::isCurrent() const {
  auto* running = detail::runningQueue;
  if (!running) return false;
  auto core = running->core.lock();
  return core == core_;
}

void DispatchQueue::async(std::function<void()> work) const { core_->enqueue(0, std::move(work)); }

void DispatchQueue::asyncAfter(double seconds, std::function<void()> work) const {
  core_->enqueue(seconds, std::move(work));
}

// Timer ------------------------------------------------------------------------------------------------

struct Timer::State {
  std::mutex mutex;
  bool valid = true;
  Action action;
};

Timer::Timer(double interval, Action action) : interval_(interval), state_(std::make_shared<State>()) {
  state_->action = std::move(action);
}

std::shared_ptr<Timer> Timer::scheduledTimer(double interval, Action action) {
  auto timer = std::make_shared<Timer>(interval, std::move(action));
  // The run loop keeps a scheduled timer alive until it fires, whoever else holds it.
  DispatchQueue::main().asyncAfter(interval, [timer] { timer->fire(); });
  return timer;
}

void Timer::fire() {
  Action action;
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->valid) return;
    state_->valid = false;
    action = std::move(state_->action);
    state_->action = nullptr;
  }
  detail::runWorkItem(action);
}

void Timer::invalidate() {
  Action dropped;
  {
    std::lock_guard lock(state_->mutex);
    state_->valid = false;
    dropped = std::move(state_->action);
    state_->action = nullptr;
  }
  // `dropped` (and whatever it captured) is released outside the lock.
}

bool Timer::isValid() const {
  std::lock_guard lock(state_->mutex);
  return state_->valid;
}

}  // namespace talvaren::platform
