#pragma once
// The view of the Bluetooth connector through which the facade drives it. The connector is its one
// implementation in the kit; tests may put another behind the facade.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "talvaren/bluetooth/BluetoothConnectorDelegate.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"

namespace talvaren {

class BluetoothConnectorProtocol {
 public:
  virtual ~BluetoothConnectorProtocol() = default;

  virtual std::optional<std::string> lastConnectedDeviceName() const = 0;

  // Mode flags (see BluetoothConnector).
  virtual bool enableDisconectHRMDevice() const = 0;
  virtual void setEnableDisconectHRMDevice(bool value) = 0;
  virtual bool enableTreshold() const = 0;
  virtual void setEnableTreshold(bool value) = 0;
  virtual bool enableRRIntervals() const = 0;
  virtual void setEnableRRIntervals(bool value) = 0;
  virtual bool enableSynch() const = 0;
  virtual void setEnableSynch(bool value) = 0;
  virtual bool enableDeviceTime() const = 0;
  virtual void setEnableDeviceTime(bool value) = 0;
  virtual bool enableSetTime() const = 0;
  virtual void setEnableSetTime(bool value) = 0;
  virtual bool enableFirmwareUpdate() const = 0;
  virtual void setEnableFirmwareUpdate(bool value) = 0;
  virtual bool enableFirmwareVersion() const = 0;
  virtual void setEnableFirmwareVersion(bool value) = 0;
  virtual bool enableFirmwareMode() const = 0;
  virtual void setEnableFirmwareMode(bool value) = 0;
  virtual bool enableFirmware() const = 0;
  virtual void setEnableFirmware(bool value) = 0;
  virtual bool enableTestMode() const = 0;
  virtual void setEnableTestMode(bool value) = 0;
  virtual bool enableModeState() const = 0;
  virtual void setEnableModeState(bool value) = 0;
  virtual bool enableGetTime() const = 0;
  virtual void setEnableGetTime(bool value) = 0;

  virtual bool connected() const = 0;
  virtual std::uint8_t trainingThreshold() const = 0;
  virtual std::uint8_t overloadThreshold() const = 0;
  /// The receiver of the connector's events, held weakly.
  virtual std::shared_ptr<BluetoothConnectorDelegate> delegate() const = 0;
  virtual void setDelegate(std::weak_ptr<BluetoothConnectorDelegate> delegate) = 0;

  virtual void disconnectOnDemand() = 0;
  virtual void connectToLastKnownDevice() = 0;
  virtual void fire() = 0;
  virtual bool isPowerOn() = 0;
  virtual bool getSynchZoneDevice() = 0;
  virtual void setSynchZoneDevice(bool value) = 0;
  virtual std::optional<std::string> getLastKnowDevice() = 0;
  /// Selects the user-defaults key of the saved strap for the coming task.
  virtual void setDeviceType(const std::string& type) = 0;
  virtual void shouldConnectToDevice(const std::shared_ptr<platform::Peripheral>& peripheral) = 0;
  virtual void sendKeloDeviceRRIntervals(std::uint8_t trainingThreshold, std::uint8_t overloadThreshold) = 0;
};

}  // namespace talvaren
