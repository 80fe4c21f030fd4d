#pragma once
// One Garmin Health API sleep summary, as the sleep import reads it.

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/platform/Json.hpp"

namespace talvaren {

/// Every field is read from the key of its own name and left empty when the key is missing, null or of
/// another kind (a whole number for the integers, a JSON string for the texts); unlisted keys are ignored
/// and nothing throws.
class GarminSleep {
 public:
  std::optional<std::string> summaryId;
  std::optional<std::int64_t> durationInSeconds;
  /// The start in seconds since 1970.
  std::optional<std::int64_t> startTimeInSeconds;
  /// The offset of the user's local time from UTC, in seconds.
  std::optional<std::int64_t> startTimeOffsetInSeconds;
  std::optional<std::int64_t> awakeDurationInSeconds;
  std::optional<std::int64_t> deepSleepDurationInSeconds;
  std::optional<std::int64_t> lightSleepDurationInSeconds;
  /// Carried as it came; the kit does not interpret it.
  std::optional<std::string> validation;
  /// The summary's day, "yyyy-MM-dd".
  std::optional<std::string> calendarDate;

  GarminSleep() = default;
  /// Always a record for a JSON object (an empty one included); none only for a value that is no object.
  static std::optional<GarminSleep> fromJSON(const JSON& json);
  /// The fields that are set, each under its key (all nine keys at most).
  std::optional<JSON> toJSON() const;
  /// "Garmin sleep data - date = nil, summaryId = nil, duration = nil, startTimeInSeconds = nil,
  /// startTimeOffsetInSeconds = nil" (values in their optional forms, no line feed).
  std::string description() const;
};

}  // namespace talvaren
