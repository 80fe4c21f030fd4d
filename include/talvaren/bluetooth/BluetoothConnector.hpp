#pragma once
// The kit's one Bluetooth LE central.
//
// The shared connector owns the central manager, the one strap being connected or connected, the mode
// flags the facade sets before each task, the buffers of a history download, and one weak delegate to
// which it reports (BluetoothConnectorDelegate). It reconnects to the strap saved for the current task
// under a 20-second watchdog, discovers and subscribes what the task needs, and routes every
// notification to its handler.
//
// Threads: every radio callback, handler and the delegate calls they make run on the serial queue
// "bluetoothQueue" that each fire() creates; the watchdog runs on the main queue; the host's calls run
// on the host's thread. The connector's state is guarded by one mutex that is never held while a
// delegate, a handler or the radio is called. The kit moves no callback to another queue for the host.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/bluetooth/BluetoothConnectorDelegate.hpp"
#include "talvaren/bluetooth/BluetoothConnectorProtocol.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ble/CentralManager.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"
#include "talvaren/records/HeartRate.hpp"

namespace talvaren {

class BluetoothConfiguration;

class BluetoothConnector : public BluetoothConnectorProtocol,
                           public platform::CentralManagerDelegate,
                           public platform::PeripheralDelegate,
                           public std::enable_shared_from_this<BluetoothConnector> {
 public:
  using PeripheralPtr = std::shared_ptr<platform::Peripheral>;
  using CharacteristicPtr = std::shared_ptr<platform::Characteristic>;

  /// The connector of the process, made on first use.
  static std::shared_ptr<BluetoothConnector> sharedInstance();

  /// User-defaults key of the flag set once a Kelo synchronisation has offered the host the strap's clock.
  static constexpr const char* KeloShowSetTimeSynchKey = "KeloShowSetTimeSynch";
  /// While the firmware flag is set, discovery drops peripherals at or below this signal strength (dBm).
  static constexpr int MIN_FIRMWARE_RSSI = -120;

  /// No central manager yet; every flag clear. Make it with std::make_shared.
  BluetoothConnector();
  ~BluetoothConnector() override;
  BluetoothConnector(const BluetoothConnector&) = delete;
  BluetoothConnector& operator=(const BluetoothConnector&) = delete;

  // Stored state --------------------------------------------------------------------------------------
  /// A facade object of the connector's own (not the shared one), made when first asked for; nothing uses it.
  std::shared_ptr<BluetoothConfiguration> typeConf() const;
  std::optional<std::string> lastKnowDeviceType() const;
  std::shared_ptr<platform::CentralManager> centralManager() const;
  /// The strap being connected or connected.
  PeripheralPtr peripheral() const;
  void setPeripheral(PeripheralPtr peripheral);
  std::shared_ptr<platform::Timer> timer() const;
  /// Every characteristic of the Kelo main service found on the current link.
  std::vector<CharacteristicPtr> characteristicsKelo() const;
  void setCharacteristicsKelo(std::vector<CharacteristicPtr> characteristics);
  /// The strap's command characteristic (Ravo, Kelo or arm band), chosen during discovery.
  CharacteristicPtr characteristic() const;
  /// The Kelo history write characteristic.
  CharacteristicPtr characteristicHistry() const;
  std::int64_t timeMinuteBmp() const;
  std::vector<HeartRate> hertRates() const;
  std::uint8_t numberPacket() const;
  bool selectSynch() const;

  // BluetoothConnectorProtocol -----------------------------------------------------------------------
  std::optional<std::string> lastConnectedDeviceName() const override;
  bool enableDisconectHRMDevice() const override;
  void setEnableDisconectHRMDevice(bool value) override;
  bool enableTreshold() const override;
  void setEnableTreshold(bool value) override;
  bool enableRRIntervals() const override;
  void setEnableRRIntervals(bool value) override;
  bool enableSynch() const override;
  void setEnableSynch(bool value) override;
  bool enableDeviceTime() const override;
  void setEnableDeviceTime(bool value) override;
  bool enableSetTime() const override;
  void setEnableSetTime(bool value) override;
  bool enableFirmwareUpdate() const override;
  void setEnableFirmwareUpdate(bool value) override;
  bool enableFirmwareVersion() const override;
  void setEnableFirmwareVersion(bool value) override;
  bool enableFirmwareMode() const override;
  void setEnableFirmwareMode(bool value) override;
  bool enableFirmware() const override;
  void setEnableFirmware(bool value) override;
  bool enableTestMode() const override;
  void setEnableTestMode(bool value) override;
  bool enableModeState() const override;
  void setEnableModeState(bool value) override;
  bool enableGetTime() const override;
  void setEnableGetTime(bool value) override;
  bool connected() const override;
  std::uint8_t trainingThreshold() const override;
  std::uint8_t overloadThreshold() const override;
  std::shared_ptr<BluetoothConnectorDelegate> delegate() const override;
  void setDelegate(std::weak_ptr<BluetoothConnectorDelegate> delegate) override;

  // Central, scanning, connecting, the saved strap ------------------------------------------------------
  /// A new serial queue "bluetoothQueue" and a new central manager on it, replacing both; the old
  /// central stops scanning and drops its links without callbacks.
  void fire() override;
  void setDeviceType(const std::string& type) override;
  virtual void setDeviceVersion(const std::string& version);
  /// Compares the stored firmware version with `version`: false when none is stored or it is lower.
  virtual bool checkDeviceVersion(const std::string& version);
  bool isPowerOn() override;
  virtual void searchForDevices();
  virtual void stopSearchingForDevices();
  void shouldConnectToDevice(const PeripheralPtr& peripheral) override;
  /// Connects to the strap saved for the current task (with the watchdog), or asks the delegate to search.
  void connectToLastKnownDevice() override;
  virtual void startTimer();
  virtual void stopTimer();
  virtual void timerAction();
  std::optional<std::string> getLastKnowDevice() override;
  virtual std::optional<std::string> getLastConnectedDeviceName(const std::string& uuid);
  bool getSynchZoneDevice() override;
  void setSynchZoneDevice(bool value) override;
  virtual void saveLastKnownDevice(const PeripheralPtr& device);
  virtual void saveLastDeviceName(const std::string& uuid, const std::string& deviceName);
  void disconnectOnDemand() override;

  // Live heart rate -------------------------------------------------------------------------------------
  virtual void getHeartRate(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  virtual void getRRInterval(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  /// True when the strap saved for the current task is a Kelo (by its name).
  virtual bool checkLastKeloDEvice();

  // Strap packets ---------------------------------------------------------------------------------------
  virtual void getRavoDeviceTypePacket(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  virtual void getRavoUTC(const Bytes& data);
  virtual void getKeloDeviceTypePacket(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  virtual void getKeloDeviceRRInterval(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  virtual void getKeloDeviceModeTest(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  virtual void getKeloDeviceModeState(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  virtual void getKeloUTC(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  /// Stores the zone thresholds; they are written after the next battery value of the threshold task.
  void sendKeloDeviceRRIntervals(std::uint8_t trainingThreshold, std::uint8_t overloadThreshold) override;

  // Battery, version, firmware mode -------------------------------------------------------------------
  virtual void getBatteryLevel(const CharacteristicPtr& characteristic, const std::optional<Error>& error);
  virtual void getSoftwareVersion(const PeripheralPtr& peripheral, const CharacteristicPtr& characteristic,
                                  const std::optional<Error>& error);
  virtual bool firmwareBatteryLevelWarning();
  virtual void setFimwareMode(const PeripheralPtr& peripheral,
                              const std::vector<CharacteristicPtr>& characteristicsKelo);

  // Command writes ----------------------------------------------------------------------------------------
  /// Writes a hex command frame, without response, to the command characteristic.
  virtual void sendHRMValue(const std::string& value);
  /// Writes a hex command frame, without response, to `characteristic`.
  virtual void sendHRMValue(const std::string& value, const CharacteristicPtr& characteristic);

  // platform::CentralManagerDelegate --------------------------------------------------------------------
  void centralManagerDidUpdateState(platform::CentralManager& central) override;
  void didDiscover(platform::CentralManager& central, const PeripheralPtr& peripheral,
                   const platform::AdvertisementData& advertisementData, int rssi) override;
  void didConnect(platform::CentralManager& central, const PeripheralPtr& peripheral) override;
  void didFailToConnect(platform::CentralManager& central, const PeripheralPtr& peripheral,
                        const std::optional<Error>& error) override;
  void didDisconnectPeripheral(platform::CentralManager& central, const PeripheralPtr& peripheral,
                               const std::optional<Error>& error) override;

  // platform::PeripheralDelegate ------------------------------------------------------------------------
  void didDiscoverServices(const PeripheralPtr& peripheral, const std::optional<Error>& error) override;
  void didDiscoverCharacteristicsFor(const PeripheralPtr& peripheral, const std::shared_ptr<platform::Service>& service,
                                     const std::optional<Error>& error) override;
  void didUpdateValueFor(const PeripheralPtr& peripheral, const CharacteristicPtr& characteristic,
                         const std::optional<Error>& error) override;
  void didWriteValueFor(const PeripheralPtr& peripheral, const CharacteristicPtr& characteristic,
                        const std::optional<Error>& error) override;

 private:
  struct State;
  bool flag(bool State::*member) const;
  void setFlag(bool State::*member, bool value);
  /// The saved strap of the current task as the current central knows it.
  PeripheralPtr retrieveSavedPeripheral(const std::string& identifier);
  void writeFrame(const char* prefix, const std::string& value, const CharacteristicPtr& target);
  void discoverKeloCharacteristics(const std::vector<CharacteristicPtr>& characteristics);
  /// The link of the current connection request (or central); a handler takes it before it calls the
  /// delegate, since the host may start its next task from that callback.
  std::uint64_t currentLink() const;
  /// Marks the coming disconnection as planned by the task of `link`. False, marking nothing, when another
  /// link has begun since: the task's link is gone or no longer the one to end.
  bool planDisconnection(std::uint64_t link);
  /// Runs `work` on the main queue `seconds` from now, unless another connection was requested or a new
  /// central made after `link`: then it does nothing, and a disconnection that this link's task had marked
  /// planned is unmarked, so it cannot swallow a later unplanned one. Holds the connector strongly only
  /// when `holdStrongly`; otherwise nothing runs once the connector is gone. `always`, when given, runs
  /// after `work` whichever link is current.
  void afterOnThisLink(std::uint64_t link, double seconds, bool holdStrongly,
                       std::function<void(BluetoothConnector&)> work,
                       std::function<void(BluetoothConnector&)> always = {});
  /// Ends the history download of `link` that went past what a strap can store: what it gathered is
  /// dropped, the delegate hears ErrorBluetooth::historyOverflow and the link is ended as planned.
  void endOverflowingHistory(std::uint64_t link, const std::shared_ptr<BluetoothConnectorDelegate>& delegate);

  mutable std::mutex mutex_;
  std::unique_ptr<State> state_;
};

}  // namespace talvaren
