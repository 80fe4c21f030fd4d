#include "talvaren/codecs/BluetoothServices.hpp"

namespace talvaren {

std::string_view rawValue(BluetoothServices service) {
  switch (service) {
    case BluetoothServices::DeviceInfo: return "180A";
    case BluetoothServices::HeartRate: return "180D";
    case BluetoothServices::Battery: return "0000180F-0000-1000-8000-00805F9B34FB";
    case BluetoothServices::HeartRateMeasurement: return "2A37";
    case BluetoothServices::BodyLocation: return "2A38";
    case BluetoothServices::HearRateControlPoint: return "2A39";
    case BluetoothServices::ClientConfig: return "2902";
    case BluetoothServices::TurnRR: return "EB";
    case BluetoothServices::ScoscheRhythm: return "FCE61000-7802-4392-B6B7-96B18DEAAD22";
    case BluetoothServices::RavoDevice: return "FC00";
    case BluetoothServices::RavoDeviceData: return "8FC3FD00-F21D-11E3-976C-0002A5D5C51B";
    case BluetoothServices::KeloDevice: return "0000fd00-0000-1000-8000-00805f9b34fb";
    case BluetoothServices::KeloDeviceData: return "181C";
  }
  return {};
}

template <>
std::optional<BluetoothServices> fromRawValue<BluetoothServices>(std::string_view raw) {
  return detail::caseWithRawValue(BluetoothServicesAllCases, raw);
}

std::optional<platform::BluetoothUUID> cbuuid(BluetoothServices service) {
  return platform::BluetoothUUID::fromString(rawValue(service));
}

}  // namespace talvaren
