// Live heart rate, signal strength and RR intervals from the standard Heart Rate service.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoorhHeardRate.hpp"

namespace talvaren {

using connector::log;

void BluetoothConnector::getHeartRate(const CharacteristicPtr& characteristic, const std::optional<Error>& error) {
  auto delegate = this->delegate();
  auto value = connector::valueOrReport(delegate, characteristic, error);
  if (!value) return;
  // A value too short for the rate its flags announce carries no measurement.
  const auto& data = *value;
  auto measurement = BluetoorhHeardRate::measurement(data);
  if (!measurement) return;

  if (delegate) delegate->didUpdateBPM(measurement->bmp, Date::now().timeIntervalSince1970());
  if (!checkLastKeloDEvice()) {
    log("getHeartBPM  signal = " + std::to_string(measurement->signal));
    if (delegate) delegate->didUpdateSignalStrength(measurement->signal);
    return;
  }
  if (data.size() < 3) {
    log("getHeartBPM  nit data " + connector::byteList(data));
    return;
  }
  std::int64_t signal = data[2];
  log("getHeartBPM  signal Kelo = " + std::to_string(signal));
  if (delegate) delegate->didUpdateSignalStrength(signal);
}

void BluetoothConnector::getRRInterval(const CharacteristicPtr& characteristic, const std::optional<Error>& error) {
  auto delegate = this->delegate();
  auto value = connector::valueOrReport(delegate, characteristic, error);
  if (!value) return;
  log("getRRInterval: data = " + characteristic->description());
  const auto& data = *value;
  if (!checkLastKeloDEvice()) {
    log("getRRInterval: reportData = " + connector::byteList(data));
    // Intervals announced by the flags but missing from the value are not reported.
    auto intervals = BluetoorhHeardRate::announcedRRIntervals(data);
    if (intervals && delegate) delegate->didUpdateRRIntervals(*intervals);
    return;
  }
  log("getRRInterval: reportData Kelo = " + connector::byteList(data));
  // The Kelo layout puts the intervals at byte 4 whatever the flags say.
  if (data.size() < 5) return;
  if (delegate) delegate->didUpdateRRIntervals(BluetoorhHeardRate::updateRRIntervarls(data, 4));
}

}  // namespace talvaren
