#pragma once
// The boundary between a central manager and the radio under it.
//
// A radio backend (the simulator of talvaren/sim, or a real adapter) implements `BluetoothRadio`; each
// central manager attaches to it as a `RadioClient`. The radio may call a client from any thread, but
// for one client it calls one method at a time, in the order the events happened. Attributes are named
// by their handles, as in GATT, so two characteristics with one UUID stay apart.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/ble/BluetoothUUID.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"

namespace talvaren::platform {

/// The central's view of the radio.
enum class ManagerState { unknown = 0, resetting = 1, unsupported = 2, unauthorized = 3, poweredOff = 4, poweredOn = 5 };

/// Text of a state, as logs show it: "unknown", "resetting", "unsupported", "unauthorized",
/// "poweredOff", "poweredOn".
std::string description(ManagerState state);

/// What a peripheral advertised.
struct AdvertisementData {
  std::optional<std::string> localName;
  std::vector<BluetoothUUID> serviceUUIDs;
  std::optional<Bytes> manufacturerData;
  std::optional<int> txPowerLevel;
  bool isConnectable = true;

  friend bool operator==(const AdvertisementData&, const AdvertisementData&) = default;
};

struct ServiceInfo {
  BluetoothUUID uuid;
  std::uint16_t handle = 0;
  bool isPrimary = true;
};

struct CharacteristicInfo {
  BluetoothUUID uuid;
  std::uint16_t handle = 0;
  CharacteristicProperties properties{};
};

/// Error domain and codes of attribute-protocol failures reported by a radio.
struct BluetoothATTError {
  static constexpr const char* domain = "BluetoothATTErrorDomain";
  static constexpr std::int64_t readNotPermitted = 2;
  static constexpr std::int64_t writeNotPermitted = 3;
  static constexpr std::int64_t requestNotSupported = 6;
  static constexpr std::int64_t unlikelyError = 14;
};

/// Error domain and codes of link failures reported by a radio.
struct BluetoothLinkError {
  static constexpr const char* domain = "BluetoothErrorDomain";
  static constexpr std::int64_t unknown = 0;
  static constexpr std::int64_t connectionTimeout = 6;
  static constexpr std::int64_t peripheralDisconnected = 7;
  static constexpr std::int64_t connectionFailed = 10;
};

/// Events of the radio for one central manager.
class RadioClient {
 public:
  virtual ~RadioClient() = default;
  virtual void radioStateChanged(ManagerState state) = 0;
  virtual void radioDiscovered(const PeripheralIdentifier& peripheral, const std::optional<std::string>& name,
                               const AdvertisementData& advertisement, int rssi) = 0;
  virtual void radioConnected(const PeripheralIdentifier& peripheral) = 0;
  virtual void radioFailedToConnect(const PeripheralIdentifier& peripheral, const std::optional<Error>& error) = 0;
  /// The link ended: by the peripheral or the radio (with an error), or after a cancel (without).
  virtual void radioDisconnected(const PeripheralIdentifier& peripheral, const std::optional<Error>& error) = 0;
  virtual void radioServicesDiscovered(const PeripheralIdentifier& peripheral, const std::vector<ServiceInfo>& services,
                                       const std::optional<Error>& error) = 0;
  virtual void radioCharacteristicsDiscovered(const PeripheralIdentifier& peripheral, std::uint16_t serviceHandle,
                                              const std::vector<CharacteristicInfo>& characteristics,
                                              const std::optional<Error>& error) = 0;
  /// A read answer or a notification. `value` absent: the radio delivered no value.
  virtual void radioValueUpdated(const PeripheralIdentifier& peripheral, std::uint16_t characteristicHandle,
                                 const std::optional<Bytes>& value, const std::optional<Error>& error) = 0;
  virtual void radioWriteAcknowledged(const PeripheralIdentifier& peripheral, std::uint16_t characteristicHandle,
                                      const std::optional<Error>& error) = 0;
  virtual void radioNotificationStateChanged(const PeripheralIdentifier& peripheral,
                                             std::uint16_t characteristicHandle, bool notifying,
                                             const std::optional<Error>& error) = 0;
};

/// A radio that central managers drive. Every method is thread-safe and returns at once; answers come
/// through the client. Requests for a peripheral the client is not connected to are ignored.
class BluetoothRadio {
 public:
  virtual ~BluetoothRadio() = default;

  /// Registers a client; the radio reports its current state to it soon after.
  virtual void attach(const std::shared_ptr<RadioClient>& client) = 0;
  /// Forgets a client: stops its scan and drops its links, without telling it.
  virtual void detach(const RadioClient* client) = 0;

  virtual void startScan(const RadioClient* client, const std::optional<std::vector<BluetoothUUID>>& services,
                         bool allowDuplicates) = 0;
  virtual void stopScan(const RadioClient* client) = 0;
  /// The name of a peripheral this radio knows, or absent when it does not know it at all.
  struct KnownPeripheral {
    PeripheralIdentifier identifier;
    std::optional<std::string> name;
  };
  virtual std::optional<KnownPeripheral> knownPeripheral(const PeripheralIdentifier& identifier) = 0;

  virtual void connect(const RadioClient* client, const PeripheralIdentifier& peripheral) = 0;
  virtual void cancelConnection(const RadioClient* client, const PeripheralIdentifier& peripheral) = 0;
  virtual void discoverServices(const RadioClient* client, const PeripheralIdentifier& peripheral,
                                const std::optional<std::vector<BluetoothUUID>>& uuids) = 0;
  virtual void discoverCharacteristics(const RadioClient* client, const PeripheralIdentifier& peripheral,
                                       std::uint16_t serviceHandle,
                                       const std::optional<std::vector<BluetoothUUID>>& uuids) = 0;
  virtual void readValue(const RadioClient* client, const PeripheralIdentifier& peripheral,
                         std::uint16_t characteristicHandle) = 0;
  virtual void writeValue(const RadioClient* client, const PeripheralIdentifier& peripheral,
                          std::uint16_t characteristicHandle, const Bytes& data, WriteType type) = 0;
  virtual void setNotifyValue(const RadioClient* client, const PeripheralIdentifier& peripheral,
                              std::uint16_t characteristicHandle, bool enabled) = 0;

  /// The radio new central managers use: the one installed with `setCurrent`, else one that reports
  /// `unsupported` (this machine has no radio backend of its own).
  static std::shared_ptr<BluetoothRadio> current();
  /// Installs the radio new central managers use (an empty pointer restores the default).
  static void setCurrent(std::shared_ptr<BluetoothRadio> radio);
};

}  // namespace talvaren::platform
