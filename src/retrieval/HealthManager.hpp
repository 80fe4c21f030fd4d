#pragma once
// The kit's reader of the device's health store: asks for read access to the seven types the kit
// imports and turns daily sums of sleep, activity and calories into SleepSDK, ActivitySDK and
// CaloriesSDK records marked with HealthKitProviderName. Internal: the retrieval facade owns one.
//
// Make it with std::make_shared: the queries it starts keep it alive until they have answered.
//
// Where answers arrive (the store answers on its own serial queue, `healthKitStore->callbackQueue()`):
// - authorizeHealthKit: on the store's queue; at once on the caller's thread when the device has no
//   health data.
// - getHKSleepAnalysis: always on the main queue.
// - getHKActivities: records on the store's queue; no array (the step query failed) on the main queue.
// - getHKCaloriesAnalysis: records on the store's queue; no array (the active query failed) on the main
//   queue.
// A type the store does not offer fails like a query of it that answered with an error of
// HealthKitErrorDomain (HealthKitErrorCode::typeUnavailable), so every reader still answers once.
//
// Windows run from the start of `forDate`'s local day to now; statistics intervals are the local days
// counted from the start of today, whatever `forDate` is.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/health/HealthQueries.hpp"
#include "talvaren/platform/health/HealthStore.hpp"
#include "talvaren/records/ActivitySDK.hpp"
#include "talvaren/records/CaloriesSDK.hpp"
#include "talvaren/records/SleepSDK.hpp"

namespace talvaren {

/// The `externalProvider` of every record made from health-store data.
inline constexpr std::string_view HealthKitProviderName = "apple_health_kit";

/// The domain of the reader's own errors.
inline constexpr const char* HealthKitErrorDomain = "com.sarvikdesign.talvaren";
enum class HealthKitErrorCode : std::int64_t {
  /// "HealthKit is not availale in this Device"
  healthDataUnavailable = 2,
  /// "HealthKit data type is not available in this Device"
  typeUnavailable = 3,
};

/// One day's sum (or, for sleep, one sample's duration): the day text, the value and a kind.
struct HealthDaySum {
  std::string date;
  double value = 0;
  std::int64_t type = 0;
};

class HealthManager : public std::enable_shared_from_this<HealthManager> {
 public:
  using AuthorizationCompletion = std::function<void(bool success, std::optional<Error> error)>;
  using StatisticsCompletion =
      std::function<void(std::shared_ptr<const platform::health::StatisticsCollection>, std::optional<Error>)>;
  using DaySumsCompletion = std::function<void(std::optional<std::vector<HealthDaySum>>, std::optional<Error>)>;
  using RestingCompletion = std::function<void(std::vector<HealthDaySum>, std::optional<Error>)>;
  using ActivitiesCompletion = std::function<void(std::optional<std::vector<ActivitySDK>>, std::optional<Error>)>;
  using SleepCompletion = std::function<void(std::optional<std::vector<SleepSDK>>, std::optional<Error>)>;
  using CaloriesCompletion = std::function<void(std::optional<std::vector<CaloriesSDK>>, std::optional<Error>)>;
  using CategorySamplePointer = std::shared_ptr<const platform::health::CategorySample>;

  HealthManager();
  virtual ~HealthManager() = default;
  HealthManager(const HealthManager&) = delete;
  HealthManager& operator=(const HealthManager&) = delete;

  const std::shared_ptr<platform::health::HealthStore> healthKitStore;

  /// Asks to read sleep analysis, active and basal energy, walking and running, cycling and swimming
  /// distance and step count (in that order), never to write. Completion exactly once.
  virtual void authorizeHealthKit(AuthorizationCompletion completion);

  // Activity: one record per local day with steps or distance, from forDate's day to today.
  virtual void getHKActivities(Date forDate, ActivitiesCompletion completion);
  /// Walking and running, cycling and swimming miles merged per day; always a list.
  virtual void getMothlyDistance(Date startDate, Date endDate, DaySumsCompletion completion);
  /// Step days first, then the distance days without steps; matched distance entries leave `distanceArray`.
  virtual std::vector<ActivitySDK> createActivities(const std::vector<HealthDaySum>& stepsArray,
                                                    std::vector<HealthDaySum>& distanceArray);
  virtual void getMonthlySteps(Date startDate, Date endDate, StatisticsCompletion completion);
  virtual void getMonthlyRunningAndWalkingDistance(Date startDate, Date endDate, StatisticsCompletion completion);
  virtual void getMonthlySwimmingDistance(Date startDate, Date endDate, StatisticsCompletion completion);
  virtual void getMonthlyCyclingDistance(Date startDate, Date endDate, StatisticsCompletion completion);

  // Sleep: the 30 latest-ending samples of the window, one record per local day, ascending.
  virtual void getHKSleepAnalysis(Date forDate, SleepCompletion completion);
  /// From the start of today.
  void getHKSleepAnalysis(SleepCompletion completion) { getHKSleepAnalysis(Date::now(), std::move(completion)); }
  /// Drops each sample that lies inside an earlier kept sample of the same value.
  virtual std::vector<CategorySamplePointer> removingDuplicates(const std::vector<CategorySamplePointer>& samples);
  virtual std::vector<SleepSDK> createRecoveries(const std::vector<HealthDaySum>& sleepData);

  // Calories: active plus basal whole kilocalories per local day.
  virtual void getHKCaloriesAnalysis(Date forDate, CaloriesCompletion completion);
  virtual void getHKCaloriesRestingAnalysis(Date forDate, RestingCompletion completion);
  /// From the start of today.
  void getHKCaloriesAnalysis(CaloriesCompletion completion) {
    getHKCaloriesAnalysis(Date::now(), std::move(completion));
  }
  virtual std::vector<CaloriesSDK> createCalories(const std::vector<HealthDaySum>& caloriesActivData,
                                                  const std::vector<HealthDaySum>& caloriesRestData);

 protected:
  /// A daily statistics query (anchored at the start of today, cumulative sums) of `type` over the window;
  /// `handler` runs on the store's queue, with the store's error when the type is not offered.
  void runDailyStatistics(platform::health::QuantityTypeIdentifier type, Date startDate, Date endDate,
                          platform::health::QueryOptions options, StatisticsCompletion handler);
  /// Keeps the manager alive inside handlers when it is owned by a shared pointer.
  std::shared_ptr<HealthManager> retain() { return weak_from_this().lock(); }
};

}  // namespace talvaren
