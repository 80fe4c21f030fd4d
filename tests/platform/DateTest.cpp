#include <gtest/gtest.h>

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
