#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "talvaren/platform/DateFormatter.hpp"
#include "talvaren/testing/Clock.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;

namespace {

constexpr const char* kServerStamp = "yyyy-MM-dd'T'HH:mm:ss.SSSSSSZ";
// 2026-12-07 00:00:00 UTC, a Monday.
constexpr double kDecember7 = 1796601600;

DateFormatter formatter(const std::string& pattern, const char* zone = "GMT") {
  DateFormatter f;
  f.setDateFormat(pattern);
  f.setTimeZone(TimeZone::named(zone).value());
  return f;
}

std::optional<double> parsed(const DateFormatter& f, std::string_view text) {
  auto date = f.date(text);
  if (!date) return std::nullopt;
  return date->timeIntervalSince1970();
}

}  // namespace

TEST(DateFormatterTest, ServerStampRoundTripsInEveryZone) {
  auto utc = formatter(kServerStamp);
  Date instant(kDecember7 + 3723.123456);
  EXPECT_EQ(utc.string(instant), "2026-12-07T01:02:03.123456+0000");
  for (const char* zone : {"GMT", "Europe/Berlin", "America/New_York", "Asia/Kolkata"}) {
    SCOPED_TRACE(zone);
    auto f = formatter(kServerStamp, zone);
    auto back = f.date(f.string(instant));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->timeIntervalSince1970(), instant.timeIntervalSince1970());
    // The offset in the text decides the instant, not the formatter's zone.
    EXPECT_EQ(parsed(f, "2026-12-07T01:02:03.123456+0000"), instant.timeIntervalSince1970());
  }
  EXPECT_EQ(formatter(kServerStamp, "Europe/Berlin").string(instant), "2026-12-07T02:02:03.123456+0100");
  EXPECT_EQ(formatter(kServerStamp, "America/New_York").string(instant), "2026-12-06T20:02:03.123456-0500");
  EXPECT_EQ(formatter(kServerStamp, "Asia/Kolkata").string(instant), "2026-12-07T06:32:03.123456+0530");
  EXPECT_EQ(parsed(utc, "2026-12-07T02:02:03.5-01:00"), kDecember7 + 3 * 3600 + 123.5);
  EXPECT_EQ(parsed(utc, "2026-12-07T01:02:03.000000Z"), kDecember7 + 3723);
}

TEST(DateFormatterTest, WholeTextMustMatch) {
  auto utc = formatter(kServerStamp);
  EXPECT_FALSE(utc.date("2026-12-07T01:02:03+0000").has_value());  // the fraction is missing
  EXPECT_FALSE(utc.date("2026-12-07T01:02:03.+0000").has_value());
  EXPECT_FALSE(utc.date("2026-12-07T01:02:03.123456+0000 ").has_value());
  EXPECT_FALSE(utc.date("2026-12-07T01:02:03.123456").has_value());
  EXPECT_FALSE(utc.date("2026-12-07 01:02:03.123456+0000").has_value());
  EXPECT_FALSE(utc.date("").has_value());

  auto day = formatter("yyyy-MM-dd");
  EXPECT_EQ(parsed(day, "2026-12-07"), kDecember7);
  EXPECT_EQ(parsed(day, "2026-2-7"), kDecember7 - 303 * 86400.0);
  for (const char* bad : {"2026-12-07x", "2026-12-07 00:00", "06.12.2026", "2026-13-01", "2026-02-29",
                          "2026-00-10", "2026-12-32", "0000-01-01", "2026-12-", "-2026-12-07", "２０２６-12-07"}) {
    EXPECT_FALSE(day.date(bad).has_value()) << bad;
  }
  EXPECT_TRUE(day.date("2028-02-29").has_value());
  auto time = formatter("yyyy-MM-dd HH:mm:ss");
  EXPECT_FALSE(time.date("2026-12-07 24:00:00").has_value());
  EXPECT_FALSE(time.date("2026-12-07 23:60:00").has_value());
  EXPECT_FALSE(time.date("2026-12-07 23:59:60").has_value());
  EXPECT_EQ(parsed(time, "2026-12-06 23:30:00"), kDecember7 - 1800);
}

