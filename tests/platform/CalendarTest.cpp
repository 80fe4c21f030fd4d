#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <date/date.h>

#include "talvaren/platform/Calendar.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using Unit = CalendarComponent;

namespace {

/// Seconds since 1970 of a UTC reading.
double utc(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, double ss = 0) {
  auto days = date::sys_days{date::year{y} / date::month{m} / date::day{d}}.time_since_epoch().count();
  return static_cast<double>(days) * 86400 + hh * 3600 + mm * 60 + ss;
}

Calendar calendarIn(const char* name) { return Calendar(TimeZone::named(name).value()); }

DateComponents ymd(std::int64_t y, std::int64_t m, std::int64_t d, std::int64_t hh = 0, std::int64_t mm = 0,
                   std::int64_t ss = 0) {
  DateComponents c;
  c.year = y;
  c.month = m;
  c.day = d;
  c.hour = hh;
  c.minute = mm;
  c.second = ss;
  return c;
}

std::optional<double> seconds(const std::optional<Date>& date) {
  if (!date) return std::nullopt;
  return date->timeIntervalSince1970();
}

}  // namespace

TEST(CalendarTest, StartOfDayAcrossSummerTimeChanges) {
  auto berlin = calendarIn("Europe/Berlin");
  // Spring-forward day: midnight exists, the day is 23 hours long.
  EXPECT_EQ(berlin.startOfDay(Date(utc(2026, 3, 29, 12))), Date(utc(2026, 3, 28, 23)));
  EXPECT_EQ(berlin.dateInterval(Unit::day, Date(utc(2026, 3, 29, 12)))->duration, 23 * 3600);
  // Fall-back day: 25 hours, and the second 02:30 still belongs to the same day.
  EXPECT_EQ(berlin.startOfDay(Date(utc(2026, 10, 25, 1, 30))), Date(utc(2026, 10, 24, 22)));
  EXPECT_EQ(berlin.dateInterval(Unit::day, Date(utc(2026, 10, 25, 12)))->duration, 25 * 3600);
  // An instant just before local midnight belongs to the day before.
  EXPECT_EQ(berlin.startOfDay(Date(utc(2026, 12, 6, 22, 59, 59.5))), Date(utc(2026, 12, 5, 23)));

  auto newYork = calendarIn("America/New_York");
  EXPECT_EQ(newYork.startOfDay(Date(utc(2026, 3, 8, 20))), Date(utc(2026, 3, 8, 5)));
  EXPECT_EQ(newYork.startOfDay(Date(utc(2026, 11, 2, 4, 59))), Date(utc(2026, 11, 1, 4)));

  // Havana moves its clocks at midnight: 00:00 -> 01:00 in March (midnight skipped: the day starts
  // at 01:00 CDT) and 01:00 -> 00:00 in November (midnight twice: the day starts at the first one).
  auto havana = calendarIn("America/Havana");
  EXPECT_EQ(havana.startOfDay(Date(utc(2023, 3, 12, 15))), Date(utc(2023, 3, 12, 5)));
  EXPECT_EQ(havana.startOfDay(Date(utc(2023, 11, 5, 5, 30))), Date(utc(2023, 11, 5, 4)));
  EXPECT_EQ(havana.startOfDay(Date(utc(2023, 11, 5, 4, 30))), Date(utc(2023, 11, 5, 4)));
  EXPECT_EQ(havana.dateInterval(Unit::day, Date(utc(2023, 3, 12, 15)))->duration, 23 * 3600);
}

TEST(CalendarTest, ComponentsOfAnInstant) {
  auto berlin = calendarIn("Europe/Berlin");
  Date instant(utc(2026, 12, 6, 23, 30, 5.25));  // 00:30:05.25 on Monday 7 December in Berlin
  auto c = berlin.dateComponents({Unit::era, Unit::year, Unit::month, Unit::day, Unit::hour, Unit::minute,
                                  Unit::second, Unit::nanosecond, Unit::weekday},
                                 instant);
  EXPECT_EQ(c, (DateComponents{1, 2026, 12, 7, 0, 30, 5, 2, 250000000}));
  EXPECT_EQ(berlin.component(Unit::day, Date(utc(2026, 12, 6, 22, 59))), 6);
  // Before 1970 the fields count down correctly too.
  auto utcCalendar = Calendar(TimeZone::gmt());
  EXPECT_EQ(utcCalendar.dateComponents({Unit::year, Unit::month, Unit::day, Unit::hour, Unit::second}, Date(-0.5)),
            (DateComponents{std::nullopt, 1969, 12, 31, 23, std::nullopt, 59}));
  // Only the requested fields are filled.
  EXPECT_EQ(berlin.dateComponents({Unit::month}, instant), (DateComponents{.month = 12}));
}

