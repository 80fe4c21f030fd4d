#pragma once
// Operations on dates: day bounds in the device's zone and in UTC, a month window, a count of
// calendar units between two dates, a time-stripping operation, and the two shifts between real
// instants and the straps' clock, which keeps local wall-clock time counted as if it were UTC.
//
// None of them throws or fails on a local midnight that summer time skips or repeats, nor on a date
// outside the calendar's range (NaN and infinities included): such a receiver comes back unchanged
// from the bounds, gives 0 from interval() and the current date from stripTime().

#include <cstdint>

#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/Date.hpp"

namespace talvaren {

/// The start of the device's local day that holds `date` (local midnight, or the first instant of
/// the day when summer time skips midnight).
Date beginningOfTheDay(const Date& date);
/// 23:59:59 of the same local day: the start of the day plus one day less one second.
Date endOfTheDay(const Date& date);
/// 00:00:00 UTC of the UTC date that holds `date`.
Date beginningOfTheDayUTC(const Date& date);
/// The start of the local day of `date` (the same instant as beginningOfTheDay(), not the first day
/// of the month).
Date startOfMonth(const Date& date);
/// startOfMonth() plus one month (pinned to the month's last day) less one day.
Date endOfMonth(const Date& date);
/// The ordinal of `component` within the era for `date` minus the same ordinal for `fromDate`, in
/// the device's calendar: calendar boundaries crossed, not elapsed time (23:00 to 01:00 of the next
/// day is 1 day). Positive when `date` is later; 0 when the calendar gives no ordinal for either date
/// (components other than year, month, day, hour, minute and second, or a date outside its range).
std::int64_t interval(const Date& date, CalendarComponent ofComponent, const Date& fromDate);
/// Local midnight of `date`'s local year, month and day; the current date when none can be built.
Date stripTime(const Date& date);

/// The strap clock's reading back to a real instant: `date` minus the device's current zone offset,
/// the offset taken at `date` itself (not a local-to-UTC conversion: the two differ within an hour of
/// a change of summer time).
Date localTimetoUTC(const Date& date);
/// A real instant to the strap clock's reading: `date` plus the device's current zone offset at
/// `date`.
Date UTCToLocalTime(const Date& date);

}  // namespace talvaren