TEST(DateFormatterTest, DayTextsDependOnTheZone) {
  Date lateEvening(kDecember7 - 1800);  // 23:30 UTC on 6 December
  EXPECT_EQ(formatter("yyyy-MM-dd").string(lateEvening), "2026-12-06");
  EXPECT_EQ(formatter("yyyy-MM-dd", "Europe/Berlin").string(lateEvening), "2026-12-07");
  EXPECT_EQ(formatter("MM/dd").string(lateEvening), "12/06");
  EXPECT_EQ(formatter("MM-dd-yyyy").string(lateEvening), "12-06-2026");
  EXPECT_EQ(formatter("yyyy-MM").string(lateEvening), "2026-12");
  // A day parsed in a zone starts at that zone's midnight.
  EXPECT_EQ(parsed(formatter("yyyy-MM-dd", "Europe/Berlin"), "2026-12-07"), kDecember7 - 3600);
  EXPECT_EQ(parsed(formatter("MM-dd-yyyy", "America/New_York"), "12-07-2026"), kDecember7 + 5 * 3600);
}

TEST(DateFormatterTest, TwelveHourClockWithSymbols) {
  auto f = formatter("MM-dd-yyyy h:mm a");
  EXPECT_EQ(f.string(Date(kDecember7 + 9 * 3600 + 5 * 60)), "12-07-2026 9:05 AM");
  EXPECT_EQ(f.string(Date(kDecember7)), "12-07-2026 12:00 AM");
  EXPECT_EQ(f.string(Date(kDecember7 + 12 * 3600)), "12-07-2026 12:00 PM");
  EXPECT_EQ(f.string(Date(kDecember7 + 23 * 3600 + 59 * 60)), "12-07-2026 11:59 PM");
  EXPECT_EQ(formatter("hh:mm a").string(Date(kDecember7 + 9 * 3600)), "09:00 AM");
  EXPECT_EQ(parsed(f, "12-07-2026 9:05 PM"), kDecember7 + 21 * 3600 + 5 * 60);
  EXPECT_EQ(parsed(f, "12-07-2026 12:30 am"), kDecember7 + 30 * 60);
  EXPECT_EQ(parsed(f, "12-07-2026 12:30 PM"), kDecember7 + 12 * 3600 + 30 * 60);
  EXPECT_FALSE(f.date("12-07-2026 13:30 PM").has_value());
  EXPECT_FALSE(f.date("12-07-2026 9:05").has_value());

  f.setAMSymbol("vorm.");
  f.setPMSymbol("nachm.");
  EXPECT_EQ(f.string(Date(kDecember7 + 15 * 3600)), "12-07-2026 3:00 nachm.");
  EXPECT_EQ(parsed(f, "12-07-2026 3:00 nachm."), kDecember7 + 15 * 3600);
  // The symbols stay "AM"/"PM" whatever the locale.
  testkit::ScopedLocale german(Locale("de_DE"));
  EXPECT_EQ(formatter("h:mm a").string(Date(kDecember7 + 15 * 3600)), "3:00 PM");
}

TEST(DateFormatterTest, ZoneOffsetForms) {
  Date summer(1783000000);  // 2026-07-02, summer time in Berlin
  EXPECT_EQ(formatter("Z").string(summer), "+0000");
  EXPECT_EQ(formatter("Z", "Europe/Berlin").string(summer), "+0200");
  EXPECT_EQ(formatter("ZZZZ", "Europe/Berlin").string(summer), "GMT+02:00");
  EXPECT_EQ(formatter("ZZZZZ", "America/New_York").string(summer), "-04:00");
  EXPECT_EQ(formatter("ZZZZZ").string(summer), "Z");
  auto f = formatter("yyyy-MM-dd HH:mm Z");
  EXPECT_EQ(parsed(f, "2026-12-07 02:00 +0200"), kDecember7);
  EXPECT_EQ(parsed(f, "2026-12-07 02:00 GMT+02:00"), kDecember7);
  EXPECT_FALSE(f.date("2026-12-07 02:00 +2").has_value());
  EXPECT_FALSE(f.date("2026-12-07 02:00 +02:0").has_value());
  EXPECT_FALSE(f.date("2026-12-07 02:00 +0260").has_value());
  // Before standard time New York kept local mean time, 4:56:02 behind GMT.
  Date early(-3000000000.0);  // 1874
  EXPECT_EQ(formatter("Z", "America/New_York").string(early), "-045602");
  EXPECT_EQ(formatter("ZZZZZ", "America/New_York").string(early), "-04:56:02");
  auto stamp = formatter(kServerStamp, "America/New_York");
  EXPECT_EQ(parsed(stamp, stamp.string(early)), early.timeIntervalSince1970());
  EXPECT_FALSE(f.date("2026-12-07 02:00 +2400").has_value());
  EXPECT_FALSE(f.date("2026-12-07 02:00").has_value());
}

