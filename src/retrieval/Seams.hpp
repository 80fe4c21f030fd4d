#pragma once
// Test seams of retrieval: where the testkit library (src/testkit/) starts the retrieval facade afresh.

namespace talvaren::detail {

/// Drops the shared facade; the next shared() makes a new one.
void resetSharedRetrieveDataConfiguration();

}  // namespace talvaren::detail
