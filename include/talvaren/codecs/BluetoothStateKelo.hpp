#pragma once
// The state that a Kelo strap reports about itself, as a one-byte code.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "talvaren/platform/RawValue.hpp"

namespace talvaren {

enum class BluetoothStateKelo : std::uint8_t {
  unknow = 0,
  testMode = 1,
  trainMode = 2,
  syncMode = 3,
  timeNotSet = 4,
  notFindHR = 5,
  timeMode = 6,
  success = 0x10,
};

inline constexpr std::array<BluetoothStateKelo, 8> BluetoothStateKeloAllCases = {
    BluetoothStateKelo::unknow,
    BluetoothStateKelo::testMode,
    BluetoothStateKelo::trainMode,
    BluetoothStateKelo::syncMode,
    BluetoothStateKelo::timeNotSet,
    BluetoothStateKelo::notFindHR,
    BluetoothStateKelo::timeMode,
    BluetoothStateKelo::success,
};

template <>
struct RawValueOf<BluetoothStateKelo> {
  using type = std::uint8_t;
};

/// The case's one-byte code.
constexpr std::uint8_t rawValue(BluetoothStateKelo value) { return static_cast<std::uint8_t>(value); }

/// The case's name as log lines print it ("unknow").
constexpr std::string_view caseName(BluetoothStateKelo value) {
  switch (value) {
    case BluetoothStateKelo::unknow: return "unknow";
    case BluetoothStateKelo::testMode: return "testMode";
    case BluetoothStateKelo::trainMode: return "trainMode";
    case BluetoothStateKelo::syncMode: return "syncMode";
    case BluetoothStateKelo::timeNotSet: return "timeNotSet";
    case BluetoothStateKelo::notFindHR: return "notFindHR";
    case BluetoothStateKelo::timeMode: return "timeMode";
    case BluetoothStateKelo::success: return "success";
  }
  return {};
}

/// The case with code `raw`; nothing for a byte not in the table.
template <>
inline std::optional<BluetoothStateKelo> fromRawValue<BluetoothStateKelo>(std::uint8_t raw) {
  return detail::caseWithRawValue(BluetoothStateKeloAllCases, raw);
}

}  // namespace talvaren
