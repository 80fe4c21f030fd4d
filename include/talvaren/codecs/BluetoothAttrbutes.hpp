#pragma once
// The connection wait time, the user-defaults key names under which the Bluetooth link keeps the
// saved straps, and the tests that tell a strap's family from its advertised name.

#include <cstdint>
#include <optional>
#include <string_view>

namespace talvaren {

struct BluetoothAttrbutes {
  /// Seconds the connection watchdog waits for a connection before it asks for a new search.
  static constexpr std::int64_t MAX_DATA_WAIT_TIME = 20;

  /// Saved strap of the threshold, test and test-mode modes.
  static constexpr const char* RecoveryDeviceKey = "LastRecoveryDevice";
  /// Saved strap of the train mode.
  static constexpr const char* WorkoutDeviceKey = "LastWorkoutDevice";
  /// Saved strap of the synchronisation, device-time and set-time modes.
  static constexpr const char* WorkoutImporterDeviceKey = "LastWorkoutImporterDevice";
  /// Saved strap of the three firmware modes.
  static constexpr const char* FirmwareUpgradeKey = "FirmwareUpgradeDevice";
  /// Prefix of the key of a saved strap's advertised name; the peripheral identifier follows it.
  static constexpr const char* NameDeviceKey = "NameDevice";
  /// The strap's firmware version text.
  static constexpr const char* VersionDeviceKey = "VersionDevice";
  /// A yes/no flag of the synchronisation.
  static constexpr const char* SynchZoneDeviceKey = "SynchZoneDevice";

  // The name tests lower-case the whole name (Unicode, the same in every locale) and search it for
  // fixed substrings. An absent name passes none of them.

  /// A Kelo strap: the name contains "kelo-" or "talvaren-10001".
  static bool isCompatibleRecoveryDeviceWithKelo(std::optional<std::string_view> deviceName);
  /// A heart-rate-monitor strap: the name contains "hrm", or "ravo" (the older Ravo strap).
  static bool isCompatibleRecoveryDeviceWithHrm(std::optional<std::string_view> deviceName);
  /// A strap that can serve the recovery modes: the name contains "lumo" or "talvaren", or passes
  /// the Kelo test, or, while the kit's current language is "ja" or "pl", the heart-rate-strap test.
  static bool isCompatibleRecoveryDevice(std::optional<std::string_view> deviceName);
};

}  // namespace talvaren
