#pragma once
// The host's entry into the Bluetooth link.
//
//   auto bluetooth = BluetoothConfiguration::shared();
//   bluetooth->setTrainDelegate(myTrainDelegate);   // held weakly: the host keeps it alive
//   bluetooth->configTrain();                        // reconnect the strap saved for training
//   bluetooth->configTrain(peripheral);              // or connect one the host found
//
// Each mode operation first puts the connector into its mode (clears every mode flag, sets the mode's
// own, selects the user-defaults key of the mode's saved strap), then connects the given peripheral
// after checking its advertised name, or starts the central so that it reconnects the saved strap.
// Every operation that drives the connector first makes this facade the connector's delegate again,
// so events come back here after another object (the device picker) held them.
//
// Threads: operations run on the caller's thread. The host delegates are called on the thread of the
// connector's event: the connector's "bluetoothQueue" for nearly everything, the main queue for the
// connection watchdog's shouldSearchForDevices() and for didSetFirmwareMode(), and the host's own
// thread for a shouldSearchForDevices() that tryReconnec() or connectToLastKnownDevice() produced.
// No callback is moved to the main queue for the host. The delegate fields may be set from any thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/bluetooth/BluetoothConnectorDelegate.hpp"
#include "talvaren/bluetooth/BluetoothConnectorProtocol.hpp"
#include "talvaren/bluetooth/BluetoothDeviceTimeDelegate.hpp"
#include "talvaren/bluetooth/BluetoothFirmwareDelegate.hpp"
#include "talvaren/bluetooth/BluetoothSetTimeDelegate.hpp"
#include "talvaren/bluetooth/BluetoothSynchDelegate.hpp"
#include "talvaren/bluetooth/BluetoothTestDelegate.hpp"
#include "talvaren/bluetooth/BluetoothTrainDelegate.hpp"
#include "talvaren/bluetooth/BluetoothTresholdDelegate.hpp"
#include "talvaren/codecs/BluetoothModeConfig.hpp"

