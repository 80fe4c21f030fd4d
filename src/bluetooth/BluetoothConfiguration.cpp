#include "talvaren/bluetooth/BluetoothConfiguration.hpp"

#include "bluetooth/ConnectorState.hpp"
#include "bluetooth/Seams.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/codecs/ErrorBluetooth.hpp"
#include "talvaren/platform/Console.hpp"

namespace talvaren {
namespace {

using Flag = void (BluetoothConnectorProtocol::*)(bool);

detail::SharedInstance<BluetoothConfiguration>& sharedSlot() {
  static auto& slot = *new detail::SharedInstance<BluetoothConfiguration>();
  return slot;
}

/// The mode flags, in the order a mode change clears them.
constexpr Flag kModeFlags[] = {
    &BluetoothConnectorProtocol::setEnableTreshold,        &BluetoothConnectorProtocol::setEnableRRIntervals,
    &BluetoothConnectorProtocol::setEnableTestMode,        &BluetoothConnectorProtocol::setEnableSynch,
    &BluetoothConnectorProtocol::setEnableDeviceTime,      &BluetoothConnectorProtocol::setEnableSetTime,
    &BluetoothConnectorProtocol::setEnableFirmwareVersion, &BluetoothConnectorProtocol::setEnableFirmwareMode,
    &BluetoothConnectorProtocol::setEnableFirmwareUpdate,  &BluetoothConnectorProtocol::setEnableFirmware,
    &BluetoothConnectorProtocol::setEnableModeState,       &BluetoothConnectorProtocol::setEnableGetTime,
};

struct ModeRow {
  std::vector<Flag> flags;  // set to true, in this order
  const char* key;
};

ModeRow rowOf(BluetoothModeConfig mode) {
  using P = BluetoothConnectorProtocol;
  using A = BluetoothAttrbutes;
  switch (mode) {
    case BluetoothModeConfig::enableTreshold:
      return {{&P::setEnableModeState, &P::setEnableTreshold}, A::RecoveryDeviceKey};
    case BluetoothModeConfig::enableTest:
      return {{&P::setEnableModeState, &P::setEnableRRIntervals}, A::RecoveryDeviceKey};
    case BluetoothModeConfig::enableTestMode:
      return {{&P::setEnableTestMode, &P::setEnableModeState}, A::RecoveryDeviceKey};
    case BluetoothModeConfig::enableTrain:
      return {{}, A::WorkoutDeviceKey};
    case BluetoothModeConfig::enableSynch:
      return {{&P::setEnableModeState, &P::setEnableSynch, &P::setEnableGetTime}, A::WorkoutImporterDeviceKey};
    case BluetoothModeConfig::enableDeviceTime:
      return {{&P::setEnableDeviceTime, &P::setEnableGetTime}, A::WorkoutImporterDeviceKey};
    case BluetoothModeConfig::enableSetTime:
      return {{&P::setEnableSetTime}, A::WorkoutImporterDeviceKey};
    case BluetoothModeConfig::enableFirmwareVersion:
      return {{&P::setEnableFirmwareVersion}, A::FirmwareUpgradeKey};
    case BluetoothModeConfig::enableFirmwareMode:
      return {{&P::setEnableFirmwareMode, &P::setEnableFirmware}, A::FirmwareUpgradeKey};
    case BluetoothModeConfig::enableFirmwareUpdate:
      return {{&P::setEnableFirmwareUpdate, &P::setEnableFirmware}, A::FirmwareUpgradeKey};
  }
  return {{}, A::WorkoutDeviceKey};
}

}  // namespace

std::shared_ptr<BluetoothConfiguration> BluetoothConfiguration::shared() { return sharedSlot().get(); }

void detail::resetSharedBluetoothConfiguration() { (void)sharedSlot().reset(); }

BluetoothConfiguration::BluetoothConfiguration() = default;

BluetoothConfiguration::~BluetoothConfiguration() = default;

// The connector's own facade object is made here, where the facade is known, the first time it is asked
// for: the connector's sources need nothing of the facade above them.
std::shared_ptr<BluetoothConfiguration> BluetoothConnector::typeConf() const {
  std::lock_guard lock(mutex_);
  if (!state_->typeConf) state_->typeConf = std::make_shared<BluetoothConfiguration>();
  return state_->typeConf;
}

std::shared_ptr<BluetoothConnectorProtocol> BluetoothConfiguration::bluetoothConnector() const {
  return BluetoothConnector::sharedInstance();
}

void BluetoothConfiguration::takeConnectorEvents() { bluetoothConnector()->setDelegate(weak_from_this()); }

// Delegate fields ------------------------------------------------------------------------------------------

std::shared_ptr<BluetoothTresholdDelegate> BluetoothConfiguration::tresholdDelegate() const {
  return read(tresholdDelegate_);
}
void BluetoothConfiguration::setTresholdDelegate(std::weak_ptr<BluetoothTresholdDelegate> delegate) {
  write(tresholdDelegate_, std::move(delegate));
}
std::shared_ptr<BluetoothTestDelegate> BluetoothConfiguration::testDelegate() const { return read(testDelegate_); }
void BluetoothConfiguration::setTestDelegate(std::weak_ptr<BluetoothTestDelegate> delegate) {
  write(testDelegate_, std::move(delegate));
}
std::shared_ptr<BluetoothTrainDelegate> BluetoothConfiguration::trainDelegate() const { return read(trainDelegate_); }
void BluetoothConfiguration::setTrainDelegate(std::weak_ptr<BluetoothTrainDelegate> delegate) {
  write(trainDelegate_, std::move(delegate));
}
std::shared_ptr<BluetoothSynchDelegate> BluetoothConfiguration::synchDelegate() const { return read(synchDelegate_); }
void BluetoothConfiguration::setSynchDelegate(std::weak_ptr<BluetoothSynchDelegate> delegate) {
  write(synchDelegate_, std::move(delegate));
}
std::shared_ptr<BluetoothDeviceTimeDelegate> BluetoothConfiguration::deviceTimeDelegate() const {
  return read(deviceTimeDelegate_);
}
void BluetoothConfiguration::setDeviceTimeDelegate(std::weak_ptr<BluetoothDeviceTimeDelegate> delegate) {
  write(deviceTimeDelegate_, std::move(delegate));
}
std::shared_ptr<BluetoothSetTimeDelegate> BluetoothConfiguration::setTimeDelegate() const {
  return read(setTimeDelegate_);
}
void BluetoothConfiguration::setSetTimeDelegate(std::weak_ptr<BluetoothSetTimeDelegate> delegate) {
  write(setTimeDelegate_, std::move(delegate));
}
std::shared_ptr<BluetoothFirmwareDelegate> BluetoothConfiguration::firmwareDelegate() const {
  return read(firmwareDelegate_);
}
void BluetoothConfiguration::setFirmwareDelegate(std::weak_ptr<BluetoothFirmwareDelegate> delegate) {
  write(firmwareDelegate_, std::move(delegate));
}

// Connection ----------------------------------------------------------------------------------------------

void BluetoothConfiguration::disconnect() {
  takeConnectorEvents();
  bluetoothConnector()->disconnectOnDemand();
}

void BluetoothConfiguration::resetConnection() {
  takeConnectorEvents();
  disconnect();
  auto connector = BluetoothConnector::sharedInstance();
  connector->setPeripheral(nullptr);
  connector->setCharacteristicsKelo({});
}

bool BluetoothConfiguration::tryReconnec() {
  takeConnectorEvents();
  if (bluetoothConnector()->isPowerOn()) {
    shouldSearchForDevices();
    return false;
  }
  bluetoothConnector()->fire();
  return true;
}

void BluetoothConfiguration::searchForDevices() {
  takeConnectorEvents();
  BluetoothConnector::sharedInstance()->searchForDevices();
}

void BluetoothConfiguration::stopSearchingForDevices() {
  takeConnectorEvents();
  BluetoothConnector::sharedInstance()->stopSearchingForDevices();
}

// Modes ------------------------------------------------------------------------------------------------------

void BluetoothConfiguration::config(BluetoothModeConfig mode) {
  for (auto clear : kModeFlags) (*bluetoothConnector().*clear)(false);
  auto row = rowOf(mode);
  for (auto set : row.flags) (*bluetoothConnector().*set)(true);
  bluetoothConnector()->setDeviceType(row.key);
}

bool BluetoothConfiguration::configAndStart(BluetoothModeConfig mode, NameCheck check, const PeripheralPtr& device,
                                            bool fireWithoutSaved) {
  takeConnectorEvents();
  config(mode);
  if (device) {
    auto name = device->name();
    bool passed = true;
    switch (check) {
      case NameCheck::none:
        break;
      case NameCheck::recovery:
        passed = BluetoothAttrbutes::isCompatibleRecoveryDevice(name);
        break;
      case NameCheck::kelo:
        passed = BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo(name);
        break;
      case NameCheck::hrmThenKelo:
        passed = BluetoothAttrbutes::isCompatibleRecoveryDeviceWithHrm(name) ||
                 BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo(name);
        break;
    }
    if (!passed) return false;
    bluetoothConnector()->shouldConnectToDevice(device);
    return true;
  }
  bool saved = bluetoothConnector()->getLastKnowDevice().has_value();
  if (saved || fireWithoutSaved) bluetoothConnector()->fire();
  return saved;
}

bool BluetoothConfiguration::configAndFireSaved(BluetoothModeConfig mode) {
  takeConnectorEvents();
  config(mode);
  if (!bluetoothConnector()->getLastKnowDevice()) return false;
  bluetoothConnector()->fire();
  return true;
}

bool BluetoothConfiguration::configThreshold(const PeripheralPtr& device) {
  return configAndStart(BluetoothModeConfig::enableTreshold, NameCheck::kelo, device, false);
}
bool BluetoothConfiguration::configTest(const PeripheralPtr& device) {
  return configAndStart(BluetoothModeConfig::enableTest, NameCheck::recovery, device, false);
}
bool BluetoothConfiguration::configTestMode(const PeripheralPtr& device) {
  return configAndStart(BluetoothModeConfig::enableTestMode, NameCheck::recovery, device, false);
}
bool BluetoothConfiguration::setTestMode() { return configAndFireSaved(BluetoothModeConfig::enableTestMode); }
bool BluetoothConfiguration::configTrain(const PeripheralPtr& device) {
  return configAndStart(BluetoothModeConfig::enableTrain, NameCheck::none, device, false);
}
bool BluetoothConfiguration::setTrainMode() { return configAndFireSaved(BluetoothModeConfig::enableTestMode); }
bool BluetoothConfiguration::configSynch(const PeripheralPtr& device) {
  return configAndStart(BluetoothModeConfig::enableSynch, NameCheck::hrmThenKelo, device, false);
}
bool BluetoothConfiguration::configDeviceTime(const PeripheralPtr& device) {
  return configAndStart(BluetoothModeConfig::enableDeviceTime, NameCheck::hrmThenKelo, device, false);
}
bool BluetoothConfiguration::getDeviceTime() { return configAndFireSaved(BluetoothModeConfig::enableDeviceTime); }
bool BluetoothConfiguration::configSetTime(const PeripheralPtr& device) {
  return configAndStart(BluetoothModeConfig::enableSetTime, NameCheck::hrmThenKelo, device, false);
}
bool BluetoothConfiguration::setTime() { return configAndFireSaved(BluetoothModeConfig::enableSetTime); }
bool BluetoothConfiguration::configFirmware(const PeripheralPtr& device) {
  return configAndStart(BluetoothModeConfig::enableFirmwareVersion, NameCheck::kelo, device, true);
}
bool BluetoothConfiguration::getFirmwareVersion() {
  return configAndFireSaved(BluetoothModeConfig::enableFirmwareVersion);
}

bool BluetoothConfiguration::getFirmwareMode(const PeripheralPtr& device) {
  takeConnectorEvents();
  config(BluetoothModeConfig::enableFirmwareMode);
  if (!device) return false;
  bluetoothConnector()->shouldConnectToDevice(device);
  return true;
}

void BluetoothConfiguration::setFirmwareUpdate() {
  takeConnectorEvents();
  config(BluetoothModeConfig::enableFirmwareUpdate);
  bluetoothConnector()->fire();
}

// Thresholds --------------------------------------------------------------------------------------------------

bool BluetoothConfiguration::updateThreshold(std::int64_t a, std::int64_t b) {
  takeConnectorEvents();
  // One byte each on the wire: a larger value would reach the strap as another threshold.
  if (a < 0 || a > 255 || b < 0 || b > 255) {
    console::print("BluetoothTreshold: updateThreshold out of range overloadThreshold = " + std::to_string(a) +
                   " trainingThreshold = " + std::to_string(b));
    return false;
  }
  auto name = bluetoothConnector()->lastConnectedDeviceName();
  if (BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo(name)) {
    sendRRIntervals(static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(a));
    return true;
  }
  bool synch = bluetoothConnector()->getSynchZoneDevice();
  console::print("BluetoothTreshold: updateZoneDevice lastConnectedDeviceName = " + name.value_or("") +
                 " getSynchZoneDevice = " + (synch ? "true" : "false"));
  return synch;
}

void BluetoothConfiguration::tryRetray(bool retry) {
  takeConnectorEvents();
  if (retry) {
    sendRRIntervals(bluetoothConnector()->trainingThreshold(), bluetoothConnector()->overloadThreshold());
  } else {
    bluetoothConnector()->setSynchZoneDevice(false);
  }
}

void BluetoothConfiguration::turnSynchThresholdDevice(bool value) {
  takeConnectorEvents();
  bluetoothConnector()->setSynchZoneDevice(value);
}

void BluetoothConfiguration::sendRRIntervals(std::uint8_t trainingThreshold, std::uint8_t overloadThreshold) {
  console::print("BluetoothTreshold: sendRRIntervals trainingThreshold = " + std::to_string(trainingThreshold) +
                 " overloadThreshold = " + std::to_string(overloadThreshold));
  config(BluetoothModeConfig::enableTreshold);
  bluetoothConnector()->sendKeloDeviceRRIntervals(trainingThreshold, overloadThreshold);
  if (bluetoothConnector()->getLastKnowDevice()) {
    bluetoothConnector()->fire();
    return;
  }
  console::print("BluetoothTreshold: getLastKnowDevice ErrorBluetooth.unknownLastDevice");
  if (auto delegate = tresholdDelegate()) delegate->handlerError(toError(ErrorBluetooth::unknownLastDevice));
}

// Operations on the shared connector ---------------------------------------------------------------------

std::string BluetoothConfiguration::getLastConnectedDeviceName() {
  return BluetoothConnector::sharedInstance()->lastConnectedDeviceName().value_or("None");
}

void BluetoothConfiguration::connectToLastKnownDevice() {
  shared()->takeConnectorEvents();
  BluetoothConnector::sharedInstance()->connectToLastKnownDevice();
}

void BluetoothConfiguration::connect() {
  shared()->takeConnectorEvents();
  BluetoothConnector::sharedInstance()->fire();
}

void BluetoothConfiguration::enableDisconect(bool value) {
  BluetoothConnector::sharedInstance()->setEnableDisconectHRMDevice(value);
}

bool BluetoothConfiguration::isConnected() { return BluetoothConnector::sharedInstance()->connected(); }

void BluetoothConfiguration::shouldUpgradeFirmware(const PeripheralPtr& device) {
  if (auto delegate = firmwareDelegate()) delegate->shouldUpgradeFirmware(device);
}

// Routing ----------------------------------------------------------------------------------------------------

void BluetoothConfiguration::didUpdateBPM(std::uint16_t bpm, double timestamp) {
  if (auto d = testDelegate()) d->didUpdateBPM(bpm, timestamp);
  if (auto d = trainDelegate()) d->didUpdateBPM(bpm, timestamp);
}

void BluetoothConfiguration::didConnect() {
  if (auto d = testDelegate()) d->didConnect();
  if (auto d = trainDelegate()) d->didConnect();
}

void BluetoothConfiguration::didDisconnect() {
  if (auto d = testDelegate()) d->didDisconnect();
  if (auto d = trainDelegate()) d->didDisconnect();
  if (auto d = synchDelegate()) d->didDisconnect();
  if (auto d = deviceTimeDelegate()) d->didDisconnect();
  if (auto d = setTimeDelegate()) d->didDisconnect();
  if (auto d = firmwareDelegate()) d->didDisconnect();
}

void BluetoothConfiguration::didDiscoverDevice(const PeripheralPtr& device, const std::string& named,
                                               const platform::AdvertisementData& advertisementData) {
  if (auto d = firmwareDelegate()) d->didDiscoverFirmwareDevice(device, named, advertisementData);
}

void BluetoothConfiguration::didUpdateBatteryLevel(std::uint8_t level) {
  if (auto d = firmwareDelegate()) d->didUpdateBatteryLevel(level);
}

void BluetoothConfiguration::didGetError(const Error& error) {
  if (auto d = tresholdDelegate()) d->handlerError(error);
  if (auto d = testDelegate()) d->handlerError(error);
  if (auto d = trainDelegate()) d->handlerError(error);
  if (auto d = synchDelegate()) d->handlerError(error);
  if (auto d = deviceTimeDelegate()) d->handlerError(error);
  if (auto d = setTimeDelegate()) d->handlerError(error);
  if (auto d = firmwareDelegate()) d->handlerError(error);
}

void BluetoothConfiguration::didUpdateRRIntervals(const std::vector<std::int64_t>& rrIntervals) {
  if (auto d = testDelegate()) d->didUpdateRRIntervals(rrIntervals, bluetoothConnector()->lastConnectedDeviceName());
}

void BluetoothConfiguration::shouldSearchForDevices() {
  if (auto d = tresholdDelegate()) d->shouldSearchForDevices();
  if (auto d = testDelegate()) d->shouldSearchForDevices();
  if (auto d = trainDelegate()) d->shouldSearchForDevices();
  if (auto d = synchDelegate()) d->shouldSearchForDevices();
  if (auto d = deviceTimeDelegate()) d->shouldSearchForDevices();
  if (auto d = setTimeDelegate()) d->shouldSearchForDevices();
  if (auto d = firmwareDelegate()) d->shouldSearchForDevices();
}

void BluetoothConfiguration::didNotEnabled() {
  if (auto d = testDelegate()) d->didNotEnabled();
  if (auto d = trainDelegate()) d->didNotEnabled();
}

void BluetoothConfiguration::didUpdateSignalStrength(std::int64_t signal) {
  if (auto d = testDelegate()) d->didUpdateSignalStrength(signal);
}

void BluetoothConfiguration::willConnectToRRIntervals() {
  if (auto d = testDelegate()) d->willConnectToRRIntervals();
}

void BluetoothConfiguration::didSynchHR(const std::vector<HeartRate>& hertRates) {
  if (auto d = synchDelegate()) d->didSynchHR(hertRates);
}

void BluetoothConfiguration::didSelectSynchKeloDevice() {
  if (auto d = synchDelegate()) d->didSelectSynchKeloDevice();
}

void BluetoothConfiguration::didGetTime(bool success, const Date& date) {
  if (auto d = synchDelegate()) d->didGetTime(success, date);
}

void BluetoothConfiguration::didSetRRIntervals() {
  // The acknowledgement ends the threshold task's link before the host hears of it.
  bluetoothConnector()->disconnectOnDemand();
  if (auto d = tresholdDelegate()) d->didSetRRIntervals();
}

void BluetoothConfiguration::didSetTestMode(bool success) {
  if (auto d = testDelegate()) d->didSetTestMode(success);
}

void BluetoothConfiguration::didDeviceTime(const Date& date) {
  if (auto d = deviceTimeDelegate()) d->didDeviceTime(date);
}

void BluetoothConfiguration::didSetTime() {
  if (auto d = setTimeDelegate()) d->didSetTime();
}

void BluetoothConfiguration::didGetStateMode(BluetoothModeKelo mode, BluetoothStateKelo state) {
  if (auto d = tresholdDelegate()) d->didGetStateMode(mode, state);
  if (auto d = testDelegate()) d->didGetStateMode(mode, state);
  if (auto d = synchDelegate()) d->didGetStateMode(mode, state);
}

void BluetoothConfiguration::didGetFirmwareBatteryLevelWarning() {
  if (auto d = firmwareDelegate()) d->didGetFirmwareBatteryLevelWarning();
}

void BluetoothConfiguration::didSetFirmwareMode() {
  if (auto d = firmwareDelegate()) d->didSetFirmwareMode();
}

void BluetoothConfiguration::didFirmwareVersion(const std::string& version, const PeripheralPtr& device) {
  if (auto d = firmwareDelegate()) d->didGetFirmwareVersion(version, device);
}

}  // namespace talvaren
