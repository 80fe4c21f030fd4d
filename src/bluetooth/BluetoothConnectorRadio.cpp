// The connector as delegate of its central manager and of its strap: radio state, the advertisement
// filter, connection and disconnection, discovery with the per-service table, and the routing of
// every value update to its handler.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothCharacteristics.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/codecs/BluetoothServices.hpp"
#include "talvaren/codecs/SportModeType.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace talvaren {
namespace {

using connector::log;
using platform::BluetoothUUID;
using platform::CharacteristicProperties;
using platform::WriteType;

bool is(const BluetoothUUID& uuid, BluetoothServices service) { return cbuuid(service) == uuid; }
bool is(const BluetoothUUID& uuid, BluetoothCharacteristics characteristic) { return cbuuid(characteristic) == uuid; }

/// An optional error as a debug text prints it.
std::string debugDescription(const std::optional<Error>& error) {
  if (!error) return "nil";
  return "Optional(Error Domain=" + error->domain + " Code=" + std::to_string(error->code) + " \"" +
         error->localizedDescription() + "\")";
}

}  // namespace

// Central manager ----------------------------------------------------------------------------------------

void BluetoothConnector::centralManagerDidUpdateState(platform::CentralManager& central) {
  switch (central.state()) {
    case platform::ManagerState::unknown:
      log("CoreBluetooth mobile BLE state is unknown");
      break;
    case platform::ManagerState::unsupported:
      log("CoreBluetooth mobile BLE hardware is unsupported on this platform");
      break;
    case platform::ManagerState::unauthorized:
      log("CoreBluetooth mobile BLE state is unauthorized");
      break;
    case platform::ManagerState::poweredOff:
      log("CoreBluetooth mobile BLE hardware is powered off");
      if (auto delegate = this->delegate()) delegate->didNotEnabled();
      break;
    case platform::ManagerState::poweredOn:
      log("CoreBluetooth mobile BLE hardware is powered on and ready");
      connectToLastKnownDevice();
      break;
    default:
      log("CoreBluetooth mobile BLE default");
      break;
  }
}

void BluetoothConnector::didDiscover(platform::CentralManager&, const PeripheralPtr& peripheral,
                                     const platform::AdvertisementData& advertisementData, int rssi) {
  const auto& name = advertisementData.localName;
  if (!name || name->empty()) return;
  if (enableFirmware() && rssi <= MIN_FIRMWARE_RSSI) return;
  if (auto delegate = this->delegate()) delegate->didDiscoverDevice(peripheral, *name, advertisementData);
}

void BluetoothConnector::didConnect(platform::CentralManager&, const PeripheralPtr& peripheral) {
  stopTimer();
  {
    // Characteristics of an earlier link must not be found by this one.
    std::lock_guard lock(mutex_);
    state_->characteristicsKelo.clear();
  }
  peripheral->setDelegate(weak_from_this());
  peripheral->discoverServices();
  bool isConnected = peripheral->state() == platform::PeripheralState::connected;
  {
    std::lock_guard lock(mutex_);
    state_->connected = isConnected;
  }
  if (isConnected) saveLastKnownDevice(peripheral);
  if (auto delegate = this->delegate()) delegate->didConnect();
}

void BluetoothConnector::didFailToConnect(platform::CentralManager&, const PeripheralPtr& peripheral,
                                          const std::optional<Error>&) {
  bool replaced;
  {
    std::lock_guard lock(mutex_);
    replaced = state_->isReplaced(peripheral);
  }
  log(replaced ? "didFailToConnect of a replaced peripheral ignored: " + connector::peripheralDescription(peripheral)
               : std::string("didFailToConnect"));
}

void BluetoothConnector::didDisconnectPeripheral(platform::CentralManager&, const PeripheralPtr& peripheral,
                                                 const std::optional<Error>&) {
  bool replaced, planned = false;
  {
    std::lock_guard lock(mutex_);
    // The end of a link that a newer chosen strap replaced says nothing about the current one.
    replaced = state_->isReplaced(peripheral);
    if (!replaced) {
      planned = state_->enableDisconectHRMDevice;
      state_->enableDisconectHRMDevice = false;
      // A download cut here is over: the next one starts from nothing.
      state_->restartHistory();
      // Cleared on a planned disconnection too, so connected() never outlives the link.
      state_->connected = false;
    }
  }
  if (replaced) {
    log("didDisconnectPeripheral of a replaced peripheral ignored: " + connector::peripheralDescription(peripheral));
    return;
  }
  if (planned) return;
  if (auto delegate = this->delegate()) delegate->didDisconnect();
}

// Discovery ------------------------------------------------------------------------------------------------

void BluetoothConnector::didDiscoverServices(const PeripheralPtr& peripheral, const std::optional<Error>&) {
  auto services = peripheral->services();
  if (!services) return;
  for (const auto& service : *services) peripheral->discoverCharacteristics(std::nullopt, service);
}

