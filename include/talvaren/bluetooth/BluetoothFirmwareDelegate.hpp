#pragma once
// What the firmware tasks (configFirmware, getFirmwareMode, setFirmwareUpdate) report to the host.
// Implemented by the host and set on BluetoothConfiguration::shared(), which holds it weakly; called
// on the thread of the connector's event (see BluetoothConfiguration.hpp). Every member must be implemented.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/codecs/BluetoothModeKelo.hpp"
#include "talvaren/codecs/BluetoothStateKelo.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/ble/BluetoothRadio.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"
#include "talvaren/records/HeartRate.hpp"

namespace talvaren {

class BluetoothFirmwareDelegate {
 public:
  virtual ~BluetoothFirmwareDelegate() = default;
  /// Reached only through BluetoothConfiguration::shouldUpgradeFirmware.
  virtual void shouldUpgradeFirmware(const std::shared_ptr<platform::Peripheral>& device) = 0;
  virtual void didGetFirmwareVersion(const std::string& version,
                                     const std::shared_ptr<platform::Peripheral>& device) = 0;
  virtual void shouldSearchForDevices() = 0;
  virtual void didDisconnect() = 0;
  virtual void handlerError(const Error& error) = 0;
  /// The strap switched to firmware-update mode (on the main queue).
  virtual void didSetFirmwareMode() = 0;
  /// A named peripheral answered a scan.
  virtual void didDiscoverFirmwareDevice(const std::shared_ptr<platform::Peripheral>& device, const std::string& named,
                                         const platform::AdvertisementData& advertisementData) = 0;
  virtual void didUpdateBatteryLevel(std::uint8_t level) = 0;
  /// The battery is too low to switch to firmware-update mode.
  virtual void didGetFirmwareBatteryLevelWarning() = 0;
};

}  // namespace talvaren
