#pragma once
// One night's sleep record: the common record values, which travel as JSON, and recovery-style values
// that the importers and the host fill and that live only in the object.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Json.hpp"
#include "talvaren/records/Record.hpp"

namespace talvaren {

/// Keys read: "uuid", "owner", "date", "value", "external_id", "external_provider", "created",
/// "timestamp". Keys written: the same without "created". Every other value is never in JSON.
/// A sleep record has no ordering and no equality.
class SleepSDK : public record::ServerDatesWithModified {
 public:
  std::optional<std::string> uuid;
  std::optional<std::int64_t> owner;
  /// The night's sleep in seconds.
  std::optional<std::int64_t> value;
  std::optional<std::string> date;
  std::optional<std::int64_t> percentage;
  std::optional<std::vector<std::int64_t>> hrvList;
  std::optional<std::int64_t> hrvReported;
  std::optional<std::string> alarmSetTime;
  std::optional<std::string> alarmWakeTime;
  std::optional<std::int64_t> stressLevel;
  std::optional<std::int64_t> numberOfDrinks;
  std::optional<std::int64_t> nutritionAmount;
  std::optional<std::int64_t> generalFeeling;
  std::optional<std::int64_t> sleepQuality;
  std::optional<std::int64_t> soreness;
  std::optional<std::string> s3Key;
  std::optional<std::string> externalId;
  /// "apple_health_kit", "garmin_api" or "fit_bit_api" when an importer made the record.
  std::optional<std::string> externalProvider;
  std::optional<std::int64_t> averageHr;
  std::optional<std::int64_t> fatigueLevel;
  std::optional<std::int64_t> recordId;
  std::optional<std::string> deviceString;
  /// The sleep's start in seconds.
  std::optional<std::int64_t> startTimeInSeconds;

  /// Every value absent.
  SleepSDK() = default;
  /// Always a record for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<SleepSDK> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;
  /// "Sleep: uuid = ..., owner = ..., date = ..., value = ..., externalId = ..., externalProvider = ...,
  /// created = ..." with no line feed.
  std::string description() const;

};

}  // namespace talvaren
