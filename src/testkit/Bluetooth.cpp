#include "talvaren/testing/Bluetooth.hpp"

#include "bluetooth/Seams.hpp"

namespace talvaren::testkit {

void resetSharedBluetoothConnector() { detail::resetSharedBluetoothConnector(); }

void resetSharedBluetoothConfiguration() { detail::resetSharedBluetoothConfiguration(); }

}  // namespace talvaren::testkit
