#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ConsoleLines.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/testing/Clock.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;

TEST(DateTest, DescriptionIsUtcStandardForm) {
  EXPECT_EQ(Date(0).description(), "1970-01-01 00:00:00 +0000");
  EXPECT_EQ(Date(1700000000.75).description(), "2023-11-14 22:13:20 +0000");
  // Before 1970 the seconds round down, not toward zero.
  EXPECT_EQ(Date(-0.5).description(), "1969-12-31 23:59:59 +0000");
  EXPECT_EQ(Date(951782400).description(), "2000-02-29 00:00:00 +0000");
  EXPECT_EQ(Date(1e300).description(), "9999-12-31 23:59:59 +0000");
}

TEST(DateTest, ClockCanBeFixedAdvancedAndReset) {
  {
    testkit::ScopedFixedClock fixed(1000);
    EXPECT_EQ(Date::now().timeIntervalSince1970(), 1000);
    testkit::advanceClock(2.5);
    EXPECT_EQ(Date().timeIntervalSince1970(), 1002.5);
    EXPECT_EQ(Date(1010).timeIntervalSinceNow(), 7.5);
  }
  EXPECT_GT(Date::now().timeIntervalSince1970(), 1.6e9);
  double virtualTime = 42;
  testkit::setClockSource([&] { return virtualTime; });
  EXPECT_EQ(Date::now().timeIntervalSince1970(), 42);
  virtualTime = 43;
  EXPECT_EQ(Date::now().timeIntervalSince1970(), 43);
  testkit::resetClock();
}

TEST(ErrorTest, DescriptionFromUserInfoOrGeneric) {
  EXPECT_EQ(Error("NSURLErrorDomain", -1001).localizedDescription(),
            "The operation couldn\u2019t be completed. (NSURLErrorDomain error -1001.)");
  EXPECT_EQ(Error::withDescription("x", 3, "Boom").localizedDescription(), "Boom");
  // A user info that is not an object is replaced by an empty one.
  EXPECT_TRUE(Error("x", 1, nlohmann::json::array()).userInfo.is_object());
}

TEST(ConsoleTest, CaptureTakesLinesAndNests) {
  testkit::ConsoleCapture outer;
  console::print("one");
  {
    testkit::ConsoleCapture inner;
    console::print("two");
    EXPECT_EQ(inner.lines(), std::vector<std::string>{"two"});
  }
  console::print("three");
  EXPECT_EQ(outer.lines(), (std::vector<std::string>{"one", "three"}));
  EXPECT_TRUE(outer.contains("three"));
  EXPECT_FALSE(outer.contains("two"));
}

// A host routes the console with setSink: every line reaches its sink, one at a time even from several
// threads; a capture takes over while alive and gives the host's sink back; an empty sink restores
// standard output; a sink that prints or swaps itself neither deadlocks nor recurses.
TEST(ConsoleTest, HostSinkTakesEveryLineOneAtATime) {
  struct Restore {
    ~Restore() { console::setSink({}); }
  } restore;
  std::mutex mutex;
  std::vector<std::string> routed;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  console::setSink([&](std::string_view line) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    {
      std::lock_guard lock(mutex);
      routed.emplace_back(line);
    }
    inside.fetch_sub(1);
  });
  // Every thread prints single lines and blocks of two; no other line comes between a block's two.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) {
        const auto line = "t" + std::to_string(t) + " " + std::to_string(i);
        console::print(line);
        const auto end = "end of " + line;
        const std::array<std::string_view, 2> block{line, end};
        console::detail::printLines(block);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(routed.size(), 1200u);
  EXPECT_FALSE(overlapped);
  for (std::size_t i = 0; i < routed.size(); ++i) {
    if (routed[i].starts_with("end of ")) {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(routed[i], "end of " + routed[i - 1]);
    }
  }
  EXPECT_NE(std::find(routed.begin(), routed.end(), "end of t3 99"), routed.end());
  {
    testkit::ConsoleCapture capture;
    console::print("captured");
    EXPECT_TRUE(capture.contains("captured"));
  }
  console::print("back to the host");
  EXPECT_EQ(routed.back(), "back to the host");
  EXPECT_EQ(routed.size(), 1201u);

  // The sink prints (that line goes to standard output) and then removes itself.
  int calls = 0;
  console::setSink([&](std::string_view) {
    ++calls;
    console::print("from inside the sink");
    console::setSink({});
  });
  testing::internal::CaptureStdout();
  console::print("first");
  console::print("second");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "from inside the sink\nsecond\n");
  EXPECT_EQ(calls, 1);

  // Likewise inside a block: the sink it replaced gets none of the block's later lines.
  calls = 0;
  console::setSink([&](std::string_view) {
    ++calls;
    console::setSink({});
  });
  testing::internal::CaptureStdout();
  const std::array<std::string_view, 3> block{"a", "b", "c"};
  console::detail::printLines(block);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "b\nc\n");
  EXPECT_EQ(calls, 1);
}
