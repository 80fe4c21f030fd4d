#include "talvaren/testing/Bluetooth.hpp"

#include "bluetooth/Seams.hpp"

namespace talvaren::testkit {

void resetSharedBluetoothConnector() { detail::dropSharedBluetoothConnector(); }

}  // namespace talvaren::testkit
