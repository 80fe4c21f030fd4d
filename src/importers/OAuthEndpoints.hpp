#pragma once
// Internal: the providers' OAuth addresses, with the overrides test code sets (through src/testkit).

#include <optional>
#include <string>

namespace talvaren::detail {

enum class OAuthEndpoint { garminRequestToken, garminAuthorize, garminAccessToken, fitBitAuthorize };

/// The override test code set for `endpoint`, if any.
std::optional<std::string> oauthEndpointOverride(OAuthEndpoint endpoint);
/// Seams for the testkit: set or (with none) clear an override; clear them all.
void setOAuthEndpointOverride(OAuthEndpoint endpoint, std::optional<std::string> url);
void clearOAuthEndpointOverrides();

/// Test resets of the shared managers: a running flow ends cancelled, the next sharedInstance() is new.
void resetGarminManager();
void resetFitBitManager();

}  // namespace talvaren::detail
