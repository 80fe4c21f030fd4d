// The virtual-time executor of tests: one schedule for every queue, run on the thread that drives it.

#include "talvaren/testing/VirtualTime.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <vector>

#include "talvaren/platform/DispatchExecutor.hpp"
#include "talvaren/testing/Clock.hpp"

namespace talvaren::testkit {
namespace {

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max() / 4;

std::int64_t microsFor(double seconds) {
  if (!(seconds > 0)) return 0;
  double micros = std::round(seconds * 1e6);
  return micros >= static_cast<double>(kNever) ? kNever : static_cast<std::int64_t>(micros);
}

}  // namespace

struct VirtualTime::State : std::enable_shared_from_this<VirtualTime::State> {
  struct Entry {
    std::int64_t deadline;
    std::uint64_t sequence;
    std::shared_ptr<platform::detail::QueueCore> core;
    std::function<void()> work;
  };
  struct Later {
    bool operator()(const Entry& a, const Entry& b) const {
      return a.deadline != b.deadline ? a.deadline > b.deadline : a.sequence > b.sequence;
    }
  };

  mutable std::mutex mutex;
  std::condition_variable posted;
  std::atomic<std::int64_t> now{0};
  std::int64_t start = 0;
  std::vector<Entry> schedule;  // a heap ordered by `Later`
  std::uint64_t nextSequence = 0;
  bool closed = false;
  bool stopRequested = false;
  bool running = false;  // guards against a work item driving the executor from inside
  std::shared_ptr<platform::detail::QueueCore> main;

  void post(std::shared_ptr<platform::detail::QueueCore> core, double seconds, std::function<void()> work) {
    {
      std::lock_guard lock(mutex);
      if (closed) return;
      auto base = now.load();
      auto delay = microsFor(seconds);
      auto deadline = delay >= kNever - base ? kNever : base + delay;
      schedule.push_back(Entry{deadline, nextSequence++, std::move(core), std::move(work)});
      std::push_heap(schedule.begin(), schedule.end(), Later{});
    }
    posted.notify_all();
  }

  /// Runs the earliest item due no later than `limit`, first moving time to its deadline.
  bool step(std::int64_t limit);

  std::shared_ptr<platform::detail::QueueCore> makeCore(std::string label, bool isMain);
};

namespace {

class VirtualQueueCore final : public platform::detail::QueueCore {
 public:
  VirtualQueueCore(std::string label, bool isMain, std::weak_ptr<VirtualTime::State> state)
      : QueueCore(std::move(label), isMain), state_(std::move(state)) {}

  void enqueue(double delaySeconds, std::function<void()> work) override {
    if (auto state = state_.lock()) state->post(shared_from_this(), delaySeconds, std::move(work));
  }

  platform::detail::RunningQueue running;

 private:
  std::weak_ptr<VirtualTime::State> state_;
};

class VirtualExecutor final : public platform::DispatchExecutor {
 public:
  explicit VirtualExecutor(std::shared_ptr<VirtualTime::State> state) : state_(std::move(state)) {}

  std::shared_ptr<platform::detail::QueueCore> makeSerialQueue(std::string label) override {
    return state_->makeCore(std::move(label), false);
  }
  std::shared_ptr<platform::detail::QueueCore> mainQueue() override {
    std::lock_guard lock(state_->mutex);
    return state_->main;
  }
  void runMain() override {
    {
      std::lock_guard lock(state_->mutex);
      if (state_->stopRequested) {
        state_->stopRequested = false;
        return;
      }
    }
    while (state_->step(kNever)) {
      std::lock_guard lock(state_->mutex);
      if (state_->stopRequested) {
        state_->stopRequested = false;
        return;
      }
    }
  }
  void stopMain() override {
    std::lock_guard lock(state_->mutex);
    state_->stopRequested = true;
  }
  std::size_t drainMain() override {
    std::size_t count = 0;
    while (state_->step(state_->now.load())) ++count;
    return count;
  }

