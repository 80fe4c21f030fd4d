#include <algorithm>
#include <charconv>
#include <utility>

#include "retrieval/HealthManager.hpp"
#include "retrieval/HealthReading.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/records/RecordDescription.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

namespace health = platform::health;
using namespace reading;

namespace {

/// "%.2f" with a point, whatever locale the host set.
std::string twoDecimals(double value) {
  char text[400];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("0.00");
}

/// Adds each interval's miles to the entry of its day, or appends a new entry.
void mergeDaySums(const health::StatisticsCollection& collection, const Date& start, const Date& end,
                  std::vector<HealthDaySum>& list) {
  std::vector<HealthDaySum> sums;
  appendDaySums(collection, start, end, health::Unit::mile(), sums);
  for (auto& sum : sums) {
    auto found =
        std::find_if(list.begin(), list.end(), [&](const HealthDaySum& entry) { return entry.date == sum.date; });
    if (found == list.end()) {
      list.push_back(std::move(sum));
    } else {
      found->value += sum.value;
    }
  }
}

/// The step sample query of the log: up to 30 samples of the window, printed one by one.
void logStepSamples(health::HealthStore& store, const Date& start, const Date& end) {
  auto type = health::ObjectType::quantityType(health::QuantityTypeIdentifier::stepCount);
  if (!type) return;
  store.execute(std::make_shared<health::SampleQuery>(
      *type, health::predicateForSamples(start, end, health::QueryOptions::none), 30, std::nullopt,
      [](const health::SampleQuery&, std::optional<std::vector<health::SamplePointer>> samples, std::optional<Error>) {
        if (!samples) return;
        for (const auto& sample : *samples) {
          auto* quantitySample = dynamic_cast<const health::QuantitySample*>(sample.get());
          if (!quantitySample) continue;
          console::print("HealthKit getHKActivities step = " +
                         describe::number(quantitySample->quantity().doubleValue(health::Unit::count()).value_or(0)) +
                         " device = " + printed(sample->device()) + " startDate = " +
                         sample->startDate().description() + " endDate = " + sample->endDate().description());
        }
      }));
}

}  // namespace

void HealthManager::getHKActivities(Date forDate, ActivitiesCompletion completion) {
  console::print("HealthKit getHKActivities " + forDate.description());
  const Date start = beginningOfTheDay(forDate);
  const Date end = Date::now();
  console::print("HealthKit getHKActivities startDate " + start.description());
  console::print("HealthKit getHKActivities endDate " + end.description());
  logStepSamples(*healthKitStore, start, end);
  getMonthlySteps(
      start, end,
      [self = retain(), this, start, end, completion = std::move(completion)](
          std::shared_ptr<const health::StatisticsCollection> collection, std::optional<Error> error) mutable {
        platform::DispatchQueue::main().async([self, this, start, end, completion = std::move(completion),
                                               collection = std::move(collection), error = std::move(error)] {
          if (!collection || error) {
            if (completion) completion(std::nullopt, error);
            return;
          }
          std::vector<HealthDaySum> steps;
          collection->enumerateStatistics(start, end, [&](const health::Statistics& statistics, bool& stop) {
            console::print("HealthKit getHKActivities statistics = " + printed(statistics) +
                           " stop: " + describePointer(&stop));
            if (auto sum = usableSum(statistics, health::Unit::count())) {
              auto dateString = formatter()->getShortStringFromDate(statistics.startDate());
              console::print("HealthKit getHKActivities dateString = " + dateString +
                             " steps: " + describe::number(*sum));
              steps.push_back({std::move(dateString), *sum, 0});
            }
          });
          getMothlyDistance(start, end,
                            [self, this, steps = std::move(steps), completion](
                                std::optional<std::vector<HealthDaySum>> distance, std::optional<Error> distanceError) {
                              auto distances = distance.value_or(std::vector<HealthDaySum>{});
                              auto records = createActivities(steps, distances);
                              if (completion) completion(std::move(records), std::move(distanceError));
                            });
        });
      });
}

