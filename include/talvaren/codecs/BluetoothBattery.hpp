#pragma once
// Battery bands: a strap's battery level is reported once when it enters one of three warning bands
// (26 to 50, 11 to 25, 0 to 10), then not again until it has left the band upwards and come back.
// One yes/no flag per band is kept in the user defaults, so the rule holds across connections and
// launches; the synchronisation mode has flags of its own.

#include <cstdint>
#include <memory>
#include <string>

#include "talvaren/platform/Error.hpp"

namespace talvaren {

namespace platform {
class UserDefaults;
}

/// What getLevel answers: whether to report the level now, the level, and the key under which the
/// caller stores yes after reporting (empty when nothing is to be reported).
struct BatteryLevelReport {
  bool sendNotfication = false;
  std::uint8_t level = 0;
  std::string batteryLevelKey;

  friend bool operator==(const BatteryLevelReport&, const BatteryLevelReport&) = default;
};

struct BluetoothBattery {
  static constexpr const char* BatteryLevel50Key = "BatteryLevel50";
  static constexpr const char* BatteryLevel25Key = "BatteryLevel25";
  static constexpr const char* BatteryLevel10Key = "BatteryLevel10";
  static constexpr const char* BatteryLevelSynch50Key = "BatteryLevelSynch50";
  static constexpr const char* BatteryLevelSynch25Key = "BatteryLevelSynch25";
  static constexpr const char* BatteryLevelSynch10Key = "BatteryLevelSynch10";

  /// The store that holds the band flags; a null store means the standard user defaults.
  explicit BluetoothBattery(std::shared_ptr<platform::UserDefaults> defaults = nullptr);

  /// Bands the level (the first byte of `data`) and prints "battery level = <level>". Entering a band
  /// clears the flags of the bands below it; a level above 50 clears all three. Only the family of
  /// keys chosen by `enableSynch` is read or written, and yes is never stored here: the caller stores
  /// it under batteryLevelKey after reporting. An empty value reports nothing and changes no flag.
  BatteryLevelReport getLevel(const Bytes& data, bool enableSynch) const;

  std::shared_ptr<platform::UserDefaults> defaults;
};

}  // namespace talvaren
