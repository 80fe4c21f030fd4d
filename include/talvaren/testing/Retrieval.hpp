#pragma once
// Test-only: start the retrieval facade afresh.

namespace talvaren::testkit {

/// Drops the shared RetrieveDataConfiguration; the next shared() is a new one (latches clear, no delegate).
void resetSharedRetrieveDataConfiguration();

}  // namespace talvaren::testkit
