// The real-thread executor: one worker thread per serial queue, one timer thread for delayed work, and a main queue
// that the host runs on a thread of its own.
//
// The main queue's runner sleeps on a condition variable, or, when main-loop sources are registered, in poll(2) on an
// eventfd of its own plus the sources' descriptors.

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "MainLoopSource.hpp"
#include "talvaren/platform/DispatchExecutor.hpp"

namespace talvaren::platform {
namespace detail {
namespace {

struct SourceRegistry {
  std::mutex mutex;
  std::vector<std::shared_ptr<MainLoopSource>> sources;
};

SourceRegistry& sourceRegistry() {
  // Never destroyed: sessions may unregister while the process exits.
  static auto* registry = new SourceRegistry;
  return *registry;
}

}  // namespace

void addMainLoopSource(std::shared_ptr<MainLoopSource> source) {
  if (!source) return;
  auto& registry = sourceRegistry();
  std::lock_guard lock(registry.mutex);
  registry.sources.push_back(std::move(source));
}

void removeMainLoopSource(const MainLoopSource* source) {
  auto& registry = sourceRegistry();
  std::lock_guard lock(registry.mutex);
  auto& sources = registry.sources;
  sources.erase(std::remove_if(sources.begin(), sources.end(), [&](const auto& s) { return s.get() == source; }),
                sources.end());
}

}  // namespace detail

namespace {

using SteadyClock = std::chrono::steady_clock;

/// The part of a queue that its worker thread (or the host running the main queue) shares with it.
struct Lane {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::function<void()>> items;
  bool closed = false;         // every handle is gone: finish the items, then end
  bool stopping = false;       // the executor shuts down: end after the current item
  bool stopRequested = false;  // main queue only: `runMain()` should return
  detail::RunningQueue running;
  // Main queue only: the runner sleeps in poll(2) on `wakeFd` (-1 when none could be made) instead of on `ready` while
  // `polling` is set.
  int wakeFd = -1;
  bool polling = false;

  ~Lane() {
    if (wakeFd >= 0) ::close(wakeFd);
  }

  void push(std::function<void()> work) {
    bool poke = false;
    {
      std::lock_guard lock(mutex);
      if (stopping) return;
      items.push_back(std::move(work));
      poke = polling;
    }
    if (poke) {
      wakePoller();
    } else {
      ready.notify_one();
    }
  }

  /// Wakes the runner after a change made under `mutex` while `polling` was set.
  void wakePoller() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
  }

  /// Wakes the runner however it sleeps; call after changing state under `mutex`.
  void wakeAll() {
    bool poke = false;
    {
      std::lock_guard lock(mutex);
      poke = polling;
    }
    if (poke) wakePoller();
    ready.notify_all();
  }
};

/// Sleeps the main-queue runner until its eventfd or a source's descriptor is readable, then clears `lane.polling` and
/// lets every source that waited act. Called with `lane.polling` set and `lane.mutex` not held.
void waitWithSources(Lane& lane, const std::vector<std::shared_ptr<detail::MainLoopSource>>& sources) {
  thread_local std::vector<pollfd> descriptors;
  thread_local std::vector<std::size_t> firsts;
  descriptors.clear();
  firsts.clear();
  descriptors.push_back(pollfd{lane.wakeFd, POLLIN, 0});
  for (const auto& source : sources) {
    firsts.push_back(descriptors.size());
    source->willWait(descriptors);
  }
  firsts.push_back(descriptors.size());
  if (::poll(descriptors.data(), descriptors.size(), -1) < 0) {
    for (auto& descriptor : descriptors) descriptor.revents = 0;  // interrupted: nothing is known to be ready
  }
  {
    // What the sources post from here on reaches the runner without waking it.
    std::lock_guard lock(lane.mutex);
    lane.polling = false;
  }
  if (descriptors[0].revents & POLLIN) {
    std::uint64_t value = 0;
    [[maybe_unused]] const auto read = ::read(lane.wakeFd, &value, sizeof value);
  }
  for (std::size_t i = 0; i < sources.size(); ++i) {
    sources[i]->didWait(descriptors.data() + firsts[i], firsts[i + 1] - firsts[i]);
  }
}

SteadyClock::duration delayFor(double seconds) {
  if (!(seconds > 0)) return SteadyClock::duration::zero();
  constexpr double longest = 100.0 * 365 * 86400;  // a century: far enough to mean never
  return std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(std::min(seconds, longest)));
}

}  // namespace

