#pragma once
// The mode code of the Kelo strap: the third byte of its command frames.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "talvaren/platform/RawValue.hpp"

namespace talvaren {

enum class BluetoothModeKelo : std::uint8_t {
  zone = 0x0C,
  test = 0x0D,
  setTime = 0x0E,
  getTime = 0x0F,
  synch = 0x10,
};

inline constexpr std::array<BluetoothModeKelo, 5> BluetoothModeKeloAllCases = {
    BluetoothModeKelo::zone,
    BluetoothModeKelo::test,
    BluetoothModeKelo::setTime,
    BluetoothModeKelo::getTime,
    BluetoothModeKelo::synch,
};

template <>
struct RawValueOf<BluetoothModeKelo> {
  using type = std::uint8_t;
};

/// The case's one-byte code.
constexpr std::uint8_t rawValue(BluetoothModeKelo value) { return static_cast<std::uint8_t>(value); }

/// The case's name as log lines print it ("zone").
constexpr std::string_view caseName(BluetoothModeKelo value) {
  switch (value) {
    case BluetoothModeKelo::zone: return "zone";
    case BluetoothModeKelo::test: return "test";
    case BluetoothModeKelo::setTime: return "setTime";
    case BluetoothModeKelo::getTime: return "getTime";
    case BluetoothModeKelo::synch: return "synch";
  }
  return {};
}

/// The case with code `raw`; nothing for a byte not in the table.
template <>
inline std::optional<BluetoothModeKelo> fromRawValue<BluetoothModeKelo>(std::uint8_t raw) {
  return detail::caseWithRawValue(BluetoothModeKeloAllCases, raw);
}

}  // namespace talvaren
