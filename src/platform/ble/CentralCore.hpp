#pragma once
// The shared state behind one central manager: what its peripherals forward requests to, and the radio
// client that turns radio events into delegate callbacks on the manager's queue.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ble/BluetoothRadio.hpp"
#include "talvaren/platform/ble/CentralManager.hpp"

namespace talvaren::platform::detail {

class CentralCore final : public RadioClient, public std::enable_shared_from_this<CentralCore> {
 public:
  CentralCore(DispatchQueue queue, std::shared_ptr<BluetoothRadio> radio, std::weak_ptr<CentralManagerDelegate> delegate);

  DispatchQueue queue;
  std::shared_ptr<BluetoothRadio> radio;
  std::weak_ptr<CentralManager> manager;
  std::atomic<ManagerState> state{ManagerState::unknown};
  std::atomic<bool> scanning{false};
  std::atomic<bool> closed{false};

  void setDelegate(std::weak_ptr<CentralManagerDelegate> delegate);
  std::shared_ptr<CentralManagerDelegate> delegate() const;
  /// The one peripheral object for `identifier`, made on first use; `name` refreshes a known name.
  std::shared_ptr<Peripheral> peripheralFor(const PeripheralIdentifier& identifier,
                                            const std::optional<std::optional<std::string>>& name);
  /// Marks every peripheral disconnected and forgets their services (no callbacks).
  void dropAllLinks();

  // RadioClient
  void radioStateChanged(ManagerState state) override;
  void radioDiscovered(const PeripheralIdentifier& peripheral, const std::optional<std::string>& name,
                       const AdvertisementData& advertisement, int rssi) override;
  void radioConnected(const PeripheralIdentifier& peripheral) override;
  void radioFailedToConnect(const PeripheralIdentifier& peripheral, const std::optional<Error>& error) override;
  void radioDisconnected(const PeripheralIdentifier& peripheral, const std::optional<Error>& error) override;
  void radioServicesDiscovered(const PeripheralIdentifier& peripheral, const std::vector<ServiceInfo>& services,
                               const std::optional<Error>& error) override;
  void radioCharacteristicsDiscovered(const PeripheralIdentifier& peripheral, std::uint16_t serviceHandle,
                                      const std::vector<CharacteristicInfo>& characteristics,
                                      const std::optional<Error>& error) override;
  void radioValueUpdated(const PeripheralIdentifier& peripheral, std::uint16_t characteristicHandle,
                         const std::optional<Bytes>& value, const std::optional<Error>& error) override;
  void radioWriteAcknowledged(const PeripheralIdentifier& peripheral, std::uint16_t characteristicHandle,
                              const std::optional<Error>& error) override;
  void radioNotificationStateChanged(const PeripheralIdentifier& peripheral, std::uint16_t characteristicHandle,
                                     bool notifying, const std::optional<Error>& error) override;

 private:
  /// Runs `deliver` on the manager's queue while the manager still exists.
  void post(std::function<void(CentralCore&, CentralManager&)> deliver);
  std::shared_ptr<Peripheral> existingPeripheral(const PeripheralIdentifier& identifier) const;

  mutable std::mutex mutex_;
  std::weak_ptr<CentralManagerDelegate> delegate_;
  std::map<PeripheralIdentifier, std::shared_ptr<Peripheral>> peripherals_;
};

}  // namespace talvaren::platform::detail
