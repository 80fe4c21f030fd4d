#pragma once
// The kind of workout as a one-byte code; the kit writes `heartRate` to the Scosche Rhythm arm band's
// sport-mode characteristic.

#include <array>
#include <cstdint>
#include <optional>

#include "talvaren/platform/RawValue.hpp"

namespace talvaren {

enum class SportModeType : std::uint8_t {
  heartRate = 0,
  running = 1,
  cycling = 2,
  swimming = 5,
  duathlon = 0xFD,
  triathlon = 0xFE,
  hrv = 0xFF,
  multiModeSperator = 0xC8,
};

inline constexpr std::array<SportModeType, 8> SportModeTypeAllCases = {
    SportModeType::heartRate,
    SportModeType::running,
    SportModeType::cycling,
    SportModeType::swimming,
    SportModeType::duathlon,
    SportModeType::triathlon,
    SportModeType::hrv,
    SportModeType::multiModeSperator,
};

template <>
struct RawValueOf<SportModeType> {
  using type = std::uint8_t;
};

/// The case's one-byte code.
constexpr std::uint8_t rawValue(SportModeType value) { return static_cast<std::uint8_t>(value); }

/// The case with code `raw`; nothing for a byte not in the table.
template <>
inline std::optional<SportModeType> fromRawValue<SportModeType>(std::uint8_t raw) {
  return detail::caseWithRawValue(SportModeTypeAllCases, raw);
}

}  // namespace talvaren
