#pragma once
// Private to the platform's time code: what a TimeZone holds, and instants split into whole seconds
// and microseconds within the supported range.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace date {
class time_zone;
struct sys_info;
struct local_info;
}

namespace talvaren::platform::detail {

/// 0001-01-01 00:00:00 UTC and 9999-12-31 23:59:59 UTC: the instants the calendar and formatter know.
constexpr std::int64_t kEarliestSecond = -62135596800;
constexpr std::int64_t kLatestSecond = 253402300799;

struct ZoneData {
  std::string identifier;
  /// The database zone; null for a fixed offset.
  const date::time_zone* zone = nullptr;
  std::int64_t fixedOffset = 0;
  /// The system database lists changes of summer time up to the end of `lastListedYear` only. From
  /// `repeatsFrom` on (the start of the year after, or never) a zone that still changes its clocks
  /// is read in a listed year of the same calendar shape, whose rules give the same dates.
  std::int64_t lastListedYear = 0;
  std::int64_t repeatsFrom = std::numeric_limits<std::int64_t>::max();

  /// Offset from GMT in seconds at an instant given in whole seconds since 1970.
  std::int64_t offsetAt(std::int64_t second) const;
  std::string abbreviationAt(std::int64_t second) const;
  bool isDaylightSavingTimeAt(std::int64_t second) const;
  /// The instant of a local wall-clock reading (seconds since 1970 as if local time were UTC). A
  /// reading skipped by a change of summer time moves forward by the gap (02:30 becomes 03:30); a
  /// reading that occurs twice gives the earlier instant.
  std::int64_t instantOf(std::int64_t localSecond) const;
  /// The first instant at or after a local wall-clock reading: a skipped reading gives the instant
  /// the clocks jumped, a doubled one the earlier instant. Used for the start of a day.
  std::int64_t firstInstantFrom(std::int64_t localSecond) const;

  /// The database's period at an instant, and at a local reading.
  date::sys_info sysInfo(std::int64_t second) const;
  date::local_info localInfo(std::int64_t localSecond) const;
  /// How far (in whole days, as seconds) a reading at `second` is moved back into the listed years.
  std::int64_t shiftIntoListedYears(std::int64_t second) const;
};

/// An instant rounded to the nearest microsecond.
struct Instant {
  std::int64_t second = 0;  // whole seconds since 1970, rounded down
  std::int64_t micro = 0;   // 0 ... 999999
};

bool inRange(std::int64_t second);
/// Absent for NaN, infinities and instants outside the supported range.
std::optional<Instant> splitInstant(double seconds);
/// Like splitInstant(), but NaN counts as 0 and other values are pinned to the supported range.
Instant clampInstant(double seconds);
double joinInstant(std::int64_t second, std::int64_t micro);

}  // namespace talvaren::platform::detail
