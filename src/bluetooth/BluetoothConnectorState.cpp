// The connector's stored properties: each read and written under the connector's mutex.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"

namespace talvaren {

bool BluetoothConnector::flag(bool State::*member) const {
  std::lock_guard lock(mutex_);
  return (*state_).*member;
}

void BluetoothConnector::setFlag(bool State::*member, bool value) {
  std::lock_guard lock(mutex_);
  (*state_).*member = value;
}

std::optional<std::string> BluetoothConnector::lastKnowDeviceType() const {
  std::lock_guard lock(mutex_);
  return state_->lastKnowDeviceType;
}

std::shared_ptr<platform::CentralManager> BluetoothConnector::centralManager() const {
  std::lock_guard lock(mutex_);
  return state_->centralManager;
}

BluetoothConnector::PeripheralPtr BluetoothConnector::peripheral() const {
  std::lock_guard lock(mutex_);
  return state_->peripheral;
}

void BluetoothConnector::setPeripheral(PeripheralPtr peripheral) {
  std::lock_guard lock(mutex_);
  state_->peripheral = std::move(peripheral);
}

std::shared_ptr<platform::Timer> BluetoothConnector::timer() const {
  std::lock_guard lock(mutex_);
  return state_->timer;
}

std::vector<BluetoothConnector::CharacteristicPtr> BluetoothConnector::characteristicsKelo() const {
  std::lock_guard lock(mutex_);
  return state_->characteristicsKelo;
}

void BluetoothConnector::setCharacteristicsKelo(std::vector<CharacteristicPtr> characteristics) {
  std::lock_guard lock(mutex_);
  state_->characteristicsKelo = std::move(characteristics);
}

BluetoothConnector::CharacteristicPtr BluetoothConnector::characteristic() const {
  std::lock_guard lock(mutex_);
  return state_->characteristic;
}

BluetoothConnector::CharacteristicPtr BluetoothConnector::characteristicHistry() const {
  std::lock_guard lock(mutex_);
  return state_->characteristicHistry;
}

std::int64_t BluetoothConnector::timeMinuteBmp() const {
  std::lock_guard lock(mutex_);
  return state_->timeMinuteBmp;
}

std::vector<HeartRate> BluetoothConnector::hertRates() const {
  std::lock_guard lock(mutex_);
  return state_->hertRates;
}

std::uint8_t BluetoothConnector::numberPacket() const {
  std::lock_guard lock(mutex_);
  return state_->numberPacket;
}

bool BluetoothConnector::selectSynch() const { return flag(&State::selectSynch); }

std::optional<std::string> BluetoothConnector::lastConnectedDeviceName() const {
  std::lock_guard lock(mutex_);
  return state_->lastConnectedDeviceName;
}

bool BluetoothConnector::enableDisconectHRMDevice() const { return flag(&State::enableDisconectHRMDevice); }
void BluetoothConnector::setEnableDisconectHRMDevice(bool value) {
  std::lock_guard lock(mutex_);
  state_->enableDisconectHRMDevice = value;
  state_->plannedGeneration.reset();
}
bool BluetoothConnector::enableTreshold() const { return flag(&State::enableTreshold); }
void BluetoothConnector::setEnableTreshold(bool value) { setFlag(&State::enableTreshold, value); }
bool BluetoothConnector::enableRRIntervals() const { return flag(&State::enableRRIntervals); }
void BluetoothConnector::setEnableRRIntervals(bool value) { setFlag(&State::enableRRIntervals, value); }
bool BluetoothConnector::enableSynch() const { return flag(&State::enableSynch); }
void BluetoothConnector::setEnableSynch(bool value) { setFlag(&State::enableSynch, value); }
bool BluetoothConnector::enableDeviceTime() const { return flag(&State::enableDeviceTime); }
void BluetoothConnector::setEnableDeviceTime(bool value) { setFlag(&State::enableDeviceTime, value); }
bool BluetoothConnector::enableSetTime() const { return flag(&State::enableSetTime); }
void BluetoothConnector::setEnableSetTime(bool value) { setFlag(&State::enableSetTime, value); }
bool BluetoothConnector::enableFirmwareUpdate() const { return flag(&State::enableFirmwareUpdate); }
void BluetoothConnector::setEnableFirmwareUpdate(bool value) { setFlag(&State::enableFirmwareUpdate, value); }
bool BluetoothConnector::enableFirmwareVersion() const { return flag(&State::enableFirmwareVersion); }
void BluetoothConnector::setEnableFirmwareVersion(bool value) { setFlag(&State::enableFirmwareVersion, value); }
bool BluetoothConnector::enableFirmwareMode() const { return flag(&State::enableFirmwareMode); }
void BluetoothConnector::setEnableFirmwareMode(bool value) { setFlag(&State::enableFirmwareMode, value); }
bool BluetoothConnector::enableFirmware() const { return flag(&State::enableFirmware); }
void BluetoothConnector::setEnableFirmware(bool value) { setFlag(&State::enableFirmware, value); }
bool BluetoothConnector::enableTestMode() const { return flag(&State::enableTestMode); }
void BluetoothConnector::setEnableTestMode(bool value) { setFlag(&State::enableTestMode, value); }
bool BluetoothConnector::enableModeState() const { return flag(&State::enableModeState); }
void BluetoothConnector::setEnableModeState(bool value) { setFlag(&State::enableModeState, value); }
bool BluetoothConnector::enableGetTime() const { return flag(&State::enableGetTime); }
void BluetoothConnector::setEnableGetTime(bool value) { setFlag(&State::enableGetTime, value); }
bool BluetoothConnector::connected() const { return flag(&State::connected); }

std::uint8_t BluetoothConnector::trainingThreshold() const {
  std::lock_guard lock(mutex_);
  return state_->trainingThreshold;
}

std::uint8_t BluetoothConnector::overloadThreshold() const {
  std::lock_guard lock(mutex_);
  return state_->overloadThreshold;
}

std::shared_ptr<BluetoothConnectorDelegate> BluetoothConnector::delegate() const {
  std::weak_ptr<BluetoothConnectorDelegate> weak;
  {
    std::lock_guard lock(mutex_);
    weak = state_->delegate;
  }
  return weak.lock();
}

void BluetoothConnector::setDelegate(std::weak_ptr<BluetoothConnectorDelegate> delegate) {
  std::lock_guard lock(mutex_);
  state_->delegate = std::move(delegate);
}

}  // namespace talvaren