struct RealThreadExecutor::Impl : std::enable_shared_from_this<RealThreadExecutor::Impl> {
  struct Delayed {
    SteadyClock::time_point deadline;
    std::uint64_t sequence;
    std::shared_ptr<detail::QueueCore> core;
    std::function<void()> work;
  };
  struct Later {
    bool operator()(const Delayed& a, const Delayed& b) const {
      return a.deadline != b.deadline ? a.deadline > b.deadline : a.sequence > b.sequence;
    }
  };

  std::mutex mutex;
  std::condition_variable timerWake;
  std::vector<Delayed> delayed;  // a heap ordered by `Later`
  std::uint64_t nextSequence = 0;
  std::thread timerThread;
  bool shuttingDown = false;
  std::vector<std::pair<std::shared_ptr<Lane>, std::thread>> workers;
  std::shared_ptr<detail::QueueCore> main;
  std::shared_ptr<Lane> mainLane;

  void scheduleDelayed(std::shared_ptr<detail::QueueCore> core, double seconds, std::function<void()> work) {
    auto deadline = SteadyClock::now() + delayFor(seconds);
    {
      std::lock_guard lock(mutex);
      if (shuttingDown) return;
      delayed.push_back(Delayed{deadline, nextSequence++, std::move(core), std::move(work)});
      std::push_heap(delayed.begin(), delayed.end(), Later{});
      if (!timerThread.joinable()) timerThread = std::thread([self = shared_from_this()] { self->runTimers(); });
    }
    timerWake.notify_one();
  }

  void runTimers() {
    std::unique_lock lock(mutex);
    while (!shuttingDown) {
      if (delayed.empty()) {
        timerWake.wait(lock);
        continue;
      }
      auto deadline = delayed.front().deadline;
      if (SteadyClock::now() < deadline) {
        timerWake.wait_until(lock, deadline);
        continue;
      }
      std::pop_heap(delayed.begin(), delayed.end(), Later{});
      Delayed due = std::move(delayed.back());
      delayed.pop_back();
      lock.unlock();
      due.core->enqueue(0, std::move(due.work));
      due = Delayed{};  // may release the queue's last handle; done outside the lock
      lock.lock();
    }
  }

  /// A worker whose queue was released and emptied lets go of its thread: nothing waits for it, and what it still does
  /// (returning) touches nothing of the executor.
  void workerFinished(std::thread::id id) {
    std::lock_guard lock(mutex);
    for (auto it = workers.begin(); it != workers.end(); ++it) {
      if (it->second.get_id() == id) {
        it->second.detach();
        workers.erase(it);
        return;
      }
    }
  }

  static void runWorker(std::shared_ptr<Lane> lane, std::weak_ptr<Impl> executor) {
    for (;;) {
      std::function<void()> work;
      {
        std::unique_lock lock(lane->mutex);
        lane->ready.wait(lock, [&] { return lane->stopping || lane->closed || !lane->items.empty(); });
        if (lane->stopping || lane->items.empty()) break;
        work = std::move(lane->items.front());
        lane->items.pop_front();
      }
      auto alive = lane->running.core.lock();  // keeps `current()` answering during the item
      detail::RunningQueueScope scope(&lane->running);
      detail::runWorkItem(work);
      work = nullptr;
    }
    if (auto self = executor.lock()) self->workerFinished(std::this_thread::get_id());
  }
};

namespace {

class RealQueueCore final : public detail::QueueCore {
 public:
  RealQueueCore(std::string label, bool isMain, std::shared_ptr<Lane> lane,
                std::weak_ptr<RealThreadExecutor::Impl> executor)
      : QueueCore(std::move(label), isMain), lane_(std::move(lane)), executor_(std::move(executor)) {}

  ~RealQueueCore() override {
    {
      std::lock_guard lock(lane_->mutex);
      lane_->closed = true;
    }
    lane_->wakeAll();
  }

  void enqueue(double delaySeconds, std::function<void()> work) override {
    if (delaySeconds > 0) {
      if (auto executor = executor_.lock())
        executor->scheduleDelayed(shared_from_this(), delaySeconds, std::move(work));
      return;
    }
    lane_->push(std::move(work));
  }

