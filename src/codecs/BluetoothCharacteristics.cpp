#include "talvaren/codecs/BluetoothCharacteristics.hpp"

namespace talvaren {

std::string_view rawValue(BluetoothCharacteristics characteristic) {
  switch (characteristic) {
    case BluetoothCharacteristics::BatteryLevel: return "00002A19-0000-1000-8000-00805F9B34FB";
    case BluetoothCharacteristics::ScoscheRhythm: return "FCE61001-7802-4392-B6B7-96B18DEAAD22";
    case BluetoothCharacteristics::RavoDeviceNotify: return "FC20";
    case BluetoothCharacteristics::RavoDeviceWrite: return "FC21";
    case BluetoothCharacteristics::KeloDeviceNotify: return "0000fd09-0000-1000-8000-00805f9b34fb";
    case BluetoothCharacteristics::KeloDeviceWrite: return "0000fd0a-0000-1000-8000-00805f9b34fb";
    case BluetoothCharacteristics::KeloDeviceNotifyHistry: return "FD19";
    case BluetoothCharacteristics::KeloDeviceWriteHistry: return "FD1A";
    case BluetoothCharacteristics::KeloAppSoftVersion: return "2A28";
    case BluetoothCharacteristics::KeloAppModeUUID16: return "FD0A";
    case BluetoothCharacteristics::KeloAppModeUUID128: return "8FC3FD0A-F21D-11E3-976C-0002A5D5C51B";
  }
  return {};
}

template <>
std::optional<BluetoothCharacteristics> fromRawValue<BluetoothCharacteristics>(std::string_view raw) {
  return detail::caseWithRawValue(BluetoothCharacteristicsAllCases, raw);
}

std::optional<platform::BluetoothUUID> cbuuid(BluetoothCharacteristics characteristic) {
  return platform::BluetoothUUID::fromString(rawValue(characteristic));
}

}  // namespace talvaren
