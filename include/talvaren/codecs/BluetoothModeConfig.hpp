#pragma once
// The mode that the host selects on the Bluetooth facade.

#include <array>

namespace talvaren {

enum class BluetoothModeConfig {
  enableTreshold,
  enableTest,
  enableTestMode,
  enableTrain,
  enableSynch,
  enableDeviceTime,
  enableSetTime,
  enableFirmwareVersion,
  enableFirmwareMode,
  enableFirmwareUpdate,
};

inline constexpr std::array<BluetoothModeConfig, 10> BluetoothModeConfigAllCases = {
    BluetoothModeConfig::enableTreshold,        BluetoothModeConfig::enableTest,
    BluetoothModeConfig::enableTestMode,        BluetoothModeConfig::enableTrain,
    BluetoothModeConfig::enableSynch,           BluetoothModeConfig::enableDeviceTime,
    BluetoothModeConfig::enableSetTime,         BluetoothModeConfig::enableFirmwareVersion,
    BluetoothModeConfig::enableFirmwareMode,    BluetoothModeConfig::enableFirmwareUpdate,
};

}  // namespace talvaren