 private:
  std::shared_ptr<VirtualTime::State> state_;
};

}  // namespace

std::shared_ptr<platform::detail::QueueCore> VirtualTime::State::makeCore(std::string label, bool isMain) {
  auto core = std::make_shared<VirtualQueueCore>(label, isMain, weak_from_this());
  core->running = platform::detail::RunningQueue{core, std::move(label), isMain};
  return core;
}

bool VirtualTime::State::step(std::int64_t limit) {
  Entry entry;
  {
    std::lock_guard lock(mutex);
    if (running || schedule.empty() || schedule.front().deadline > limit) return false;
    std::pop_heap(schedule.begin(), schedule.end(), Later{});
    entry = std::move(schedule.back());
    schedule.pop_back();
    if (entry.deadline > now.load()) now.store(entry.deadline);
    running = true;
  }
  {
    // The queue stays alive until its item and everything the item captured are gone: a destructor
    // among those captures may still ask which queue runs.
    auto core = std::move(entry.core);
    platform::detail::RunningQueueScope scope(&static_cast<VirtualQueueCore*>(core.get())->running);
    platform::detail::runWorkItem(entry.work);
    entry.work = nullptr;
  }
  std::lock_guard lock(mutex);
  running = false;
  return true;
}

VirtualTime::VirtualTime(double startSecondsSince1970) : state_(std::make_shared<State>()) {
  auto start = std::isfinite(startSecondsSince1970) && std::fabs(startSecondsSince1970) < 1e12
                   ? static_cast<std::int64_t>(std::llround(startSecondsSince1970 * 1e6))
                   : std::int64_t{0};
  state_->start = start;
  state_->now.store(start);
  state_->main = state_->makeCore("main", true);
  executor_ = std::make_shared<VirtualExecutor>(state_);
  setDispatchExecutor(executor_);
  setClockSource([state = state_] { return static_cast<double>(state->now.load()) / 1e6; });
}

VirtualTime::~VirtualTime() {
  std::vector<State::Entry> dropped;
  std::shared_ptr<platform::detail::QueueCore> main;
  {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
    dropped.swap(state_->schedule);
    main.swap(state_->main);
  }
  if (platform::currentDispatchExecutor() == executor_) setDispatchExecutor(nullptr);
  resetClock();
}

double VirtualTime::now() const { return static_cast<double>(state_->now.load()) / 1e6; }

std::int64_t VirtualTime::nowMicroseconds() const { return state_->now.load(); }

double VirtualTime::elapsed() const { return static_cast<double>(state_->now.load() - state_->start) / 1e6; }

std::size_t VirtualTime::runReady() {
  std::size_t count = 0;
  while (state_->step(state_->now.load())) ++count;
  return count;
}

std::size_t VirtualTime::advance(double seconds) {
  auto base = state_->now.load();
  auto delta = microsFor(seconds);
  auto target = delta >= kNever - base ? kNever : base + delta;
  std::size_t count = 0;
  while (state_->step(target)) ++count;
  std::lock_guard lock(state_->mutex);
  if (!state_->running && state_->now.load() < target) state_->now.store(target);
  return count;
}

bool VirtualTime::advanceToNextDeadline() {
  std::int64_t deadline;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->schedule.empty()) return false;
    deadline = std::max(state_->schedule.front().deadline, state_->now.load());
  }
  while (state_->step(deadline)) {
  }
  return true;
}

bool VirtualTime::advanceUntil(const std::function<bool()>& done, double maxSeconds) {
  auto base = state_->now.load();
  auto delta = microsFor(maxSeconds);
  auto limit = delta >= kNever - base ? kNever : base + delta;
  if (done()) return true;
  while (state_->step(limit)) {
    if (done()) return true;
  }
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->running && state_->now.load() < limit) state_->now.store(limit);
  }
  return done();
}

bool VirtualTime::runUntilIdle(double maxSeconds) {
  auto base = state_->now.load();
  auto delta = microsFor(maxSeconds);
  auto limit = delta >= kNever - base ? kNever : base + delta;
  while (state_->step(limit)) {
  }
  return pendingCount() == 0;
}

bool VirtualTime::runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeout) {
  auto until = std::chrono::steady_clock::now() + realTimeout;
  for (;;) {
    while (state_->step(state_->now.load())) {
      if (done()) return true;
    }
    if (done()) return true;
    std::unique_lock lock(state_->mutex);
    auto hasReady = [&] {
      return !state_->schedule.empty() && state_->schedule.front().deadline <= state_->now.load();
    };
    if (!state_->posted.wait_until(lock, until, hasReady)) {
      lock.unlock();
      return done();
    }
  }
}

std::size_t VirtualTime::pendingCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->schedule.size();
}

std::optional<double> VirtualTime::nextDeadline() const {
  std::lock_guard lock(state_->mutex);
  if (state_->schedule.empty()) return std::nullopt;
  return static_cast<double>(state_->schedule.front().deadline) / 1e6;
}

std::shared_ptr<platform::DispatchExecutor> VirtualTime::executor() const { return executor_; }

}  // namespace talvaren::testkit
