#pragma once
// Test-only hooks of the Fitbit connector: point it at a loopback Web API, start from a fresh shared
// connector, and run the monthly conversions directly.

#include <optional>
#include <string>
#include <vector>

#include "talvaren/importers/FitBitActivity.hpp"
#include "talvaren/records/ActivitySDK.hpp"
#include "talvaren/records/CaloriesSDK.hpp"

namespace talvaren::testkit {

/// Replaces the Fitbit Web API base URL (ending in "/"; none: the real one again) and forgets every
/// endpoint text fixed so far, so the next use of each endpoint reads the new base.
void setFitBitAPIBaseURL(std::optional<std::string> url);
/// Drops the shared Fitbit connector: the next sharedInstance() is new, with empty keys and its
/// authorisation flag clear.
void resetFitBitConnector();

/// The records the monthly activity import makes from a distance and a steps series.
std::vector<ActivitySDK> convertFitBitActivities(const std::vector<FitBitActivity>& distance,
                                                 const std::vector<FitBitActivity>& steps);
/// The records the monthly calories import makes from a calories series.
std::vector<CaloriesSDK> convertFitBitCalories(const std::vector<FitBitActivity>& calories);

}  // namespace talvaren::testkit
