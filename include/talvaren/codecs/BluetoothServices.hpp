#pragma once
// The Bluetooth LE services (and a few other identifiers) that the kit looks for on a strap.

#include <array>
#include <optional>
#include <string_view>

#include "talvaren/platform/RawValue.hpp"
#include "talvaren/platform/ble/BluetoothUUID.hpp"

namespace talvaren {

/// Raw values are the identifier texts, stored and compared exactly as written. Besides services the
/// table holds three standard characteristic numbers, one descriptor number and the one-byte command
/// `TurnRR` ("EB"), which is hex command text rather than a UUID.
enum class BluetoothServices {
  DeviceInfo,
  HeartRate,
  Battery,
  HeartRateMeasurement,
  BodyLocation,
  HearRateControlPoint,
  ClientConfig,
  TurnRR,
  ScoscheRhythm,
  RavoDevice,
  RavoDeviceData,
  KeloDevice,
  KeloDeviceData,
};

inline constexpr std::array<BluetoothServices, 13> BluetoothServicesAllCases = {
    BluetoothServices::DeviceInfo,       BluetoothServices::HeartRate,
    BluetoothServices::Battery,          BluetoothServices::HeartRateMeasurement,
    BluetoothServices::BodyLocation,     BluetoothServices::HearRateControlPoint,
    BluetoothServices::ClientConfig,     BluetoothServices::TurnRR,
    BluetoothServices::ScoscheRhythm,    BluetoothServices::RavoDevice,
    BluetoothServices::RavoDeviceData,   BluetoothServices::KeloDevice,
    BluetoothServices::KeloDeviceData,
};

template <>
struct RawValueOf<BluetoothServices> {
  using type = std::string_view;
};

/// The case's identifier text.
std::string_view rawValue(BluetoothServices service);

/// The case whose text equals `raw` exactly (case-sensitive, whole text); nothing for any other text.
template <>
std::optional<BluetoothServices> fromRawValue<BluetoothServices>(std::string_view raw);

/// The Bluetooth UUID named by the case's text, built anew on each call; nothing for `TurnRR`, whose
/// text ("EB") is a command byte, not a UUID.
std::optional<platform::BluetoothUUID> cbuuid(BluetoothServices service);

}  // namespace talvaren
