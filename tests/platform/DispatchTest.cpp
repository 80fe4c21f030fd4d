#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;
using platform::DispatchQueue;
using platform::Timer;

namespace {

std::string at(const testkit::VirtualTime& time, const std::string& what) {
  return std::to_string(time.nowMicroseconds() - 1700000000000000) + " " + what + " on " +
         DispatchQueue::currentLabel().value_or("-");
}

/// A small scenario mixing queues, delays, timers and re-posting; returns what ran, where and when.
std::vector<std::string> scenarioTrace() {
  testkit::VirtualTime time;
  std::vector<std::string> trace;
  DispatchQueue ble("bluetoothQueue");
  auto watchdog = Timer::scheduledTimer(20, [&] { trace.push_back(at(time, "watchdog")); });
  auto cancelled = Timer::scheduledTimer(5, [&] { trace.push_back(at(time, "cancelled")); });
  ble.async([&] {
    trace.push_back(at(time, "connect"));
    DispatchQueue::main().asyncAfter(2.5, [&] {
      trace.push_back(at(time, "planned disconnect"));
      cancelled->invalidate();
    });
    ble.asyncAfter(3, [&] { trace.push_back(at(time, "history end")); });
  });
  ble.asyncAfter(0.000001, [&] { trace.push_back(at(time, "one microsecond")); });
  time.advance(30);
  return trace;
}

}  // namespace

TEST(DispatchVirtualTest, RunsInDeadlineOrderWithTiesInPostingOrder) {
  testkit::VirtualTime time;
  std::vector<std::string> order;
  DispatchQueue a("a");
  DispatchQueue b("b");
  a.asyncAfter(2, [&] { order.push_back("a2"); });
  b.asyncAfter(1, [&] { order.push_back("b1"); });
  a.asyncAfter(1, [&] { order.push_back("a1"); });
  b.async([&] { order.push_back("b0"); });
  a.async([&] {
    order.push_back("a0");
    b.async([&] { order.push_back("b0-posted-by-a0"); });
  });
  a.asyncAfter(-5, [&] { order.push_back("negative delay runs now"); });

  EXPECT_TRUE(order.empty()) << "nothing runs before the test drives the executor";
  EXPECT_EQ(time.pendingCount(), 6u);
  EXPECT_EQ(time.runReady(), 4u);
  EXPECT_EQ(order, (std::vector<std::string>{"b0", "a0", "negative delay runs now", "b0-posted-by-a0"}));
  EXPECT_EQ(time.nextDeadline(), 1700000001.0);
  time.advance(5);
  EXPECT_EQ(order.size(), 7u);
  EXPECT_EQ(order[4], "b1");
  EXPECT_EQ(order[5], "a1");
  EXPECT_EQ(order[6], "a2");
  EXPECT_EQ(time.elapsed(), 5.0);
  EXPECT_FALSE(time.nextDeadline());
}

TEST(DispatchVirtualTest, ClockReadsTheDeadlineOfTheRunningItem) {
  testkit::VirtualTime time(1000);
  EXPECT_EQ(Date::now().timeIntervalSince1970(), 1000.0);
  std::vector<double> seen;
  DispatchQueue q("q");
  q.asyncAfter(1.5, [&] { seen.push_back(Date::now().timeIntervalSince1970()); });
  q.asyncAfter(0.25, [&] { seen.push_back(Date::now().timeIntervalSince1970()); });
  time.advance(10);
  EXPECT_EQ(seen, (std::vector<double>{1000.25, 1001.5}));
  EXPECT_EQ(Date::now().timeIntervalSince1970(), 1010.0);
}

TEST(DispatchVirtualTest, ClockGoesBackToRealTimeWhenUninstalled) {
  {
    testkit::VirtualTime time(5);
    EXPECT_EQ(Date::now().timeIntervalSince1970(), 5.0);
  }
  EXPECT_GT(Date::now().timeIntervalSince1970(), 1.6e9);
}

namespace {

/// Times the calling thread gave up the processor by itself (a sleep, a wait, a blocking call) so far;
/// being preempted on a busy machine does not count.
long voluntarySwitches() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

}  // namespace

