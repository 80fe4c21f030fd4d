#pragma once
// Internal: what the Garmin day requests and folds share.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "talvaren/platform/Date.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren::detail {

/// Whole seconds since 1970 of `date`, the fraction dropped; held at Int64's bounds (0 for NaN).
inline std::int64_t wholeSeconds(const Date& date) {
  const double seconds = std::trunc(date.timeIntervalSince1970());
  if (std::isnan(seconds)) return 0;
  if (seconds <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  if (seconds >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(seconds);
}

/// endpoint?uploadStartTimeInSeconds=<start of the local day of `date`>&uploadEndTimeInSeconds=<its last
/// second>.
std::string garminDayURL(const std::string& endpoint, const Date& date);

/// The day text of a summary: its `calendarDate`, else the UTC day of start + offset (+ extra), which is
/// the wall-clock day at the user's offset. None when a needed value is missing or the sum overflows.
inline std::optional<std::string> garminDayText(const std::optional<std::string>& calendarDate,
                                                const std::optional<std::int64_t>& start,
                                                const std::optional<std::int64_t>& offset,
                                                std::optional<std::int64_t> extra = 0) {
  if (calendarDate) return calendarDate;
  std::int64_t local = 0;
  if (!start || !offset || !extra || __builtin_add_overflow(*start, *offset, &local) ||
      __builtin_add_overflow(local, *extra, &local)) {
    return std::nullopt;
  }
  return TalvarenDateFormatter::shared()->getShortStringFromDateUTC(Date(static_cast<double>(local)));
}

}  // namespace talvaren::detail
