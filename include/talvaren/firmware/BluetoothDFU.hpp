#pragma once
// The firmware updater: finds the strap named by `deviceId` (already switched into update mode) with a
// Bluetooth central of its own, connects to it, builds the firmware from the zip package at `filePath`
// and runs the update engine on it, relaying states, progress, log lines and the result.
//
//   auto updater = BluetoothDFU::make();          // wires its central; the radio state follows
//   updater->delegate = myDelegate;               // held strongly
//   updater->deviceId = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";   // upper case, as the platform writes it
//   updater->filePath = "file:///.../firmware.zip";
//   // after dfuPhoneBleStatus(true, ...):
//   updater->startConnectBleDevice();             // not connected within 15 s: dfuResultStatus(false, ...)
//
// Everything runs on the main queue: call it from there; its callbacks come there. The user-defaults
// keys "dfu_force_dfu" (Bool) and "dfu_number_of_packets" (0 to 65535) set the engine's options.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ble/CentralManager.hpp"
#include "talvaren/platform/dfu/DFUServiceInitiator.hpp"

namespace talvaren {

namespace testkit {
struct BluetoothDFUInspector;
}

class BluetoothDFU;

class BluetoothDFUDelegate {
 public:
  virtual ~BluetoothDFUDelegate() = default;
  /// true: the phone's Bluetooth is powered on; false: it reported any other state.
  virtual void dfuPhoneBleStatus(bool status, BluetoothDFU& dfuBle) = 0;
  /// Upload progress in percent, as the engine reports it.
  virtual void dfuProgress(int progress, BluetoothDFU& dfuBle) = 0;
  /// End of an attempt: success (true, no code, empty text) or failure (false, the engine's error code
  /// or none, and a message).
  virtual void dfuResultStatus(bool status, BluetoothDFU& dfuBle, std::optional<std::int64_t> dfuError,
                               const std::string& dfuErrorMessage) = 0;
};

class BluetoothDFU : public platform::CentralManagerDelegate,
                     public platform::dfu::DFUServiceDelegate,
                     public platform::dfu::DFUProgressDelegate,
                     public platform::dfu::LoggerDelegate,
                     public std::enable_shared_from_this<BluetoothDFU> {
  struct Key {};

 public:
  /// A new updater with its own central on the main queue; the central reports the radio state soon after.
  static std::shared_ptr<BluetoothDFU> make();
  explicit BluetoothDFU(Key);
  ~BluetoothDFU() override;
  BluetoothDFU(const BluetoothDFU&) = delete;
  BluetoothDFU& operator=(const BluetoothDFU&) = delete;

  /// Receiver of the callbacks, held strongly: a delegate that also holds the updater keeps both alive
  /// until one of the two references is cleared.
  std::shared_ptr<BluetoothDFUDelegate> delegate;
  /// The strap's identifier in upper-case UUID text; matched by exact text equality.
  std::optional<std::string> deviceId;
  /// The firmware package: a "file:" URL text or an absolute path.
  std::optional<std::string> filePath;
  /// True once the radio reported powered on, and again once an update completed; false from each start.
  std::optional<bool> isAvailable() const { return isAvailable_; }

  /// Scans for the strap named by `deviceId` and arms the 15-second time-out, which the connection to
  /// the strap disarms.
  void startConnectBleDevice();
  /// The time-out's action: stops everything and reports a failure without code.
  void countTimeNumber();
  /// Stops the scan, disarms the time-out and cancels the updater's own connection; a running update
  /// is not stopped.
  void disconnectBleDevice();

  // Central events.
  void centralManagerDidUpdateState(platform::CentralManager& central) override;
  void didDiscover(platform::CentralManager& central, const std::shared_ptr<platform::Peripheral>& peripheral,
                   const platform::AdvertisementData& advertisementData, int rssi) override;
  void didConnect(platform::CentralManager& central, const std::shared_ptr<platform::Peripheral>& peripheral) override;
  void didFailToConnect(platform::CentralManager& central, const std::shared_ptr<platform::Peripheral>& peripheral,
                        const std::optional<Error>& error) override;
  void didDisconnectPeripheral(platform::CentralManager& central,
                               const std::shared_ptr<platform::Peripheral>& peripheral,
                               const std::optional<Error>& error) override;

  // Engine events.
  void dfuProgressDidChange(int part, int totalParts, int progress, double currentSpeedBytesPerSecond,
                            double avgSpeedBytesPerSecond) override;
  void logWith(platform::dfu::LogLevel level, const std::string& message) override;
  void dfuStateDidChange(platform::dfu::DFUState state) override;
  void dfuError(platform::dfu::DFUError error, const std::string& message) override;

 private:
  friend struct testkit::BluetoothDFUInspector;

  void disarmTimeOut();

  std::optional<bool> isAvailable_ = false;
  std::shared_ptr<platform::CentralManager> m_manager;
  std::shared_ptr<platform::Peripheral> m_peripheral;
  std::optional<std::vector<std::shared_ptr<platform::Service>>> m_servicesArray;
  std::int64_t m_checkServiceNum = 0;
  std::shared_ptr<platform::Timer> m_countTimer;
  std::shared_ptr<platform::dfu::DFUServiceController> m_dfuController;
  std::shared_ptr<platform::dfu::DFUFirmware> m_selectedFirmware;
};

}  // namespace talvaren