TEST(DateFormatterTest, LocalReadingsAcrossSummerTimeChanges) {
  auto berlin = formatter("yyyy-MM-dd HH:mm", "Europe/Berlin");
  // 02:30 is skipped on 29 March 2026 and moves forward to 03:30 CEST.
  EXPECT_EQ(parsed(berlin, "2026-03-29 02:30"), 1774747800);
  EXPECT_EQ(berlin.string(Date(1774747800)), "2026-03-29 03:30");
  // 02:30 occurs twice on 25 October 2026: the first (CEST) is meant; the second still prints 02:30.
  EXPECT_EQ(parsed(berlin, "2026-10-25 02:30"), 1792888200);
  EXPECT_EQ(berlin.string(Date(1792888200 + 3600)), "2026-10-25 02:30");
  auto newYork = formatter("yyyy-MM-dd HH:mm", "America/New_York");
  EXPECT_EQ(parsed(newYork, "2026-03-08 02:30"), 1772955000);  // 03:30 EDT
  EXPECT_EQ(parsed(newYork, "2026-11-01 01:30"), 1793511000);  // 01:30 EDT, the first one
}

TEST(DateFormatterTest, PatternSyntax) {
  Date instant(kDecember7 + 45296.5);  // 12:34:56.5
  EXPECT_EQ(formatter("yyyyMMddHHmmss").string(instant), "20261207123456");
  EXPECT_EQ(parsed(formatter("yyyyMMddHHmmss"), "20261207123456"), kDecember7 + 45296);
  EXPECT_EQ(formatter("h 'o''clock', yy").string(instant), "12 o'clock, 26");
  EXPECT_EQ(formatter("ss.S|ss.SSS|SSSSSSSSS").string(instant), "56.5|56.500|500000000");
  EXPECT_EQ(formatter("EEE d MMM y").string(instant), "Mon 7 Dec 2026");
  EXPECT_EQ(formatter("y").string(Date(-62135596800.0)), "1");
  EXPECT_EQ(parsed(formatter("ss.SSS"), "07.123456789"), 7.123456);
  EXPECT_EQ(parsed(formatter("'T'HH"), "T05"), 5 * 3600);
  EXPECT_FALSE(formatter("'T'HH").date("t05").has_value());
  {
    testkit::ScopedFixedClock clock(kDecember7);
    auto twoDigits = formatter("dd.MM.yy");
    EXPECT_EQ(parsed(twoDigits, "07.12.26"), kDecember7);
    EXPECT_EQ(twoDigits.string(*twoDigits.date("01.01.50")), "01.01.50");
    EXPECT_EQ(formatter("yyyy").string(*twoDigits.date("01.01.50")), "1950");
    EXPECT_EQ(formatter("yyyy").string(*twoDigits.date("01.01.45")), "2045");
  }
  EXPECT_FALSE(DateFormatter().date("anything").has_value());
  EXPECT_EQ(DateFormatter().string(instant), "");
}

