#pragma once
// The stored state of BluetoothConnector, shared by its source files. Guarded by the connector's mutex.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/KeloHistoryAssembler.hpp"
#include "talvaren/platform/Console.hpp"

namespace talvaren {

struct BluetoothConnector::State {
  std::shared_ptr<BluetoothConfiguration> typeConf;
  std::optional<std::string> lastKnowDeviceType;
  std::shared_ptr<platform::CentralManager> centralManager;
  PeripheralPtr peripheral;
  bool connected = false;
  std::weak_ptr<BluetoothConnectorDelegate> delegate;
  std::shared_ptr<platform::Timer> timer;
  bool enableRRIntervals = false;
  bool enableSynch = false;
  bool enableTreshold = false;
  bool enableDeviceTime = false;
  bool enableSetTime = false;
  bool enableFirmwareVersion = false;
  bool enableFirmwareMode = false;
  bool enableFirmwareUpdate = false;
  bool enableFirmware = false;
  bool enableDisconectHRMDevice = false;
  bool enableTestMode = false;
  bool enableModeState = false;
  bool enableGetTime = false;
  std::vector<CharacteristicPtr> characteristicsKelo;
  std::optional<std::string> lastConnectedDeviceName;
  CharacteristicPtr characteristic;
  CharacteristicPtr characteristicHistry;
  std::int64_t timeMinuteBmp = 0;
  std::uint8_t trainingThreshold = 0;
  std::uint8_t overloadThreshold = 0;
  std::vector<HeartRate> hertRates;
  std::uint8_t numberPacket = 0;
  // The Kelo history's reassembly buffers; the samples and running time are hertRates and timeMinuteBmp.
  KeloHistoryAssembler keloHistory;
  bool selectSynch = false;
  // Grows with every connection request and every new central, so that work scheduled for one link
  // can tell that another has begun.
  std::uint64_t connectionGeneration = 0;
  // The generation whose task marked the coming disconnection as planned; none when the host set it.
  std::optional<std::uint64_t> plannedGeneration;

  /// Forgets every trace of a history download (samples, running time, reassembly, packet number): a
  /// download starts from nothing, and one that was cut never reaches the next.
  void restartHistory() {
    hertRates = {};
    timeMinuteBmp = 0;
    keloHistory = {};
    numberPacket = 0;
  }

  /// Whether `other` is another strap than the one held (compared by identifier, whichever central
  /// handed it out): one a newer chosen strap replaced. False while none is held.
  bool isReplaced(const PeripheralPtr& other) const {
    return peripheral && (!other || other->identifier() != peripheral->identifier());
  }
};

namespace connector {

inline void log(const std::string& line) { console::print(line); }

inline const char* text(bool value) { return value ? "true" : "false"; }

/// A byte list as the logs print it: "[22, 72, 32, 3]".
std::string byteList(const Bytes& bytes);

/// A peripheral as the logs print it: its description, or "nil" when there is none.
std::string peripheralDescription(const BluetoothConnector::PeripheralPtr& peripheral);

/// A value's size as the logs print it: "4 bytes", or "nil" when there is none.
std::string valueDescription(const std::optional<Bytes>& value);

/// Whether a strap's clock, read back as `date`, lies within two whole calendar years of the current
/// time shifted by the zone offset; logs "<prefix><years>" (0 when the calendar gives none).
bool clockIsClose(const std::string& prefix, const Date& date);

/// The value a handler reads, or none after reporting why not: an update error goes to the delegate
/// unchanged; a missing value goes as ErrorBluetooth.characteristicValue when `reportMissing`.
std::optional<Bytes> valueOrReport(const std::shared_ptr<BluetoothConnectorDelegate>& delegate,
                                   const BluetoothConnector::CharacteristicPtr& characteristic,
                                   const std::optional<Error>& error, bool reportMissing = true);

/// The value a strap's packet handler reads, or none: a missing value is dropped silently, and only
/// then is an update error passed on to the delegate unchanged.
std::optional<Bytes> packetOrReport(const std::shared_ptr<BluetoothConnectorDelegate>& delegate,
                                    const BluetoothConnector::CharacteristicPtr& characteristic,
                                    const std::optional<Error>& error);

}  // namespace connector
}  // namespace talvaren
