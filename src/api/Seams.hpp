#pragma once
// Private: what the testkit library (src/testkit/) resets in the server client.

namespace talvaren::detail {

/// Drops the shared client; the next Connector::sharedInstance() makes a new one.
void resetSharedConnector();

}  // namespace talvaren::detail
