#pragma once
// Test-only: start the Bluetooth link afresh. The saved straps and flags live in the standard user
// defaults, which a TemporaryAppHome (Storage.hpp) already gives each test fresh.

namespace talvaren::testkit {

/// Drops the shared BluetoothConnector (and its central); the next sharedInstance() is a new one.
void resetSharedBluetoothConnector();

}  // namespace talvaren::testkit
