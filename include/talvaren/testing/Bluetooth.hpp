#pragma once
// Test-only: start the Bluetooth link afresh. The saved straps and flags live in the standard user
// defaults, which a TemporaryAppHome (Storage.hpp) already gives each test fresh.

namespace talvaren::testkit {

/// Drops the shared BluetoothConnector (and its central); the next sharedInstance() is a new one.
void resetSharedBluetoothConnector();
/// Drops the shared BluetoothConfiguration; the next shared() is a new one with no delegates.
void resetSharedBluetoothConfiguration();

}  // namespace talvaren::testkit
