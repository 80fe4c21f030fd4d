#include "talvaren/testing/FitBit.hpp"

#include "importers/FitBitConnector.hpp"
#include "importers/FitBitManager.hpp"

namespace talvaren::testkit {

void setFitBitAPIBaseURL(std::optional<std::string> url) { detail::setFitBitAPIBaseURL(std::move(url)); }

void resetFitBitConnector() { detail::resetFitBitConnector(); }

std::vector<ActivitySDK> convertFitBitActivities(const std::vector<FitBitActivity>& distance,
                                                 const std::vector<FitBitActivity>& steps) {
  const auto manager = FitBitManager::sharedInstance();
  std::vector<ActivitySDK> records;
  manager->createActivities(distance, records, FitBitManager::ActivityType::distance);
  manager->createActivities(steps, records, FitBitManager::ActivityType::steps);
  return records;
}

std::vector<CaloriesSDK> convertFitBitCalories(const std::vector<FitBitActivity>& calories) {
  return FitBitManager::sharedInstance()->createCalories(calories);
}

}  // namespace talvaren::testkit
