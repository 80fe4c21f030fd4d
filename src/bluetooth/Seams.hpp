#pragma once
// Private: where the testkit library (src/testkit/) starts the Bluetooth link afresh.

namespace talvaren::detail {

/// Drops the shared BluetoothConnector (and its central); the next sharedInstance() makes a new one.
void dropSharedBluetoothConnector();

}  // namespace talvaren::detail
