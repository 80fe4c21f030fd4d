#pragma once
// Bytes and integers to hex text, and the byte sum of a buffer.

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/HexText.hpp"

namespace talvaren {

/// Options of hexEncodedString: an option set over an integer raw value.
struct HexEncodingOptions {
  std::int64_t rawValue = 0;

  /// Upper-case digits (bit 0); the empty set means lower case.
  static const HexEncodingOptions upperCase;

  constexpr bool contains(HexEncodingOptions option) const {
    return (rawValue & option.rawValue) == option.rawValue;
  }
  friend constexpr bool operator==(HexEncodingOptions, HexEncodingOptions) = default;
};

inline constexpr HexEncodingOptions HexEncodingOptions::upperCase{1};

/// The text read as a decimal integer (an optional "+" or "-", then decimal digits only, within
/// 64 bits; anything else counts as 0), written in lower-case base 16 ("255" gives "ff").
std::string toHex(std::string_view text);

/// The sum of all bytes AND 0xFF; 0 for an empty buffer.
std::int64_t checksum(const Bytes& data);

/// Two digits per byte, no separator; upper-case digits with HexEncodingOptions::upperCase.
std::string hexEncodedString(const Bytes& data, HexEncodingOptions options = {});

/// The value in upper-case base 16, with leading zeros up to two digits per byte of the type
/// (0xABC as a 16-bit value gives "0ABC").
template <std::unsigned_integral T>
  requires(!std::is_same_v<T, bool>)
std::string hex(T value) {
  std::string text(2 * sizeof(T), '0');
  for (std::size_t i = text.size(); i-- > 0 && value != 0;) {
    text[i] = platform::hexDigit(static_cast<unsigned>(value & 0x0F), true);
    value = static_cast<T>(value >> 4);
  }
  return text;
}

}  // namespace talvaren
