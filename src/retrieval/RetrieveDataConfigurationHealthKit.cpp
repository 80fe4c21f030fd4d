// The health-store paths of the retrieval facade: authorise, read, hand the records over, and queue
// `complete` on the main queue.

#include <string>
#include <utility>
#include <vector>

#include "retrieval/HealthManager.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"

namespace talvaren {

/// What differs between the three health-store paths.
struct RetrieveDataConfiguration::HealthKitRoad {
  /// Runs the reader on `self` for `forDate`, hands its answer to the delegate and then calls
  /// `answered(true)` when the reader gave a list.
  using Read = std::function<void(const std::shared_ptr<RetrieveDataConfiguration>& self, Date forDate,
                                  std::function<void(bool)> answered)>;

  std::string name;
  /// Whether a facade found gone when the store answers is worth a line.
  bool logsNilSelf = true;
  std::string grantedLine;
  RetieveDataType type;
  Read read;
};

void RetrieveDataConfiguration::runHealthKitRoad(const HealthKitRoad& road, Date forDate, CompleteWithResult complete) {
  console::print("RetrieveDataConfiguration HK " + road.name + " for day: " + forDate.description());
  healthManager->authorizeHealthKit([weak = weak_from_this(), road, forDate, complete = std::move(complete)](
                                        bool success, std::optional<Error> error) {
    auto self = weak.lock();
    if (!self) {
      if (road.logsNilSelf) console::print("RetrieveDataConfiguration HK " + road.name + " nil self");
      return;
    }
    if (!success) {
      platform::DispatchQueue::main().async([self, type = road.type, error = std::move(error), complete] {
        if (auto delegate = self->delegate()) {
          delegate->handlerError(error ? ErrorRetrieve::errorHealthKit(error->localizedDescription())
                                       : ErrorRetrieve::errorHealthKitAuthorization(),
                                 type);
        }
        if (complete) complete(false);
      });
      return;
    }
    console::print(road.grantedLine);
    road.read(self, forDate, [complete](bool gotList) {
      platform::DispatchQueue::main().async([complete, gotList] {
        if (complete) complete(gotList);
      });
    });
  });
}

namespace {

/// Hands a reader's answer (an empty list when it gave none) to the delegate; true when it gave a list.
template <class Record, class Deliver>
bool handOver(const std::shared_ptr<RetrieveDataConfiguration>& self, std::optional<std::vector<Record>> records,
              Deliver deliver) {
  const bool gotList = records.has_value();
  if (auto delegate = self->delegate()) {
    (delegate.get()->*deliver)(records ? *records : std::vector<Record>{}, RetrieveDataService::healthkit);
  }
  return gotList;
}

}  // namespace

void RetrieveDataConfiguration::getHealthKitSleepData(Date forDate, CompleteWithResult complete) {
  HealthKitRoad road{"getHealthKitSleepData", true, "HK granted", RetieveDataType::sleep,
                     [](const std::shared_ptr<RetrieveDataConfiguration>& self, Date day, auto answered) {
                       self->healthManager->getHKSleepAnalysis(
                           day, [self, answered](std::optional<std::vector<SleepSDK>> records, std::optional<Error>) {
                             answered(handOver(self, std::move(records), &RetrieveDataDelegate::didSleepsData));
                           });
                     }};
  runHealthKitRoad(road, forDate, std::move(complete));
}

void RetrieveDataConfiguration::getHealthKitActivityData(Date forDate, Complete complete) {
  HealthKitRoad road{"getHealthKitActivityData", true, "HK granted", RetieveDataType::activity,
                     [](const std::shared_ptr<RetrieveDataConfiguration>& self, Date day, auto answered) {
                       self->healthManager->getHKActivities(
                           day,
                           [self, answered](std::optional<std::vector<ActivitySDK>> records, std::optional<Error>) {
                             answered(handOver(self, std::move(records), &RetrieveDataDelegate::didActivityData));
                           });
                     }};
  runHealthKitRoad(road, forDate, [complete = std::move(complete)](bool) {
    if (complete) complete();
  });
}

void RetrieveDataConfiguration::getHealthKitCaloriesData(Date forDate, Complete complete) {
  HealthKitRoad road{
      "getHealthKitCaloriesData", false, "RetrieveDataConfiguration HK granted", RetieveDataType::calories,
      [](const std::shared_ptr<RetrieveDataConfiguration>& self, Date day, auto answered) {
        self->healthManager->getHKCaloriesAnalysis(
            day, [self, answered](std::optional<std::vector<CaloriesSDK>> records, std::optional<Error>) {
              answered(handOver(self, std::move(records), &RetrieveDataDelegate::didCaloriesData));
            });
      }};
  runHealthKitRoad(road, forDate, [complete = std::move(complete)](bool) {
    if (complete) complete();
  });
}

}  // namespace talvaren
