#pragma once
// A simulated Bluetooth LE peripheral: its advertisement, its GATT database, the faults it can show,
// and a record of what centrals did to it. Straps (HeartRateStrap, KeloStrap, RavoStrap, ArmBand)
// derive from it and speak their protocols in the hooks.
//
// A peripheral works once it has been added to a `SimulatedRadio`. Its behaviour runs on the radio's
// queue (so on the test thread under virtual time); every public method is thread-safe.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/ble/BluetoothRadio.hpp"
#include "talvaren/platform/ble/BluetoothUUID.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"

namespace talvaren::sim {

class SimulatedRadio;

using platform::BluetoothUUID;
using platform::CharacteristicProperties;
using platform::PeripheralIdentifier;
using platform::WriteType;

/// The UUID of a 16-bit number or a text; a text that is no UUID is a programming error here.
BluetoothUUID uuid(const char* text);
/// A fixed identifier made from a number, for deterministic tests: 5A5A0000-0000-4000-8000-00000000NNNN.
PeripheralIdentifier identifierNumber(std::uint32_t number);

/// One write a central made, as the peripheral received it.
struct WriteRecord {
  PeripheralIdentifier peripheral;
  BluetoothUUID characteristic;
  Bytes bytes;
  WriteType type;
  /// Platform clock (seconds since 1970) when the write reached the peripheral.
  double time;

  friend bool operator==(const WriteRecord&, const WriteRecord&) = default;
};

/// What goes wrong, on demand.
struct Faults {
  enum class Connect { completes, neverCompletes, fails };
  Connect connect = Connect::completes;
  /// Discovery of characteristics answers with an empty list.
  bool discoverWithoutCharacteristics = false;
  /// Every value update (read answer or notification) of these characteristics carries this error.
  std::map<BluetoothUUID, Error> updateErrors;
  /// Read answers and notifications of these characteristics carry no value at all.
  std::set<BluetoothUUID> noValue;
  /// Advertisements reach a scan every interval even when the scan does not ask for duplicates.
  bool repeatAdvertisements = false;
};

class SimulatedPeripheral : public std::enable_shared_from_this<SimulatedPeripheral> {
 public:
  SimulatedPeripheral(PeripheralIdentifier identifier, std::optional<std::string> name);
  virtual ~SimulatedPeripheral();
  SimulatedPeripheral(const SimulatedPeripheral&) = delete;
  SimulatedPeripheral& operator=(const SimulatedPeripheral&) = delete;

  const PeripheralIdentifier& identifier() const { return identifier_; }

  // Presence and advertisement ------------------------------------------------------------------------
  std::optional<std::string> name() const;
  void setName(std::optional<std::string> name);
  platform::AdvertisementData advertisement() const;
  /// Sets what is advertised (the local name among it); by default the name and no service list.
  void setAdvertisement(platform::AdvertisementData advertisement);
  /// Signal strength reported with each advertisement, any value (also out of the radio's range).
  int rssi() const;
  void setRSSI(int rssi);
  /// Out of range: not seen by scans, links drop, connects wait for its return.
  bool inRange() const;
  void setInRange(bool inRange);
  /// Whether it advertises while a central is linked to it (most straps do not).
  void setAdvertisesWhileConnected(bool advertises);

  // Faults ------------------------------------------------------------------------------------------
  Faults faults() const;
  void setFaults(Faults faults);
  /// Drops every link as the peripheral would (centrals get a disconnect with an error).
  void dropLink();

  // GATT database -------------------------------------------------------------------------------------
  /// Adds a primary service; returns its handle.
  std::uint16_t addService(const BluetoothUUID& service);
  /// Adds a characteristic to the last service with that UUID; returns its handle.
  std::uint16_t addCharacteristic(const BluetoothUUID& service, const BluetoothUUID& characteristic,
                                  CharacteristicProperties properties, std::optional<Bytes> value = Bytes{});
  /// Removes every service (for a peripheral that changes what it offers).
  void clearServices();
  /// The value a read gets (absent: no value).
  void setValue(const BluetoothUUID& characteristic, std::optional<Bytes> value);
  std::optional<Bytes> value(const BluetoothUUID& characteristic) const;
  /// Sends a notification of `value` to every central subscribed to `characteristic`.
  void notify(const BluetoothUUID& characteristic, const std::optional<Bytes>& value);

  // What centrals did ---------------------------------------------------------------------------------
  bool isConnected() const;
  std::vector<WriteRecord> writes() const;
  /// The writes to one characteristic.
  std::vector<Bytes> writes(const BluetoothUUID& characteristic) const;
  /// How often a central asked for notifications on (`enabled`) or off of a characteristic.
  int subscriptionRequests(const BluetoothUUID& characteristic, bool enabled = true) const;
  bool isSubscribed(const BluetoothUUID& characteristic) const;
  int connectionCount() const;

 protected:
  // Hooks, run on the radio's queue. ------------------------------------------------------------------
  virtual void didConnect() {}
  virtual void didDisconnect() {}
  /// A central wrote `bytes`. For a write with response, returning an error refuses it.
  virtual std::optional<Error> didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType type) {
    (void)characteristic, (void)bytes, (void)type;
    return std::nullopt;
  }
  virtual void didSubscribe(const BluetoothUUID& characteristic, bool enabled) { (void)characteristic, (void)enabled; }

  /// Runs `work` on the radio's queue after `seconds`, unless the link it was scheduled on has ended
  /// by then (`whileConnected`) or the peripheral has left the radio.
  void after(double seconds, std::function<void()> work, bool whileConnected = true);
  /// Current platform time (virtual in tests).
  double now() const;
  /// Appends a line to the radio's trace.
  void trace(const std::string& line) const;
  /// Holds the lock that guards the peripheral's state (the radio's); hooks run with it held already.
  /// Public methods of straps take it around their own fields.
  [[nodiscard]] std::unique_lock<std::recursive_mutex> guard() const;

 private:
  friend class SimulatedRadio;
  struct Characteristic {
    BluetoothUUID uuid;
    std::uint16_t handle;
    CharacteristicProperties properties;
    std::optional<Bytes> value;
  };
  struct Service {
    BluetoothUUID uuid;
    std::uint16_t handle;
    std::vector<Characteristic> characteristics;
  };
  const Characteristic* find(std::uint16_t handle) const;
  const Characteristic* find(const BluetoothUUID& uuid) const;

  PeripheralIdentifier identifier_;
  std::optional<std::string> name_;
  std::optional<platform::AdvertisementData> advertisement_;
  int rssi_ = -60;
  bool inRange_ = true;
  bool advertisesWhileConnected_ = false;
  Faults faults_;
  std::vector<Service> services_;
  std::uint16_t nextHandle_ = 1;
  std::vector<WriteRecord> writes_;
  std::map<std::pair<BluetoothUUID, bool>, int> subscriptionRequests_;
  int connections_ = 0;
  std::uint64_t linkEpoch_ = 0;  // grows at each link change, so delayed work of a dead link is skipped
  SimulatedRadio* radio_ = nullptr;
};

}  // namespace talvaren::sim
