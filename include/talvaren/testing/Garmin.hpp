#pragma once
// Test-only: point the Garmin connector at a loopback Health API and start it afresh.

#include <string>

namespace talvaren::testkit {

/// The Health API base URL (ending in "/"); the endpoints are read afresh from it at their next use.
void setGarminAPIBaseURL(std::string url);
/// Back to the real address.
void resetGarminAPIBaseURL();
/// Drops the shared Garmin connector: the next sharedInstance() is a new one with empty keys, an empty
/// import state and the flag cleared.
void resetGarminConnector();

}  // namespace talvaren::testkit
