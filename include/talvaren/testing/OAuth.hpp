#pragma once
// Test-only: point the Garmin and Fitbit authorisations at loopback providers, and start the managers
// afresh.

#include <string>

namespace talvaren::testkit {

/// Garmin's request-token, confirmation-page and access-token URLs (https by default).
void setGarminOAuthURLs(std::string requestToken, std::string authorize, std::string accessToken);
/// Fitbit's authorisation page (https by default).
void setFitBitAuthorizeURL(std::string url);
/// Back to the real providers' addresses.
void resetOAuthURLs();

/// Ends any running Garmin or Fitbit authorisation (its completion gets false) and drops both shared
/// managers: the next sharedInstance() makes a new one, its switch enabled.
void resetOAuthManagers();

}  // namespace talvaren::testkit
