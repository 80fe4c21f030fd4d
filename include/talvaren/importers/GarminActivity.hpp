#pragma once
// One Garmin Health API daily summary or activity, as the activity and calories imports read it.

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/platform/Json.hpp"

namespace talvaren {

/// Every field is read from the key of its own name and left empty when the key is missing, null or of
/// another kind (a whole number for the integers, any number for `distanceInMeters`, a JSON string for
/// the texts); unlisted keys are ignored and nothing throws.
class GarminActivity {
 public:
  std::optional<std::string> summaryId;
  /// Read, never written by toJSON().
  std::optional<std::int64_t> durationInSeconds;
  /// The start in seconds since 1970.
  std::optional<std::int64_t> startTimeInSeconds;
  /// The offset of the user's local time from UTC, in seconds.
  std::optional<std::int64_t> startTimeOffsetInSeconds;
  std::optional<std::int64_t> activeKilocalories;
  std::optional<double> distanceInMeters;
  std::optional<std::int64_t> steps;
  /// The summary's day, "yyyy-MM-dd".
  std::optional<std::string> calendarDate;

  GarminActivity() = default;
  /// Always a record for a JSON object (an empty one included); none only for a value that is no object.
  static std::optional<GarminActivity> fromJSON(const JSON& json);
  /// The fields that are set, each under its key; `durationInSeconds` is left out.
  std::optional<JSON> toJSON() const;
  /// "Garmin activity data - date = nil, summaryId = nil, calories = nil, distanceInMeters = nil,
  /// steps = Optional(1200)" (values in their optional forms, no line feed).
  std::string description() const;
};

}  // namespace talvaren
