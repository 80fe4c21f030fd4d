#include "talvaren/platform/HexText.hpp"

namespace talvaren::platform {

std::string hexText(std::span<const std::uint8_t> bytes, bool upperCase) {
  std::string text;
  text.reserve(2 * bytes.size());
  for (auto byte : bytes) {
    text.push_back(hexDigit(byte >> 4, upperCase));
    text.push_back(hexDigit(byte, upperCase));
  }
  return text;
}

}  // namespace talvaren::platform
