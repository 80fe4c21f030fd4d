#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;

namespace {

TimeZone zone(const char* name) {
  auto found = TimeZone::named(name);
  EXPECT_TRUE(found.has_value()) << name;
  return found.value_or(TimeZone::gmt());
}

// 2026-03-29 01:00:00 UTC: Europe/Berlin goes from +01:00 to +02:00.
constexpr double kBerlinSpring2026 = 1774746000;
// 2026-10-25 01:00:00 UTC: Europe/Berlin goes back to +01:00.
constexpr double kBerlinAutumn2026 = 1792890000;
// 2026-03-08 07:00:00 UTC: America/New_York goes from -05:00 to -04:00.
constexpr double kNewYorkSpring2026 = 1772953200;

}  // namespace

TEST(TimeZoneTest, LooksUpZonesByNameAndAbbreviation) {
  EXPECT_EQ(zone("Europe/Berlin").identifier(), "Europe/Berlin");
  EXPECT_EQ(zone("US/Eastern").secondsFromGMT(Date(kNewYorkSpring2026 - 1)), -5 * 3600);
  EXPECT_FALSE(TimeZone::named("Mars/Olympus_Mons").has_value());
  EXPECT_FALSE(TimeZone::named("").has_value());
  EXPECT_FALSE(TimeZone::named("GMT+1900").has_value());
  EXPECT_FALSE(TimeZone::named("GMT+01:75").has_value());

  for (const char* name : {"UTC", "GMT"}) {
    EXPECT_EQ(zone(name).identifier(), name);
    EXPECT_EQ(zone(name).secondsFromGMT(Date(kBerlinSpring2026)), 0);
  }
  auto utc = TimeZone::abbreviation("UTC");
  ASSERT_TRUE(utc.has_value());
  EXPECT_EQ(utc->identifier(), "GMT");
  EXPECT_EQ(utc->secondsFromGMT(Date(0)), 0);
  EXPECT_FALSE(TimeZone::abbreviation("CEST").has_value());

  auto plusTwo = TimeZone::forSecondsFromGMT(7200);
  ASSERT_TRUE(plusTwo.has_value());
  EXPECT_EQ(plusTwo->identifier(), "GMT+0200");
  EXPECT_EQ(plusTwo->secondsFromGMT(Date(kBerlinAutumn2026)), 7200);
  EXPECT_EQ(TimeZone::forSecondsFromGMT(-(5 * 3600 + 30 * 60))->identifier(), "GMT-0530");
  EXPECT_EQ(zone("GMT-05:30").secondsFromGMT(Date(0)), -(5 * 3600 + 30 * 60));
  EXPECT_FALSE(TimeZone::forSecondsFromGMT(19 * 3600).has_value());
}

TEST(TimeZoneTest, OffsetFollowsSummerTimeAtTheInstant) {
  auto berlin = zone("Europe/Berlin");
  EXPECT_EQ(berlin.secondsFromGMT(Date(kBerlinSpring2026 - 1)), 3600);
  EXPECT_EQ(berlin.secondsFromGMT(Date(kBerlinSpring2026)), 7200);
  EXPECT_EQ(berlin.secondsFromGMT(Date(kBerlinAutumn2026 - 0.5)), 7200);
  EXPECT_EQ(berlin.secondsFromGMT(Date(kBerlinAutumn2026)), 3600);
  EXPECT_TRUE(berlin.isDaylightSavingTime(Date(kBerlinSpring2026)));
  EXPECT_FALSE(berlin.isDaylightSavingTime(Date(kBerlinAutumn2026)));
  EXPECT_EQ(berlin.abbreviationAt(Date(kBerlinSpring2026)), "CEST");

  auto newYork = zone("America/New_York");
  EXPECT_EQ(newYork.secondsFromGMT(Date(kNewYorkSpring2026 - 1)), -5 * 3600);
  EXPECT_EQ(newYork.secondsFromGMT(Date(kNewYorkSpring2026)), -4 * 3600);
  EXPECT_EQ(newYork.abbreviationAt(Date(kNewYorkSpring2026)), "EDT");
}

