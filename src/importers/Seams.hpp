#pragma once
// Test seams of importers: where the testkit library (src/testkit/) points the providers at loopback
// servers, starts their connectors and managers afresh, and runs the Fitbit conversions directly.

#include <optional>
#include <string>
#include <vector>

#include "talvaren/importers/FitBitActivity.hpp"
#include "talvaren/records/ActivitySDK.hpp"
#include "talvaren/records/CaloriesSDK.hpp"

namespace talvaren::detail {

/// The providers' OAuth addresses that test code may point elsewhere.
enum class OAuthEndpoint { garminRequestToken, garminAuthorize, garminAccessToken, fitBitAuthorize };

/// Sets or (with none) clears the override of `endpoint`; clears them all.
void setOAuthEndpointOverride(OAuthEndpoint endpoint, std::optional<std::string> url);
void clearOAuthEndpointOverrides();

/// Resets of the shared managers: a running flow ends cancelled, the next sharedInstance() is new.
void resetGarminManager();
void resetFitBitManager();

/// The API base URL override (none: the real one; endpoint texts made so far are forgotten either way)
/// and a fresh shared connector, for each provider.
void setFitBitAPIBaseURL(std::optional<std::string> url);
void resetFitBitConnector();
void setGarminAPIBaseURL(std::optional<std::string> url);
void resetGarminConnector();

/// The records the Fitbit monthly imports make from their series.
std::vector<ActivitySDK> fitBitActivityRecords(const std::vector<FitBitActivity>& distance,
                                               const std::vector<FitBitActivity>& steps);
std::vector<CaloriesSDK> fitBitCaloriesRecords(const std::vector<FitBitActivity>& calories);

}  // namespace talvaren::detail
