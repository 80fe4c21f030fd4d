#pragma once
// Private to the platform's time code: Gregorian day arithmetic and the local wall-clock fields of an
// instant, shared by the calendar and the date formatter.

#include <cstdint>
#include <optional>

#include "platform/TimeZoneDetail.hpp"

namespace talvaren::platform::detail {

/// Years the day arithmetic accepts; wider than the instants the calendar knows, so that
/// intermediate steps (a month added to 9999-12-31) can be checked rather than overflow.
constexpr std::int64_t kYearLimit = 30000;

constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  auto q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
constexpr std::int64_t floorMod(std::int64_t a, std::int64_t b) { return a - floorDiv(a, b) * b; }

bool isLeapYear(std::int64_t year);
/// Days in a month (1 to 12) of a proleptic Gregorian year.
std::int64_t daysInMonth(std::int64_t year, std::int64_t month);
/// Days since 1970-01-01 of a valid date whose year lies within ±kYearLimit.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);
/// Days since 1970-01-01 of the first of a month, the month carried over into the year
/// (month 13 is January of the next year); absent when the year leaves ±kYearLimit.
std::optional<std::int64_t> daysFromYearMonth(std::int64_t year, std::int64_t month);

/// The wall-clock fields of an instant in a zone. `year` is proleptic (0 is 1 BC).
struct LocalTime {
  std::int64_t localSecond = 0;  // seconds since 1970 of the wall-clock reading, as if it were UTC
  std::int64_t days = 0;         // days since 1970-01-01 of the local date
  std::int64_t year = 1970;
  std::int64_t month = 1;
  std::int64_t day = 1;
  std::int64_t hour = 0;
  std::int64_t minute = 0;
  std::int64_t second = 0;
  std::int64_t micro = 0;
  std::int64_t weekday = 5;  // 1 is Sunday
  std::int64_t offset = 0;   // the zone's offset from GMT at the instant
};

LocalTime localTime(const ZoneData& zone, const Instant& instant);

}  // namespace talvaren::platform::detail
