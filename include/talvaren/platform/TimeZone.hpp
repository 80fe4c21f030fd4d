#pragma once
// Time zones over the system's tz database: named zones ("Europe/Berlin"), the zero-offset zones
// "UTC" and "GMT", fixed offsets, and the device's current zone.
//
// The current zone starts as the zone named by $TZ (an IANA name, an optional leading ':' allowed),
// then the one /etc/localtime points to, then UTC. Hosts and tests switch it with setCurrent(); the
// process environment is never read again after the first use, nor ever written.
//
// Instants are understood within 0001-01-01 and 9999-12-31 (UTC). An offset asked for outside that
// range is the zone's offset at the nearer end of it; NaN counts as 1970-01-01 00:00:00 UTC.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Date.hpp"

namespace talvaren::platform {

namespace detail {
struct ZoneData;
}

class TimeZone {
 public:
  /// The zone of the tz database with this IANA name ("Europe/Berlin", "UTC", "GMT", links such as
  /// "US/Eastern"); a "GMT+0200" form names a fixed offset. Absent for a name the database lacks.
  static std::optional<TimeZone> named(std::string_view identifier);
  /// The zone of an abbreviation; only "UTC" and "GMT" are known, both giving the zone "GMT".
  static std::optional<TimeZone> abbreviation(std::string_view abbreviation);
  /// A fixed offset east of GMT, identified as "GMT+HHMM" ("GMT" for zero); absent beyond ±18 hours.
  static std::optional<TimeZone> forSecondsFromGMT(std::int64_t seconds);
  /// The zero-offset zone "GMT", which needs no database and always exists.
  static TimeZone gmt();

  /// The device's current zone (see the top of this file).
  static TimeZone current();
  /// Makes `zone` the current zone for every later caller.
  static void setCurrent(const TimeZone& zone);
  /// Makes the zone of this IANA name current; false (and nothing changed) when the name is unknown.
  static bool setCurrent(std::string_view identifier);
  /// Forgets a zone set with setCurrent() and reads the system's default zone again.
  static void resetCurrent();

  /// The name this zone was made from ("Europe/Berlin", "GMT", "GMT+0200").
  const std::string& identifier() const;
  /// The offset from GMT in seconds (summer time included) in force at `date`.
  std::int64_t secondsFromGMT(const Date& date) const;
  /// The offset from GMT in seconds in force now.
  std::int64_t secondsFromGMT() const { return secondsFromGMT(Date::now()); }
  /// The zone's abbreviation at `date` ("CET", "CEST", "EST", "GMT", "GMT+0200").
  std::string abbreviationAt(const Date& date) const;
  /// Whether summer time is in force at `date`.
  bool isDaylightSavingTime(const Date& date) const;

  friend bool operator==(const TimeZone& a, const TimeZone& b) { return a.identifier() == b.identifier(); }

  /// For the platform's own calendar and formatter code.
  const detail::ZoneData& data() const { return *data_; }

 private:
  explicit TimeZone(std::shared_ptr<const detail::ZoneData> data) : data_(std::move(data)) {}
  std::shared_ptr<const detail::ZoneData> data_;
};

}  // namespace talvaren::platform

namespace talvaren {
using platform::TimeZone;
}