TEST(DateFormatterTest, FullDateStyleOfTheLocale) {
  DateFormatter f;
  f.setTimeZone(TimeZone::gmt());
  f.setDateStyle(DateFormatter::Style::full);
  EXPECT_EQ(f.locale().identifier(), "en_US");
  Date monday(kDecember7 + 15 * 3600);
  EXPECT_EQ(f.string(monday), "Monday, December 7, 2026");
  EXPECT_EQ(parsed(f, "Monday, December 7, 2026"), kDecember7);
  EXPECT_EQ(parsed(f, "MONDAY, DECEMBER 7, 2026"), kDecember7);
  EXPECT_FALSE(f.date("Monday, December 7, 2026 ").has_value());
  EXPECT_FALSE(f.date("Mondey, December 7, 2026").has_value());

  f.setLocale(Locale("de_DE"));
  EXPECT_EQ(f.string(monday), "Montag, 7. Dezember 2026");
  EXPECT_EQ(f.string(Date(1773600000)), "Sonntag, 15. M\u00e4rz 2026");
  EXPECT_EQ(parsed(f, "SONNTAG, 15. M\u00c4RZ 2026"), 1773532800);
  f.setLocale(Locale("fr_FR"));
  EXPECT_EQ(f.string(monday), "lundi 7 d\u00e9cembre 2026");
  f.setLocale(Locale("en_GB"));
  EXPECT_EQ(f.string(monday), "Monday, 7 December 2026");
  f.setLocale(Locale("xx_YY"));
  EXPECT_EQ(f.string(monday), "Monday, December 7, 2026");

  // A fixed pattern replaces the style.
  f.setDateFormat("yyyy");
  EXPECT_EQ(f.dateStyle(), DateFormatter::Style::none);
  EXPECT_EQ(f.string(monday), "2026");
}

TEST(DateFormatterTest, DefaultsFollowTheCurrentZoneAndLocale) {
  testkit::ScopedTimeZone zone("Asia/Tokyo");
  testkit::ScopedLocale locale(Locale("de_DE"));
  DateFormatter f;
  EXPECT_EQ(f.timeZone().identifier(), "Asia/Tokyo");
  EXPECT_EQ(f.locale().identifier(), "de_DE");
  f.setDateFormat("yyyy-MM-dd HH:mm");
  EXPECT_EQ(f.string(Date(kDecember7)), "2026-12-07 09:00");
}

TEST(DateFormatterTest, UnusableInstantsWriteTheNearestKnownOne) {
  auto f = formatter(kServerStamp);
  EXPECT_EQ(f.string(Date(std::nan(""))), "1970-01-01T00:00:00.000000+0000");
  EXPECT_EQ(f.string(Date(std::numeric_limits<double>::infinity())), "9999-12-31T23:59:59.000000+0000");
  EXPECT_EQ(f.string(Date(1e15)), "9999-12-31T23:59:59.000000+0000");
  EXPECT_EQ(f.string(Date(-1e15)), "0001-01-01T00:00:00.000000+0000");
  EXPECT_EQ(f.string(Date(-0.0000004)), "1970-01-01T00:00:00.000000+0000");
  EXPECT_EQ(f.string(Date(-0.000001)), "1969-12-31T23:59:59.999999+0000");
  // Parsing never gives an instant outside the known range.
  EXPECT_FALSE(f.date("9999-12-31T23:59:59.000000-0100").has_value());
  EXPECT_TRUE(f.date("9999-12-31T23:59:59.999999+0000").has_value());
  EXPECT_FALSE(f.date("99999-01-01T00:00:00.000000+0000").has_value());
  EXPECT_FALSE(f.date("99999999999999999999-01-01T00:00:00.000000+0000").has_value());
}

TEST(DateFormatterTest, LongAdjacentNumberFieldsReadEveryDigitWithoutOverflow) {
  // Adjacent number fields take as many digits as their letters, however many that is.
  auto fraction = formatter("ss" + std::string(24, 'S') + "mm");
  EXPECT_EQ(parsed(fraction, "03" "123456999999999999999999" "02"), 123.123456);
  auto padded = formatter("yyyyyyyyyyyyyyyyyyyyyyyyMMdd");
  EXPECT_EQ(padded.string(Date(kDecember7)), "000000000000000000002026" "1207");
  EXPECT_EQ(parsed(padded, "000000000000000000002026" "1207"), kDecember7);
  EXPECT_FALSE(padded.date("999999999999999999999999" "1207").has_value());
  EXPECT_FALSE(formatter("ddddddddddddddddddddddddMM").date("922337203685477580899999" "12").has_value());
}