TEST(DispatchVirtualTest, TwentySecondWatchdogFiresWithoutWaiting) {
  // Twice: the first pass touches the code and memory it needs, so that the second measures only the
  // waiting itself.
  for (int pass = 0; pass < 2; ++pass) {
    testkit::VirtualTime time;
    bool fired = false;
    const auto started = std::chrono::steady_clock::now();
    const long switchesBefore = voluntarySwitches();
    auto watchdog = Timer::scheduledTimer(20, [&] {
      EXPECT_TRUE(DispatchQueue::isMainQueueCurrent());
      fired = true;
    });
    time.advance(19.999999);
    EXPECT_FALSE(fired);
    EXPECT_TRUE(watchdog->isValid());
    time.advance(0.000001);
    const long switches = voluntarySwitches() - switchesBefore;
    const auto spent = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(fired);
    EXPECT_FALSE(watchdog->isValid());
    EXPECT_EQ(time.elapsed(), 20.0);
    if (pass == 0) continue;
    EXPECT_EQ(switches, 0) << "the thread slept or waited while virtual time moved";
    // However busy the machine, far from the twenty seconds a real wait would take.
    EXPECT_LT(spent, std::chrono::seconds(5));
  }
}

TEST(DispatchVirtualTest, SameScenarioGivesTheSameTrace) {
  auto first = scenarioTrace();
  auto second = scenarioTrace();
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, (std::vector<std::string>{
                       "0 connect on bluetoothQueue",
                       "1 one microsecond on bluetoothQueue",
                       "2500000 planned disconnect on main",
                       "3000000 history end on bluetoothQueue",
                       "20000000 watchdog on main",
                   }));
}

TEST(DispatchVirtualTest, TimersFireOnceAndInvalidationHolds) {
  testkit::VirtualTime time;
  int first = 0;
  int second = 0;
  auto a = Timer::scheduledTimer(20, [&] { ++first; });
  auto b = Timer::scheduledTimer(20, [&] { ++second; });
  EXPECT_EQ(a->timeInterval(), 20.0);
  b->invalidate();
  b->invalidate();
  EXPECT_FALSE(b->isValid());
  a.reset();  // the main run loop keeps a scheduled timer alive
  time.advance(100);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
}

TEST(DispatchVirtualTest, CurrentQueueIsKnownOnlyWhileItsWorkRuns) {
  testkit::VirtualTime time;
  DispatchQueue ble("bluetoothQueue");
  DispatchQueue other("other");
  EXPECT_FALSE(DispatchQueue::currentLabel());
  EXPECT_FALSE(DispatchQueue::current());
  bool checked = false;
  ble.async([&] {
    EXPECT_EQ(DispatchQueue::currentLabel(), "bluetoothQueue");
    EXPECT_TRUE(ble.isCurrent());
    EXPECT_FALSE(other.isCurrent());
    EXPECT_FALSE(DispatchQueue::isMainQueueCurrent());
    ASSERT_TRUE(DispatchQueue::current());
    EXPECT_TRUE(*DispatchQueue::current() == ble);
    checked = true;
  });
  DispatchQueue::main().async([&] { EXPECT_EQ(DispatchQueue::currentLabel(), "main"); });
  time.runReady();
  EXPECT_TRUE(checked);
  EXPECT_TRUE(DispatchQueue::main() == DispatchQueue::main());
}

TEST(DispatchVirtualTest, ThrowingWorkDoesNotStopTheQueue) {
  testkit::VirtualTime time;
  DispatchQueue q("q");
  bool after = false;
  q.async([] { throw std::runtime_error("boom"); });
  q.async([&] { after = true; });
  EXPECT_EQ(time.runReady(), 2u);
  EXPECT_TRUE(after);
}

TEST(DispatchVirtualTest, AdvanceUntilStopsAtTheItemThatSatisfies) {
  testkit::VirtualTime time;
  DispatchQueue q("q");
  int ticks = 0;
  std::function<void()> tick = [&] {
    ++ticks;
    q.asyncAfter(1, tick);
  };
  q.asyncAfter(1, tick);
  EXPECT_TRUE(time.advanceUntil([&] { return ticks == 3; }, 60));
  EXPECT_EQ(time.elapsed(), 3.0);
  EXPECT_FALSE(time.advanceUntil([] { return false; }, 2.5));
  EXPECT_EQ(time.elapsed(), 5.5);
  EXPECT_EQ(ticks, 5);
  EXPECT_FALSE(time.runUntilIdle(10)) << "a ticking source never goes idle";
  EXPECT_TRUE(time.advanceToNextDeadline());
}

TEST(DispatchVirtualTest, RunUntilIdleAndNestedDriving) {
  testkit::VirtualTime time;
  DispatchQueue q("q");
  std::size_t nested = 99;
  q.asyncAfter(4, [&] { nested = time.runReady(); });
  q.asyncAfter(4, [] {});
  EXPECT_TRUE(time.runUntilIdle());
  EXPECT_EQ(nested, 0u) << "work cannot drive the executor from inside";
  EXPECT_EQ(time.elapsed(), 4.0);
  EXPECT_FALSE(time.advanceToNextDeadline());
}

