#include "talvaren/sim/SimulatedPeripheral.hpp"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "talvaren/platform/Date.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"

namespace talvaren::sim {

// The radio's lock guards every peripheral it holds; a peripheral not yet added has no other user.
#define TALVAREN_SIM_GUARD                                  \
  std::unique_lock<std::recursive_mutex> simGuard;          \
  if (radio_) simGuard = std::unique_lock(radio_->mutex_)

BluetoothUUID uuid(const char* text) {
  auto value = BluetoothUUID::fromString(text);
  return value.value_or(BluetoothUUID());
}

PeripheralIdentifier identifierNumber(std::uint32_t number) {
  BluetoothUUID::Bits bits = {0x5A, 0x5A, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x80, 0x00, 0x00, 0x00};
  bits[12] = static_cast<std::uint8_t>(number >> 24);
  bits[13] = static_cast<std::uint8_t>(number >> 16);
  bits[14] = static_cast<std::uint8_t>(number >> 8);
  bits[15] = static_cast<std::uint8_t>(number);
  return PeripheralIdentifier(bits);
}

SimulatedPeripheral::SimulatedPeripheral(PeripheralIdentifier identifier, std::optional<std::string> name)
    : identifier_(std::move(identifier)), name_(std::move(name)) {}

SimulatedPeripheral::~SimulatedPeripheral() = default;

std::optional<std::string> SimulatedPeripheral::name() const {
  TALVAREN_SIM_GUARD;
  return name_;
}

void SimulatedPeripheral::setName(std::optional<std::string> name) {
  TALVAREN_SIM_GUARD;
  name_ = std::move(name);
}

platform::AdvertisementData SimulatedPeripheral::advertisement() const {
  TALVAREN_SIM_GUARD;
  if (advertisement_) return *advertisement_;
  platform::AdvertisementData data;
  data.localName = name_;
  return data;
}

void SimulatedPeripheral::setAdvertisement(platform::AdvertisementData advertisement) {
  TALVAREN_SIM_GUARD;
  advertisement_ = std::move(advertisement);
}

int SimulatedPeripheral::rssi() const {
  TALVAREN_SIM_GUARD;
  return rssi_;
}

void SimulatedPeripheral::setRSSI(int rssi) {
  TALVAREN_SIM_GUARD;
  rssi_ = rssi;
}

bool SimulatedPeripheral::inRange() const {
  TALVAREN_SIM_GUARD;
  return inRange_;
}

void SimulatedPeripheral::setInRange(bool inRange) {
  TALVAREN_SIM_GUARD;
  if (inRange_ == inRange) return;
  inRange_ = inRange;
  if (!radio_) return;
  if (inRange) {
    radio_->completePendingConnects(*this);
  } else {
    radio_->dropLinks(*this, Error::withDescription(platform::BluetoothLinkError::domain,
                                                    platform::BluetoothLinkError::connectionTimeout,
                                                    "The connection has timed out unexpectedly."));
  }
}

void SimulatedPeripheral::setAdvertisesWhileConnected(bool advertises) {
  TALVAREN_SIM_GUARD;
  advertisesWhileConnected_ = advertises;
}

Faults SimulatedPeripheral::faults() const {
  TALVAREN_SIM_GUARD;
  return faults_;
}

void SimulatedPeripheral::setFaults(Faults faults) {
  TALVAREN_SIM_GUARD;
  faults_ = std::move(faults);
}

void SimulatedPeripheral::dropLink() {
  TALVAREN_SIM_GUARD;
  if (!radio_) return;
  radio_->dropLinks(*this, Error::withDescription(platform::BluetoothLinkError::domain,
                                                  platform::BluetoothLinkError::peripheralDisconnected,
                                                  "The peripheral ended the connection."));
}

std::uint16_t SimulatedPeripheral::addService(const BluetoothUUID& service) {
  TALVAREN_SIM_GUARD;
  services_.push_back(Service{service, nextHandle_++, {}});
  return services_.back().handle;
}

std::uint16_t SimulatedPeripheral::addCharacteristic(const BluetoothUUID& service, const BluetoothUUID& characteristic,
                                                     CharacteristicProperties properties, std::optional<Bytes> value) {
  TALVAREN_SIM_GUARD;
  auto found = std::find_if(services_.rbegin(), services_.rend(), [&](auto& s) { return s.uuid == service; });
  if (found == services_.rend()) {
    addService(service);
    found = services_.rbegin();
  }
  // A declaration handle and a value handle, as in a real table.
  ++nextHandle_;
  found->characteristics.push_back(Characteristic{characteristic, nextHandle_++, properties, std::move(value)});
  return found->characteristics.back().handle;
}

void SimulatedPeripheral::clearServices() {
  TALVAREN_SIM_GUARD;
  services_.clear();
}

const SimulatedPeripheral::Characteristic* SimulatedPeripheral::find(std::uint16_t handle) const {
  for (auto& service : services_) {
    for (auto& characteristic : service.characteristics) {
      if (characteristic.handle == handle) return &characteristic;
    }
  }
  return nullptr;
}

const SimulatedPeripheral::Characteristic* SimulatedPeripheral::find(const BluetoothUUID& uuid) const {
  for (auto& service : services_) {
    for (auto& characteristic : service.characteristics) {
      if (characteristic.uuid == uuid) return &characteristic;
    }
  }
  return nullptr;
}

void SimulatedPeripheral::setValue(const BluetoothUUID& characteristic, std::optional<Bytes> value) {
  TALVAREN_SIM_GUARD;
  if (auto* found = const_cast<Characteristic*>(find(characteristic))) found->value = std::move(value);
}

std::optional<Bytes> SimulatedPeripheral::value(const BluetoothUUID& characteristic) const {
  TALVAREN_SIM_GUARD;
  auto* found = find(characteristic);
  return found ? found->value : std::nullopt;
}

void SimulatedPeripheral::notify(const BluetoothUUID& characteristic, const std::optional<Bytes>& value) {
  TALVAREN_SIM_GUARD;
  if (radio_) radio_->notify(*this, characteristic, value);
}

bool SimulatedPeripheral::isConnected() const {
  TALVAREN_SIM_GUARD;
  return radio_ && radio_->connectedTo(*this);
}

std::vector<WriteRecord> SimulatedPeripheral::writes() const {
  TALVAREN_SIM_GUARD;
  return writes_;
}

std::vector<Bytes> SimulatedPeripheral::writes(const BluetoothUUID& characteristic) const {
  TALVAREN_SIM_GUARD;
  std::vector<Bytes> found;
  for (auto& record : writes_) {
    if (record.characteristic == characteristic) found.push_back(record.bytes);
  }
  return found;
}

int SimulatedPeripheral::subscriptionRequests(const BluetoothUUID& characteristic, bool enabled) const {
  TALVAREN_SIM_GUARD;
  auto found = subscriptionRequests_.find({characteristic, enabled});
  return found == subscriptionRequests_.end() ? 0 : found->second;
}

bool SimulatedPeripheral::isSubscribed(const BluetoothUUID& characteristic) const {
  TALVAREN_SIM_GUARD;
  if (!radio_) return false;
  auto* found = find(characteristic);
  if (!found) return false;
  return std::any_of(radio_->links_.begin(), radio_->links_.end(), [&](auto& link) {
    return link.peripheral.get() == this && link.notifying.count(found->handle);
  });
}

int SimulatedPeripheral::connectionCount() const {
  TALVAREN_SIM_GUARD;
  return connections_;
}

void SimulatedPeripheral::after(double seconds, std::function<void()> work, bool whileConnected) {
  TALVAREN_SIM_GUARD;
  if (!radio_) return;
  auto epoch = linkEpoch_;
  radio_->later(seconds, [weak = weak_from_this(), epoch, whileConnected, work = std::move(work)] {
    auto self = weak.lock();
    if (!self || !self->radio_) return;
    if (whileConnected && self->linkEpoch_ != epoch) return;
    work();
  });
}

std::unique_lock<std::recursive_mutex> SimulatedPeripheral::guard() const {
  TALVAREN_SIM_GUARD;
  return simGuard;
}

double SimulatedPeripheral::now() const { return platform::Date::now().timeIntervalSince1970(); }

void SimulatedPeripheral::trace(const std::string& line) const {
  TALVAREN_SIM_GUARD;
  if (radio_) radio_->addTrace(line);
}

}  // namespace talvaren::sim
