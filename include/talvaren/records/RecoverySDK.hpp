#pragma once
// One recovery entry as the server stores it: sleep, heart-rate-recovery samples, reported HRV,
// alarm times, self-assessment scores, average heart rate and device text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "talvaren/platform/Json.hpp"
#include "talvaren/records/HRRecovery.hpp"
#include "talvaren/records/Record.hpp"

namespace talvaren {

/// JSON: every value under the key of its constant below. "hours_slept" is written and never read;
/// "created" and "modified" are read and never written; `recordId`, `startTimeInSeconds` and the
/// seconds companions live only in the object. Ordered by `createdTimestamp`.
///
/// Starting values differ by origin: a new entry has `percentage` 0, `stressLevel` 1, an empty
/// `hrRecovery` list and empty `s3Key` and `deviceString` texts; one read from JSON has only what the
/// JSON holds.
class RecoverySDK : public record::ServerDatesWithModified, public record::Ordered<RecoverySDK> {
 public:
  static constexpr std::string_view uuidKey = "uuid";
  static constexpr std::string_view ownerKey = "owner";
  static constexpr std::string_view hoursSleptKey = "hours_slept";
  static constexpr std::string_view dateKey = "date";
  static constexpr std::string_view percentageKey = "percentage";
  static constexpr std::string_view hrRecoveryKey = "hr_recovery";
  static constexpr std::string_view hrvReportedKey = "hrv_reported";
  static constexpr std::string_view alarmSetTimeKey = "alarm_set_time";
  static constexpr std::string_view alarmWakeTimeKey = "alarm_wake_time";
  static constexpr std::string_view stressLevelKey = "stress_level";
  static constexpr std::string_view numberOfDrinksKey = "number_of_drinks";
  static constexpr std::string_view nutritionAmountKey = "nutrition_amount";
  static constexpr std::string_view generalFeelingKey = "general_feeling";
  static constexpr std::string_view sleepQualityKey = "sleep_quality";
  static constexpr std::string_view sorenessKey = "soreness";
  static constexpr std::string_view s3KeyKey = "s3_key";
  static constexpr std::string_view externalIdKey = "external_id";
  static constexpr std::string_view externalProviderKey = "external_provider";
  static constexpr std::string_view createdKey = "created";
  static constexpr std::string_view modifiedKey = "modified";
  static constexpr std::string_view timestampKey = "timestamp";
  static constexpr std::string_view averageHrKey = "average_hr";
  static constexpr std::string_view fatigueLevelKey = "fatigue_level";
  static constexpr std::string_view deviceStringKey = "device_string";

  std::optional<std::string> uuid;
  std::optional<std::int64_t> owner;
  /// Written to JSON, never read from it.
  std::optional<std::int64_t> hoursSlept;
  std::optional<std::string> date;
  std::optional<std::int64_t> percentage = 0;
  /// The heart-rate-recovery samples ("hr_recovery"); a list holding anything but sample objects
  /// reads as absent.
  std::optional<std::vector<HRRecovery>> hrRecovery = std::vector<HRRecovery>{};
  std::optional<std::int64_t> hrvReported;
  std::optional<std::string> alarmSetTime;
  std::optional<std::string> alarmWakeTime;
  std::optional<std::int64_t> stressLevel = 1;
  std::optional<std::int64_t> numberOfDrinks;
  std::optional<std::int64_t> nutritionAmount;
  std::optional<std::int64_t> generalFeeling;
  std::optional<std::int64_t> sleepQuality;
  std::optional<std::int64_t> soreness;
  std::optional<std::string> s3Key = std::string();
  std::optional<std::string> externalId;
  std::optional<std::string> externalProvider;
  std::optional<std::int64_t> averageHr;
  std::optional<std::int64_t> fatigueLevel;
  /// Set only by the host; never in JSON.
  std::optional<std::int64_t> recordId;
  std::optional<std::string> deviceString = std::string();
  /// Set only by the host; never in JSON.
  std::optional<std::int64_t> startTimeInSeconds;

  /// Every value absent except the starting values named in the class comment.
  RecoverySDK();
  /// Always an entry for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<RecoverySDK> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;
  /// "recovery: \n" and one padded line per shown value, each ending in a line feed.
  std::string description() const;

  std::optional<double> orderingValue() const { return createdTimestamp; }

 private:
  struct Blank {};
  explicit RecoverySDK(Blank);
};

}  // namespace talvaren
