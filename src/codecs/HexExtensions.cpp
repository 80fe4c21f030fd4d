#include "talvaren/codecs/HexExtensions.hpp"

#include "HexText.hpp"
#include "talvaren/platform/HexText.hpp"

namespace talvaren {

namespace detail {

std::optional<std::int64_t> parseInteger(std::string_view text, int radix) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // The magnitude may reach 2^63 for a negative value.
  const std::uint64_t limit = negative ? (std::uint64_t{1} << 63) : (std::uint64_t{1} << 63) - 1;
  std::uint64_t magnitude = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (radix == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (radix == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (digit >= radix) return std::nullopt;
    if (magnitude > (limit - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(radix)) {
      return std::nullopt;
    }
    magnitude = magnitude * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(digit);
  }
  // Two's complement conversion: well defined for the full range, 2^63 included.
  return negative ? static_cast<std::int64_t>(std::uint64_t{0} - magnitude) : static_cast<std::int64_t>(magnitude);
}

std::string lowerHex(std::int64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::uint64_t magnitude = value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  std::string reversed;
  do {
    reversed.push_back(kDigits[magnitude & 0x0F]);
    magnitude >>= 4;
  } while (magnitude != 0);
  if (value < 0) reversed.push_back('-');
  return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace detail

std::string toHex(std::string_view text) {
  return detail::lowerHex(detail::parseInteger(text, 10).value_or(0));
}

std::int64_t checksum(const Bytes& data) {
  std::uint64_t sum = 0;
  for (auto byte : data) sum += byte;
  return static_cast<std::int64_t>(sum & 0xFF);
}

std::string hexEncodedString(const Bytes& data, HexEncodingOptions options) {
  return platform::hexText(data, options.contains(HexEncodingOptions::upperCase));
}

}  // namespace talvaren
