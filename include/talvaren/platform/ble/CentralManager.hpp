#pragma once
// The Bluetooth LE central: radio state, scanning, connecting, and the peripherals it knows.
//
//   auto central = CentralManager::make(myDelegate, DispatchQueue("bluetoothQueue"));
//   // later, on "bluetoothQueue": centralManagerDidUpdateState(...) with central->state() poweredOn
//   central->scanForPeripherals(std::nullopt);       // every peripheral; or a list of service UUIDs
//   central->connect(peripheral);                    // never times out by itself
//   central->cancelPeripheralConnection(peripheral); // also ends a pending connect
//
// Every method is thread-safe and returns at once. Every callback (of the manager's delegate and of its
// peripherals' delegates) runs on the manager's queue, in the order the radio produced the events.
// Delegates are held weakly and read when each callback is delivered. The manager works on the radio
// that is current when it is made (`BluetoothRadio::current()`, a simulator in tests and examples).
// Releasing the last reference to a manager stops its scan and drops its links without callbacks.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ble/BluetoothRadio.hpp"
#include "talvaren/platform/ble/BluetoothUUID.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"

namespace talvaren::platform {

class CentralManager;

/// Events of a central manager, called on its queue. Only the state change must be handled.
class CentralManagerDelegate {
 public:
  virtual ~CentralManagerDelegate() = default;
  /// The radio state changed; read it from `central.state()`. The first report follows creation.
  virtual void centralManagerDidUpdateState(CentralManager& central) = 0;
  /// An advertisement was received while scanning; `rssi` in dBm (127 when the radio could not tell).
  virtual void didDiscover(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                           const AdvertisementData& advertisementData, int rssi) {
    (void)central, (void)peripheral, (void)advertisementData, (void)rssi;
  }
  virtual void didConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral) {
    (void)central, (void)peripheral;
  }
  virtual void didFailToConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                const std::optional<Error>& error) {
    (void)central, (void)peripheral, (void)error;
  }
  /// The link ended: `error` absent after the central's own cancel, set when the peripheral or the
  /// radio dropped it.
  virtual void didDisconnectPeripheral(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                       const std::optional<Error>& error) {
    (void)central, (void)peripheral, (void)error;
  }
};

struct ScanOptions {
  /// Report every advertisement rather than each peripheral once per scan.
  bool allowDuplicates = false;
};

class CentralManager {
 public:
  /// A new central on `queue` (the main queue when absent), driving `radio` (the current one when empty).
  static std::shared_ptr<CentralManager> make(std::weak_ptr<CentralManagerDelegate> delegate,
                                              std::optional<DispatchQueue> queue = std::nullopt,
                                              std::shared_ptr<BluetoothRadio> radio = nullptr);
  ~CentralManager();
  CentralManager(const CentralManager&) = delete;
  CentralManager& operator=(const CentralManager&) = delete;

  /// The radio state as last delivered to the delegate (unknown until the first report).
  ManagerState state() const;
  void setDelegate(std::weak_ptr<CentralManagerDelegate> delegate);
  std::shared_ptr<CentralManagerDelegate> delegate() const;
  const DispatchQueue& queue() const;

  /// Scans for peripherals advertising any of `services` (all peripherals when absent), replacing an
  /// earlier scan. Ignored unless powered on.
  void scanForPeripherals(const std::optional<std::vector<BluetoothUUID>>& services, ScanOptions options = {});
  void stopScan();
  bool isScanning() const;

  /// Asks for a link; `didConnect` or `didFailToConnect` follows, or nothing while the peripheral is
  /// out of reach (a connect does not time out). Ignored unless powered on or when already connected.
  void connect(const std::shared_ptr<Peripheral>& peripheral);
  /// Ends a link or a pending connect; `didDisconnectPeripheral` without error follows either way.
  void cancelPeripheralConnection(const std::shared_ptr<Peripheral>& peripheral);

  /// The peripherals among `identifiers` that the radio knows, in the order asked (unknown ones left
  /// out). The same identifier always gives the same object from one manager.
  std::vector<std::shared_ptr<Peripheral>> retrievePeripherals(const std::vector<PeripheralIdentifier>& identifiers);

 private:
  CentralManager() = default;
  std::shared_ptr<detail::CentralCore> core_;
};

}  // namespace talvaren::platform
