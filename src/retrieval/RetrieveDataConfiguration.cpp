#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"

#include <utility>

#include "importers/FitBitConnector.hpp"
#include "importers/FitBitManager.hpp"
#include "importers/GarminConnector.hpp"
#include "importers/GarminManager.hpp"
#include "platform/SharedInstance.hpp"
#include "retrieval/HealthManager.hpp"
#include "retrieval/Seams.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/retrieval/RetrieveDataAttributs.hpp"

namespace talvaren {

namespace {

detail::SharedInstance<RetrieveDataConfiguration>& sharedSlot() {
  static auto& slot = *new detail::SharedInstance<RetrieveDataConfiguration>();
  return slot;
}

/// The facade's constructor is protected: make() reaches it through this subclass.
class PlainConfiguration final : public RetrieveDataConfiguration {
 public:
  PlainConfiguration() = default;
};

using SleepPath = void (RetrieveDataConfiguration::*)(platform::Date, RetrieveDataConfiguration::CompleteWithResult);
using PlainPath = void (RetrieveDataConfiguration::*)(platform::Date, RetrieveDataConfiguration::Complete);

/// The path's own completion for the dispatch's `complete()`: the sleep paths' Bool is ignored.
RetrieveDataConfiguration::CompleteWithResult pathCompletion(SleepPath, RetrieveDataConfiguration::Complete complete) {
  return [complete = std::move(complete)](bool) {
    if (complete) complete();
  };
}
RetrieveDataConfiguration::Complete pathCompletion(PlainPath, RetrieveDataConfiguration::Complete complete) {
  return [complete = std::move(complete)] {
    if (complete) complete();
  };
}

/// Calls the provider's path, or completes at once while the provider is latched.
template <class Path>
void dispatch(RetrieveDataConfiguration& facade, platform::Date forDate, RetrieveDataService service,
              RetrieveDataConfiguration::Complete complete, Path healthKit, Path fitBit, Path garmin) {
  Path path = healthKit;
  if (service == RetrieveDataService::fitbit) path = fitBit;
  if (service == RetrieveDataService::garmin) path = garmin;
  const bool latched = (service == RetrieveDataService::fitbit && facade.fitBitReturnedErrorCode()) ||
                       (service == RetrieveDataService::garmin && facade.garminReturnedErrorCode());
  if (latched) {
    if (complete) complete();
    return;
  }
  (facade.*path)(forDate, pathCompletion(path, std::move(complete)));
}

void printEntry(const char* operation, const platform::Date& forDate) {
  console::print(std::string("RetrieveDataConfiguration ") + operation + " from date: " + forDate.description());
}

}  // namespace

// ---- instances -----------------------------------------------------------------------------------------

std::shared_ptr<RetrieveDataConfiguration> RetrieveDataConfiguration::shared() {
  return sharedSlot().get([] { return make(); });
}

std::shared_ptr<RetrieveDataConfiguration> RetrieveDataConfiguration::make() {
  return std::make_shared<PlainConfiguration>();
}

void detail::resetSharedRetrieveDataConfiguration() { (void)sharedSlot().reset(); }

RetrieveDataConfiguration::RetrieveDataConfiguration() : healthManager(std::make_shared<HealthManager>()) {}

RetrieveDataConfiguration::~RetrieveDataConfiguration() = default;

// ---- fields --------------------------------------------------------------------------------------------

bool RetrieveDataConfiguration::lastHistoryDataSuccess() const { return lastHistoryDataSuccess_; }
void RetrieveDataConfiguration::setLastHistoryDataSuccess(bool value) { lastHistoryDataSuccess_ = value; }
bool RetrieveDataConfiguration::garminReturnedErrorCode() const { return garminReturnedErrorCode_; }
void RetrieveDataConfiguration::setGarminReturnedErrorCode(bool value) { garminReturnedErrorCode_ = value; }
bool RetrieveDataConfiguration::fitBitReturnedErrorCode() const { return fitBitReturnedErrorCode_; }
void RetrieveDataConfiguration::setFitBitReturnedErrorCode(bool value) { fitBitReturnedErrorCode_ = value; }

std::shared_ptr<RetrieveDataDelegate> RetrieveDataConfiguration::delegate() const {
  std::weak_ptr<RetrieveDataDelegate> copy;
  {
    std::lock_guard lock(delegateMutex_);
    copy = delegate_;
  }
  return copy.lock();
}

void RetrieveDataConfiguration::setDelegate(std::weak_ptr<RetrieveDataDelegate> delegate) {
  std::lock_guard lock(delegateMutex_);
  delegate_ = std::move(delegate);
}

// ---- configuration -------------------------------------------------------------------------------------

void RetrieveDataConfiguration::confgurationGarmin(const std::string& consumerKey, const std::string& consumerSecret) {
  auto connector = GarminConnector::sharedInstance();
  connector->setConsumerKey(consumerKey);
  connector->setConsumerSecret(consumerSecret);
  connector->setAuthorizationWasNeeded(false);
  setGarminReturnedErrorCode(false);
}

void RetrieveDataConfiguration::confgurationFitbit(const std::string& consumerKey, const std::string& consumerSecret) {
  auto connector = FitBitConnector::sharedInstance();
  connector->setConsumerKey(consumerKey);
  connector->setConsumerSecret(consumerSecret);
  setFitBitReturnedErrorCode(false);
}

// ---- host entries and dispatch -------------------------------------------------------------------------

void RetrieveDataConfiguration::getSleepData(Date forDate, RetrieveDataService service, Complete complete) {
  printEntry("getSleepData", forDate);
  getExternalSleepData(forDate, service, std::move(complete));
}

void RetrieveDataConfiguration::getActivityData(Date forDate, RetrieveDataService service, Complete complete) {
  printEntry("getActivityData", forDate);
  getExternalActivityData(forDate, service, std::move(complete));
}

void RetrieveDataConfiguration::getCaloriesData(Date forDate, RetrieveDataService service, Complete complete) {
  printEntry("getCaloriesData", forDate);
  getExternalCaloriesData(forDate, service, std::move(complete));
}

void RetrieveDataConfiguration::getExternalSleepData(Date forDate, RetrieveDataService service, Complete complete) {
  dispatch<SleepPath>(*this, forDate, service, std::move(complete), &RetrieveDataConfiguration::getHealthKitSleepData,
                      &RetrieveDataConfiguration::getFitBitSleepData, &RetrieveDataConfiguration::getGarminSleepData);
}

void RetrieveDataConfiguration::getExternalActivityData(Date forDate, RetrieveDataService service, Complete complete) {
  dispatch<PlainPath>(
      *this, forDate, service, std::move(complete), &RetrieveDataConfiguration::getHealthKitActivityData,
      &RetrieveDataConfiguration::getFitBitActivityData, &RetrieveDataConfiguration::getGarminActivityData);
}

void RetrieveDataConfiguration::getExternalCaloriesData(Date forDate, RetrieveDataService service, Complete complete) {
  dispatch<PlainPath>(
      *this, forDate, service, std::move(complete), &RetrieveDataConfiguration::getHealthKitCaloriesData,
      &RetrieveDataConfiguration::getFitBitCaloriesData, &RetrieveDataConfiguration::getGarminCaloriesData);
}

// ---- provider texts ------------------------------------------------------------------------------------

std::string RetrieveDataAttributs::selectProvider(RetrieveDataService service) {
  switch (service) {
    case RetrieveDataService::healthkit:
      return std::string(HealthKitProviderName);
    case RetrieveDataService::fitbit:
      return std::string(FitBitProviderName);
    case RetrieveDataService::garmin:
      return std::string(GarminProviderName);
  }
  return {};
}

}  // namespace talvaren
