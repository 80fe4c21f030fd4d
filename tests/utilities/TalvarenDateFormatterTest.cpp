#include <gtest/gtest.h>

#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/testing/Clock.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

using namespace talvaren;

namespace {

constexpr double jan2020 = 1577836800.0;     // 2020-01-01 00:00:00 UTC
constexpr double dec6At2000 = 1796587200.0;  // 2026-12-06 20:00:00 UTC

class TalvarenDateFormatterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    TimeZone::resetCurrent();
    Locale::resetCurrent();
  }
  static void inZone(const char* name) { ASSERT_TRUE(TimeZone::setCurrent(name)) << name; }
  static TalvarenDateFormatter& formatter() { return *TalvarenDateFormatter::shared(); }
};

}  // namespace

TEST_F(TalvarenDateFormatterTest, ServerTimeStampsAreUtcWhateverTheDeviceZone) {
  for (const char* zone : {"Europe/Berlin", "America/New_York", "Asia/Kolkata"}) {
    inZone(zone);
    EXPECT_EQ(formatter().getCreatedDateFromString("2020-01-01T00:00:00.000000+0000"), Date(jan2020)) << zone;
    EXPECT_EQ(formatter().getCreatedDateFromString("2020-01-01T01:00:00.500000+0100"), Date(jan2020 + 0.5));
    EXPECT_EQ(formatter().getCreatedStringFromDate(Date(jan2020 + 0.25)), "2020-01-01T00:00:00.250000+0000");
  }
  // Without fraction digits only the wrapped form reads the text.
  EXPECT_EQ(formatter().getCreatedDateFromString("2020-01-01T00:00:00+0000"), std::nullopt);
  EXPECT_EQ(formatter().getCreatedDateFromStringWrapped("2020-01-01T00:00:00+0000"), Date(jan2020));
  EXPECT_EQ(formatter().getCreatedDateFromStringWrapped("2020-01-01T00:00:00.000000+0000"), Date(jan2020));
  EXPECT_EQ(formatter().getCreatedDateFromStringWrapped("2020-01-01"), std::nullopt);
  EXPECT_EQ(formatter().getCreatedDateFromString("2020-01-01T00:00:00.000000+0000 "), std::nullopt);
  EXPECT_EQ(formatter().getCreatedDateFromString(""), std::nullopt);
}

TEST_F(TalvarenDateFormatterTest, DeviceZoneAndUtcDayTextsDiffer) {
  inZone("Asia/Tokyo");
  EXPECT_EQ(formatter().getShortStringFromDate(Date(dec6At2000)), "2026-12-07");
  EXPECT_EQ(formatter().getShortStringFromDateUTC(Date(dec6At2000)), "2026-12-06");
  EXPECT_EQ(formatter().getShortStringFromDateTimeUTC(Date(dec6At2000)), "2026-12-06 20:00:00");
  EXPECT_EQ(formatter().getShortDateStringFromDateTimeUTC("2026-12-06 23:30:00"), "2026-12-07");
  EXPECT_EQ(formatter().getLongStringFromDate(Date(dec6At2000)), "2026-12-07T05:00:00.000000+0900");
  EXPECT_EQ(formatter().getDateFromLongDateString("2026-12-07T05:00:00.000000+0900"), Date(dec6At2000));
  EXPECT_EQ(formatter().getDateFromShortDateString("2026-12-07"), Date(dec6At2000 - 5 * 3600));
  EXPECT_EQ(formatter().getDateFromShortDateString("2026-12-7x"), std::nullopt);
  {
    testkit::ScopedFixedClock clock(dec6At2000);
    EXPECT_EQ(formatter().getShortDateStringFromDateTimeUTC("yesterday"), "2026-12-07");
  }
  inZone("America/New_York");
  EXPECT_EQ(formatter().getShortDateStringFromDateTimeUTC("2026-12-07 03:30:00"), "2026-12-06");
  EXPECT_EQ(formatter().getVisibleBirthStringFromDate(Date(dec6At2000)), "12-06-2026");
  EXPECT_EQ(formatter().getDateFromVisibleBirthDateString("12-06-2026"), Date(dec6At2000 - 15 * 3600));
  EXPECT_EQ(formatter().getDateFromVisibleBirthDateString("2026-12-06"), std::nullopt);
}

TEST_F(TalvarenDateFormatterTest, ChartLabelsAndMonthKeys) {
  inZone("Europe/Berlin");
  EXPECT_EQ(formatter().getChartDateFormatFrom("2026-12-06"), "12/06");
  EXPECT_EQ(formatter().getChartDateFormatFrom("06.12.2026"), "**");
  EXPECT_EQ(formatter().getYearMonthFromString("2026-12-06"), "2026-12");
  EXPECT_EQ(formatter().getYearMonthFromString(""), "");
  EXPECT_EQ(formatter().getYearMonthFromDate(Date(dec6At2000)), "2026-12");
}