 private:
  std::shared_ptr<Lane> lane_;
  std::weak_ptr<RealThreadExecutor::Impl> executor_;
};

}  // namespace

RealThreadExecutor::RealThreadExecutor() : impl_(std::make_shared<Impl>()) {
  impl_->mainLane = std::make_shared<Lane>();
  impl_->mainLane->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  auto main = std::make_shared<RealQueueCore>("main", true, impl_->mainLane, impl_);
  impl_->mainLane->running = detail::RunningQueue{main, "main", true};
  impl_->main = std::move(main);
}

RealThreadExecutor::~RealThreadExecutor() {
  std::vector<std::pair<std::shared_ptr<Lane>, std::thread>> workers;
  std::vector<Impl::Delayed> delayed;
  std::thread timerThread;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->shuttingDown = true;
    workers.swap(impl_->workers);
    delayed.swap(impl_->delayed);
    timerThread = std::move(impl_->timerThread);
  }
  impl_->timerWake.notify_all();
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(impl_->mainLane->mutex);
    impl_->mainLane->stopping = true;
    dropped.swap(impl_->mainLane->items);
  }
  impl_->mainLane->wakeAll();
  for (auto& [lane, thread] : workers) {
    {
      std::lock_guard lock(lane->mutex);
      lane->stopping = true;
    }
    lane->ready.notify_all();
  }
  for (auto& [lane, thread] : workers) {
    if (thread.get_id() == std::this_thread::get_id()) {
      // The last reference went with an item of this very worker: it ends by itself after the item.
      thread.detach();
      continue;
    }
    if (thread.joinable()) thread.join();
    std::lock_guard lock(lane->mutex);
    for (auto& item : lane->items) dropped.push_back(std::move(item));
    lane->items.clear();
  }
  if (timerThread.joinable()) timerThread.join();
  delayed.clear();
  dropped.clear();
  std::shared_ptr<detail::QueueCore> main;
  std::lock_guard lock(impl_->mutex);
  main.swap(impl_->main);
}

std::shared_ptr<detail::QueueCore> RealThreadExecutor::makeSerialQueue(std::string label) {
  auto lane = std::make_shared<Lane>();
  auto core = std::make_shared<RealQueueCore>(label, false, lane, impl_);
  lane->running = detail::RunningQueue{core, std::move(label), false};
  std::lock_guard lock(impl_->mutex);
  if (impl_->shuttingDown) {
    lane->stopping = true;
    return core;
  }
  impl_->workers.emplace_back(lane, std::thread(&Impl::runWorker, lane, std::weak_ptr<Impl>(impl_)));
  return core;
}

std::shared_ptr<detail::QueueCore> RealThreadExecutor::mainQueue() {
  std::lock_guard lock(impl_->mutex);
  return impl_->main;
}

void RealThreadExecutor::runMain() {
  auto lane = impl_->mainLane;
  std::vector<std::shared_ptr<detail::MainLoopSource>> sources;
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock lock(lane->mutex);
      while (!lane->stopping && !lane->stopRequested && lane->items.empty()) {
        {
          auto& registry = detail::sourceRegistry();
          std::lock_guard registryLock(registry.mutex);
          sources = registry.sources;
        }
        if (sources.empty() || lane->wakeFd < 0) {
          lane->ready.wait(lock);
          continue;
        }
        lane->polling = true;
        lock.unlock();
        waitWithSources(*lane, sources);
        sources.clear();
        lock.lock();
      }
      if (lane->stopRequested) {
        lane->stopRequested = false;
        return;
      }
      if (lane->stopping) return;
      work = std::move(lane->items.front());
      lane->items.pop_front();
    }
    detail::RunningQueueScope scope(&lane->running);
    detail::runWorkItem(work);
  }
}

void RealThreadExecutor::stopMain() {
  auto lane = impl_->mainLane;
  {
    std::lock_guard lock(lane->mutex);
    lane->stopRequested = true;
  }
  lane->wakeAll();
}

std::size_t RealThreadExecutor::drainMain() {
  auto lane = impl_->mainLane;
  std::size_t count = 0;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(lane->mutex);
      if (lane->items.empty() || lane->stopping) return count;
      work = std::move(lane->items.front());
      lane->items.pop_front();
    }
    detail::RunningQueueScope scope(&lane->running);
    detail::runWorkItem(work);
    ++count;
  }
}

}  // namespace talvaren::platform
