#include "talvaren/platform/ble/BluetoothUUID.hpp"

#include <algorithm>

#include "talvaren/platform/HexText.hpp"

namespace talvaren::platform {
namespace {

// 00000000-0000-1000-8000-00805F9B34FB
constexpr BluetoothUUID::Bits kBase = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB};

/// Reads `count` bytes of plain hex digits into `out`; false on any other character.
bool readHex(std::string_view text, std::uint8_t* out, std::size_t count) {
  if (text.size() != count * 2) return false;
  for (std::size_t i = 0; i < count; ++i) {
    int high = hexDigitValue(text[2 * i]);
    int low = hexDigitValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return true;
}

std::optional<BluetoothUUID::Bits> readFull(std::string_view text) {
  // 8-4-4-4-12
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
    return std::nullopt;
  }
  BluetoothUUID::Bits bits{};
  if (!readHex(text.substr(0, 8), &bits[0], 4) || !readHex(text.substr(9, 4), &bits[4], 2) ||
      !readHex(text.substr(14, 4), &bits[6], 2) || !readHex(text.substr(19, 4), &bits[8], 2) ||
      !readHex(text.substr(24, 12), &bits[10], 6)) {
    return std::nullopt;
  }
  return bits;
}

std::string hex(const std::uint8_t* bytes, std::size_t count) { return hexText({bytes, count}, true); }

std::string dashed(const BluetoothUUID::Bits& bits) {
  return hex(&bits[0], 4) + "-" + hex(&bits[4], 2) + "-" + hex(&bits[6], 2) + "-" + hex(&bits[8], 2) + "-" +
         hex(&bits[10], 6);
}

std::size_t hashBits(const BluetoothUUID::Bits& bits) {
  std::size_t h = 1469598103934665603ull;
  for (auto byte : bits) h = (h ^ byte) * 1099511628211ull;
  return h;
}

}  // namespace

BluetoothUUID::BluetoothUUID() : bits_(kBase) {}

BluetoothUUID BluetoothUUID::fromUInt32(std::uint32_t value) {
  Bits bits = kBase;
  bits[0] = static_cast<std::uint8_t>(value >> 24);
  bits[1] = static_cast<std::uint8_t>(value >> 16);
  bits[2] = static_cast<std::uint8_t>(value >> 8);
  bits[3] = static_cast<std::uint8_t>(value);
  return BluetoothUUID(bits);
}

BluetoothUUID BluetoothUUID::fromUInt16(std::uint16_t value) { return fromUInt32(value); }

std::optional<BluetoothUUID> BluetoothUUID::fromString(std::string_view text) {
  std::uint8_t bytes[4] = {};
  if (text.size() == 4 && readHex(text, bytes, 2)) {
    return fromUInt16(static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]));
  }
  if (text.size() == 8 && readHex(text, bytes, 4)) {
    return fromUInt32(static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
                      static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3]);
  }
  if (auto bits = readFull(text)) return BluetoothUUID(*bits);
  return std::nullopt;
}

std::optional<BluetoothUUID> BluetoothUUID::fromData(const Bytes& data) {
  if (data.size() == 2) return fromUInt16(static_cast<std::uint16_t>(data[0] << 8 | data[1]));
  if (data.size() == 4) {
    return fromUInt32(static_cast<std::uint32_t>(data[0]) << 24 | static_cast<std::uint32_t>(data[1]) << 16 |
                      static_cast<std::uint32_t>(data[2]) << 8 | data[3]);
  }
  if (data.size() == 16) {
    Bits bits{};
    std::copy(data.begin(), data.end(), bits.begin());
    return BluetoothUUID(bits);
  }
  return std::nullopt;
}

bool BluetoothUUID::isOnBase() const { return std::equal(bits_.begin() + 4, bits_.end(), kBase.begin() + 4); }

std::optional<std::uint16_t> BluetoothUUID::shortValue() const {
  if (!isOnBase() || bits_[0] != 0 || bits_[1] != 0) return std::nullopt;
  return static_cast<std::uint16_t>(bits_[2] << 8 | bits_[3]);
}

std::string BluetoothUUID::uuidString() const {
  if (shortValue()) return hex(&bits_[2], 2);
  if (isOnBase()) return hex(&bits_[0], 4);
  return dashed(bits_);
}

std::string BluetoothUUID::fullString() const { return dashed(bits_); }

Bytes BluetoothUUID::data() const {
  if (shortValue()) return Bytes(bits_.begin() + 2, bits_.begin() + 4);
  if (isOnBase()) return Bytes(bits_.begin(), bits_.begin() + 4);
  return Bytes(bits_.begin(), bits_.end());
}

std::optional<PeripheralIdentifier> PeripheralIdentifier::fromString(std::string_view text) {
  if (auto bits = readFull(text)) return PeripheralIdentifier(*bits);
  return std::nullopt;
}

std::string PeripheralIdentifier::uuidString() const { return dashed(bits_); }

}  // namespace talvaren::platform

std::size_t std::hash<talvaren::platform::BluetoothUUID>::operator()(
    const talvaren::platform::BluetoothUUID& uuid) const noexcept {
  return talvaren::platform::hashBits(uuid.bits());
}

std::size_t std::hash<talvaren::platform::PeripheralIdentifier>::operator()(
    const talvaren::platform::PeripheralIdentifier& identifier) const noexcept {
  return talvaren::platform::hashBits(identifier.bits());
}
