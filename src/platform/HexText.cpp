#include "talvaren/platform/HexText.hpp"

namespace talvaren::platform {

std::string hexText(std::span<const std::uint8_t> bytes, bool upperCase) {
  const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text;
  text.reserve(2 * bytes.size());
  for (auto byte : bytes) {
    text.push_back(digits[byte >> 4]);
    text.push_back(digits[byte & 0x0F]);
  }
  return text;
}

}  // namespace talvaren::platform
