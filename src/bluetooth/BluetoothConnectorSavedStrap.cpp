// The saved strap of each task in the user defaults: its identifier, its name, the zone-synchronisation
// flag, and whether it is a Kelo strap as the current central knows it.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {
namespace {

using connector::log;
using platform::UserDefaults;

}  // namespace

BluetoothConnector::PeripheralPtr BluetoothConnector::retrieveSavedPeripheral(const std::string& identifier) {
  auto uuid = platform::PeripheralIdentifier::fromString(identifier);
  if (!uuid) return nullptr;
  auto central = centralManager();
  if (!central) return nullptr;
  auto found = central->retrievePeripherals({*uuid});
  return found.empty() ? nullptr : found.front();
}

std::optional<std::string> BluetoothConnector::getLastKnowDevice() {
  auto type = lastKnowDeviceType();
  if (!type) return std::nullopt;
  return UserDefaults::standard()->stringForKey(*type);
}

std::optional<std::string> BluetoothConnector::getLastConnectedDeviceName(const std::string& uuid) {
  auto name = UserDefaults::standard()->stringForKey(BluetoothAttrbutes::NameDeviceKey + uuid);
  std::lock_guard lock(mutex_);
  state_->lastConnectedDeviceName = name;
  return state_->lastConnectedDeviceName;
}

bool BluetoothConnector::getSynchZoneDevice() {
  return UserDefaults::standard()->boolForKey(BluetoothAttrbutes::SynchZoneDeviceKey);
}

void BluetoothConnector::setSynchZoneDevice(bool value) {
  UserDefaults::standard()->set(value, BluetoothAttrbutes::SynchZoneDeviceKey);
}

void BluetoothConnector::saveLastKnownDevice(const PeripheralPtr& device) {
  if (!device) return;
  auto identifier = device->identifier().uuidString();
  auto type = lastKnowDeviceType();
  if (!type) {
    log("lastKnowDeviceType = nil!");
    return;
  }
  UserDefaults::standard()->set(identifier, *type);
  saveLastDeviceName(identifier, device->name().value_or(""));
}

void BluetoothConnector::saveLastDeviceName(const std::string& uuid, const std::string& deviceName) {
  {
    std::lock_guard lock(mutex_);
    state_->lastConnectedDeviceName = deviceName;
  }
  UserDefaults::standard()->set(deviceName, BluetoothAttrbutes::NameDeviceKey + uuid);
}

bool BluetoothConnector::checkLastKeloDEvice() {
  auto identifier = getLastKnowDevice();
  if (!identifier) return false;
  auto saved = retrieveSavedPeripheral(*identifier);
  return saved && BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo(saved->name());
}

}  // namespace talvaren
