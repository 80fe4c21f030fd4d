#pragma once
// A remote Bluetooth LE peripheral as a central sees it: its services, their characteristics, and the
// requests a central makes of them (discovery, reads, writes, notifications).
//
// Objects are shared (`std::shared_ptr`) and keep their identity: the same characteristic object is
// handed to every callback about it. Every getter and request is thread-safe; requests are carried out
// asynchronously and answered through the peripheral's delegate on its central manager's queue, in
// the order the radio produced the answers. Requests made while the peripheral is not connected, or
// about objects of an earlier connection, are ignored.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/ble/BluetoothUUID.hpp"

namespace talvaren::platform {

class Peripheral;
class Service;
namespace detail {
class CentralCore;
}

/// Property bits of a characteristic, as the GATT declares them.
enum class CharacteristicProperties : std::uint32_t {
  broadcast = 0x01,
  read = 0x02,
  writeWithoutResponse = 0x04,
  write = 0x08,
  notify = 0x10,
  indicate = 0x20,
  authenticatedSignedWrites = 0x40,
  extendedProperties = 0x80,
};
constexpr CharacteristicProperties operator|(CharacteristicProperties a, CharacteristicProperties b) {
  return static_cast<CharacteristicProperties>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
/// True when `set` holds every bit of `bits`.
constexpr bool contains(CharacteristicProperties set, CharacteristicProperties bits) {
  return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(bits)) == static_cast<std::uint32_t>(bits);
}
constexpr std::uint32_t rawValue(CharacteristicProperties set) { return static_cast<std::uint32_t>(set); }

/// How a value is written: with response (acknowledged through `didWriteValueFor`) or without.
enum class WriteType { withResponse = 0, withoutResponse = 1 };

enum class PeripheralState { disconnected = 0, connecting = 1, connected = 2, disconnecting = 3 };

class Characteristic {
 public:
  const BluetoothUUID& uuid() const { return uuid_; }
  CharacteristicProperties properties() const { return properties_; }
  /// The last value read or notified; absent before the first one (or when the radio gave none).
  std::optional<Bytes> value() const;
  bool isNotifying() const;
  std::shared_ptr<Service> service() const { return service_.lock(); }
  /// A one-line text such as
  /// "<Characteristic: UUID = 2A37, properties = 0x10, value = {length = 4, bytes = 0x16480003}, notifying = YES>".
  std::string description() const;

  // For the central only.
  Characteristic(BluetoothUUID uuid, CharacteristicProperties properties, std::uint16_t handle,
                 std::weak_ptr<Service> service);
  std::uint16_t handle() const { return handle_; }
  void setValue(std::optional<Bytes> value);
  void setNotifying(bool notifying);

 private:
  BluetoothUUID uuid_;
  CharacteristicProperties properties_;
  std::uint16_t handle_;
  std::weak_ptr<Service> service_;
  mutable std::mutex mutex_;
  std::optional<Bytes> value_;
  bool notifying_ = false;
};

class Service {
 public:
  const BluetoothUUID& uuid() const { return uuid_; }
  bool isPrimary() const { return primary_; }
  /// The characteristics found by the last discovery of this service; absent before one.
  std::optional<std::vector<std::shared_ptr<Characteristic>>> characteristics() const;
  std::shared_ptr<Peripheral> peripheral() const { return peripheral_.lock(); }
  /// "<Service: UUID = 180D, primary = YES>".
  std::string description() const;

  // For the central only.
  Service(BluetoothUUID uuid, bool primary, std::uint16_t handle, std::weak_ptr<Peripheral> peripheral);
  std::uint16_t handle() const { return handle_; }
  void setCharacteristics(std::vector<std::shared_ptr<Characteristic>> characteristics);

