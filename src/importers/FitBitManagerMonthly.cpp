#include <cmath>
#include <unordered_map>

#include "importers/FitBitConnector.hpp"
#include "importers/FitBitManager.hpp"
#include "importers/Seams.hpp"
#include "importers/RoomForMore.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"
#include "utilities/NumberText.hpp"

namespace talvaren {

namespace {

/// The points of a series reply under `key`, or none when the reply holds no array of point objects there.
std::optional<std::vector<FitBitActivity>> seriesPoints(const std::optional<nlohmann::json>& reply,
                                                        std::string_view key) {
  if (!reply) return std::nullopt;
  try {
    return Json::readRecordList<FitBitActivity>(*reply, key);
  } catch (...) {
    return std::nullopt;
  }
}

/// Where each date's first record sits in a list; the missing date has a slot of its own.
class DayIndex {
 public:
  DayIndex(const std::vector<ActivitySDK>& records, std::size_t more) {
    dated_.reserve(records.size() + more);
    for (std::size_t i = 0; i < records.size(); ++i) remember(records[i].date, i);
  }

  std::optional<std::size_t> find(const std::optional<std::string>& date) const {
    if (!date) return undated_;
    const auto found = dated_.find(*date);
    return found == dated_.end() ? std::nullopt : std::optional<std::size_t>(found->second);
  }

  /// Keeps the first position of a date.
  void remember(const std::optional<std::string>& date, std::size_t position) {
    if (!date) {
      if (!undated_) undated_ = position;
      return;
    }
    dated_.emplace(*date, position);
  }

 private:
  std::unordered_map<std::string, std::size_t> dated_;
  std::optional<std::size_t> undated_;
};

}  // namespace

void FitBitManager::getMothlyActivities(const Date& forDate, ActivitiesCompletion completion) {
  if (!completion) completion = [](auto, auto) {};
  std::weak_ptr<FitBitManager> weakManager = std::static_pointer_cast<FitBitManager>(shared_from_this());
  auto records = std::make_shared<std::vector<ActivitySDK>>();
  FitBitConnector::sharedInstance()->getMothlyDistance(forDate, [weakManager, records, forDate, completion](
                                                                    std::optional<Error> error,
                                                                    std::optional<nlohmann::json> reply) {
    if (error) return completion(std::nullopt, std::move(error));
    const auto distance = seriesPoints(reply, "activities-distance");
    if (!distance) {
      console::print("Decoding fitbit activities-distance error");
      return completion(std::nullopt, std::nullopt);
    }
    if (auto manager = weakManager.lock()) manager->createActivities(*distance, *records, ActivityType::distance);

    FitBitConnector::sharedInstance()->getMothlySteps(
        forDate, [weakManager, records, completion](std::optional<Error> error, std::optional<nlohmann::json> reply) {
          if (error) return completion(std::nullopt, std::move(error));
          const auto steps = seriesPoints(reply, "activities-steps");
          if (!steps) {
            console::print("Decoding fitbit activities-steps error");
            return completion(std::move(*records), std::nullopt);
          }
          if (auto manager = weakManager.lock()) manager->createActivities(*steps, *records, ActivityType::steps);
          completion(std::move(*records), std::nullopt);
        });
  });
}

void FitBitManager::getMothlyCalories(const Date& forDate, CaloriesCompletion completion) {
  if (!completion) completion = [](auto, auto) {};
  std::weak_ptr<FitBitManager> weakManager = std::static_pointer_cast<FitBitManager>(shared_from_this());
  FitBitConnector::sharedInstance()->getMothlyCalories(
      forDate, [weakManager, completion](std::optional<Error> error, std::optional<nlohmann::json> reply) {
        if (error) return completion(std::nullopt, std::move(error));
        const auto calories = seriesPoints(reply, "activities-calories");
        if (!calories) {
          console::print("Decoding fitbit activities-calories error");
          return completion(std::nullopt, std::nullopt);
        }
        const auto manager = weakManager.lock();
        completion(manager ? std::optional(manager->createCalories(*calories)) : std::nullopt, std::nullopt);
      });
}

void FitBitManager::createActivities(const std::vector<FitBitActivity>& fitBitData,
                                     std::vector<ActivitySDK>& activityData, ActivityType type) const {
  detail::roomForMore(activityData, fitBitData.size());
  DayIndex index(activityData, fitBitData.size());
  for (const auto& point : fitBitData) {
    auto position = index.find(point.dateTime);
    if (!position) {
      ActivitySDK record;
      record.date = point.dateTime;
      record.externalId = point.dateTime;
      record.externalProvider = std::string(FitBitProviderName);
      activityData.push_back(std::move(record));
      position = activityData.size() - 1;
      index.remember(point.dateTime, *position);
    }
    auto& record = activityData[*position];
    switch (type) {
      case ActivityType::distance: {
        // Taken as it comes: the values are miles because every request asks for "en_US".
        const auto miles = point.value ? detail::decimalNumber(*point.value) : std::nullopt;
        record.miles = miles && std::isfinite(*miles) ? std::optional(detail::twoDecimals(*miles)) : std::nullopt;
        break;
      }
      case ActivityType::steps:
        record.steps = point.value ? detail::wholeNumber(*point.value) : std::nullopt;
        break;
      case ActivityType::calories:
        break;
    }
  }
}

std::vector<CaloriesSDK> FitBitManager::createCalories(const std::vector<FitBitActivity>& caloriesData) const {
  std::vector<CaloriesSDK> records;
  records.reserve(caloriesData.size());
  // Every record of one conversion is created at the same moment.
  const std::string created = TalvarenDateFormatter::shared()->getCreatedStringFromDate(Date::now());
  for (const auto& point : caloriesData) {
    CaloriesSDK record;
    record.date = point.dateTime;
    record.value = point.value ? detail::wholeNumber(*point.value) : std::nullopt;
    record.externalId = point.dateTime;
    record.externalProvider = std::string(FitBitProviderName);
    record.setCreated(created);
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<ActivitySDK> detail::fitBitActivityRecords(const std::vector<FitBitActivity>& distance,
                                                       const std::vector<FitBitActivity>& steps) {
  const auto manager = FitBitManager::sharedInstance();
  std::vector<ActivitySDK> records;
  manager->createActivities(distance, records, FitBitManager::ActivityType::distance);
  manager->createActivities(steps, records, FitBitManager::ActivityType::steps);
  return records;
}

std::vector<CaloriesSDK> detail::fitBitCaloriesRecords(const std::vector<FitBitActivity>& calories) {
  return FitBitManager::sharedInstance()->createCalories(calories);
}

}  // namespace talvaren
