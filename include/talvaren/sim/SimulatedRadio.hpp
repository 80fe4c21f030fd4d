#pragma once
// A simulated Bluetooth radio: a world of simulated peripherals that central managers reach through the
// ordinary `platform::BluetoothRadio` interface, so code above the central cannot tell it from a real
// radio. It runs on the current dispatch executor (a queue of its own, "simulatedRadio"), so under
// virtual time every exchange happens on the test thread, in a fixed order, at fixed virtual times.
//
//   testkit::VirtualTime time;
//   auto radio = std::make_shared<sim::SimulatedRadio>();
//   platform::BluetoothRadio::setCurrent(radio);       // or pass it to CentralManager::make
//   auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1), "Kelo-0001"));
//   ... drive a central, then time.advance(...) ...
//   strap->writes();                                    // what the central wrote, and when
//
// Each request of a central is answered `latency` seconds after it is made; scans see each advertising
// peripheral every `advertisingInterval` seconds.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ble/BluetoothRadio.hpp"
#include "talvaren/sim/SimulatedPeripheral.hpp"

namespace talvaren::sim {

class SimulatedRadio final : public platform::BluetoothRadio, public std::enable_shared_from_this<SimulatedRadio> {
 public:
  struct Options {
    double latency = 0.01;
    double advertisingInterval = 0.5;
    platform::ManagerState state = platform::ManagerState::poweredOn;
  };

  SimulatedRadio();
  explicit SimulatedRadio(Options options);
  ~SimulatedRadio() override;

  /// Puts a peripheral into the world; returns it for chaining.
  template <typename P>
  std::shared_ptr<P> add(std::shared_ptr<P> peripheral) {
    addPeripheral(peripheral);
    return peripheral;
  }
  void addPeripheral(const std::shared_ptr<SimulatedPeripheral>& peripheral);
  /// Takes a peripheral out of the world (its links drop with an error).
  void remove(const std::shared_ptr<SimulatedPeripheral>& peripheral);

  /// Switches the radio (powered off, unauthorized, ...); every central hears of it. Leaving the
  /// powered-on state ends scans and links without further callbacks.
  void setState(platform::ManagerState state);
  platform::ManagerState state() const;

  /// Every write any central made, in order.
  std::vector<WriteRecord> writes() const;
  /// One line per radio event ("<microseconds since the radio was made> <event>"), for comparing runs.
  std::vector<std::string> trace() const;
  /// Centrals attached now.
  std::size_t clientCount() const;
  /// True while some central scans.
  bool isScanning() const;

  // platform::BluetoothRadio
  void attach(const std::shared_ptr<platform::RadioClient>& client) override;
  void detach(const platform::RadioClient* client) override;
  void startScan(const platform::RadioClient* client, const std::optional<std::vector<BluetoothUUID>>& services,
                 bool allowDuplicates) override;
  void stopScan(const platform::RadioClient* client) override;
  std::optional<KnownPeripheral> knownPeripheral(const PeripheralIdentifier& identifier) override;
  void connect(const platform::RadioClient* client, const PeripheralIdentifier& peripheral) override;
  void cancelConnection(const platform::RadioClient* client, const PeripheralIdentifier& peripheral) override;
  void discoverServices(const platform::RadioClient* client, const PeripheralIdentifier& peripheral,
                        const std::optional<std::vector<BluetoothUUID>>& uuids) override;
  void discoverCharacteristics(const platform::RadioClient* client, const PeripheralIdentifier& peripheral,
                               std::uint16_t serviceHandle,
                               const std::optional<std::vector<BluetoothUUID>>& uuids) override;
  void readValue(const platform::RadioClient* client, const PeripheralIdentifier& peripheral,
                 std::uint16_t characteristicHandle) override;
  void writeValue(const platform::RadioClient* client, const PeripheralIdentifier& peripheral,
                  std::uint16_t characteristicHandle, const Bytes& data, WriteType type) override;
  void setNotifyValue(const platform::RadioClient* client, const PeripheralIdentifier& peripheral,
                      std::uint16_t characteristicHandle, bool enabled) override;

 private:
  friend class SimulatedPeripheral;
  /// A central as the radio knows it: by a number of its own, never reused, so work still scheduled
  /// for a central that has gone never reaches a later one made at the same address.
  using ClientId = std::uint64_t;
  struct Client {
    ClientId id = 0;
    const platform::RadioClient* key = nullptr;
    std::weak_ptr<platform::RadioClient> client;
    bool scanning = false;
    std::optional<std::vector<BluetoothUUID>> filter;
    bool allowDuplicates = false;
    std::set<PeripheralIdentifier> reported;
  };
  enum class LinkState { connecting, connected };
  struct Link {
    ClientId client;
    std::shared_ptr<SimulatedPeripheral> peripheral;
    LinkState state;
    std::set<std::uint16_t> notifying;
  };

  /// Runs `work` on the radio's queue after `seconds`, holding the radio's lock.
  void later(double seconds, std::function<void()> work);
  /// A GATT request of `key`'s central to `identifier`: runs `request` after the radio's latency with
  /// the central's number, its link and the central itself, unless by then the central has gone or the
  /// link is not up.
  using GattRequest = std::function<void(ClientId, Link&, const std::shared_ptr<platform::RadioClient>&)>;
  void gattRequest(const platform::RadioClient* key, const PeripheralIdentifier& identifier, GattRequest request);
  void scheduleAdvertising(std::uint64_t generation, double delay);
  void advertise();
  std::shared_ptr<SimulatedPeripheral> peripheral(const PeripheralIdentifier& identifier) const;
  Link* link(ClientId client, const PeripheralIdentifier& identifier);
  /// The attached central of `key` or `id`; null when there is none.
  Client* findClient(const platform::RadioClient* key);
  Client* findClient(ClientId id);
  ClientId idOf(const platform::RadioClient* key);
  std::shared_ptr<platform::RadioClient> clientFor(ClientId client);
  void establish(Link& link);
  /// Ends every link of `peripheral`, telling each central with `error`.
  void dropLinks(SimulatedPeripheral& peripheral, const std::optional<Error>& error);
  void completePendingConnects(SimulatedPeripheral& peripheral);
  /// True when `client` waits to connect to a device the radio does not know; `erase` ends the wait.
  bool waitsForAbsent(ClientId client, const PeripheralIdentifier& identifier, bool erase);
  void notify(SimulatedPeripheral& peripheral, const BluetoothUUID& characteristic, const std::optional<Bytes>& value);
  void addTrace(const std::string& line);
  bool connectedTo(const SimulatedPeripheral& peripheral) const;

  Options options_;
  platform::DispatchQueue queue_;
  double origin_;
  mutable std::recursive_mutex mutex_;
  std::vector<std::shared_ptr<SimulatedPeripheral>> peripherals_;
  std::vector<Client> clients_;  // in the order they attached, so every run serves them in one order
  ClientId nextClientId_ = 1;
  std::vector<Link> links_;
  /// Connects to devices not in the world (never added, or removed while the connect waited).
  std::vector<std::pair<ClientId, PeripheralIdentifier>> absent_;
  std::vector<WriteRecord> writes_;
  std::vector<std::string> trace_;
  std::uint64_t advertisingGeneration_ = 0;
  bool advertisingScheduled_ = false;
};

}  // namespace talvaren::sim