 private:
  BluetoothUUID uuid_;
  bool primary_;
  std::uint16_t handle_;
  std::weak_ptr<Peripheral> peripheral_;
  mutable std::mutex mutex_;
  std::optional<std::vector<std::shared_ptr<Characteristic>>> characteristics_;
};

/// Answers of a peripheral, called on its central manager's queue. Every callback has an empty default.
class PeripheralDelegate {
 public:
  virtual ~PeripheralDelegate() = default;
  virtual void didDiscoverServices(const std::shared_ptr<Peripheral>& peripheral, const std::optional<Error>& error) {
    (void)peripheral, (void)error;
  }
  virtual void didDiscoverCharacteristicsFor(const std::shared_ptr<Peripheral>& peripheral,
                                             const std::shared_ptr<Service>& service,
                                             const std::optional<Error>& error) {
    (void)peripheral, (void)service, (void)error;
  }
  /// A read finished or a notification arrived; the new value is in `characteristic->value()`.
  virtual void didUpdateValueFor(const std::shared_ptr<Peripheral>& peripheral,
                                 const std::shared_ptr<Characteristic>& characteristic,
                                 const std::optional<Error>& error) {
    (void)peripheral, (void)characteristic, (void)error;
  }
  /// A write with response was acknowledged (or refused, with `error`).
  virtual void didWriteValueFor(const std::shared_ptr<Peripheral>& peripheral,
                                const std::shared_ptr<Characteristic>& characteristic,
                                const std::optional<Error>& error) {
    (void)peripheral, (void)characteristic, (void)error;
  }
  virtual void didUpdateNotificationStateFor(const std::shared_ptr<Peripheral>& peripheral,
                                             const std::shared_ptr<Characteristic>& characteristic,
                                             const std::optional<Error>& error) {
    (void)peripheral, (void)characteristic, (void)error;
  }
};

class Peripheral : public std::enable_shared_from_this<Peripheral> {
 public:
  const PeripheralIdentifier& identifier() const { return identifier_; }
  std::optional<std::string> name() const;
  PeripheralState state() const;
  /// The services found by the last discovery of this connection; absent before one.
  std::optional<std::vector<std::shared_ptr<Service>>> services() const;

  /// Held weakly; callbacks go to whatever delegate is set when they are delivered.
  void setDelegate(std::weak_ptr<PeripheralDelegate> delegate);
  std::shared_ptr<PeripheralDelegate> delegate() const;

  /// Discovers the services (all of them when `uuids` is absent); answered by `didDiscoverServices`.
  void discoverServices(const std::optional<std::vector<BluetoothUUID>>& uuids = std::nullopt);
  /// Discovers characteristics of `service` (all when `uuids` is absent); answered by
  /// `didDiscoverCharacteristicsFor`.
  void discoverCharacteristics(const std::optional<std::vector<BluetoothUUID>>& uuids,
                               const std::shared_ptr<Service>& service);
  /// Reads the value; answered by `didUpdateValueFor`.
  void readValue(const std::shared_ptr<Characteristic>& characteristic);
  /// Writes `data` as one write. Only a write with response is answered (`didWriteValueFor`).
  void writeValue(const Bytes& data, const std::shared_ptr<Characteristic>& characteristic, WriteType type);
  /// Asks for notifications on or off; answered by `didUpdateNotificationStateFor`, after which
  /// notifications arrive through `didUpdateValueFor`.
  void setNotifyValue(bool enabled, const std::shared_ptr<Characteristic>& characteristic);

  /// "<Peripheral: identifier = E621E1F8-C36C-495A-93FC-0C247A3E6E5F, name = Kelo-0001, state = connected>".
  std::string description() const;

  // For the central only.
  Peripheral(PeripheralIdentifier identifier, std::optional<std::string> name, std::weak_ptr<detail::CentralCore> central);
  void setName(std::optional<std::string> name);
  void setState(PeripheralState state);
  /// Drops the services of the last connection (their objects are no longer answered).
  void resetServices();
  void setServices(std::vector<std::shared_ptr<Service>> services);
  std::shared_ptr<Service> serviceWithHandle(std::uint16_t handle) const;
  std::shared_ptr<Characteristic> characteristicWithHandle(std::uint16_t handle) const;

 private:
  bool owns(const std::shared_ptr<Characteristic>& characteristic) const;

  PeripheralIdentifier identifier_;
  std::weak_ptr<detail::CentralCore> central_;
  mutable std::mutex mutex_;
  std::optional<std::string> name_;
  PeripheralState state_ = PeripheralState::disconnected;
  std::optional<std::vector<std::shared_ptr<Service>>> services_;
  std::weak_ptr<PeripheralDelegate> delegate_;
};

}  // namespace talvaren::platform