void BluetoothConnector::didDiscoverCharacteristicsFor(const PeripheralPtr& peripheral,
                                                       const std::shared_ptr<platform::Service>& service,
                                                       const std::optional<Error>&) {
  auto found = service->characteristics();
  if (!found) return;
  const auto& characteristics = *found;
  const auto& uuid = service->uuid();
  log("----Found service: " + uuid.uuidString());
  auto held = this->peripheral();

  if (is(uuid, BluetoothServices::DeviceInfo)) {
    for (const auto& c : characteristics) {
      if (is(c->uuid(), BluetoothCharacteristics::KeloAppSoftVersion)) {
        log("Software version found: " + c->description());
        if (held) held->readValue(c);
      } else {
        log("Found characteristic: device info " + c->description());
      }
    }
  } else if (is(uuid, BluetoothServices::KeloDevice)) {
    discoverKeloCharacteristics(characteristics);
  } else if (is(uuid, BluetoothServices::HeartRate)) {
    for (const auto& c : characteristics) {
      if (is(c->uuid(), BluetoothServices::HeartRateMeasurement)) {
        if (held) held->setNotifyValue(true, c);
        log("Found characteristic: heart rate measurement");
      } else if (is(c->uuid(), BluetoothServices::HearRateControlPoint) && enableRRIntervals()) {
        log("Found characteristic: heart rate control point");
        if (auto delegate = this->delegate()) delegate->willConnectToRRIntervals();
        auto command = dataFromHexEncodedString(rawValue(BluetoothServices::TurnRR));
        if (held && command) held->writeValue(*command, c, WriteType::withResponse);
      }
    }
  } else if (is(uuid, BluetoothServices::Battery)) {
    for (const auto& c : characteristics) {
      if (is(c->uuid(), BluetoothCharacteristics::BatteryLevel)) {
        log("Found characteristic: battery level");
        peripheral->readValue(c);
      }
    }
  } else if (is(uuid, BluetoothServices::RavoDevice)) {
    for (const auto& c : characteristics) {
      if (is(c->uuid(), BluetoothCharacteristics::RavoDeviceNotify)) {
        log("Found characteristic: RavoDeviceNotify FC20 = " + c->description());
        if (held && (enableSynch() || enableDeviceTime() || enableSetTime())) held->setNotifyValue(true, c);
      } else if (is(c->uuid(), BluetoothCharacteristics::RavoDeviceWrite)) {
        log("Found characteristic: RavoDeviceWrite  FC21 = " + c->description());
        std::lock_guard lock(mutex_);
        state_->characteristic = c;
      } else {
        log("Found characteristic: HRM " + c->description());
      }
    }
  } else if (is(uuid, BluetoothServices::RavoDeviceData)) {
    for (const auto& c : characteristics) log("Found characteristic: HRM data " + c->description());
  } else if (is(uuid, BluetoothServices::ScoscheRhythm)) {
    for (const auto& c : characteristics) {
      if (!is(c->uuid(), BluetoothCharacteristics::ScoscheRhythm)) continue;
      {
        std::lock_guard lock(mutex_);
        state_->characteristic = c;
      }
      log("Scosche Rhythm characteristic HR");
      if (held) held->writeValue(Bytes{rawValue(SportModeType::heartRate)}, c, WriteType::withResponse);
    }
  }
}

void BluetoothConnector::discoverKeloCharacteristics(const std::vector<CharacteristicPtr>& characteristics) {
  {
    std::lock_guard lock(mutex_);
    state_->characteristicsKelo.insert(state_->characteristicsKelo.end(), characteristics.begin(),
                                       characteristics.end());
  }
  auto held = peripheral();
  auto packet = numberPacket();
  auto link = currentLink();

  for (const auto& c : characteristics) {
    if (is(c->uuid(), BluetoothCharacteristics::KeloDeviceNotify)) {
      log("Found characteristic: KeloDeviceNotify fd09 = " + c->description());
      // One request per flag that wants the command channel, as the strap's firmware expects.
      for (bool wanted : {enableTreshold(), enableTestMode(), enableModeState() || enableGetTime()}) {
        if (wanted && held) held->setNotifyValue(true, c);
      }
    } else if (is(c->uuid(), BluetoothCharacteristics::KeloDeviceWrite)) {
      log("Found characteristic: KeloDeviceWrite  fd0a = " + c->description());
      {
        std::lock_guard lock(mutex_);
        state_->characteristic = c;
      }
      if (enableTestMode()) sendHRMValue(BluetoothDeviceKelo::sendTestModeKeloDevice(packet), c);
      if (enableGetTime()) sendHRMValue(BluetoothDeviceKelo::sendUTCQX410(packet), c);
    } else {
      log("Found characteristic: HRM " + c->description());
    }
  }

  for (const auto& c : characteristics) {
    if (is(c->uuid(), BluetoothCharacteristics::KeloDeviceNotifyHistry)) {
      log("Found characteristic: KeloDeviceNotifyHistry FD19 = " + c->description());
      if (held && enableSynch()) held->setNotifyValue(true, c);
    } else if (is(c->uuid(), BluetoothCharacteristics::KeloDeviceWriteHistry)) {
      // The strap's clock is set on every Kelo connection, whatever the task.
      log("Found characteristic: KeloDeviceWriteHistry FD1A = " + c->description());
      {
        std::lock_guard lock(mutex_);
        state_->characteristicHistry = c;
      }
      log("Found characteristic: KeloDeviceWriteHistry sendUTCTimeKeloDevice");
      sendHRMValue(BluetoothDeviceKelo::sendUTCTimeKeloDevice(packet, Date::now()), c);
      if (enableSetTime()) {
        if (auto delegate = this->delegate()) delegate->didSetTime();
        if (planDisconnection(link)) {
          afterOnThisLink(link, 2.5, false, [](BluetoothConnector& self) { self.disconnectOnDemand(); });
        }
      }
    } else {
      log("Found characteristic: HRM " + c->description());
    }
  }

  for (const auto& c : characteristics) log("Found characteristic: QX 410 data " + c->description());
}

