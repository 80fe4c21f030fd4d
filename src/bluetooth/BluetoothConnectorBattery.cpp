// Battery level, software version and the switch of a Kelo strap into firmware-update mode.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothBattery.hpp"
#include "talvaren/codecs/BluetoothCharacteristics.hpp"
#include "talvaren/codecs/BluetoothUtils.hpp"
#include "talvaren/codecs/ErrorBluetooth.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {

using connector::log;

void BluetoothConnector::getBatteryLevel(const CharacteristicPtr& characteristic, const std::optional<Error>& error) {
  auto delegate = this->delegate();
  auto value = connector::valueOrReport(delegate, characteristic, error);
  if (!value) return;
  // An empty value holds no level: reported as a missing one, and no band flag moves.
  if (value->empty()) {
    if (delegate) delegate->didGetError(toError(ErrorBluetooth::characteristicValue));
    return;
  }
  auto defaults = platform::UserDefaults::standard();
  auto report = BluetoothBattery(defaults).getLevel(*value, enableSynch());
  if (!report.sendNotfication) return;
  if (delegate) delegate->didUpdateBatteryLevel(report.level);
  defaults->set(true, report.batteryLevelKey);
}

void BluetoothConnector::getSoftwareVersion(const PeripheralPtr& peripheral, const CharacteristicPtr& characteristic,
                                            const std::optional<Error>&) {
  auto value = characteristic->value();
  if (!value) {
    log("BluetoothConnector: getSoftwareVersion: no value");
    return;
  }
  auto version = BluetoothUtils::byteToString(*value);
  log("BluetoothConnector: getSoftwareVersion = " + version);
  if (auto delegate = this->delegate()) delegate->didFirmwareVersion(version, peripheral);
}

bool BluetoothConnector::firmwareBatteryLevelWarning() {
  auto defaults = platform::UserDefaults::standard();
  return defaults->boolForKey(BluetoothBattery::BatteryLevel10Key) ||
         defaults->boolForKey(BluetoothBattery::BatteryLevel25Key);
}

void BluetoothConnector::setFimwareMode(const PeripheralPtr& peripheral,
                                        const std::vector<CharacteristicPtr>& characteristicsKelo) {
  if (firmwareBatteryLevelWarning()) {
    if (auto delegate = this->delegate()) delegate->didGetFirmwareBatteryLevelWarning();
    return;
  }
  auto short16 = cbuuid(BluetoothCharacteristics::KeloAppModeUUID16);
  auto long128 = cbuuid(BluetoothCharacteristics::KeloAppModeUUID128);
  for (const auto& c : characteristicsKelo) {
    if (c->uuid() != short16 && c->uuid() != long128) continue;
    log("Found OTA16-128: " + c->description());
    // Without a strap to write to, the switch did not happen and is not reported as done.
    if (!peripheral) return;
    peripheral->writeValue(BluetoothUtils::getOTAData(), c, platform::WriteType::withoutResponse);
    // The strap drops the link itself; the disconnection that follows is reported as usual. Ending the
    // link belongs to this link alone, but the switch is reported 2 s after the command whatever the
    // host has done with the link since.
    afterOnThisLink(
        currentLink(), 2.0, true, [](BluetoothConnector& self) { self.disconnectOnDemand(); },
        [](BluetoothConnector& self) {
          if (auto delegate = self.delegate()) delegate->didSetFirmwareMode();
        });
    return;
  }
}

}  // namespace talvaren
