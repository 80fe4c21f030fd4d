#pragma once
// One day's activity of the user: steps and distance.

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/platform/Json.hpp"
#include "talvaren/records/Record.hpp"

namespace talvaren {

/// Keys read: "uuid", "owner", "date", "steps", "miles", "external_id", "external_provider", "created",
/// "timestamp". Keys written: the same without "created". Ordered by `createdTimestamp`.
class ActivitySDK : public record::ServerDates, public record::Ordered<ActivitySDK> {
 public:
  std::optional<std::string> uuid;
  std::optional<std::int64_t> owner;
  std::optional<std::string> date;
  std::optional<std::int64_t> steps;
  /// The day's distance in miles as a decimal text; a JSON number under "miles" reads as absent.
  std::optional<std::string> miles;
  std::optional<std::string> externalId;
  /// "apple_health_kit", "garmin_api" or "fit_bit_api" for imported days.
  std::optional<std::string> externalProvider;

  /// Every value absent.
  ActivitySDK() = default;
  /// Always a record for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<ActivitySDK> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;
  /// "Activity: uuid = ..., owner = ..., date = ..., steps = ..., miles = ..., externalId = ...,
  /// externalProvider = ..., created = ..." with no line feed.
  std::string description() const;

  std::optional<double> orderingValue() const { return createdTimestamp; }
};

}  // namespace talvaren
