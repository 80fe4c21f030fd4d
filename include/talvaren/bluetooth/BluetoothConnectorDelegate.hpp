#pragma once
// What the Bluetooth connector reports. The connector holds one delegate weakly and calls it on the
// thread of the event: the connector's "bluetoothQueue" for everything the radio brings, the main
// queue for the connection watchdog's search request, and the caller's thread for a search request
// that a reconnection made from that thread produced. Every callback has an empty default, so an
// implementation overrides only the events it wants.

#include <cstdint>
#include <memory>
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

class BluetoothConnectorDelegate {
 public:
  virtual ~BluetoothConnectorDelegate() = default;

  /// One heart-rate measurement: beats per minute and the seconds since 1970 at receipt.
  virtual void didUpdateBPM(std::uint16_t bpm, double timestamp) { (void)bpm, (void)timestamp; }
  virtual void didConnect() {}
  /// The link ended without the kit asking for it.
  virtual void didDisconnect() {}
  /// A named peripheral answered the scan (again on every advertisement the scan delivers).
  virtual void didDiscoverDevice(const std::shared_ptr<platform::Peripheral>& device, const std::string& named,
                                 const platform::AdvertisementData& advertisementData) {
    (void)device, (void)named, (void)advertisementData;
  }
  virtual void didUpdateBatteryLevel(std::uint8_t level) { (void)level; }
  /// A notification failed (the radio's error) or carried no value (ErrorBluetooth).
  virtual void didGetError(const Error& error) { (void)error; }
  /// RR intervals of a measurement, in milliseconds.
  virtual void didUpdateRRIntervals(const std::vector<std::int64_t>& rrIntervals) { (void)rrIntervals; }
  /// No saved strap to reconnect to, or the connection watchdog expired.
  virtual void shouldSearchForDevices() {}
  /// The radio is powered off.
  virtual void didNotEnabled() {}
  virtual void didUpdateSignalStrength(std::int64_t signal) { (void)signal; }
  virtual void willConnectToRRIntervals() {}
  /// The samples of a finished history download.
  virtual void didSynchHR(const std::vector<HeartRate>& hertRates) { (void)hertRates; }
  /// The Kelo strap waits for the user to select synchronisation on it.
  virtual void didSelectSynchKeloDevice() {}
  virtual void didGetTime(bool success, const Date& date) { (void)success, (void)date; }
  /// The strap took the zone thresholds.
  virtual void didSetRRIntervals() {}
  virtual void didSetTestMode(bool success) { (void)success; }
  virtual void didDeviceTime(const Date& date) { (void)date; }
  virtual void didSetTime() {}
  virtual void didGetStateMode(BluetoothModeKelo mode, BluetoothStateKelo state) { (void)mode, (void)state; }
  /// The battery is too low to switch to firmware-update mode.
  virtual void didGetFirmwareBatteryLevelWarning() {}
  virtual void didSetFirmwareMode() {}
  virtual void didFirmwareVersion(const std::string& version, const std::shared_ptr<platform::Peripheral>& device) {
    (void)version, (void)device;
  }
};

}  // namespace talvaren