TEST(CalendarTest, DateFromComponentsResolvesSkippedAndRepeatedReadings) {
  auto berlin = calendarIn("Europe/Berlin");
  EXPECT_EQ(seconds(berlin.dateFromComponents(ymd(2026, 12, 7))), utc(2026, 12, 6, 23));
  // 02:30 does not exist on 29 March: it moves forward by the hour to 03:30 CEST.
  EXPECT_EQ(seconds(berlin.dateFromComponents(ymd(2026, 3, 29, 2, 30))), utc(2026, 3, 29, 1, 30));
  // 02:30 happens twice on 25 October: the first (CEST) is meant.
  EXPECT_EQ(seconds(berlin.dateFromComponents(ymd(2026, 10, 25, 2, 30))), utc(2026, 10, 25, 0, 30));

  // Beyond the years the database lists: 25 March 2040.
  EXPECT_EQ(seconds(berlin.dateFromComponents(ymd(2040, 3, 25, 2, 30))), utc(2040, 3, 25, 1, 30));
  EXPECT_EQ(berlin.dateInterval(Unit::day, Date(utc(2040, 3, 25, 12)))->duration, 23 * 3600);

  auto newYork = calendarIn("America/New_York");
  EXPECT_EQ(seconds(newYork.dateFromComponents(ymd(2026, 3, 8, 2, 30))), utc(2026, 3, 8, 7, 30));
  EXPECT_EQ(seconds(newYork.dateFromComponents(ymd(2026, 11, 1, 1, 30))), utc(2026, 11, 1, 5, 30));

  // Only year and month: midnight of the first.
  DateComponents month;
  month.year = 2026;
  month.month = 12;
  EXPECT_EQ(seconds(newYork.dateFromComponents(month)), utc(2026, 12, 1, 5));
  // Fields beyond their range carry over.
  EXPECT_EQ(seconds(berlin.dateFromComponents(ymd(2026, 13, 1))), utc(2026, 12, 31, 23));
  EXPECT_EQ(seconds(berlin.dateFromComponents(ymd(2026, 3, 0))), utc(2026, 2, 27, 23));
  DateComponents withNanos = ymd(2026, 1, 1);
  withNanos.nanosecond = 500000000;
  EXPECT_EQ(seconds(Calendar(TimeZone::gmt()).dateFromComponents(withNanos)), utc(2026, 1, 1) + 0.5);
}

TEST(CalendarTest, AddingPinsMonthEndsAndAppliesLargestUnitFirst) {
  auto gmt = Calendar(TimeZone::gmt());
  auto add = [&](const DateComponents& c, double from) { return seconds(gmt.dateByAdding(c, Date(from))); };
  DateComponents oneMonth{.month = 1};
  EXPECT_EQ(add(oneMonth, utc(2026, 1, 31, 10)), utc(2026, 2, 28, 10));
  EXPECT_EQ(add(oneMonth, utc(2028, 1, 31, 10)), utc(2028, 2, 29, 10));
  EXPECT_EQ(add(DateComponents{.month = -1}, utc(2026, 3, 31)), utc(2026, 2, 28));
  EXPECT_EQ(add(DateComponents{.year = 1}, utc(2028, 2, 29)), utc(2029, 2, 28));
  EXPECT_EQ(add(DateComponents{.month = 14}, utc(2026, 12, 15)), utc(2028, 2, 15));
  // Month first, then day: 15 December + 1 month - 1 day = 14 January; on the first: the month's last day.
  DateComponents monthLessDay{.month = 1, .day = -1};
  EXPECT_EQ(add(monthLessDay, utc(2026, 12, 15)), utc(2027, 1, 14));
  EXPECT_EQ(add(monthLessDay, utc(2026, 12, 1)), utc(2026, 12, 31));
  EXPECT_EQ(add(monthLessDay, utc(2026, 1, 31)), utc(2026, 2, 27));
  EXPECT_EQ(add(DateComponents{.second = 1, .nanosecond = 250000000}, utc(2026, 1, 1)), utc(2026, 1, 1, 0, 0, 1.25));
}

