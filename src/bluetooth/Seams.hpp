#pragma once
// Test seams of bluetooth: where the testkit library (src/testkit/) starts the Bluetooth link afresh.

namespace talvaren::detail {

/// Drops the shared connector; the next sharedInstance() makes a new one.
void resetSharedBluetoothConnector();
/// Drops the shared facade; the next shared() makes a new one.
void resetSharedBluetoothConfiguration();

}  // namespace talvaren::detail
