#pragma once
// Bytes as base-16 text, the one writer every layer uses for traces, descriptions and identifiers, and the
// one table of hex digits behind every other base-16 writer and reader of the kit.

#include <cstdint>
#include <span>
#include <string>

namespace talvaren::platform {

/// The digit of a value 0 to 15 (only its low four bits count); lower-case unless `upperCase`.
constexpr char hexDigit(unsigned nibble, bool upperCase = false) {
  return (upperCase ? "0123456789ABCDEF" : "0123456789abcdef")[nibble & 0x0F];
}

/// The value of a hex digit of either case, or -1 for any other character.
constexpr int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// Two digits per byte, no separator; lower-case digits unless `upperCase`.
std::string hexText(std::span<const std::uint8_t> bytes, bool upperCase = false);

}  // namespace talvaren::platform