TEST(CalendarTest, AddingDaysKeepsWallClockAndTimeUnitsAreElapsed) {
  auto berlin = calendarIn("Europe/Berlin");
  Date saturdayNoon(utc(2026, 3, 28, 11));
  EXPECT_EQ(seconds(berlin.dateByAdding(Unit::day, 1, saturdayNoon)), utc(2026, 3, 29, 10));
  EXPECT_EQ(seconds(berlin.dateByAdding(Unit::hour, 24, saturdayNoon)), utc(2026, 3, 29, 11));
  // The end of a day is its start plus one day minus one second, also on change days.
  DateComponents dayLessSecond{.day = 1, .second = -1};
  for (auto [calendar, day] : {std::pair{berlin, utc(2026, 3, 29, 12)}, std::pair{berlin, utc(2026, 10, 25, 12)},
                               std::pair{calendarIn("America/New_York"), utc(2026, 3, 8, 12)},
                               std::pair{calendarIn("America/New_York"), utc(2026, 11, 1, 12)}}) {
    auto end = calendar.dateByAdding(dayLessSecond, calendar.startOfDay(Date(day)));
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(calendar.dateComponents({Unit::day, Unit::hour, Unit::minute, Unit::second}, *end),
              (DateComponents{.day = calendar.component(Unit::day, Date(day)), .hour = 23, .minute = 59, .second = 59}));
  }
  // A day added onto a skipped reading moves forward like a built one.
  EXPECT_EQ(seconds(berlin.dateByAdding(Unit::day, 1, Date(utc(2026, 3, 28, 1, 30)))), utc(2026, 3, 29, 1, 30));
}

TEST(CalendarTest, DifferencesCountWholeUnits) {
  auto gmt = Calendar(TimeZone::gmt());
  auto years = [&](double a, double b) { return gmt.dateComponents({Unit::year}, Date(a), Date(b)).year; };
  EXPECT_EQ(years(utc(2024, 6, 1), utc(2026, 5, 31, 23, 59, 59)), 1);
  EXPECT_EQ(years(utc(2024, 6, 1), utc(2026, 6, 1)), 2);
  EXPECT_EQ(years(utc(2026, 6, 1), utc(2024, 6, 1, 0, 0, 1)), -1);
  EXPECT_EQ(years(0, utc(2026, 12, 7)), 56);
  EXPECT_EQ(gmt.dateComponents({Unit::year, Unit::month, Unit::day, Unit::hour, Unit::minute},
                               Date(utc(2026, 1, 31, 10)), Date(utc(2026, 3, 1, 9, 30))),
            (DateComponents{.year = 0, .month = 1, .day = 0, .hour = 23, .minute = 30}));
  EXPECT_EQ(gmt.dateComponents({Unit::day, Unit::second}, Date(utc(2026, 1, 2)), Date(utc(2026, 1, 1, 12))),
            (DateComponents{.day = 0, .second = -43200}));
}

TEST(CalendarTest, SameDayComparisonsFollowTheZone) {
  auto berlin = calendarIn("Europe/Berlin");
  Date earliest(utc(2026, 12, 6, 23));           // 00:00 on 7 December in Berlin
  Date latest(utc(2026, 12, 7, 22, 59, 59));     // 23:59:59 the same day
  Date nextDay(utc(2026, 12, 7, 23));            // 00:00 on 8 December
  EXPECT_TRUE(berlin.isDateInSameDay(earliest, latest));
  EXPECT_FALSE(berlin.isDateInSameDay(latest, nextDay));
  EXPECT_TRUE(Calendar(TimeZone::gmt()).isDateInSameDay(latest, nextDay));
  EXPECT_TRUE(berlin.isDate(earliest, nextDay, Unit::month));
  EXPECT_EQ(berlin.compare(latest, nextDay, Unit::day), std::partial_ordering::less);
  EXPECT_EQ(berlin.compare(Date(utc(2027, 1, 1)), nextDay, Unit::year), std::partial_ordering::greater);
  EXPECT_EQ(berlin.compare(Date(utc(2026, 12, 7, 10, 5)), Date(utc(2026, 12, 7, 10, 55)), Unit::hour),
            std::partial_ordering::equivalent);
}

