#include "talvaren/codecs/BluetoothUtils.hpp"

#include "HexText.hpp"
#include "utilities/NumberText.hpp"

namespace talvaren {
namespace {

/// Addition that wraps around at 64 bits instead of overflowing.
std::int64_t wrappingAdd(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

void appendUtf8(std::string& text, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    text.push_back(static_cast<char>(codePoint));
  } else {
    text.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

}  // namespace

std::string BluetoothUtils::countChecksum(const std::vector<std::string>& texts) {
  std::int64_t sum = 0;
  for (const auto& text : texts) sum = wrappingAdd(sum, detail::wholeNumber(text, 16).value_or(0));
  std::string hex = detail::lowerHex(sum);
  return hex.size() <= 2 ? hex : hex.substr(hex.size() - 2);
}

std::int64_t BluetoothUtils::getCheckNumber(const std::vector<std::int64_t>& cmdArray) {
  std::int64_t sum = 0;
  for (auto value : cmdArray) sum = wrappingAdd(sum, value);
  return sum % 256;
}

Bytes BluetoothUtils::getWriteData(const std::vector<std::int64_t>& dataArray) {
  Bytes bytes;
  bytes.reserve(dataArray.size());
  for (auto value : dataArray) bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
  return bytes;
}

Bytes BluetoothUtils::getOTAData() {
  std::vector<std::int64_t> command{0xA2, 0x04, 0x01};
  command.push_back(getCheckNumber(command));
  return getWriteData(command);
}

std::string BluetoothUtils::byteToString(const Bytes& data) {
  std::string text;
  text.reserve(data.size());
  for (auto byte : data) {
    if (byte != 0) appendUtf8(text, byte);
  }
  return text;
}

std::int64_t BluetoothUtils::getBitNumber(std::int64_t dataNumber, std::int64_t start, std::int64_t stop) {
  if (start < 0 || start > 7) return 0;
  if (stop < 0 || stop > 7) return 0;
  if (stop < start) return 0;
  const std::int64_t mask = 0xFF >> (7 - stop);
  return (dataNumber & mask) >> start;
}

}  // namespace talvaren
