#pragma once
// The Gregorian calendar in a time zone: days, months and years of local wall-clock time, the start
// of a day, date components, adding components, comparisons and ordinals.
//
// Rules the whole kit relies on:
// - A day starts at its first instant: when a change of summer time skips local midnight the day
//   starts when the clocks jump (01:00); when midnight occurs twice it starts at the first one.
// - A local reading that does not exist (02:30 on the night clocks go forward) moves forward by the
//   gap (03:30); a reading that occurs twice means the earlier instant.
// - Adding components applies the largest unit first: years and months keep the wall-clock time and
//   pin the day to the end of a shorter month (Jan 31 + 1 month = Feb 28 or 29), days keep the
//   wall-clock time, hours, minutes, seconds and nanoseconds are elapsed time.
// - Instants are known from 0001-01-01 to 9999-12-31 (UTC) at microsecond precision. An operation
//   given NaN, an infinity or an instant outside that range, or whose result would fall outside it,
//   gives no result (absent, empty components, or the input itself where so documented).

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/TimeZone.hpp"

namespace talvaren::platform {

/// A locale by identifier ("en_US", "de_DE"). The current locale is what the host sets; "en_US" when
/// it sets none.
class Locale {
 public:
  explicit Locale(std::string identifier = "en_US") : identifier_(std::move(identifier)) {}
  const std::string& identifier() const { return identifier_; }
  /// The language part of the identifier: "de" for "de_DE" or "de-AT".
  std::string languageCode() const;

  static Locale current();
  static void setCurrent(const Locale& locale);
  static void resetCurrent();

  friend bool operator==(const Locale& a, const Locale& b) { return a.identifier_ == b.identifier_; }

 private:
  std::string identifier_;
};

enum class CalendarComponent { era, year, month, day, hour, minute, second, weekday, nanosecond };

/// A set of calendar fields, each present or absent. In the Gregorian calendar era 1 is AD and 0 BC,
/// months run 1 to 12 and weekdays 1 (Sunday) to 7 (Saturday).
struct DateComponents {
  std::optional<std::int64_t> era = std::nullopt;
  std::optional<std::int64_t> year = std::nullopt;
  std::optional<std::int64_t> month = std::nullopt;
  std::optional<std::int64_t> day = std::nullopt;
  std::optional<std::int64_t> hour = std::nullopt;
  std::optional<std::int64_t> minute = std::nullopt;
  std::optional<std::int64_t> second = std::nullopt;
  std::optional<std::int64_t> weekday = std::nullopt;
  std::optional<std::int64_t> nanosecond = std::nullopt;

  std::optional<std::int64_t> value(CalendarComponent component) const;
  void setValue(CalendarComponent component, std::optional<std::int64_t> value);

  friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

/// A span of time from `start`, `duration` seconds long (the end itself not included).
struct DateInterval {
  Date start;
  double duration = 0;
  Date end() const { return start.addingTimeInterval(duration); }
  bool contains(const Date& date) const { return date >= start && date < end(); }
};

/// The values a component takes within a larger one: lowerBound up to, not including, upperBound.
struct CalendarRange {
  std::int64_t lowerBound = 0;
  std::int64_t upperBound = 0;
  std::int64_t count() const { return upperBound - lowerBound; }
};

class Calendar {
 public:
  using Component = CalendarComponent;

  /// The Gregorian calendar in `timeZone` with `locale` (a calendar may have no locale).
  explicit Calendar(TimeZone timeZone, std::optional<Locale> locale = Locale::current());
  /// The device's calendar: Gregorian, in the current zone and with the current locale.
  static Calendar current();

  const TimeZone& timeZone() const { return timeZone_; }
  void setTimeZone(TimeZone timeZone) { timeZone_ = std::move(timeZone); }
  const std::optional<Locale>& locale() const { return locale_; }
  void setLocale(std::optional<Locale> locale) { locale_ = std::move(locale); }

  /// The first instant of the local day holding `date`; `date` itself when outside the known range.
  Date startOfDay(const Date& date) const;

  /// The requested fields of `date` (year is the year of its era); empty outside the known range.
  DateComponents dateComponents(const std::vector<Component>& components, const Date& date) const;
  std::optional<std::int64_t> component(Component component, const Date& date) const;
  /// The difference from `start` to `end` in the requested units, largest first: each unit holds the
  /// most whole units that adding them to `start` does not pass `end` (negative when `end` is earlier).
  DateComponents dateComponents(const std::vector<Component>& components, const Date& start,
                                const Date& end) const;

  /// The instant of a set of fields. Absent fields default to era 1, year 1, January, day 1, 00:00:00;
  /// fields beyond their range carry over (month 13 is January of the next year, day 0 the last
  /// day of the month before). Weekday is ignored. Absent when the result is outside the known range.
  std::optional<Date> dateFromComponents(const DateComponents& components) const;
  /// `date` plus the components, largest unit first (see the top of this file). Era and weekday are
  /// ignored.
  std::optional<Date> dateByAdding(const DateComponents& components, const Date& date) const;
  std::optional<Date> dateByAdding(Component component, std::int64_t value, const Date& date) const;

  /// Orders two instants by the unit: equal when they fall in the same day (month, hour, ...).
  /// Unordered when either is outside the known range.
  std::partial_ordering compare(const Date& a, const Date& b, Component granularity) const;
  bool isDate(const Date& a, const Date& b, Component granularity) const {
    return compare(a, b, granularity) == std::partial_ordering::equivalent;
  }
  bool isDateInSameDay(const Date& a, const Date& b) const { return isDate(a, b, Component::day); }

  /// The position of `date`'s smaller unit within the larger one, counted from 1: day in month
  /// (1 to 31), day in year, month in year, hour in day, day/month/year/hour/minute/second in the
  /// era. Absent for other pairs, before year 1 in the era, or outside the known range.
  std::optional<std::int64_t> ordinality(Component smaller, Component larger, const Date& date) const;
  /// The values of the smaller unit within the larger one around `date`: days of its month (1 ... 28
  /// to 31) or year, months of the year, hours of a day (0 ... 23), minutes, seconds, nanoseconds.
  std::optional<CalendarRange> range(Component smaller, Component larger, const Date& date) const;
  /// The year, month, day (or weekday), hour, minute or second holding `date`, from its first
  /// instant to the first instant of the next one.
  std::optional<DateInterval> dateInterval(Component component, const Date& date) const;

 private:
  TimeZone timeZone_;
  std::optional<Locale> locale_;
};

}  // namespace talvaren::platform

namespace talvaren {
using platform::Calendar;
using platform::CalendarComponent;
using platform::DateComponents;
using platform::DateInterval;
using platform::Locale;
}  // namespace talvaren
