#include "talvaren/testing/FitBit.hpp"

#include "importers/Seams.hpp"

namespace talvaren::testkit {

void setFitBitAPIBaseURL(std::optional<std::string> url) { detail::setFitBitAPIBaseURL(std::move(url)); }

void resetFitBitConnector() { detail::resetFitBitConnector(); }

std::vector<ActivitySDK> convertFitBitActivities(const std::vector<FitBitActivity>& distance,
                                                 const std::vector<FitBitActivity>& steps) {
  return detail::fitBitActivityRecords(distance, steps);
}

std::vector<CaloriesSDK> convertFitBitCalories(const std::vector<FitBitActivity>& calories) {
  return detail::fitBitCaloriesRecords(calories);
}

}  // namespace talvaren::testkit
