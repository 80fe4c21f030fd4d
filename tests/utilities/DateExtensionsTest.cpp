#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "talvaren/testing/Clock.hpp"
#include "talvaren/testing/TimeZone.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

using namespace talvaren;
using testkit::ScopedTimeZone;

namespace {
constexpr double kHour = 3600;
}  // namespace

TEST(DateExtensionsTest, StrapClockShiftsAddAndSubtractTheZoneOffset) {
  {
    ScopedTimeZone zone("Etc/GMT-2");  // +02:00
    const Date tenUTC(1797292800 + 10 * kHour);
    EXPECT_EQ(UTCToLocalTime(tenUTC), Date(1797292800 + 12 * kHour));
    EXPECT_EQ(localTimetoUTC(UTCToLocalTime(tenUTC)), tenUTC);
  }
  ScopedTimeZone zone("UTC");
  EXPECT_EQ(UTCToLocalTime(Date(1700000000.5)), Date(1700000000.5));
  EXPECT_EQ(localTimetoUTC(Date(1700000000.5)), Date(1700000000.5));
}

TEST(DateExtensionsTest, StrapClockShiftTakesTheOffsetAtTheReceiverItself) {
  ScopedTimeZone zone("Europe/Berlin");  // summer time from 2026-03-29 01:00 UTC
  // A strap reading of 01:30 on that night, counted as UTC, lies after the change: the offset taken
  // is +2 h, although 01:30 local wall-clock time was still winter time (a true local-to-UTC
  // conversion would give 00:30 UTC).
  const Date strapReading(1774747800);  // 2026-03-29 01:30:00 as UTC
  EXPECT_EQ(localTimetoUTC(strapReading), Date(1774740600));  // 2026-03-28 23:30 UTC
  // Within an hour of the change the shifts are not each other's inverse.
  EXPECT_EQ(UTCToLocalTime(localTimetoUTC(strapReading)), Date(1774747800 - kHour));
}

TEST(DateExtensionsTest, DayBoundsHoldOnSummerTimeChanges) {
  {
    ScopedTimeZone zone("Europe/Berlin");
    // The 23-hour day: 00:00 CET to 23:59:59 CEST.
    for (double t : {1774738800.0, 1774747800.0, 1774821599.0}) {
      EXPECT_EQ(beginningOfTheDay(Date(t)), Date(1774738800)) << t;
      EXPECT_EQ(endOfTheDay(Date(t)), Date(1774821599)) << t;
    }
    // The 25-hour day.
    EXPECT_EQ(beginningOfTheDay(Date(1792969199)), Date(1792879200));
    EXPECT_EQ(endOfTheDay(Date(1792879200)), Date(1792969199));
  }
  ScopedTimeZone zone("America/Havana");
  // 2026-03-08: midnight is skipped, the day starts at 01:00 and still ends at 23:59:59.
  EXPECT_EQ(beginningOfTheDay(Date(1772946000 + 5 * kHour)), Date(1772946000));
  EXPECT_EQ(endOfTheDay(Date(1772946000 + 5 * kHour)), Date(1773028799));
  EXPECT_EQ(startOfMonth(Date(1772946000 + 5 * kHour)), Date(1772946000));
  EXPECT_EQ(stripTime(Date(1772946000 + 5 * kHour)), Date(1772946000));
  // The day before ends just before the jump.
  EXPECT_EQ(endOfTheDay(Date(1772946000 - 2 * kHour)), Date(1772946000 - 1));
  // 2026-11-01: midnight occurs twice, the day starts at the first one.
  EXPECT_EQ(beginningOfTheDay(Date(1793505600 + 1.5 * kHour)), Date(1793505600));
  EXPECT_EQ(endOfTheDay(Date(1793505600 + 1.5 * kHour)), Date(1793595599));
  EXPECT_EQ(endOfTheDay(Date(1793505600 - kHour)), Date(1793505600 - 1));
}