TEST_F(TalvarenDateFormatterTest, AmPmTextsAreUtcWithFixedSymbols) {
  Locale::setCurrent(Locale("de_DE"));
  inZone("Europe/Berlin");
  EXPECT_EQ(formatter().getTimeAMPM(Date(dec6At2000 - 7 * 3600 + 300)), "1:05 PM");
  EXPECT_EQ(formatter().getTimeAMPM(Date(dec6At2000 - 20 * 3600 + 300)), "12:05 AM");
  EXPECT_EQ(formatter().getDateFormatTimeAMPM(Date(dec6At2000 + 9 * 60)), "12-06-2026 8:09 PM");
}

TEST_F(TalvarenDateFormatterTest, FullStyleDatesAreUpperCaseInTheCalendarLocale) {
  inZone("Europe/Berlin");
  EXPECT_EQ(formatter().getDateString(Date(dec6At2000)), "SUNDAY, DECEMBER 6, 2026");
  EXPECT_EQ(formatter().getDateFromString("Sunday, December 6, 2026"), Date(dec6At2000 - 21 * 3600));
  EXPECT_EQ(formatter().getShortDateStringFromFullDateString("Sunday, December 6, 2026"), "2026-12-06");
  {
    testkit::ScopedFixedClock clock(dec6At2000);
    EXPECT_EQ(formatter().getDateFromString("6/12/2026"), Date(dec6At2000));
    EXPECT_EQ(formatter().getShortDateStringFromFullDateString("not a date"), "2026-12-06");
  }
  Locale::setCurrent(Locale("de_DE"));
  // Reading follows the calendar's locale too.
  EXPECT_EQ(formatter().getDateFromString("Sonntag, 6. Dezember 2026"), Date(dec6At2000 - 21 * 3600));
  EXPECT_EQ(formatter().getShortDateStringFromFullDateString("Sonntag, 6. Dezember 2026"), "2026-12-06");
  {
    testkit::ScopedFixedClock clock(dec6At2000 + 30 * 86400.0);
    EXPECT_EQ(formatter().getDateFromString("Sunday, December 6, 2026"), Date(dec6At2000 + 30 * 86400.0));
  }
  std::string march = formatter().getDateString(Date(1773014400));  // 2026-03-09
  EXPECT_NE(march.find("M\xC3\x84RZ"), std::string::npos) << march;
  for (char c : march) EXPECT_FALSE(c >= 'a' && c <= 'z') << march;
}

TEST_F(TalvarenDateFormatterTest, CalendarDaysAndMonthEnds) {
  inZone("America/New_York");
  Date startOfDay(dec6At2000 - 15 * 3600);  // 2026-12-06 00:00 in New York
  EXPECT_TRUE(formatter().checkTheSomeDates(startOfDay, startOfDay.addingTimeInterval(23 * 3600 + 59 * 60)));
  EXPECT_FALSE(formatter().checkTheSomeDates(startOfDay, startOfDay.addingTimeInterval(-60)));
  EXPECT_FALSE(formatter().checkTheSomeDates(startOfDay, startOfDay.addingTimeInterval(365 * 86400.0)));

  EXPECT_EQ(formatter().getFirstDayOfTheMonth(Date(dec6At2000)), Date(startOfDay.timeIntervalSince1970() - 5 * 86400));
  EXPECT_EQ(formatter().getLastDayOfTheMonth(Date(dec6At2000)), Date(startOfDay.timeIntervalSince1970() + 25 * 86400));
  // February of a leap year.
  EXPECT_EQ(formatter().getShortStringFromDate(formatter().getLastDayOfTheMonth(Date(1833000000))), "2028-02-29");
  // An instant the calendar cannot place comes back as it was.
  EXPECT_EQ(formatter().getFirstDayOfTheMonth(Date(1e300)), Date(1e300));
  EXPECT_EQ(formatter().getLastDayOfTheMonth(Date(1e300)), Date(1e300));
}

TEST_F(TalvarenDateFormatterTest, OverridesAreUsedByTheOperationsBuiltOnThem) {
  struct Fixed : TalvarenDateFormatter {
    std::optional<Date> getDateFromShortDateString(const std::string&) const override { return Date(dec6At2000); }
    std::string getShortStringFromDate(const Date&) const override { return "overridden"; }
    Date getFirstDayOfTheMonth(const Date&) const override { return Date(jan2020); }
    std::optional<Date> getCreatedDateFromString(const std::string&) const override { return Date(7); }
  };
  inZone("UTC");
  Fixed fixed;
  EXPECT_EQ(fixed.getChartDateFormatFrom("anything"), "12/06");
  EXPECT_EQ(fixed.getYearMonthFromString("anything"), "2026-12");
  EXPECT_EQ(fixed.getShortDateStringFromFullDateString("Sunday, December 6, 2026"), "overridden");
  EXPECT_EQ(fixed.getLastDayOfTheMonth(Date(dec6At2000)), Date(jan2020 + 30 * 86400));
  EXPECT_EQ(fixed.getCreatedDateFromStringWrapped("2020-01-01T00:00:00+0000"), Date(7));
  // This one always writes with the base operation.
  EXPECT_EQ(fixed.getShortDateStringFromDateTimeUTC("2026-12-06 23:30:00"), "2026-12-06");
}