TEST(DispatchVirtualTest, RealThreadsPostIntoTheInbox) {
  testkit::VirtualTime time;
  DispatchQueue q("completions");
  std::vector<int> got;
  std::thread io([q] {
    for (int i = 0; i < 50; ++i) q.async([] {});
  });
  std::thread io2([q, &got] { q.async([&got] { got.push_back(1); }); });
  EXPECT_TRUE(time.runUntil([&] { return !got.empty(); }, std::chrono::seconds(5)));
  io.join();
  io2.join();
  time.runReady();
  EXPECT_EQ(time.pendingCount(), 0u);
  EXPECT_EQ(time.elapsed(), 0.0) << "waiting for real threads does not move virtual time";
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(time.runUntil([] { return false; }, std::chrono::milliseconds(20)));
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(20));
}

TEST(DispatchVirtualTest, HostEntryPointsWorkOnVirtualTime) {
  testkit::VirtualTime time;
  std::vector<int> order;
  DispatchQueue::main().async([&] { order.push_back(1); });
  DispatchQueue::main().asyncAfter(1, [&] { order.push_back(2); });
  EXPECT_EQ(platform::drainMainQueue(), 1u);
  DispatchQueue::main().asyncAfter(2, [&] {
    order.push_back(3);
    platform::stopMainQueue();
  });
  DispatchQueue::main().asyncAfter(9, [&] { order.push_back(4); });
  platform::runMainQueue();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(time.elapsed(), 2.0);
}

TEST(DispatchVirtualTest, CapturesOfAReleasedQueueGoWhileTheQueueIsStillCurrent) {
  testkit::VirtualTime time;
  struct Witness {
    std::vector<std::string>* seen;
    explicit Witness(std::vector<std::string>* s) : seen(s) {}
    ~Witness() {
      auto current = DispatchQueue::current();
      seen->push_back(DispatchQueue::currentLabel().value_or("-") + (current ? " current" : " gone"));
    }
  };
  std::vector<std::string> seen;
  {
    DispatchQueue q("short-lived");
    q.async([witness = std::make_shared<Witness>(&seen)] {});
  }  // the item holds the last reference to its queue
  time.runReady();
  EXPECT_EQ(seen, (std::vector<std::string>{"short-lived current"}));
}

TEST(DispatchVirtualTest, QueuesOutliveTheirExecutorQuietly) {
  std::optional<DispatchQueue> kept;
  bool ran = false;
  {
    testkit::VirtualTime time;
    kept.emplace("late");
    kept->asyncAfter(1, [&] { ran = true; });
  }
  kept->async([&] { ran = true; });
  EXPECT_FALSE(ran);
}

// Real threads --------------------------------------------------------------------------------------

