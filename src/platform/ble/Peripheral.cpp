#include "talvaren/platform/ble/Peripheral.hpp"

#include <algorithm>
#include <cstdio>

#include "platform/ble/CentralCore.hpp"
#include "talvaren/platform/HexText.hpp"

namespace talvaren::platform {
namespace {

const char* stateText(PeripheralState state) {
  switch (state) {
    case PeripheralState::disconnected: return "disconnected";
    case PeripheralState::connecting: return "connecting";
    case PeripheralState::connected: return "connected";
    case PeripheralState::disconnecting: return "disconnecting";
  }
  return "disconnected";
}

}  // namespace

// Characteristic ---------------------------------------------------------------------------------------

Characteristic::Characteristic(BluetoothUUID uuid, CharacteristicProperties properties, std::uint16_t handle,
                               std::weak_ptr<Service> service)
    : uuid_(std::move(uuid)), properties_(properties), handle_(handle), service_(std::move(service)) {}

std::optional<Bytes> Characteristic::value() const {
  std::lock_guard lock(mutex_);
  return value_;
}

bool Characteristic::isNotifying() const {
  std::lock_guard lock(mutex_);
  return notifying_;
}

void Characteristic::setValue(std::optional<Bytes> value) {
  std::lock_guard lock(mutex_);
  value_ = std::move(value);
}

void Characteristic::setNotifying(bool notifying) {
  std::lock_guard lock(mutex_);
  notifying_ = notifying;
}

std::string Characteristic::description() const {
  char properties[16];
  std::snprintf(properties, sizeof properties, "0x%X", static_cast<unsigned>(rawValue(properties_)));
  std::string text = "<Characteristic: UUID = " + uuid_.uuidString() + ", properties = " + properties + ", value = ";
  std::lock_guard lock(mutex_);
  if (value_) {
    text += "{length = " + std::to_string(value_->size()) + ", bytes = 0x" + hexText(*value_) + "}";
  } else {
    text += "(null)";
  }
  text += notifying_ ? ", notifying = YES>" : ", notifying = NO>";
  return text;
}

// Service ------------------------------------------------------------------------------------------------

Service::Service(BluetoothUUID uuid, bool primary, std::uint16_t handle, std::weak_ptr<Peripheral> peripheral)
    : uuid_(std::move(uuid)), primary_(primary), handle_(handle), peripheral_(std::move(peripheral)) {}

std::optional<std::vector<std::shared_ptr<Characteristic>>> Service::characteristics() const {
  std::lock_guard lock(mutex_);
  return characteristics_;
}

void Service::setCharacteristics(std::vector<std::shared_ptr<Characteristic>> characteristics) {
  std::lock_guard lock(mutex_);
  characteristics_ = std::move(characteristics);
}

std::string Service::description() const {
  return "<Service: UUID = " + uuid_.uuidString() + (primary_ ? ", primary = YES>" : ", primary = NO>");
}

// Peripheral ---------------------------------------------------------------------------------------------

Peripheral::Peripheral(PeripheralIdentifier identifier, std::optional<std::string> name,
                       std::weak_ptr<detail::CentralCore> central)
    : identifier_(std::move(identifier)), central_(std::move(central)), name_(std::move(name)) {}

std::optional<std::string> Peripheral::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

PeripheralState Peripheral::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

std::optional<std::vector<std::shared_ptr<Service>>> Peripheral::services() const {
  std::lock_guard lock(mutex_);
  return services_;
}

void Peripheral::setDelegate(std::weak_ptr<PeripheralDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<PeripheralDelegate> Peripheral::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void Peripheral::setName(std::optional<std::string> name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

void Peripheral::setState(PeripheralState state) {
  std::lock_guard lock(mutex_);
  state_ = state;
}

void Peripheral::resetServices() {
  std::optional<std::vector<std::shared_ptr<Service>>> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(services_);
  }
  if (!dropped) return;
  for (auto& service : *dropped) {
    if (auto characteristics = service->characteristics()) {
      for (auto& characteristic : *characteristics) characteristic->setNotifying(false);
    }
  }
}

void Peripheral::setServices(std::vector<std::shared_ptr<Service>> services) {
  std::lock_guard lock(mutex_);
  services_ = std::move(services);
}

std::shared_ptr<Service> Peripheral::serviceWithHandle(std::uint16_t handle) const {
  std::lock_guard lock(mutex_);
  if (!services_) return nullptr;
  for (auto& service : *services_) {
    if (service->handle() == handle) return service;
  }
  return nullptr;
}

std::shared_ptr<Characteristic> Peripheral::characteristicWithHandle(std::uint16_t handle) const {
  auto all = services();
  if (!all) return nullptr;
  for (auto& service : *all) {
    auto characteristics = service->characteristics();
    if (!characteristics) continue;
    for (auto& characteristic : *characteristics) {
      if (characteristic->handle() == handle) return characteristic;
    }
  }
  return nullptr;
}

bool Peripheral::owns(const std::shared_ptr<Characteristic>& characteristic) const {
  return characteristic && characteristicWithHandle(characteristic->handle()) == characteristic;
}

void Peripheral::discoverServices(const std::optional<std::vector<BluetoothUUID>>& uuids) {
  auto central = central_.lock();
  if (!central || state() != PeripheralState::connected) return;
  central->radio->discoverServices(central.get(), identifier_, uuids);
}

void Peripheral::discoverCharacteristics(const std::optional<std::vector<BluetoothUUID>>& uuids,
                                         const std::shared_ptr<Service>& service) {
  auto central = central_.lock();
  if (!central || !service || state() != PeripheralState::connected) return;
  if (serviceWithHandle(service->handle()) != service) return;
  central->radio->discoverCharacteristics(central.get(), identifier_, service->handle(), uuids);
}

void Peripheral::readValue(const std::shared_ptr<Characteristic>& characteristic) {
  auto central = central_.lock();
  if (!central || state() != PeripheralState::connected || !owns(characteristic)) return;
  central->radio->readValue(central.get(), identifier_, characteristic->handle());
}

void Peripheral::writeValue(const Bytes& data, const std::shared_ptr<Characteristic>& characteristic, WriteType type) {
  auto central = central_.lock();
  if (!central || state() != PeripheralState::connected || !owns(characteristic)) return;
  central->radio->writeValue(central.get(), identifier_, characteristic->handle(), data, type);
}

void Peripheral::setNotifyValue(bool enabled, const std::shared_ptr<Characteristic>& characteristic) {
  auto central = central_.lock();
  if (!central || state() != PeripheralState::connected || !owns(characteristic)) return;
  central->radio->setNotifyValue(central.get(), identifier_, characteristic->handle(), enabled);
}

std::string Peripheral::description() const {
  std::lock_guard lock(mutex_);
  return "<Peripheral: identifier = " + identifier_.uuidString() + ", name = " + name_.value_or("(null)") +
         ", state = " + stateText(state_) + ">";
}

}  // namespace talvaren::platform