TEST(DateExtensionsTest, MonthWindowStartsAtTheReceiversDay) {
  ScopedTimeZone zone("Europe/Berlin");
  const Date midDecember(1797339600);  // 2026-12-15 14:00 local
  EXPECT_EQ(startOfMonth(midDecember), Date(1797289200));  // 2026-12-15 00:00 local
  EXPECT_EQ(startOfMonth(midDecember), beginningOfTheDay(midDecember));
  EXPECT_EQ(endOfMonth(midDecember), Date(1799881200));              // 2027-01-14 00:00 local
  EXPECT_EQ(endOfMonth(Date(1796115600)), Date(1798671600));         // 1 Dec 10:00 -> 31 Dec 00:00
  EXPECT_EQ(endOfMonth(Date(1801396800)), Date(1803682800));         // 31 Jan -> 28 Feb pinned, less a day
}

TEST(DateExtensionsTest, UtcDayAndLocalDayDifferByTheOffset) {
  ScopedTimeZone zone("Etc/GMT-2");  // +02:00
  const Date morning(1797296400);    // 2026-12-15 01:00 UTC, 03:00 local
  EXPECT_EQ(beginningOfTheDayUTC(morning), Date(1797292800));
  EXPECT_EQ(beginningOfTheDay(morning), Date(1797285600));
  const Date lateEvening(1797375600);  // 2026-12-15 23:00 UTC, already 16 December locally
  EXPECT_EQ(beginningOfTheDayUTC(lateEvening), Date(1797292800));
  EXPECT_EQ(beginningOfTheDay(lateEvening), Date(1797372000));
}

TEST(DateExtensionsTest, IntervalCountsCalendarBoundaries) {
  ScopedTimeZone zone("Europe/Berlin");
  const Date elevenPM(1797289200 - kHour);  // 2026-12-14 23:00 local
  const Date oneAM(1797289200 + kHour);     // 2026-12-15 01:00 local
  EXPECT_EQ(interval(oneAM, CalendarComponent::day, elevenPM), 1);
  EXPECT_EQ(interval(elevenPM, CalendarComponent::day, oneAM), -1);
  EXPECT_EQ(interval(oneAM, CalendarComponent::hour, elevenPM), 2);
  EXPECT_EQ(interval(Date(1799881200), CalendarComponent::month, oneAM), 1);
  EXPECT_EQ(interval(Date(1799881200), CalendarComponent::year, oneAM), 1);
  EXPECT_EQ(interval(oneAM, CalendarComponent::weekday, elevenPM), 0);
  EXPECT_EQ(interval(Date(std::nan("")), CalendarComponent::day, oneAM), 0);
}

TEST(DateExtensionsTest, StripTimeGivesLocalMidnightOrNow) {
  ScopedTimeZone zone("Europe/Berlin");
  testkit::ScopedFixedClock clock(1234.5);
  EXPECT_EQ(stripTime(Date(1797339600)), Date(1797289200));
  EXPECT_EQ(stripTime(Date(std::nan(""))), Date(1234.5));
  EXPECT_EQ(stripTime(Date(1e300)), Date(1234.5));
}

TEST(DateExtensionsTest, DatesOutsideTheCalendarComeBackUnchanged) {
  ScopedTimeZone zone("Europe/Berlin");
  for (double t : {1e300, -1e300, std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(beginningOfTheDay(Date(t)), Date(t));
    EXPECT_EQ(endOfTheDay(Date(t)), Date(t));
    EXPECT_EQ(beginningOfTheDayUTC(Date(t)), Date(t));
    EXPECT_EQ(startOfMonth(Date(t)), Date(t));
    EXPECT_EQ(endOfMonth(Date(t)), Date(t));
    EXPECT_EQ(interval(Date(t), CalendarComponent::day, Date(0)), 0);
  }
  const Date nan(std::nan(""));
  for (const Date& result : {beginningOfTheDay(nan), endOfTheDay(nan), beginningOfTheDayUTC(nan), startOfMonth(nan),
                             endOfMonth(nan), localTimetoUTC(nan), UTCToLocalTime(nan)}) {
    EXPECT_TRUE(std::isnan(result.timeIntervalSince1970()));
  }
  // The last day of the calendar has no next day to end at.
  EXPECT_EQ(endOfTheDay(Date(253402300000.0)), Date(253402300000.0));
}