void HealthManager::getMothlyDistance(Date startDate, Date endDate, DaySumsCompletion completion) {
  auto list = std::make_shared<std::vector<HealthDaySum>>();
  getMonthlyRunningAndWalkingDistance(
      startDate, endDate,
      [self = retain(), this, startDate, endDate, list, completion = std::move(completion)](
          std::shared_ptr<const health::StatisticsCollection> walking, std::optional<Error>) mutable {
        if (walking) appendDaySums(*walking, startDate, endDate, health::Unit::mile(), *list);
        getMonthlyCyclingDistance(
            startDate, endDate,
            [self, this, startDate, endDate, list, completion = std::move(completion)](
                std::shared_ptr<const health::StatisticsCollection> cycling, std::optional<Error>) mutable {
              if (cycling) mergeDaySums(*cycling, startDate, endDate, *list);
              getMonthlySwimmingDistance(
                  startDate, endDate,
                  [self, startDate, endDate, list, completion = std::move(completion)](
                      std::shared_ptr<const health::StatisticsCollection> swimming, std::optional<Error> error) {
                    if (swimming) mergeDaySums(*swimming, startDate, endDate, *list);
                    if (completion) completion(std::move(*list), std::move(error));
                  });
            });
      });
}

std::vector<ActivitySDK> HealthManager::createActivities(const std::vector<HealthDaySum>& stepsArray,
                                                         std::vector<HealthDaySum>& distanceArray) {
  std::vector<ActivitySDK> result;
  auto append = [&result](const std::string& date, std::int64_t steps, std::string miles) {
    ActivitySDK record;
    record.date = date;
    record.steps = steps;
    record.miles = std::move(miles);
    stamp(record);
    result.push_back(std::move(record));
  };
  for (const auto& day : stepsArray) {
    auto steps = wholeNumber(day.value);
    if (!steps) continue;
    std::string miles = "0.00";
    auto found = std::find_if(distanceArray.begin(), distanceArray.end(),
                              [&](const HealthDaySum& entry) { return entry.date == day.date; });
    if (found != distanceArray.end()) {
      miles = twoDecimals(found->value);
      distanceArray.erase(found);
    }
    append(day.date, *steps, std::move(miles));
  }
  for (const auto& day : distanceArray) append(day.date, 0, twoDecimals(day.value));
  console::print("HealthKit getHKActivities result: " +
                 describe::list(result, [](const ActivitySDK& record) { return record.description(); }));
  return result;
}

void HealthManager::getMonthlySteps(Date startDate, Date endDate, StatisticsCompletion completion) {
  runDailyStatistics(health::QuantityTypeIdentifier::stepCount, startDate, endDate,
                     health::QueryOptions::strictStartDate, std::move(completion));
}

namespace {
/// The distance queries hand on a collection only together with no error.
HealthManager::StatisticsCompletion collectionOrError(HealthManager::StatisticsCompletion completion) {
  return [completion = std::move(completion)](std::shared_ptr<const health::StatisticsCollection> collection,
                                              std::optional<Error> error) {
    if (!completion) return;
    if (collection && !error) {
      completion(std::move(collection), std::nullopt);
    } else {
      completion(nullptr, std::move(error));
    }
  };
}
}  // namespace

void HealthManager::getMonthlyRunningAndWalkingDistance(Date startDate, Date endDate, StatisticsCompletion completion) {
  runDailyStatistics(health::QuantityTypeIdentifier::distanceWalkingRunning, startDate, endDate,
                     health::QueryOptions::strictStartDate, collectionOrError(std::move(completion)));
}

void HealthManager::getMonthlySwimmingDistance(Date startDate, Date endDate, StatisticsCompletion completion) {
  runDailyStatistics(health::QuantityTypeIdentifier::distanceSwimming, startDate, endDate,
                     health::QueryOptions::strictStartDate, collectionOrError(std::move(completion)));
}

void HealthManager::getMonthlyCyclingDistance(Date startDate, Date endDate, StatisticsCompletion completion) {
  runDailyStatistics(health::QuantityTypeIdentifier::distanceCycling, startDate, endDate,
                     health::QueryOptions::strictStartDate, collectionOrError(std::move(completion)));
}

}  // namespace talvaren
