#pragma once
// The Bluetooth LE characteristics that the kit reads, writes or subscribes to on a strap.

#include <array>
#include <optional>
#include <string_view>

#include "talvaren/platform/RawValue.hpp"
#include "talvaren/platform/ble/BluetoothUUID.hpp"

namespace talvaren {

/// Raw values are the identifier texts, stored and compared exactly as written: some upper case,
/// some lower case, some 16-bit short forms and some full 128-bit texts.
enum class BluetoothCharacteristics {
  BatteryLevel,
  ScoscheRhythm,
  RavoDeviceNotify,
  RavoDeviceWrite,
  KeloDeviceNotify,
  KeloDeviceWrite,
  KeloDeviceNotifyHistry,
  KeloDeviceWriteHistry,
  KeloAppSoftVersion,
  KeloAppModeUUID16,
  KeloAppModeUUID128,
};

inline constexpr std::array<BluetoothCharacteristics, 11> BluetoothCharacteristicsAllCases = {
    BluetoothCharacteristics::BatteryLevel,           BluetoothCharacteristics::ScoscheRhythm,
    BluetoothCharacteristics::RavoDeviceNotify,       BluetoothCharacteristics::RavoDeviceWrite,
    BluetoothCharacteristics::KeloDeviceNotify,       BluetoothCharacteristics::KeloDeviceWrite,
    BluetoothCharacteristics::KeloDeviceNotifyHistry, BluetoothCharacteristics::KeloDeviceWriteHistry,
    BluetoothCharacteristics::KeloAppSoftVersion,     BluetoothCharacteristics::KeloAppModeUUID16,
    BluetoothCharacteristics::KeloAppModeUUID128,
};

template <>
struct RawValueOf<BluetoothCharacteristics> {
  using type = std::string_view;
};

/// The case's identifier text.
std::string_view rawValue(BluetoothCharacteristics characteristic);

/// The case whose text equals `raw` exactly (case-sensitive, whole text); nothing for any other text.
template <>
std::optional<BluetoothCharacteristics> fromRawValue<BluetoothCharacteristics>(std::string_view raw);

/// The Bluetooth UUID named by the case's text, built anew on each call.
std::optional<platform::BluetoothUUID> cbuuid(BluetoothCharacteristics characteristic);

}  // namespace talvaren
