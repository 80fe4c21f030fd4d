#include "talvaren/utilities/DateExtensions.hpp"

#include "talvaren/platform/TimeZone.hpp"

namespace talvaren {

namespace {

using Component = CalendarComponent;

/// The calendar of the local day and month operations: the device's calendar in the current zone.
Calendar localCalendar() { return Calendar(TimeZone::current()); }

/// The receiver's local era, year, month and day joined again into a date: its local midnight, or
/// the first instant after a midnight that summer time skips.
std::optional<Date> localMidnight(const Calendar& calendar, const Date& date) {
  const auto fields =
      calendar.dateComponents({Component::era, Component::year, Component::month, Component::day}, date);
  if (!fields.year || !fields.month || !fields.day) return std::nullopt;
  return calendar.dateFromComponents(fields);
}

}  // namespace

Date beginningOfTheDay(const Date& date) { return localCalendar().startOfDay(date); }

Date endOfTheDay(const Date& date) {
  const auto calendar = localCalendar();
  const Date start = calendar.startOfDay(date);
  // The start of the next local day less one second. Taking the next day's start (rather than the
  // same wall-clock time a day later) keeps 23:59:59 also on a day that begins after a skipped
  // midnight.
  const auto nextDay = calendar.dateByAdding(Component::day, 1, start);
  if (!nextDay) return date;
  const Date nextStart = calendar.startOfDay(*nextDay);
  if (nextStart <= start) return date;
  return nextStart.addingTimeInterval(-1);
}

Date beginningOfTheDayUTC(const Date& date) { return Calendar(TimeZone::gmt()).startOfDay(date); }

Date startOfMonth(const Date& date) {
  const auto calendar = localCalendar();
  return localMidnight(calendar, calendar.startOfDay(date)).value_or(date);
}

Date endOfMonth(const Date& date) {
  DateComponents monthLessADay;
  monthLessADay.month = 1;
  monthLessADay.day = -1;
  return localCalendar().dateByAdding(monthLessADay, startOfMonth(date)).value_or(date);
}

std::int64_t interval(const Date& date, CalendarComponent ofComponent, const Date& fromDate) {
  const auto calendar = localCalendar();
  const auto to = calendar.ordinality(ofComponent, Component::era, date);
  const auto from = calendar.ordinality(ofComponent, Component::era, fromDate);
  if (!to || !from) return 0;
  return *to - *from;
}

Date stripTime(const Date& date) { return localMidnight(localCalendar(), date).value_or(Date::now()); }

Date localTimetoUTC(const Date& date) {
  const auto offset = static_cast<double>(TimeZone::current().secondsFromGMT(date));
  return Date(date.timeIntervalSince1970() - offset);
}

Date UTCToLocalTime(const Date& date) {
  const auto offset = static_cast<double>(TimeZone::current().secondsFromGMT(date));
  return Date(date.timeIntervalSince1970() + offset);
}

}  // namespace talvaren
