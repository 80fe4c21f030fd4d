#pragma once
// Test seams of api: what the testkit library (src/testkit/) resets in the server client.

namespace talvaren::detail {

/// Drops the shared client; the next Connector::sharedInstance() makes a new one.
void resetSharedConnector();
/// Forgets every endpoint text fixed so far: each reads its base URL again at its next use.
void resetEndpointTexts();

}  // namespace talvaren::detail
