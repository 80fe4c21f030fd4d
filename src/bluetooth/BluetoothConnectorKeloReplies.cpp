// Kelo replies on the command channel: threshold acknowledgement, test mode, mode and state, clock;
// and the thresholds stored for the next write.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

using connector::log;

void BluetoothConnector::getKeloDeviceRRInterval(const CharacteristicPtr& characteristic,
                                                 const std::optional<Error>& error) {
  log("getKeloDeviceRRInterval = " + characteristic->description());
  auto delegate = this->delegate();
  auto value = connector::valueOrReport(delegate, characteristic, error);
  if (!value) return;
  log("getKeloDeviceRRInterval data = " + connector::valueDescription(value));
  setEnableTreshold(false);
  if (delegate) delegate->didSetRRIntervals();
}

void BluetoothConnector::getKeloDeviceModeTest(const CharacteristicPtr& characteristic,
                                               const std::optional<Error>& error) {
  log("getKeloDeviceModeTest = " + characteristic->description());
  auto delegate = this->delegate();
  auto value = connector::valueOrReport(delegate, characteristic, error);
  if (!value) return;
  log("getKeloDeviceModeTest data = " + connector::valueDescription(value));
  bool set = value->size() > 3 && (*value)[3] == 0x01;
  if (delegate) delegate->didSetTestMode(set);
}

void BluetoothConnector::getKeloDeviceModeState(const CharacteristicPtr& characteristic,
                                                const std::optional<Error>& error) {
  log("getKeloDeviceModeState = " + characteristic->description());
  auto delegate = this->delegate();
  auto value = connector::valueOrReport(delegate, characteristic, error, false);
  if (!value || value->size() < 4) return;
  auto mode = fromRawValue<BluetoothModeKelo>((*value)[2]);
  auto state = fromRawValue<BluetoothStateKelo>((*value)[3]);
  if (!mode || !state) return;
  log("getKeloDeviceModeState mode = " + std::string(caseName(*mode)) + " state = " + std::string(caseName(*state)));
  if (delegate) delegate->didGetStateMode(*mode, *state);
}

void BluetoothConnector::getKeloUTC(const CharacteristicPtr& characteristic, const std::optional<Error>& error) {
  log("getKeloUTC = " + characteristic->description());
  auto delegate = this->delegate();
  auto value = connector::valueOrReport(delegate, characteristic, error, false);
  if (!value || value->size() < 7) return;
  const auto& data = *value;
  if (data[2] != rawValue(BluetoothModeKelo::getTime)) return;
  log("getKeloUTC Int = " + connector::byteList(data));

  std::uint32_t seconds = static_cast<std::uint32_t>(data[3]) << 24 | static_cast<std::uint32_t>(data[4]) << 16 |
                          static_cast<std::uint32_t>(data[5]) << 8 | data[6];
  auto date = localTimetoUTC(Date(static_cast<double>(seconds)));
  log("getKeloUTC UTC = " + date.description());

  bool close = connector::clockIsClose("diffInYears = ", date);
  if (!delegate) return;
  delegate->didGetTime(close, date);
  if (close) delegate->didDeviceTime(date);
}

void BluetoothConnector::sendKeloDeviceRRIntervals(std::uint8_t trainingThreshold, std::uint8_t overloadThreshold) {
  {
    std::lock_guard lock(mutex_);
    state_->trainingThreshold = trainingThreshold;
    state_->overloadThreshold = overloadThreshold;
  }
  log("sendKeloDeviceRRIntervals  trainingThreshold = " + std::to_string(trainingThreshold) +
      " overloadThreshold = " + std::to_string(overloadThreshold));
}

}  // namespace talvaren
