#include "talvaren/platform/ble/CentralManager.hpp"

#include <algorithm>

#include "platform/ble/CentralCore.hpp"

namespace talvaren::platform {
namespace {

/// The radio of a machine without a Bluetooth backend: it only says so.
class UnsupportedRadio final : public BluetoothRadio {
 public:
  void attach(const std::shared_ptr<RadioClient>& client) override {
    client->radioStateChanged(ManagerState::unsupported);
  }
  void detach(const RadioClient*) override {}
  void startScan(const RadioClient*, const std::optional<std::vector<BluetoothUUID>>&, bool) override {}
  void stopScan(const RadioClient*) override {}
  std::optional<KnownPeripheral> knownPeripheral(const PeripheralIdentifier&) override { return std::nullopt; }
  void connect(const RadioClient*, const PeripheralIdentifier&) override {}
  void cancelConnection(const RadioClient*, const PeripheralIdentifier&) override {}
  void discoverServices(const RadioClient*, const PeripheralIdentifier&,
                        const std::optional<std::vector<BluetoothUUID>>&) override {}
  void discoverCharacteristics(const RadioClient*, const PeripheralIdentifier&, std::uint16_t,
                               const std::optional<std::vector<BluetoothUUID>>&) override {}
  void readValue(const RadioClient*, const PeripheralIdentifier&, std::uint16_t) override {}
  void writeValue(const RadioClient*, const PeripheralIdentifier&, std::uint16_t, const Bytes&, WriteType) override {}
  void setNotifyValue(const RadioClient*, const PeripheralIdentifier&, std::uint16_t, bool) override {}
};

struct RadioSlot {
  std::mutex mutex;
  std::shared_ptr<BluetoothRadio> installed;
};

RadioSlot& radioSlot() {
  static auto* slot = new RadioSlot;
  return *slot;
}

}  // namespace

std::shared_ptr<BluetoothRadio> BluetoothRadio::current() {
  auto& slot = radioSlot();
  std::lock_guard lock(slot.mutex);
  if (!slot.installed) slot.installed = std::make_shared<UnsupportedRadio>();
  return slot.installed;
}

void BluetoothRadio::setCurrent(std::shared_ptr<BluetoothRadio> radio) {
  auto& slot = radioSlot();
  std::lock_guard lock(slot.mutex);
  std::swap(slot.installed, radio);
  // the radio replaced is released after the lock (it was swapped into `radio`)
}

std::string description(ManagerState state) {
  switch (state) {
    case ManagerState::unknown: return "unknown";
    case ManagerState::resetting: return "resetting";
    case ManagerState::unsupported: return "unsupported";
    case ManagerState::unauthorized: return "unauthorized";
    case ManagerState::poweredOff: return "poweredOff";
    case ManagerState::poweredOn: return "poweredOn";
  }
  return "unknown";
}

// CentralCore ------------------------------------------------------------------------------------------

namespace detail {

CentralCore::CentralCore(DispatchQueue queue, std::shared_ptr<BluetoothRadio> radio,
                         std::weak_ptr<CentralManagerDelegate> delegate)
    : queue(std::move(queue)), radio(std::move(radio)), delegate_(std::move(delegate)) {}

void CentralCore::setDelegate(std::weak_ptr<CentralManagerDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<CentralManagerDelegate> CentralCore::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

std::shared_ptr<Peripheral> CentralCore::existingPeripheral(const PeripheralIdentifier& identifier) const {
  std::lock_guard lock(mutex_);
  auto found = peripherals_.find(identifier);
  return found == peripherals_.end() ? nullptr : found->second;
}

std::shared_ptr<Peripheral> CentralCore::peripheralFor(const PeripheralIdentifier& identifier,
                                                       const std::optional<std::optional<std::string>>& name) {
  std::shared_ptr<Peripheral> peripheral;
  {
    std::lock_guard lock(mutex_);
    auto& slot = peripherals_[identifier];
    if (!slot) slot = std::make_shared<Peripheral>(identifier, name.value_or(std::nullopt), weak_from_this());
    peripheral = slot;
  }
  if (name) peripheral->setName(*name);
  return peripheral;
}

void CentralCore::dropAllLinks() {
  std::vector<std::shared_ptr<Peripheral>> all;
  {
    std::lock_guard lock(mutex_);
    for (auto& [identifier, peripheral] : peripherals_) all.push_back(peripheral);
  }
  for (auto& peripheral : all) {
    if (peripheral->state() != PeripheralState::disconnected) {
      peripheral->setState(PeripheralState::disconnected);
      peripheral->resetServices();
    }
  }
}

void CentralCore::post(std::function<void(CentralCore&, CentralManager&)> deliver) {
  if (closed) return;
  queue.async([weak = weak_from_this(), deliver = std::move(deliver)] {
    auto self = weak.lock();
    if (!self || self->closed) return;
    auto manager = self->manager.lock();
    if (!manager) return;
    deliver(*self, *manager);
  });
}

void CentralCore::radioStateChanged(ManagerState newState) {
  post([newState](CentralCore& core, CentralManager& manager) {
    core.state = newState;
    if (newState != ManagerState::poweredOn) {
      core.scanning = false;
      core.dropAllLinks();
    }
    if (auto delegate = core.delegate()) delegate->centralManagerDidUpdateState(manager);
  });
}

void CentralCore::radioDiscovered(const PeripheralIdentifier& identifier, const std::optional<std::string>& name,
                                  const AdvertisementData& advertisement, int rssi) {
  post([identifier, name, advertisement, rssi](CentralCore& core, CentralManager& manager) {
    if (!core.scanning) return;
    auto peripheral = core.peripheralFor(identifier, name);
    if (auto delegate = core.delegate()) delegate->didDiscover(manager, peripheral, advertisement, rssi);
  });
}

void CentralCore::radioConnected(const PeripheralIdentifier& identifier) {
  post([identifier](CentralCore& core, CentralManager& manager) {
    auto peripheral = core.existingPeripheral(identifier);
    if (!peripheral) return;
    peripheral->resetServices();
    peripheral->setState(PeripheralState::connected);
    if (auto delegate = core.delegate()) delegate->didConnect(manager, peripheral);
  });
}

void CentralCore::radioFailedToConnect(const PeripheralIdentifier& identifier, const std::optional<Error>& error) {
  post([identifier, error](CentralCore& core, CentralManager& manager) {
    auto peripheral = core.existingPeripheral(identifier);
    if (!peripheral) return;
    peripheral->setState(PeripheralState::disconnected);
    if (auto delegate = core.delegate()) delegate->didFailToConnect(manager, peripheral, error);
  });
}

void CentralCore::radioDisconnected(const PeripheralIdentifier& identifier, const std::optional<Error>& error) {
  post([identifier, error](CentralCore& core, CentralManager& manager) {
    auto peripheral = core.existingPeripheral(identifier);
    if (!peripheral) return;
    peripheral->setState(PeripheralState::disconnected);
    peripheral->resetServices();
    if (auto delegate = core.delegate()) delegate->didDisconnectPeripheral(manager, peripheral, error);
  });
}

void CentralCore::radioServicesDiscovered(const PeripheralIdentifier& identifier,
                                          const std::vector<ServiceInfo>& services,
                                          const std::optional<Error>& error) {
  post([identifier, services, error](CentralCore& core, CentralManager&) {
    auto peripheral = core.existingPeripheral(identifier);
    if (!peripheral || peripheral->state() != PeripheralState::connected) return;
    if (!error) {
      // Objects of services found before keep their identity; the list follows the radio's answer.
      std::vector<std::shared_ptr<Service>> objects;
      for (const auto& info : services) {
        auto existing = peripheral->serviceWithHandle(info.handle);
        objects.push_back(existing && existing->uuid() == info.uuid
                              ? existing
                              : std::make_shared<Service>(info.uuid, info.isPrimary, info.handle, peripheral));
      }
      peripheral->setServices(std::move(objects));
    }
    if (auto delegate = peripheral->delegate()) delegate->didDiscoverServices(peripheral, error);
  });
}

void CentralCore::radioCharacteristicsDiscovered(const PeripheralIdentifier& identifier, std::uint16_t serviceHandle,
                                                 const std::vector<CharacteristicInfo>& characteristics,
                                                 const std::optional<Error>& error) {
  post([identifier, serviceHandle, characteristics, error](CentralCore& core, CentralManager&) {
    auto peripheral = core.existingPeripheral(identifier);
    if (!peripheral || peripheral->state() != PeripheralState::connected) return;
    auto service = peripheral->serviceWithHandle(serviceHandle);
    if (!service) return;
    if (!error) {
      auto merged = service->characteristics().value_or(std::vector<std::shared_ptr<Characteristic>>{});
      for (const auto& info : characteristics) {
        auto same = std::find_if(merged.begin(), merged.end(), [&](auto& c) { return c->handle() == info.handle; });
        if (same == merged.end()) {
          merged.push_back(std::make_shared<Characteristic>(info.uuid, info.properties, info.handle, service));
        }
      }
      std::sort(merged.begin(), merged.end(), [](auto& a, auto& b) { return a->handle() < b->handle(); });
      service->setCharacteristics(std::move(merged));
    }
    if (auto delegate = peripheral->delegate()) delegate->didDiscoverCharacteristicsFor(peripheral, service, error);
  });
}

void CentralCore::radioValueUpdated(const PeripheralIdentifier& identifier, std::uint16_t characteristicHandle,
                                    const std::optional<Bytes>& value, const std::optional<Error>& error) {
  post([identifier, characteristicHandle, value, error](CentralCore& core, CentralManager&) {
    auto peripheral = core.existingPeripheral(identifier);
    if (!peripheral || peripheral->state() != PeripheralState::connected) return;
    auto characteristic = peripheral->characteristicWithHandle(characteristicHandle);
    if (!characteristic) return;
    if (!error) characteristic->setValue(value);
    if (auto delegate = peripheral->delegate()) delegate->didUpdateValueFor(peripheral, characteristic, error);
  });
}

void CentralCore::radioWriteAcknowledged(const PeripheralIdentifier& identifier, std::uint16_t characteristicHandle,
                                         const std::optional<Error>& error) {
  post([identifier, characteristicHandle, error](CentralCore& core, CentralManager&) {
    auto peripheral = core.existingPeripheral(identifier);
    if (!peripheral || peripheral->state() != PeripheralState::connected) return;
    auto characteristic = peripheral->characteristicWithHandle(characteristicHandle);
    if (!characteristic) return;
    if (auto delegate = peripheral->delegate()) delegate->didWriteValueFor(peripheral, characteristic, error);
  });
}

void CentralCore::radioNotificationStateChanged(const PeripheralIdentifier& identifier,
                                                std::uint16_t characteristicHandle, bool notifying,
                                                const std::optional<Error>& error) {
  post([identifier, characteristicHandle, notifying, error](CentralCore& core, CentralManager&) {
    auto peripheral = core.existingPeripheral(identifier);
    if (!peripheral || peripheral->state() != PeripheralState::connected) return;
    auto characteristic = peripheral->characteristicWithHandle(characteristicHandle);
    if (!characteristic) return;
    if (!error) characteristic->setNotifying(notifying);
    if (auto delegate = peripheral->delegate()) {
      delegate->didUpdateNotificationStateFor(peripheral, characteristic, error);
    }
  });
}

}  // namespace detail

// CentralManager ---------------------------------------------------------------------------------------

std::shared_ptr<CentralManager> CentralManager::make(std::weak_ptr<CentralManagerDelegate> delegate,
                                                     std::optional<DispatchQueue> queue,
                                                     std::shared_ptr<BluetoothRadio> radio) {
  if (!radio) radio = BluetoothRadio::current();
  std::shared_ptr<CentralManager> manager(new CentralManager());
  manager->core_ = std::make_shared<detail::CentralCore>(queue.value_or(DispatchQueue::main()), std::move(radio),
                                                         std::move(delegate));
  manager->core_->manager = manager;
  manager->core_->radio->attach(manager->core_);
  return manager;
}

CentralManager::~CentralManager() {
  if (!core_) return;
  core_->closed = true;
  core_->scanning = false;
  core_->radio->detach(core_.get());
  core_->dropAllLinks();
}

ManagerState CentralManager::state() const { return core_->state; }

void CentralManager::setDelegate(std::weak_ptr<CentralManagerDelegate> delegate) {
  core_->setDelegate(std::move(delegate));
}

std::shared_ptr<CentralManagerDelegate> CentralManager::delegate() const { return core_->delegate(); }

const DispatchQueue& CentralManager::queue() const { return core_->queue; }

void CentralManager::scanForPeripherals(const std::optional<std::vector<BluetoothUUID>>& services,
                                        ScanOptions options) {
  if (core_->state != ManagerState::poweredOn) return;
  core_->scanning = true;
  core_->radio->startScan(core_.get(), services, options.allowDuplicates);
}

void CentralManager::stopScan() {
  if (!core_->scanning.exchange(false)) return;
  core_->radio->stopScan(core_.get());
}

bool CentralManager::isScanning() const { return core_->scanning; }

void CentralManager::connect(const std::shared_ptr<Peripheral>& peripheral) {
  if (!peripheral || core_->state != ManagerState::poweredOn) return;
  if (core_->peripheralFor(peripheral->identifier(), std::nullopt) != peripheral) return;  // another manager's
  auto state = peripheral->state();
  if (state == PeripheralState::connected || state == PeripheralState::connecting) return;
  peripheral->setState(PeripheralState::connecting);
  core_->radio->connect(core_.get(), peripheral->identifier());
}

void CentralManager::cancelPeripheralConnection(const std::shared_ptr<Peripheral>& peripheral) {
  if (!peripheral) return;
  if (core_->peripheralFor(peripheral->identifier(), std::nullopt) != peripheral) return;
  auto state = peripheral->state();
  if (state == PeripheralState::disconnected) return;
  peripheral->setState(PeripheralState::disconnecting);
  core_->radio->cancelConnection(core_.get(), peripheral->identifier());
}

std::vector<std::shared_ptr<Peripheral>> CentralManager::retrievePeripherals(
    const std::vector<PeripheralIdentifier>& identifiers) {
  std::vector<std::shared_ptr<Peripheral>> found;
  for (const auto& identifier : identifiers) {
    auto known = core_->radio->knownPeripheral(identifier);
    if (!known) continue;
    auto peripheral = core_->peripheralFor(identifier, known->name);
    if (std::find(found.begin(), found.end(), peripheral) == found.end()) found.push_back(peripheral);
  }
  return found;
}

}  // namespace talvaren::platform
