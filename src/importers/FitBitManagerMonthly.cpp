#include <cmath>
#include <functional>
#include <string_view>

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

/// Where each date's first record sits in a list; the missing date has a slot of its own. An open-addressing
/// table of (hash, position) pairs in one block, sized for the records held and the most a conversion may
/// add (at most three quarters full, so a probe always ends): no allocation per date, and a probe touches a
/// record only when the hashes agree.
class DayIndex {
 public:
  DayIndex(const std::vector<ActivitySDK>& records, std::size_t more) : records_(records) {
    const std::size_t expected = records.size() + more;
    std::size_t slots = 16;
    while (slots - slots / 4 < expected) slots *= 2;
    slots_.assign(slots, Slot{});
    for (std::size_t i = 0; i < records.size(); ++i) remember(records[i].date, i);
  }

  std::optional<std::size_t> find(const std::optional<std::string>& date) const {
    if (!date) return undated_;
    const auto& slot = slots_[probe(*date)];
    return slot.position == empty ? std::nullopt : std::optional<std::size_t>(slot.position);
  }

  /// Keeps the first position of a date.
  void remember(const std::optional<std::string>& date, std::size_t position) {
    if (!date) {
      if (!undated_) undated_ = position;
      return;
    }
    auto& slot = slots_[probe(*date)];
    if (slot.position != empty) return;
    slot = Slot{hashOf(*date), position};
  }

 private:
  static constexpr std::size_t empty = static_cast<std::size_t>(-1);
  struct Slot {
    std::size_t hash = 0;
    std::size_t position = empty;
  };

  /// A day text "YYYY-MM-DD" hashes to a count of days, so that the days of a series, which come in order,
  /// take neighbouring slots and a conversion walks the table instead of jumping through it; any other text
  /// takes the standard string hash (the texts are compared whenever two hashes agree).
  static std::size_t hashOf(std::string_view date) {
    if (date.size() == 10 && date[4] == '-' && date[7] == '-') {
      std::size_t number = 0;
      bool digits = true;
      for (const std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        const char c = date[i];
        digits = digits && c >= '0' && c <= '9';
        number = number * 10 + static_cast<std::size_t>(c - '0');
      }
      // number is YYYYMMDD: 31 days to a month, 12 months to a year.
      if (digits) return number / 10000 * 372 + number / 100 % 100 * 31 + number % 100;
    }
    return std::hash<std::string_view>{}(date);
  }

  /// The slot holding `date`, or the empty slot where it belongs.
  std::size_t probe(std::string_view date) const {
    const std::size_t hash = hashOf(date);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const auto& slot = slots_[i];
      if (slot.position == empty) return i;
      if (slot.hash == hash && records_[slot.position].date == date) return i;
    }
  }

  const std::vector<ActivitySDK>& records_;
  std::vector<Slot> slots_;
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
      auto& record = activityData.emplace_back();
      record.date = point.dateTime;
      record.externalId = point.dateTime;
      record.externalProvider = std::string(FitBitProviderName);
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
  // Room for both series at once: the distance records are not moved when the steps series adds its days.
  records.reserve(distance.size() + steps.size());
  manager->createActivities(distance, records, FitBitManager::ActivityType::distance);
  manager->createActivities(steps, records, FitBitManager::ActivityType::steps);
  return records;
}

std::vector<CaloriesSDK> detail::fitBitCaloriesRecords(const std::vector<FitBitActivity>& calories) {
  return FitBitManager::sharedInstance()->createCalories(calories);
}

}  // namespace talvaren
