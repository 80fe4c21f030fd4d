#include "talvaren/codecs/HexExtensions.hpp"

#include "HexText.hpp"
#include "talvaren/platform/HexText.hpp"
#include "utilities/NumberText.hpp"

namespace talvaren {

namespace detail {

std::string lowerHex(std::int64_t value) {
  std::uint64_t magnitude = value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  std::string reversed;
  do {
    reversed.push_back(platform::hexDigit(static_cast<unsigned>(magnitude & 0x0F)));
    magnitude >>= 4;
  } while (magnitude != 0);
  if (value < 0) reversed.push_back('-');
  return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace detail

std::string toHex(std::string_view text) { return detail::lowerHex(detail::wholeNumber(text).value_or(0)); }

std::int64_t checksum(const Bytes& data) {
  std::uint64_t sum = 0;
  for (auto byte : data) sum += byte;
  return static_cast<std::int64_t>(sum & 0xFF);
}

std::string hexEncodedString(const Bytes& data, HexEncodingOptions options) {
  return platform::hexText(data, options.contains(HexEncodingOptions::upperCase));
}

}  // namespace talvaren
