#pragma once
// A central-side recorder for the simulator tests: one delegate for the manager and its peripherals
// that writes every callback into a trace (with the virtual time and the queue it ran on) and lets a
// test react to callbacks.

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/HexText.hpp"
#include "talvaren/platform/ble/CentralManager.hpp"

namespace talvaren::testkit {

using namespace talvaren::platform;

inline std::string hex(const Bytes& bytes) { return hexText(bytes); }

inline Bytes bytes(const std::string& hexText) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hexText.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hexText.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline BluetoothUUID U(const char* text) { return BluetoothUUID::fromString(text).value(); }

class Recorder : public CentralManagerDelegate, public PeripheralDelegate {
 public:
  std::function<void(CentralManager&)> onState;
  std::function<void(CentralManager&, const std::shared_ptr<Peripheral>&, const AdvertisementData&, int)> onDiscover;
  std::function<void(CentralManager&, const std::shared_ptr<Peripheral>&)> onConnect;
  std::function<void(const std::shared_ptr<Peripheral>&)> onServices;
  std::function<void(const std::shared_ptr<Peripheral>&, const std::shared_ptr<Service>&)> onCharacteristics;
  std::function<void(const std::shared_ptr<Peripheral>&, const std::shared_ptr<Characteristic>&,
                     const std::optional<Error>&)>
      onValue;
  /// When set, a trace line gets the queue label it ran on.
  bool withQueue = false;

  std::vector<std::string> trace() const {
    std::lock_guard lock(mutex_);
    return trace_;
  }
  std::size_t count(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (auto& line : trace_) {
      auto text = line.substr(line.find(' ') + 1);
      if (text.rfind(prefix, 0) == 0) ++n;
    }
    return n;
  }
  bool has(const std::string& prefix) const { return count(prefix) > 0; }

  void centralManagerDidUpdateState(CentralManager& central) override {
    add("state " + description(central.state()));
    if (onState) onState(central);
  }
  void didDiscover(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                   const AdvertisementData& advertisement, int rssi) override {
    add("discover " + advertisement.localName.value_or("-") + " " + std::to_string(rssi));
    if (onDiscover) onDiscover(central, peripheral, advertisement, rssi);
  }
  void didConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral) override {
    add("connect " + peripheral->name().value_or("-"));
    if (onConnect) onConnect(central, peripheral);
  }
  void didFailToConnect(CentralManager&, const std::shared_ptr<Peripheral>& peripheral,
                        const std::optional<Error>& error) override {
    add("fail " + peripheral->name().value_or("-") + " " + (error ? std::to_string(error->code) : "-"));
  }
  void didDisconnectPeripheral(CentralManager&, const std::shared_ptr<Peripheral>& peripheral,
                               const std::optional<Error>& error) override {
    add("disconnect " + peripheral->name().value_or("-") + " " + (error ? std::to_string(error->code) : "-"));
  }
  void didDiscoverServices(const std::shared_ptr<Peripheral>& peripheral, const std::optional<Error>&) override {
    std::string line = "services";
    for (auto& service : peripheral->services().value_or(std::vector<std::shared_ptr<Service>>{})) {
      line += " " + service->uuid().uuidString();
    }
    add(line);
    if (onServices) onServices(peripheral);
  }
  void didDiscoverCharacteristicsFor(const std::shared_ptr<Peripheral>& peripheral,
                                     const std::shared_ptr<Service>& service, const std::optional<Error>&) override {
    std::string line = "characteristics " + service->uuid().uuidString() + ":";
    for (auto& c : service->characteristics().value_or(std::vector<std::shared_ptr<Characteristic>>{})) {
      line += " " + c->uuid().uuidString();
    }
    add(line);
    if (onCharacteristics) onCharacteristics(peripheral, service);
  }
  void didUpdateValueFor(const std::shared_ptr<Peripheral>& peripheral,
                         const std::shared_ptr<Characteristic>& characteristic,
                         const std::optional<Error>& error) override {
    auto value = characteristic->value();
    add("value " + characteristic->uuid().uuidString() + " " + (value ? hex(*value) : "(none)") +
        (error ? " error " + std::to_string(error->code) : ""));
    if (onValue) onValue(peripheral, characteristic, error);
  }
  void didWriteValueFor(const std::shared_ptr<Peripheral>&, const std::shared_ptr<Characteristic>& characteristic,
                        const std::optional<Error>& error) override {
    add("written " + characteristic->uuid().uuidString() + (error ? " error " + std::to_string(error->code) : ""));
  }
  void didUpdateNotificationStateFor(const std::shared_ptr<Peripheral>&,
                                     const std::shared_ptr<Characteristic>& characteristic,
                                     const std::optional<Error>& error) override {
    add(std::string("notifying ") + characteristic->uuid().uuidString() + (characteristic->isNotifying() ? " on" : " off") +
        (error ? " error " + std::to_string(error->code) : ""));
  }

 private:
  void add(const std::string& text) {
    char time[32];
    std::snprintf(time, sizeof time, "%.6f", Date::now().timeIntervalSince1970() - 1700000000.0);
    std::string line = std::string(time) + " " + text;
    if (withQueue) line += " @" + DispatchQueue::currentLabel().value_or("-");
    std::lock_guard lock(mutex_);
    trace_.push_back(line);
  }

  mutable std::mutex mutex_;
  std::vector<std::string> trace_;
};

/// Finds a characteristic of a discovered peripheral by UUID.
inline std::shared_ptr<Characteristic> find(const std::shared_ptr<Peripheral>& peripheral, const BluetoothUUID& uuid) {
  for (auto& service : peripheral->services().value_or(std::vector<std::shared_ptr<Service>>{})) {
    for (auto& c : service->characteristics().value_or(std::vector<std::shared_ptr<Characteristic>>{})) {
      if (c->uuid() == uuid) return c;
    }
  }
  return nullptr;
}

/// Wires a recorder to discover every service and characteristic of a connected peripheral.
inline void discoverEverything(const std::shared_ptr<Recorder>& recorder) {
  std::weak_ptr<Recorder> weak = recorder;
  recorder->onConnect = [weak](CentralManager&, const std::shared_ptr<Peripheral>& peripheral) {
    peripheral->setDelegate(weak);
    peripheral->discoverServices();
  };
  recorder->onServices = [](const std::shared_ptr<Peripheral>& peripheral) {
    auto services = peripheral->services().value_or(std::vector<std::shared_ptr<Service>>{});
    for (auto& service : services) peripheral->discoverCharacteristics(std::nullopt, service);
  };
}

}  // namespace talvaren::testkit
