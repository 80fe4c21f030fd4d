// Entry points of the strap tasks that the routing already calls: the Kelo history channel, the Ravo
// packets and clock, and battery, version and firmware mode. Not built yet: each drops what it is
// given, reports nothing and writes nothing.

#include "talvaren/bluetooth/BluetoothConnector.hpp"

namespace talvaren {

void BluetoothConnector::getKeloDeviceTypePacket(const CharacteristicPtr&, const std::optional<Error>&) {}

void BluetoothConnector::getRavoDeviceTypePacket(const CharacteristicPtr&, const std::optional<Error>&) {}

void BluetoothConnector::getRavoUTC(const Bytes&) {}

void BluetoothConnector::getBatteryLevel(const CharacteristicPtr&, const std::optional<Error>&) {}

void BluetoothConnector::getSoftwareVersion(const PeripheralPtr&, const CharacteristicPtr&,
                                            const std::optional<Error>&) {}

bool BluetoothConnector::firmwareBatteryLevelWarning() { return false; }

void BluetoothConnector::setFimwareMode(const PeripheralPtr&, const std::vector<CharacteristicPtr>&) {}

}  // namespace talvaren