TEST(CalendarTest, OrdinalsAndRanges) {
  auto berlin = calendarIn("Europe/Berlin");
  Date december7(utc(2026, 12, 7, 12));
  EXPECT_EQ(berlin.ordinality(Unit::day, Unit::month, december7), 7);
  EXPECT_EQ(berlin.ordinality(Unit::day, Unit::year, december7), 341);
  EXPECT_EQ(berlin.ordinality(Unit::month, Unit::year, december7), 12);
  EXPECT_EQ(berlin.ordinality(Unit::hour, Unit::day, december7), 14);
  EXPECT_EQ(berlin.ordinality(Unit::day, Unit::era, Date(utc(1, 1, 1, 12))), 1);
  EXPECT_FALSE(berlin.ordinality(Unit::weekday, Unit::month, december7).has_value());
  // Counting day boundaries: 23:00 to 01:00 the next local day is one day apart.
  auto dayInEra = [&](double t) { return *berlin.ordinality(Unit::day, Unit::era, Date(t)); };
  EXPECT_EQ(dayInEra(utc(2026, 12, 8, 0)) - dayInEra(utc(2026, 12, 7, 22)), 1);
  EXPECT_EQ(dayInEra(utc(2026, 12, 1, 12)) - dayInEra(utc(2026, 12, 7, 12)), -6);
  auto monthInEra = [&](double t) { return *berlin.ordinality(Unit::month, Unit::era, Date(t)); };
  EXPECT_EQ(monthInEra(utc(2027, 1, 1)) - monthInEra(utc(2026, 12, 31, 12)), 1);

  EXPECT_EQ(berlin.range(Unit::day, Unit::month, Date(utc(2028, 2, 10)))->count(), 29);
  EXPECT_EQ(berlin.range(Unit::day, Unit::month, Date(utc(2026, 2, 10)))->upperBound, 29);
  EXPECT_EQ(berlin.range(Unit::day, Unit::year, Date(utc(2028, 2, 10)))->count(), 366);
  auto month = berlin.dateInterval(Unit::month, Date(utc(2026, 3, 15)));
  ASSERT_TRUE(month.has_value());
  EXPECT_EQ(month->start, Date(utc(2026, 2, 28, 23)));
  EXPECT_EQ(month->end(), Date(utc(2026, 3, 31, 22)));
  EXPECT_TRUE(month->contains(Date(utc(2026, 3, 31, 21, 59))));
}

TEST(CalendarTest, UnusableInstantsAndResultsGiveNoResult) {
  auto berlin = calendarIn("Europe/Berlin");
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     1e15, -1e15, 253402300800.0, -62135596801.0}) {
    SCOPED_TRACE(bad);
    Date date(bad);
    Date start = berlin.startOfDay(date);
    EXPECT_TRUE(std::isnan(bad) ? std::isnan(start.timeIntervalSince1970()) : start == date);
    EXPECT_EQ(berlin.dateComponents({Unit::year, Unit::day}, date), DateComponents{});
    EXPECT_FALSE(berlin.dateByAdding(Unit::day, 1, date).has_value());
    EXPECT_FALSE(berlin.ordinality(Unit::day, Unit::era, date).has_value());
    EXPECT_FALSE(berlin.dateInterval(Unit::day, date).has_value());
    EXPECT_EQ(berlin.compare(date, Date(0), Unit::day), std::partial_ordering::unordered);
    EXPECT_FALSE(berlin.isDateInSameDay(date, date));
  }
  Date now(utc(2026, 12, 7));
  EXPECT_FALSE(berlin.dateByAdding(Unit::year, 8000, now).has_value());
  EXPECT_FALSE(berlin.dateByAdding(Unit::month, std::numeric_limits<std::int64_t>::max(), now).has_value());
  EXPECT_FALSE(berlin.dateByAdding(Unit::day, std::numeric_limits<std::int64_t>::min(), now).has_value());
  EXPECT_FALSE(berlin.dateByAdding(Unit::second, 1e12, now).has_value());
  EXPECT_FALSE(berlin.dateFromComponents(ymd(10000, 1, 1, 1)).has_value());
  EXPECT_TRUE(berlin.dateFromComponents(ymd(10000, 1, 1, 0, 59, 59)).has_value());
  EXPECT_FALSE(berlin.dateFromComponents(ymd(2026, std::numeric_limits<std::int64_t>::max(), 1)).has_value());
  EXPECT_TRUE(berlin.dateFromComponents(ymd(9999, 12, 31)).has_value());
}

TEST(CalendarTest, CurrentCalendarUsesCurrentZoneAndLocale) {
  testkit::ScopedTimeZone zone("America/New_York");
  testkit::ScopedLocale locale(Locale("de_DE"));
  auto calendar = Calendar::current();
  EXPECT_EQ(calendar.timeZone().identifier(), "America/New_York");
  EXPECT_EQ(calendar.locale()->identifier(), "de_DE");
  EXPECT_EQ(calendar.locale()->languageCode(), "de");
}
