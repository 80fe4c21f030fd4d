// The Garmin paths of the retrieval facade: one import through the Garmin connector's import entry, its
// records handed over as they come, or its failure reported.

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "importers/GarminConnector.hpp"
#include "retrieval/ProviderRoads.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"

namespace talvaren {

namespace {

/// What differs between the three Garmin paths.
struct GarminRoad {
  const char* name;  // "getGarminSleepData"
  GarminImportKind kind;
  const char* decodingLine;
  RetieveDataType type;
};

/// The handler of one import: records (or an empty list) to the delegate, then `complete(true)` only when
/// the list had records; a failed request reported by its class.
template <class Record>
GarminConnector::ImportCompletion garminHandler(std::weak_ptr<RetrieveDataConfiguration> facade, GarminRoad road,
                                                void (RetrieveDataDelegate::*deliver)(const std::vector<Record>&,
                                                                                      RetrieveDataService),
                                                std::function<void(bool)> complete) {
  return [facade = std::move(facade), road, deliver, complete = std::move(complete)](
             std::optional<Error> error, std::optional<GarminConnector::Records> records) {
    auto finish = [&](bool handedOver) {
      if (complete) complete(handedOver);
    };
    if (!error) {
      const auto* list = records ? std::get_if<std::vector<Record>>(&*records) : nullptr;
      if (!list) {
        console::print(road.decodingLine);
        return finish(false);
      }
      roads::handOver(facade, RetrieveDataService::garmin, deliver, *list);
      return finish(!list->empty());
    }
    console::print(std::string("RetrieveDataConfiguration ") + road.name + " error = " + error->description());
    if (roads::lostConnection(*error)) {
      if (road.type == RetieveDataType::activity) {
        if (auto self = facade.lock()) {
          if (auto delegate = self->delegate()) {
            delegate->handlerError(ErrorRetrieve::errorGarminData("no internet connection"), road.type);
          }
        }
      }
      roads::printLostConnection();
      return finish(false);
    }
    roads::reportFailure(facade, RetrieveDataService::garmin, road.type, *error);
    finish(false);
  };
}

template <class Record>
void startGarminImport(const std::weak_ptr<RetrieveDataConfiguration>& facade, const GarminRoad& road,
                       platform::Date forDate,
                       void (RetrieveDataDelegate::*deliver)(const std::vector<Record>&, RetrieveDataService),
                       std::function<void(bool)> complete) {
  console::print(std::string("RetrieveDataConfiguration Garmin ") + road.name + " for day: " + forDate.description());
  GarminConnector::sharedInstance()->importData(road.kind, forDate,
                                                garminHandler<Record>(facade, road, deliver, std::move(complete)));
}

std::function<void(bool)> ignoringResult(RetrieveDataConfiguration::Complete complete) {
  return [complete = std::move(complete)](bool) {
    if (complete) complete();
  };
}

}  // namespace

void RetrieveDataConfiguration::getGarminSleepData(Date forDate, CompleteWithResult complete) {
  startGarminImport<SleepSDK>(weak_from_this(),
                              {"getGarminSleepData", GarminImportKind::sleep,
                               "RetrieveDataConfiguration Decoding garmin sleep error", RetieveDataType::sleep},
                              forDate, &RetrieveDataDelegate::didSleepsData, std::move(complete));
}

void RetrieveDataConfiguration::getGarminActivityData(Date forDate, Complete complete) {
  startGarminImport<ActivitySDK>(
      weak_from_this(),
      {"getGarminActivityData", GarminImportKind::activity, "RetrieveDataConfiguration Decoding garmin activity error",
       RetieveDataType::activity},
      forDate, &RetrieveDataDelegate::didActivityData, ignoringResult(std::move(complete)));
}

void RetrieveDataConfiguration::getGarminCaloriesData(Date forDate, Complete complete) {
  startGarminImport<CaloriesSDK>(
      weak_from_this(),
      {"getGarminCaloriesData", GarminImportKind::calories, "RetrieveDataConfiguration Decoding garmin calories error",
       RetieveDataType::calories},
      forDate, &RetrieveDataDelegate::didCaloriesData, ignoringResult(std::move(complete)));
}

}  // namespace talvaren
