#pragma once
// One heart-rate value as the server stores it. Distinct from the strap history sample HeartRate.

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/records/Record.hpp"

namespace talvaren {

/// Keys read: "value", "timestamp" (required), "workout", "owner". Keys written: "value", "timestamp",
/// "workout". Ordered by `timestamp`.
class HeartrateSDK : public record::Ordered<HeartrateSDK> {
 public:
  /// The workout the sample belongs to.
  std::optional<std::string> workoutId;
  /// The device that took the sample; never read from or written to JSON.
  std::optional<std::string> device;

  /// Stores every argument as given; `date` is not derived from `timestamp`.
  HeartrateSDK(std::int64_t timestamp, std::int64_t value, Date date, std::int64_t owner, std::string device,
               std::optional<std::string> workoutId);

  /// No sample unless "timestamp" holds an integer. The date is derived from the time stamp: one whose
  /// decimal text (with its minus sign) is longer than 10 characters counts microseconds since 1970,
  /// otherwise seconds.
  static std::optional<HeartrateSDK> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;

  /// Beats per minute.
  const std::optional<std::int64_t>& value() const { return value_; }
  /// Seconds or microseconds since 1970 (see fromJSON).
  const std::optional<std::int64_t>& timestamp() const { return timestamp_; }
  const std::optional<Date>& date() const { return date_; }
  /// Key of the owning user; read from JSON, never written.
  const std::optional<std::int64_t>& owner() const { return owner_; }

  std::optional<std::int64_t> orderingValue() const { return timestamp_; }

 private:
  HeartrateSDK() = default;

  std::optional<std::int64_t> value_;
  std::optional<std::int64_t> timestamp_;
  std::optional<Date> date_;
  std::optional<std::int64_t> owner_;
};

}  // namespace talvaren
