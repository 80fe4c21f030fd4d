#include "talvaren/sim/SimulatedRadio.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/HexText.hpp"

namespace talvaren::sim {
namespace {

using platform::ManagerState;

Error linkError(std::int64_t code, const char* text) {
  return Error::withDescription(platform::BluetoothLinkError::domain, code, text);
}

Error attError(std::int64_t code, const char* text) {
  return Error::withDescription(platform::BluetoothATTError::domain, code, text);
}

bool matches(const std::optional<std::vector<BluetoothUUID>>& wanted, const BluetoothUUID& uuid) {
  return !wanted || std::find(wanted->begin(), wanted->end(), uuid) != wanted->end();
}

}  // namespace

SimulatedRadio::SimulatedRadio() : SimulatedRadio(Options{}) {}

SimulatedRadio::SimulatedRadio(Options options)
    : options_(options), queue_("simulatedRadio"), origin_(platform::Date::now().timeIntervalSince1970()) {}

SimulatedRadio::~SimulatedRadio() {
  std::lock_guard lock(mutex_);
  for (auto& peripheral : peripherals_) peripheral->radio_ = nullptr;
}

void SimulatedRadio::later(double seconds, std::function<void()> work) {
  queue_.asyncAfter(seconds, [weak = weak_from_this(), work = std::move(work)] {
    auto self = weak.lock();
    if (!self) return;
    std::lock_guard lock(self->mutex_);
    work();
  });
}

void SimulatedRadio::addTrace(const std::string& line) {
  auto micros = std::llround((platform::Date::now().timeIntervalSince1970() - origin_) * 1e6);
  trace_.push_back(std::to_string(micros) + " " + line);
}

std::vector<std::string> SimulatedRadio::trace() const {
  std::lock_guard lock(mutex_);
  return trace_;
}

std::vector<WriteRecord> SimulatedRadio::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

std::size_t SimulatedRadio::clientCount() const {
  std::lock_guard lock(mutex_);
  return clients_.size();
}

bool SimulatedRadio::isScanning() const {
  std::lock_guard lock(mutex_);
  return std::any_of(clients_.begin(), clients_.end(), [](auto& entry) { return entry.scanning; });
}

platform::ManagerState SimulatedRadio::state() const {
  std::lock_guard lock(mutex_);
  return options_.state;
}

void SimulatedRadio::addPeripheral(const std::shared_ptr<SimulatedPeripheral>& peripheral) {
  if (!peripheral) return;
  std::lock_guard lock(mutex_);
  if (std::find(peripherals_.begin(), peripherals_.end(), peripheral) != peripherals_.end()) return;
  peripheral->radio_ = this;
  peripherals_.push_back(peripheral);
  // Connects that waited for a device of this identifier now go ahead.
  bool waited = false;
  for (auto it = absent_.begin(); it != absent_.end();) {
    if (it->second == peripheral->identifier()) {
      links_.push_back(Link{it->first, peripheral, LinkState::connecting, {}});
      it = absent_.erase(it);
      waited = true;
    } else {
      ++it;
    }
  }
  if (waited && peripheral->inRange_) completePendingConnects(*peripheral);
}

void SimulatedRadio::remove(const std::shared_ptr<SimulatedPeripheral>& peripheral) {
  std::lock_guard lock(mutex_);
  auto found = std::find(peripherals_.begin(), peripherals_.end(), peripheral);
  if (found == peripherals_.end()) return;
  dropLinks(*peripheral, linkError(platform::BluetoothLinkError::connectionTimeout,
                                   "The connection has timed out unexpectedly."));
  // Connects still waiting for it wait on, as for any absent device, until it comes back or is cancelled.
  for (auto it = links_.begin(); it != links_.end();) {
    if (it->peripheral == peripheral) {
      absent_.emplace_back(it->client, peripheral->identifier());
      it = links_.erase(it);
    } else {
      ++it;
    }
  }
  peripheral->radio_ = nullptr;
  ++peripheral->linkEpoch_;
  peripherals_.erase(found);
}

bool SimulatedRadio::waitsForAbsent(ClientId client, const PeripheralIdentifier& identifier,
                                    bool erase) {
  auto found = std::find(absent_.begin(), absent_.end(), std::make_pair(client, identifier));
  if (found == absent_.end()) return false;
  if (erase) absent_.erase(found);
  return true;
}

std::shared_ptr<SimulatedPeripheral> SimulatedRadio::peripheral(const PeripheralIdentifier& identifier) const {
  for (auto& peripheral : peripherals_) {
    if (peripheral->identifier() == identifier) return peripheral;
  }
  return nullptr;
}

SimulatedRadio::Client* SimulatedRadio::findClient(const platform::RadioClient* key) {
  for (auto& client : clients_) {
    if (client.key == key) return &client;
  }
  return nullptr;
}

SimulatedRadio::Client* SimulatedRadio::findClient(ClientId id) {
  for (auto& client : clients_) {
    if (client.id == id) return &client;
  }
  return nullptr;
}

SimulatedRadio::ClientId SimulatedRadio::idOf(const platform::RadioClient* key) {
  auto* found = findClient(key);
  return found ? found->id : 0;
}

std::shared_ptr<platform::RadioClient> SimulatedRadio::clientFor(ClientId id) {
  auto* found = findClient(id);
  return found ? found->client.lock() : nullptr;
}

SimulatedRadio::Link* SimulatedRadio::link(ClientId client, const PeripheralIdentifier& identifier) {
  for (auto& link : links_) {
    if (link.client == client && link.peripheral->identifier() == identifier) return &link;
  }
  return nullptr;
}

bool SimulatedRadio::connectedTo(const SimulatedPeripheral& peripheral) const {
  return std::any_of(links_.begin(), links_.end(), [&](const Link& link) {
    return link.peripheral.get() == &peripheral && link.state == LinkState::connected;
  });
}

void SimulatedRadio::setState(ManagerState state) {
  std::lock_guard lock(mutex_);
  options_.state = state;
  addTrace("state " + platform::description(state));
  if (state != ManagerState::poweredOn) {
    for (auto& client : clients_) {
      client.scanning = false;
      client.reported.clear();
    }
    auto ended = std::move(links_);
    links_.clear();
    absent_.clear();
    for (auto& link : ended) {
      if (link.state == LinkState::connected) {
        ++link.peripheral->linkEpoch_;
        link.peripheral->didDisconnect();
      }
    }
  }
  for (auto& client : clients_) {
    if (auto strong = client.client.lock()) strong->radioStateChanged(state);
  }
}

// Centrals -----------------------------------------------------------------------------------------------

void SimulatedRadio::attach(const std::shared_ptr<platform::RadioClient>& client) {
  if (!client) return;
  std::lock_guard lock(mutex_);
  if (findClient(client.get())) return;
  Client entry;
  entry.id = nextClientId_++;
  entry.key = client.get();
  entry.client = client;
  clients_.push_back(std::move(entry));
  addTrace("attach");
  later(0, [this, id = clients_.back().id] {
    if (auto strong = clientFor(id)) strong->radioStateChanged(options_.state);
  });
}

void SimulatedRadio::detach(const platform::RadioClient* key) {
  std::lock_guard lock(mutex_);
  auto* found = findClient(key);
  if (!found) return;
  auto client = found->id;
  clients_.erase(clients_.begin() + (found - clients_.data()));
  addTrace("detach");
  absent_.erase(std::remove_if(absent_.begin(), absent_.end(), [&](auto& entry) { return entry.first == client; }),
                absent_.end());
  std::vector<Link> ended;
  for (auto it = links_.begin(); it != links_.end();) {
    if (it->client == client) {
      ended.push_back(std::move(*it));
      it = links_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& link : ended) {
    if (link.state == LinkState::connected) {
      ++link.peripheral->linkEpoch_;
      link.peripheral->didDisconnect();
    }
  }
}

void SimulatedRadio::startScan(const platform::RadioClient* client,
                               const std::optional<std::vector<BluetoothUUID>>& services, bool allowDuplicates) {
  std::lock_guard lock(mutex_);
  auto* found = findClient(client);
  if (!found || options_.state != ManagerState::poweredOn) return;
  found->scanning = true;
  found->filter = services;
  found->allowDuplicates = allowDuplicates;
  found->reported.clear();
  addTrace(services ? "scan " + std::to_string(services->size()) + " services" : "scan all");
  if (!advertisingScheduled_) {
    advertisingScheduled_ = true;
    scheduleAdvertising(advertisingGeneration_, options_.latency);
  }
}

void SimulatedRadio::stopScan(const platform::RadioClient* client) {
  std::lock_guard lock(mutex_);
  auto* found = findClient(client);
  if (!found || !found->scanning) return;
  found->scanning = false;
  addTrace("stop scan");
}

void SimulatedRadio::scheduleAdvertising(std::uint64_t generation, double delay) {
  later(delay, [this, generation] {
    if (generation != advertisingGeneration_) return;
    bool anyScanning = std::any_of(clients_.begin(), clients_.end(), [](auto& e) { return e.scanning; });
    if (!anyScanning) {
      advertisingScheduled_ = false;
      ++advertisingGeneration_;
      return;
    }
    advertise();
    scheduleAdvertising(generation, options_.advertisingInterval);
  });
}

void SimulatedRadio::advertise() {
  for (auto& peripheral : peripherals_) {
    if (!peripheral->inRange_) continue;
    if (!peripheral->advertisesWhileConnected_ && connectedTo(*peripheral)) continue;
    auto advertisement = peripheral->advertisement();
    for (auto& client : clients_) {
      if (!client.scanning) continue;
      if (client.filter && std::none_of(client.filter->begin(), client.filter->end(), [&](auto& wanted) {
            return std::find(advertisement.serviceUUIDs.begin(), advertisement.serviceUUIDs.end(), wanted) !=
                   advertisement.serviceUUIDs.end();
          })) {
        continue;
      }
      bool first = client.reported.insert(peripheral->identifier()).second;
      if (!first && !client.allowDuplicates && !peripheral->faults_.repeatAdvertisements) continue;
      if (auto strong = client.client.lock()) {
        addTrace("advertise " + peripheral->identifier().uuidString() + " " + advertisement.localName.value_or("-") +
                 " rssi " + std::to_string(peripheral->rssi_));
        strong->radioDiscovered(peripheral->identifier(), peripheral->name_, advertisement, peripheral->rssi_);
      }
    }
  }
}

std::optional<platform::BluetoothRadio::KnownPeripheral> SimulatedRadio::knownPeripheral(
    const PeripheralIdentifier& identifier) {
  std::lock_guard lock(mutex_);
  auto found = peripheral(identifier);
  if (!found) return std::nullopt;
  return KnownPeripheral{identifier, found->name_};
}

void SimulatedRadio::connect(const platform::RadioClient* key, const PeripheralIdentifier& identifier) {
  std::lock_guard lock(mutex_);
  auto client = idOf(key);
  if (!client) return;
  // Like every request, taken up after the latency and in the order the requests were made, so a
  // cancel followed by a connect ends the old link before the new one starts.
  later(options_.latency, [this, client, identifier] {
    if (!findClient(client) || options_.state != ManagerState::poweredOn) return;
    if (link(client, identifier) || waitsForAbsent(client, identifier, false)) return;
    addTrace("connect " + identifier.uuidString());
    auto target = peripheral(identifier);
    if (!target) {
      absent_.emplace_back(client, identifier);  // waits until a device of that identifier appears
      return;
    }
    links_.push_back(Link{client, target, LinkState::connecting, {}});
    if (target->inRange_) establish(links_.back());
  });
}

void SimulatedRadio::establish(Link& pending) {
  auto peripheral = pending.peripheral;
  auto client = clientFor(pending.client);
  switch (peripheral->faults_.connect) {
    case Faults::Connect::neverCompletes:
      return;
    case Faults::Connect::fails: {
      auto key = pending.client;
      links_.erase(std::remove_if(links_.begin(), links_.end(),
                                  [&](const Link& l) { return l.client == key && l.peripheral == peripheral; }),
                   links_.end());
      addTrace("connect failed " + peripheral->identifier().uuidString());
      if (client) {
        client->radioFailedToConnect(peripheral->identifier(),
                                     linkError(platform::BluetoothLinkError::connectionFailed,
                                               "The connection has failed unexpectedly."));
      }
      return;
    }
    case Faults::Connect::completes:
      break;
  }
  pending.state = LinkState::connected;
  ++peripheral->connections_;
  ++peripheral->linkEpoch_;
  addTrace("connected " + peripheral->identifier().uuidString());
  if (client) client->radioConnected(peripheral->identifier());
  peripheral->didConnect();
}

void SimulatedRadio::completePendingConnects(SimulatedPeripheral& target) {
  for (auto& pending : links_) {
    if (pending.peripheral.get() == &target && pending.state == LinkState::connecting) {
      auto client = pending.client;
      auto identifier = target.identifier();
      later(options_.latency, [this, client, identifier] {
        auto* again = link(client, identifier);
        if (again && again->state == LinkState::connecting && again->peripheral->inRange_) establish(*again);
      });
    }
  }
}

void SimulatedRadio::cancelConnection(const platform::RadioClient* key, const PeripheralIdentifier& identifier) {
  std::lock_guard lock(mutex_);
  auto client = idOf(key);
  if (!client) return;
  addTrace("cancel " + identifier.uuidString());
  later(options_.latency, [this, client, identifier] {
    auto* existing = link(client, identifier);
    if (!existing) {
      if (waitsForAbsent(client, identifier, true)) {
        addTrace("disconnected " + identifier.uuidString() + " by central");
        if (auto strong = clientFor(client)) strong->radioDisconnected(identifier, std::nullopt);
      }
      return;
    }
    bool wasConnected = existing->state == LinkState::connected;
    auto peripheral = existing->peripheral;
    links_.erase(links_.begin() + (existing - links_.data()));
    addTrace("disconnected " + identifier.uuidString() + " by central");
    if (auto strong = clientFor(client)) strong->radioDisconnected(identifier, std::nullopt);
    if (wasConnected) {
      ++peripheral->linkEpoch_;
      peripheral->didDisconnect();
    }
  });
}

void SimulatedRadio::dropLinks(SimulatedPeripheral& target, const std::optional<Error>& error) {
  std::vector<Link> ended;
  for (auto it = links_.begin(); it != links_.end();) {
    if (it->peripheral.get() == &target && it->state == LinkState::connected) {
      ended.push_back(std::move(*it));
      it = links_.erase(it);
    } else {
      ++it;
    }
  }
  if (ended.empty()) return;
  ++target.linkEpoch_;
  for (auto& link : ended) {
    addTrace("disconnected " + target.identifier().uuidString() + " by peripheral");
    if (auto strong = clientFor(link.client)) strong->radioDisconnected(target.identifier(), error);
  }
  target.didDisconnect();
}

// GATT ---------------------------------------------------------------------------------------------------

void SimulatedRadio::gattRequest(const platform::RadioClient* key, const PeripheralIdentifier& identifier,
                                 GattRequest request) {
  std::lock_guard lock(mutex_);
  auto client = idOf(key);
  if (!client) return;
  later(options_.latency, [this, client, identifier, request = std::move(request)] {
    auto* existing = link(client, identifier);
    auto strong = clientFor(client);
    if (!existing || existing->state != LinkState::connected || !strong) return;
    request(client, *existing, strong);
  });
}

void SimulatedRadio::discoverServices(const platform::RadioClient* key, const PeripheralIdentifier& identifier,
                                      const std::optional<std::vector<BluetoothUUID>>& uuids) {
  gattRequest(key, identifier, [this, identifier, uuids](ClientId, Link& existing, const auto& strong) {
    std::vector<platform::ServiceInfo> found;
    for (auto& service : existing.peripheral->services_) {
      if (matches(uuids, service.uuid)) found.push_back({service.uuid, service.handle, true});
    }
    addTrace("services " + std::to_string(found.size()));
    strong->radioServicesDiscovered(identifier, found, std::nullopt);
  });
}

void SimulatedRadio::discoverCharacteristics(const platform::RadioClient* key, const PeripheralIdentifier& identifier,
                                             std::uint16_t serviceHandle,
                                             const std::optional<std::vector<BluetoothUUID>>& uuids) {
  gattRequest(key, identifier, [this, identifier, serviceHandle, uuids](ClientId, Link& existing, const auto& strong) {
    std::vector<platform::CharacteristicInfo> found;
    for (auto& service : existing.peripheral->services_) {
      if (service.handle != serviceHandle) continue;
      if (existing.peripheral->faults_.discoverWithoutCharacteristics) break;
      for (auto& characteristic : service.characteristics) {
        if (matches(uuids, characteristic.uuid)) {
          found.push_back({characteristic.uuid, characteristic.handle, characteristic.properties});
        }
      }
    }
    addTrace("characteristics of " + std::to_string(serviceHandle) + ": " + std::to_string(found.size()));
    strong->radioCharacteristicsDiscovered(identifier, serviceHandle, found, std::nullopt);
  });
}

void SimulatedRadio::readValue(const platform::RadioClient* key, const PeripheralIdentifier& identifier,
                               std::uint16_t handle) {
  gattRequest(key, identifier, [this, identifier, handle](ClientId, Link& existing, const auto& strong) {
    auto& peripheral = *existing.peripheral;
    auto* characteristic = peripheral.find(handle);
    if (!characteristic) return;
    addTrace("read " + characteristic->uuid.uuidString());
    if (!platform::contains(characteristic->properties, CharacteristicProperties::read)) {
      strong->radioValueUpdated(identifier, handle, std::nullopt,
                                attError(platform::BluetoothATTError::readNotPermitted, "Reading is not permitted."));
      return;
    }
    auto error = peripheral.faults_.updateErrors.find(characteristic->uuid);
    std::optional<Error> failure;
    if (error != peripheral.faults_.updateErrors.end()) failure = error->second;
    std::optional<Bytes> value = characteristic->value;
    if (peripheral.faults_.noValue.count(characteristic->uuid)) value.reset();
    strong->radioValueUpdated(identifier, handle, failure ? std::nullopt : value, failure);
  });
}

void SimulatedRadio::writeValue(const platform::RadioClient* key, const PeripheralIdentifier& identifier,
                                std::uint16_t handle, const Bytes& data, WriteType type) {
  gattRequest(key, identifier,
              [this, identifier, handle, data, type](ClientId client, Link& existing, const auto& strong) {
                auto peripheral = existing.peripheral;
                auto* characteristic = peripheral->find(handle);
                if (!characteristic) return;
                auto uuid = characteristic->uuid;
                auto properties = characteristic->properties;
                WriteRecord record{identifier, uuid, data, type, platform::Date::now().timeIntervalSince1970()};
                writes_.push_back(record);
                peripheral->writes_.push_back(record);
                addTrace(std::string(type == WriteType::withResponse ? "write " : "write-no-response ") +
                         uuid.uuidString() + " " + platform::hexText(data));
                bool permitted = type == WriteType::withResponse
                                     ? platform::contains(properties, CharacteristicProperties::write)
                                     : platform::contains(properties, CharacteristicProperties::writeWithoutResponse);
                if (!permitted) {
                  if (type == WriteType::withResponse) {
                    strong->radioWriteAcknowledged(
                        identifier, handle,
                        attError(platform::BluetoothATTError::writeNotPermitted, "Writing is not permitted."));
                  }
                  return;
                }
                auto refusal = peripheral->didWrite(uuid, data, type);
                if (type == WriteType::withResponse) {
                  // The link may have ended inside the hook.
                  if (link(client, identifier)) strong->radioWriteAcknowledged(identifier, handle, refusal);
                }
              });
}

void SimulatedRadio::setNotifyValue(const platform::RadioClient* key, const PeripheralIdentifier& identifier,
                                    std::uint16_t handle, bool enabled) {
  gattRequest(key, identifier, [this, identifier, handle, enabled](ClientId, Link& existing, const auto& strong) {
    auto peripheral = existing.peripheral;
    auto* characteristic = peripheral->find(handle);
    if (!characteristic) return;
    auto uuid = characteristic->uuid;
    ++peripheral->subscriptionRequests_[{uuid, enabled}];
    addTrace(std::string(enabled ? "subscribe " : "unsubscribe ") + uuid.uuidString());
    if (!platform::contains(characteristic->properties, CharacteristicProperties::notify) &&
        !platform::contains(characteristic->properties, CharacteristicProperties::indicate)) {
      strong->radioNotificationStateChanged(
          identifier, handle, false,
          attError(platform::BluetoothATTError::requestNotSupported, "The request is not supported."));
      return;
    }
    bool changed = enabled ? existing.notifying.insert(handle).second : existing.notifying.erase(handle) > 0;
    strong->radioNotificationStateChanged(identifier, handle, enabled, std::nullopt);
    if (changed) peripheral->didSubscribe(uuid, enabled);
  });
}

void SimulatedRadio::notify(SimulatedPeripheral& peripheral, const BluetoothUUID& uuid,
                            const std::optional<Bytes>& value) {
  auto* characteristic = peripheral.find(uuid);
  if (!characteristic) return;
  auto error = peripheral.faults_.updateErrors.find(uuid);
  std::optional<Error> failure;
  if (error != peripheral.faults_.updateErrors.end()) failure = error->second;
  std::optional<Bytes> delivered = value;
  if (peripheral.faults_.noValue.count(uuid) || failure) delivered.reset();
  for (auto& link : links_) {
    if (link.peripheral.get() != &peripheral || link.state != LinkState::connected) continue;
    if (!link.notifying.count(characteristic->handle)) continue;
    if (auto strong = clientFor(link.client)) {
      addTrace("notify " + uuid.uuidString() + " " + (value ? platform::hexText(*value) : "(none)"));
      strong->radioValueUpdated(peripheral.identifier(), characteristic->handle, delivered, failure);
    }
  }
}

}  // namespace talvaren::sim