namespace {

/// Waits (really) until `done` holds, pumping nothing.
template <typename Predicate>
bool waitFor(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace

TEST(DispatchThreadsTest, SerialQueueRunsInOrderOnItsOwnThread) {
  auto executor = std::make_shared<platform::RealThreadExecutor>();
  testkit::setDispatchExecutor(executor);
  std::mutex mutex;
  std::vector<int> order;
  std::atomic<int> overlapping{0};
  std::atomic<bool> overlapped{false};
  std::thread::id worker;
  {
    DispatchQueue q("bluetoothQueue");
    for (int i = 0; i < 200; ++i) {
      q.async([&, i] {
        if (overlapping.fetch_add(1) != 0) overlapped = true;
        std::lock_guard lock(mutex);
        if (i == 0) worker = std::this_thread::get_id();
        EXPECT_EQ(DispatchQueue::currentLabel(), "bluetoothQueue");
        EXPECT_EQ(worker, std::this_thread::get_id());
        order.push_back(i);
        overlapping.fetch_sub(1);
      });
    }
  }  // released: the queue still finishes what it was given
  EXPECT_TRUE(waitFor([&] {
    std::lock_guard lock(mutex);
    return order.size() == 200;
  }));
  std::lock_guard lock(mutex);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(overlapped);
  EXPECT_NE(worker, std::this_thread::get_id());
  testkit::setDispatchExecutor(nullptr);
}

TEST(DispatchThreadsTest, HostRunsTheMainQueueAndTimersFireThere) {
  auto executor = std::make_shared<platform::RealThreadExecutor>();
  testkit::setDispatchExecutor(executor);
  DispatchQueue ble("bluetoothQueue");
  std::vector<std::string> seen;  // touched only on the main queue
  std::atomic<bool> invalidated{false};
  auto dead = Timer::scheduledTimer(0.001, [&] { seen.push_back("invalidated timer"); });
  auto started = std::chrono::steady_clock::now();
  ble.async([&, dead] {
    dead->invalidate();  // from another thread than the one that will run the timer
    DispatchQueue::main().async([&] { seen.push_back("hop " + DispatchQueue::currentLabel().value_or("-")); });
    Timer::scheduledTimer(0.03, [&] {
      seen.push_back("timer");
      platform::stopMainQueue();
    });
    invalidated = true;
  });
  while (!invalidated) std::this_thread::yield();
  platform::runMainQueue();
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(25));
  EXPECT_EQ(seen, (std::vector<std::string>{"hop main", "timer"}));
  testkit::setDispatchExecutor(nullptr);
}

TEST(DispatchThreadsTest, DrainRunsWhatIsReadyAndDelayedWorkArrivesLater) {
  auto executor = std::make_shared<platform::RealThreadExecutor>();
  testkit::setDispatchExecutor(executor);
  int ran = 0;
  DispatchQueue::main().async([&] {
    ++ran;
    DispatchQueue::main().async([&] { ++ran; });
  });
  DispatchQueue::main().asyncAfter(0.2, [&] { ran += 10; });
  EXPECT_EQ(platform::drainMainQueue(), 2u);
  EXPECT_EQ(ran, 2);
  EXPECT_TRUE(waitFor([&] { return platform::drainMainQueue() > 0; }));
  EXPECT_EQ(ran, 12);
  platform::stopMainQueue();
  platform::runMainQueue();  // a stop asked for beforehand makes run return at once
  testkit::setDispatchExecutor(nullptr);
}

TEST(DispatchThreadsTest, ManyThreadsPostWhileQueuesComeAndGo) {
  auto executor = std::make_shared<platform::RealThreadExecutor>();
  testkit::setDispatchExecutor(executor);
  std::atomic<int> count{0};
  std::vector<std::thread> hosts;
  for (int t = 0; t < 4; ++t) {
    hosts.emplace_back([&count, t] {
      for (int i = 0; i < 20; ++i) {
        DispatchQueue q("q" + std::to_string(t));
        q.async([&count] { count.fetch_add(1); });
        q.asyncAfter(0.001, [&count] { count.fetch_add(1); });
        DispatchQueue::main().async([&count] { count.fetch_add(1); });
      }
    });
  }
  for (auto& host : hosts) host.join();
  EXPECT_TRUE(waitFor([&] {
    platform::drainMainQueue();
    return count.load() == 4 * 20 * 3;
  }));
  testkit::setDispatchExecutor(nullptr);
  executor.reset();  // joins every worker
}

TEST(DispatchThreadsTest, ShutdownDropsPendingWorkAndJoins) {
  std::atomic<bool> ran{false};
  {
    auto executor = std::make_shared<platform::RealThreadExecutor>();
    DispatchQueue q(executor->makeSerialQueue("q"));
    q.asyncAfter(60, [&] { ran = true; });
    DispatchQueue(executor->mainQueue()).async([&] { ran = true; });
  }
  EXPECT_FALSE(ran);
}

TEST(DispatchThreadsTest, ExecutorReleasedInsideItsOwnWorkerShutsDown) {
  auto executor = std::make_shared<platform::RealThreadExecutor>();
  std::weak_ptr<platform::RealThreadExecutor> weak = executor;
  DispatchQueue q(executor->makeSerialQueue("q"));
  DispatchQueue other(executor->makeSerialQueue("other"));
  other.async([] {});
  q.asyncAfter(60, [] {});  // starts the timer thread; dropped at shutdown
  // The item holds the last reference. Dropping it on the worker shuts the executor down there, and only
  // then reports it released: what the shutdown did happens before the checks below.
  struct LastReference {
    std::shared_ptr<platform::RealThreadExecutor> executor;
    std::promise<void> released;
    ~LastReference() {
      executor.reset();
      released.set_value();
    }
  };
  auto last = std::make_shared<LastReference>();
  last->executor = std::move(executor);
  auto released = last->released.get_future();
  std::promise<void> go;
  q.async([last = std::move(last), go = go.get_future().share()] { go.wait(); });
  go.set_value();  // the item ends and lets go of the last reference on the worker thread
  ASSERT_EQ(released.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(weak.expired());
  bool ran = false;
  q.async([&] { ran = true; });  // dropped quietly: the executor is gone
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(ran);
}

TEST(DispatchThreadsTest, DefaultExecutorIsRealThreads) {
  testkit::setDispatchExecutor(nullptr);
  EXPECT_NE(dynamic_cast<platform::RealThreadExecutor*>(platform::currentDispatchExecutor().get()), nullptr);
  std::atomic<bool> ran{false};
  DispatchQueue("default").async([&] { ran = true; });
  EXPECT_TRUE(waitFor([&] { return ran.load(); }));
}