// Value updates and acknowledged writes -------------------------------------------------------------------

void BluetoothConnector::didUpdateValueFor(const PeripheralPtr& peripheral, const CharacteristicPtr& characteristic,
                                           const std::optional<Error>& error) {
  const auto& uuid = characteristic->uuid();
  const auto uuidText = uuid.uuidString();
  log("<------>Did update value for characteristic " + uuidText);

  if (is(uuid, BluetoothServices::HeartRateMeasurement)) {
    getHeartRate(characteristic, error);
    getRRInterval(characteristic, error);
  } else if (is(uuid, BluetoothServices::HearRateControlPoint)) {
    getRRInterval(characteristic, error);
  } else if (is(uuid, BluetoothCharacteristics::RavoDeviceNotify)) {
    log("<-------------Did get update value for characteristic RavoDeviceNotify " + uuidText);
    getRavoDeviceTypePacket(characteristic, error);
  } else if (is(uuid, BluetoothCharacteristics::RavoDeviceWrite)) {
    log("------------->Did write update value for characteristic RavoDeviceWrite " + uuidText);
  } else if (is(uuid, BluetoothCharacteristics::KeloDeviceNotify)) {
    log("<-------------Did get update value for characteristic KeloDeviceNotify " + uuidText);
    if (enableRRIntervals()) getKeloDeviceRRInterval(characteristic, error);
    if (enableTestMode()) getKeloDeviceModeTest(characteristic, error);
    if (enableModeState()) getKeloDeviceModeState(characteristic, error);
    if (enableGetTime()) getKeloUTC(characteristic, error);
  } else if (is(uuid, BluetoothCharacteristics::KeloDeviceWrite)) {
    log("------------->Did write update value for characteristic KeloDeviceWrite " + uuidText);
  } else if (is(uuid, BluetoothCharacteristics::KeloDeviceNotifyHistry)) {
    log("<-------------Did get update value for characteristic KeloDeviceNotifyHistry " + uuidText);
    getKeloDeviceTypePacket(characteristic, error);
  } else if (is(uuid, BluetoothCharacteristics::KeloDeviceWriteHistry)) {
    log("------------->Did write update value for characteristic KeloDeviceWriteHistry " + uuidText);
  } else if (is(uuid, BluetoothCharacteristics::BatteryLevel)) {
    getBatteryLevel(characteristic, error);
    // The only road by which the zone thresholds reach the strap.
    if (enableTreshold()) {
      sendHRMValue(BluetoothDeviceKelo::setKeloDeviceRRIntervals(trainingThreshold(), overloadThreshold()));
    }
  } else if (is(uuid, BluetoothCharacteristics::KeloAppSoftVersion)) {
    log("------------->Did get update value for characteristic KeloAppSoftVersion " + uuidText);
    if (enableFirmwareVersion()) getSoftwareVersion(peripheral, characteristic, error);
    if (enableFirmwareMode()) setFimwareMode(peripheral, characteristicsKelo());
  }
}

void BluetoothConnector::didWriteValueFor(const PeripheralPtr& peripheral, const CharacteristicPtr& characteristic,
                                          const std::optional<Error>& error) {
  auto properties = characteristic->properties();
  log("Did write value for characteristic: " + characteristic->uuid().uuidString() +
      ", properties: " + std::to_string(platform::rawValue(properties)));
  if (error) {
    log("Error: " + debugDescription(error));
    return;
  }
  if (platform::contains(properties, CharacteristicProperties::notify)) {
    log("Notify for characteristic");
    peripheral->setNotifyValue(true, characteristic);
  }
  if (platform::contains(properties, CharacteristicProperties::read)) {
    log("Read for characteristic");
    peripheral->readValue(characteristic);
  }
}

}  // namespace talvaren
