#include <algorithm>
#include <utility>

#include "retrieval/HealthManager.hpp"
#include "retrieval/HealthReading.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

namespace health = platform::health;
using namespace reading;

void HealthManager::getHKCaloriesAnalysis(Date forDate, CaloriesCompletion completion) {
  console::print("HealthKit getHKCaloriesAnalysis " + forDate.description());
  const Date start = beginningOfTheDay(forDate);
  const Date end = Date::now();
  runDailyStatistics(
      health::QuantityTypeIdentifier::activeEnergyBurned, start, end, health::QueryOptions::none,
      [self = retain(), this, forDate, start, end, completion = std::move(completion)](
          std::shared_ptr<const health::StatisticsCollection> collection, std::optional<Error> error) mutable {
        platform::DispatchQueue::main().async([self, this, forDate, start, end, completion = std::move(completion),
                                               collection = std::move(collection), error = std::move(error)] {
          if (!collection || error) {
            console::print("getMothlyCaloriesAnalysis error:" + printed(error));
            if (completion) completion(std::nullopt, error);
            return;
          }
          std::vector<HealthDaySum> active;
          appendDaySums(*collection, start, end, health::Unit::kilocalorie(), active);
          getHKCaloriesRestingAnalysis(forDate, [self, this, active = std::move(active), completion](
                                                    std::vector<HealthDaySum> rest, std::optional<Error> restError) {
            auto records = createCalories(active, rest);
            if (completion) completion(std::move(records), std::move(restError));
          });
        });
      });
}

void HealthManager::getHKCaloriesRestingAnalysis(Date forDate, RestingCompletion completion) {
  console::print("HealthKit getHKCaloriesRestingAnalysis " + forDate.description());
  const Date start = beginningOfTheDay(forDate);
  const Date end = Date::now();
  runDailyStatistics(health::QuantityTypeIdentifier::basalEnergyBurned, start, end, health::QueryOptions::none,
                     [start, end, completion = std::move(completion)](
                         std::shared_ptr<const health::StatisticsCollection> collection, std::optional<Error> error) {
                       std::vector<HealthDaySum> rest;
                       if (collection && !error) {
                         appendDaySums(*collection, start, end, health::Unit::kilocalorie(), rest);
                       } else {
                         console::print("getMothlyCaloriesRestAnalysis error:" + printed(error));
                       }
                       if (completion) completion(std::move(rest), std::move(error));
                     });
}

std::vector<CaloriesSDK> HealthManager::createCalories(const std::vector<HealthDaySum>& caloriesActivData,
                                                       const std::vector<HealthDaySum>& caloriesRestData) {
  std::vector<CaloriesSDK> result;
  auto append = [&result](const HealthDaySum& sum, std::int64_t value) {
    CaloriesSDK record;
    record.date = sum.date;
    record.value = value;
    stamp(record);
    result.push_back(std::move(record));
  };
  for (const auto& sum : caloriesActivData) {
    if (auto value = wholeNumber(sum.value)) append(sum, *value);
  }
  for (const auto& sum : caloriesRestData) {
    auto value = wholeNumber(sum.value);
    if (!value) continue;
    auto found =
        std::find_if(result.begin(), result.end(), [&](const CaloriesSDK& record) { return record.date == sum.date; });
    if (found == result.end()) {
      append(sum, *value);
    } else {
      found->value = found->value ? saturatingAdd(*found->value, *value) : *value;
    }
  }
  return result;
}

}  // namespace talvaren