namespace talvaren {

class BluetoothConfiguration : public BluetoothConnectorDelegate,
                               public std::enable_shared_from_this<BluetoothConfiguration> {
 public:
  using PeripheralPtr = std::shared_ptr<platform::Peripheral>;

  /// The facade of the process, made on first use.
  static std::shared_ptr<BluetoothConfiguration> shared();

  /// Every delegate unset; the connector is not touched. Make it with std::make_shared.
  BluetoothConfiguration();
  ~BluetoothConfiguration() override;
  BluetoothConfiguration(const BluetoothConfiguration&) = delete;
  BluetoothConfiguration& operator=(const BluetoothConfiguration&) = delete;

  /// The connector the facade drives: the shared one, fetched anew at every step.
  virtual std::shared_ptr<BluetoothConnectorProtocol> bluetoothConnector() const;

  // Host delegates (held weakly) ----------------------------------------------------------------------
  virtual std::shared_ptr<BluetoothTresholdDelegate> tresholdDelegate() const;
  virtual void setTresholdDelegate(std::weak_ptr<BluetoothTresholdDelegate> delegate);
  virtual std::shared_ptr<BluetoothTestDelegate> testDelegate() const;
  virtual void setTestDelegate(std::weak_ptr<BluetoothTestDelegate> delegate);
  virtual std::shared_ptr<BluetoothTrainDelegate> trainDelegate() const;
  virtual void setTrainDelegate(std::weak_ptr<BluetoothTrainDelegate> delegate);
  virtual std::shared_ptr<BluetoothSynchDelegate> synchDelegate() const;
  virtual void setSynchDelegate(std::weak_ptr<BluetoothSynchDelegate> delegate);
  virtual std::shared_ptr<BluetoothDeviceTimeDelegate> deviceTimeDelegate() const;
  virtual void setDeviceTimeDelegate(std::weak_ptr<BluetoothDeviceTimeDelegate> delegate);
  virtual std::shared_ptr<BluetoothSetTimeDelegate> setTimeDelegate() const;
  virtual void setSetTimeDelegate(std::weak_ptr<BluetoothSetTimeDelegate> delegate);
  virtual std::shared_ptr<BluetoothFirmwareDelegate> firmwareDelegate() const;
  virtual void setFirmwareDelegate(std::weak_ptr<BluetoothFirmwareDelegate> delegate);

  // Connection ------------------------------------------------------------------------------------------
  /// Cancels the link (or the pending connection) to the current strap.
  virtual void disconnect();
  /// disconnect(), then forgets the current strap and its Kelo characteristics.
  virtual void resetConnection();
  /// Radio on: asks every delegate to search and gives false. Otherwise starts the central: true.
  virtual bool tryReconnec();
  virtual void searchForDevices();
  virtual void stopSearchingForDevices();

  // Modes. With a peripheral: its advertised name is checked and it is connected (true), or nothing
  // starts (false). Without one: the saved strap of the mode is reconnected (true), or nothing starts
  // (false). The mode is set in every case. -------------------------------------------------------------
  /// Zone thresholds of a Kelo strap.
  virtual bool configThreshold(const PeripheralPtr& device = nullptr);
  /// Live heart rate, signal and RR intervals.
  virtual bool configTest(const PeripheralPtr& device = nullptr);
  /// The Kelo strap's test mode.
  virtual bool configTestMode(const PeripheralPtr& device = nullptr);
  virtual bool setTestMode();
  /// A training run: live heart rate from any strap.
  virtual bool configTrain(const PeripheralPtr& device = nullptr);
  /// Asks the saved strap for its test mode, exactly as setTestMode().
  virtual bool setTrainMode();
  /// The history download.
  virtual bool configSynch(const PeripheralPtr& device = nullptr);
  /// Reads the strap's clock.
  virtual bool configDeviceTime(const PeripheralPtr& device = nullptr);
  virtual bool getDeviceTime();
  /// Sets the strap's clock.
  virtual bool configSetTime(const PeripheralPtr& device = nullptr);
  virtual bool setTime();
  /// Reads the firmware version; starts the central even when no strap is saved.
  virtual bool configFirmware(const PeripheralPtr& device = nullptr);
  virtual bool getFirmwareVersion();
  /// Switches the given strap to firmware-update mode; false without one.
  virtual bool getFirmwareMode(const PeripheralPtr& device = nullptr);
  /// Scans for a strap in firmware-update mode (the delegates are asked to search).
  virtual void setFirmwareUpdate();

  // Thresholds --------------------------------------------------------------------------------------------
  /// Sends the thresholds to the saved Kelo strap: `b` as the training threshold, `a` as the overload
  /// one. A value outside 0 to 255 sends nothing and gives false. When the strap last connected is no
  /// Kelo, nothing is sent and the result is the saved "SynchZoneDevice" flag.
  virtual bool updateThreshold(std::int64_t a, std::int64_t b);
  /// true: sends the thresholds last stored again; false: clears the "SynchZoneDevice" flag.
  virtual void tryRetray(bool retry);
  /// Stores the "SynchZoneDevice" flag.
  virtual void turnSynchThresholdDevice(bool value);

  // Operations on the shared connector -------------------------------------------------------------------
  /// The name of the strap last connected, "None" before any.
  static std::string getLastConnectedDeviceName();
  static void connectToLastKnownDevice();
  /// Starts the central (a new one each time).
  static void connect();
  /// Marks the coming disconnection as planned (no didDisconnect) or not.
  static void enableDisconect(bool value);
  static bool isConnected();

  /// Passes the request on to the firmware delegate.
  void shouldUpgradeFirmware(const PeripheralPtr& device);

  // BluetoothConnectorDelegate: the routing to the host delegates ------------------------------------------
  void didUpdateBPM(std::uint16_t bpm, double timestamp) override;
  void didConnect() override;
  void didDisconnect() override;
  void didDiscoverDevice(const PeripheralPtr& device, const std::string& named,
                         const platform::AdvertisementData& advertisementData) override;
  void didUpdateBatteryLevel(std::uint8_t level) override;
  void didGetError(const Error& error) override;
  void didUpdateRRIntervals(const std::vector<std::int64_t>& rrIntervals) override;
  void shouldSearchForDevices() override;
  void didNotEnabled() override;
  void didUpdateSignalStrength(std::int64_t signal) override;
  void willConnectToRRIntervals() override;
  void didSynchHR(const std::vector<HeartRate>& hertRates) override;
  void didSelectSynchKeloDevice() override;
  void didGetTime(bool success, const Date& date) override;
  void didSetRRIntervals() override;
  void didSetTestMode(bool success) override;
  void didDeviceTime(const Date& date) override;
  void didSetTime() override;
  void didGetStateMode(BluetoothModeKelo mode, BluetoothStateKelo state) override;
  void didGetFirmwareBatteryLevelWarning() override;
  void didSetFirmwareMode() override;
  void didFirmwareVersion(const std::string& version, const PeripheralPtr& device) override;

 private:
  enum class NameCheck { none, recovery, kelo, hrmThenKelo };
  /// Clears the mode flags, sets those of `mode` and selects its saved-strap key.
  virtual void config(BluetoothModeConfig mode);
  virtual void sendRRIntervals(std::uint8_t trainingThreshold, std::uint8_t overloadThreshold);
  /// Makes this facade the connector's delegate.
  void takeConnectorEvents();
  bool configAndStart(BluetoothModeConfig mode, NameCheck check, const PeripheralPtr& device, bool fireWithoutSaved);
  bool configAndFireSaved(BluetoothModeConfig mode);

  template <typename Delegate>
  std::shared_ptr<Delegate> read(const std::weak_ptr<Delegate>& field) const {
    std::weak_ptr<Delegate> copy;
    {
      std::lock_guard lock(mutex_);
      copy = field;
    }
    return copy.lock();
  }
  template <typename Delegate>
  void write(std::weak_ptr<Delegate>& field, std::weak_ptr<Delegate> value) {
    std::lock_guard lock(mutex_);
    field = std::move(value);
  }

  mutable std::mutex mutex_;
  std::weak_ptr<BluetoothTresholdDelegate> tresholdDelegate_;
  std::weak_ptr<BluetoothTestDelegate> testDelegate_;
  std::weak_ptr<BluetoothTrainDelegate> trainDelegate_;
  std::weak_ptr<BluetoothSynchDelegate> synchDelegate_;
  std::weak_ptr<BluetoothDeviceTimeDelegate> deviceTimeDelegate_;
  std::weak_ptr<BluetoothSetTimeDelegate> setTimeDelegate_;
  std::weak_ptr<BluetoothFirmwareDelegate> firmwareDelegate_;
};

}  // namespace talvaren
