// The Fitbit paths of the retrieval facade: the sleep list through the Fitbit connector, activity and
// calories through the Fitbit manager's monthly conversions.

#include <string>
#include <utility>
#include <vector>

#include "importers/FitBitConnector.hpp"
#include "importers/FitBitManager.hpp"
#include "retrieval/FitBitSleepRecord.hpp"
#include "retrieval/ProviderRoads.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren {

SleepSDK fitBitSleepRecord(const FitBitSleep& entry) {
  SleepSDK record;
  record.percentage = 0;
  record.date = entry.dateOfSleep;
  record.value = roads::secondsFromMinutes(entry.minutesAsleep.value_or(0));
  record.externalId = entry.logId ? std::to_string(*entry.logId)
                                  : TalvarenDateFormatter::shared()->getShortStringFromDate(platform::Date::now());
  record.externalProvider = std::string(FitBitProviderName);
  return record;
}

namespace {

void printEntry(const char* name, const platform::Date& forDate) {
  console::print(std::string("RetrieveDataConfiguration FitBit ") + name + " for day: " + forDate.description());
}

/// The handler of the monthly activity or calories import.
template <class Record>
std::function<void(std::optional<std::vector<Record>>, std::optional<Error>)> monthlyHandler(
    std::weak_ptr<RetrieveDataConfiguration> facade, const char* name, bool printsOptionalError, RetieveDataType type,
    void (RetrieveDataDelegate::*deliver)(const std::vector<Record>&, RetrieveDataService),
    RetrieveDataConfiguration::Complete complete) {
  return [facade = std::move(facade), name, printsOptionalError, type, deliver, complete = std::move(complete)](
             std::optional<std::vector<Record>> records, std::optional<Error> error) {
    auto finish = [&] {
      if (complete) complete();
    };
    if (!error) {
      roads::handOver(facade, RetrieveDataService::fitbit, deliver, records.value_or(std::vector<Record>{}));
      return finish();
    }
    if (printsOptionalError) {
      console::print(std::string("RetrieveDataConfiguration ") + name + " error = Optional(" + error->description() +
                     ")");
    }
    if (roads::lostConnection(*error)) {
      roads::printLostConnection();
      return finish();
    }
    console::print(std::string("RetrieveDataConfiguration FitBit ") + name +
                   " error: " + error->localizedDescription());
    roads::reportFailure(facade, RetrieveDataService::fitbit, type, *error);
    finish();
  };
}

}  // namespace

void RetrieveDataConfiguration::getFitBitSleepData(Date forDate, CompleteWithResult complete) {
  printEntry("getFitBitSleepData", forDate);
  FitBitConnector::sharedInstance()->getSleepByDate(
      forDate, [facade = weak_from_this(), complete = std::move(complete)](std::optional<Error> error,
                                                                           std::optional<nlohmann::json> reply) {
        auto finish = [&](bool handedOver) {
          if (complete) complete(handedOver);
        };
        if (!error) {
          auto entries = FitBitSleep::parserSleep(reply);
          if (!entries) return finish(false);
          std::vector<SleepSDK> records;
          records.reserve(entries->size());
          for (const auto& entry : *entries) {
            console::print("FitBit sleep: " + entry.description());
            records.push_back(fitBitSleepRecord(entry));
          }
          roads::handOver(facade, RetrieveDataService::fitbit, &RetrieveDataDelegate::didSleepsData, records);
          return finish(!records.empty());
        }
        console::print("RetrieveDataConfiguration getFitBitSleepData error = " + error->description());
        if (roads::lostConnection(*error)) {
          roads::printLostConnection();
          return finish(false);
        }
        roads::reportFailure(facade, RetrieveDataService::fitbit, RetieveDataType::sleep, *error);
        finish(false);
      });
}

void RetrieveDataConfiguration::getFitBitActivityData(Date forDate, Complete complete) {
  printEntry("getFitBitActivityData", forDate);
  FitBitManager::sharedInstance()->getMothlyActivities(
      forDate, monthlyHandler<ActivitySDK>(weak_from_this(), "getFitBitActivityData", false, RetieveDataType::activity,
                                           &RetrieveDataDelegate::didActivityData, std::move(complete)));
}

void RetrieveDataConfiguration::getFitBitCaloriesData(Date forDate, Complete complete) {
  printEntry("getFitBitCaloriesData", forDate);
  FitBitManager::sharedInstance()->getMothlyCalories(
      forDate, monthlyHandler<CaloriesSDK>(weak_from_this(), "getFitBitCaloriesData", true, RetieveDataType::calories,
                                           &RetrieveDataDelegate::didCaloriesData, std::move(complete)));
}

}  // namespace talvaren