TEST(TimeZoneTest, SummerTimeContinuesBeyondTheListedYears) {
  // The system database lists changes only up to 2037; later years follow the same rules.
  auto berlin = zone("Europe/Berlin");
  EXPECT_EQ(berlin.secondsFromGMT(Date(2216249999)), 3600);  // 2040-03-25 00:59:59 UTC
  EXPECT_EQ(berlin.secondsFromGMT(Date(2216250000)), 7200);
  EXPECT_EQ(berlin.abbreviationAt(Date(2216250000)), "CEST");
  EXPECT_EQ(berlin.secondsFromGMT(Date(4118083200)), 7200);    // 2100-07-01
  EXPECT_EQ(berlin.secondsFromGMT(Date(253386403200)), 7200);  // 9999-07-01
  auto newYork = zone("America/New_York");
  EXPECT_EQ(newYork.secondsFromGMT(Date(2530767599)), -5 * 3600);  // 2050-03-13 06:59:59 UTC
  EXPECT_EQ(newYork.secondsFromGMT(Date(2530767600)), -4 * 3600);
  auto sydney = zone("Australia/Sydney");
  EXPECT_EQ(sydney.secondsFromGMT(Date(2368051200)), 11 * 3600);  // 2045-01-15, southern summer
  EXPECT_EQ(sydney.secondsFromGMT(Date(2383689600)), 10 * 3600);  // 2045-07-15
  // A zone that stopped changing its clocks stays where it stopped.
  EXPECT_EQ(zone("Asia/Tokyo").secondsFromGMT(Date(2383689600)), 9 * 3600);
}

TEST(TimeZoneTest, OffsetOfUnusableInstantsIsDefined) {
  auto berlin = zone("Europe/Berlin");
  // NaN counts as 1970-01-01; beyond the known range the nearer end of it counts.
  EXPECT_EQ(berlin.secondsFromGMT(Date(std::nan(""))), 3600);
  EXPECT_EQ(berlin.secondsFromGMT(Date(std::numeric_limits<double>::infinity())),
            berlin.secondsFromGMT(Date(253402300799.0)));
  EXPECT_EQ(berlin.secondsFromGMT(Date(-1e15)), berlin.secondsFromGMT(Date(-62135596800.0)));
  EXPECT_EQ(berlin.secondsFromGMT(Date(1e300)), 3600);
}

TEST(TimeZoneTest, CurrentZoneIsSettableAndRestored) {
  auto before = TimeZone::current();
  {
    testkit::ScopedTimeZone scoped("Europe/Berlin");
    EXPECT_EQ(TimeZone::current().identifier(), "Europe/Berlin");
    EXPECT_FALSE(TimeZone::setCurrent("No/Such_Zone"));
    EXPECT_EQ(TimeZone::current().identifier(), "Europe/Berlin");
    EXPECT_TRUE(TimeZone::setCurrent("America/New_York"));
    EXPECT_EQ(TimeZone::current().secondsFromGMT(Date(kNewYorkSpring2026)), -4 * 3600);
  }
  EXPECT_EQ(TimeZone::current(), before);
}

TEST(TimeZoneTest, ResetReadsTheSystemZoneAgain) {
  testkit::ScopedTimeZone scoped("Asia/Tokyo");
  TimeZone::resetCurrent();
  // The system's zone is whatever this machine names; it is a zone the database knows.
  auto system = TimeZone::current();
  EXPECT_NE(system.identifier(), "Asia/Tokyo");
  EXPECT_TRUE(TimeZone::named(system.identifier()).has_value());
}

TEST(TimeZoneTest, ZonesAreUsableFromManyThreadsAtOnce) {
  // Each thread loads zones no other test touches (their first use reads the database) and
  // switches the current zone while the others read it.
  const char* names[] = {"Pacific/Chatham", "Asia/Kathmandu", "America/St_Johns", "Australia/Lord_Howe"};
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  auto before = TimeZone::current();
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        auto zone = TimeZone::named(names[(t + i) % 4]);
        if (!zone || zone->secondsFromGMT(Date(kBerlinSpring2026)) % 900 != 0) ++wrong;
        if (i % 10 == 0) TimeZone::setCurrent(*zone);
        (void)TimeZone::current().abbreviationAt(Date(kBerlinAutumn2026 + i * 86400.0));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  TimeZone::setCurrent(before);
  EXPECT_EQ(wrong, 0);
}
