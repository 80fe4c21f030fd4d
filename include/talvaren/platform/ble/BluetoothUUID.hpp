#pragma once
// Bluetooth UUIDs of services, characteristics and descriptors, compared by the Bluetooth rules.
//
// A UUID is written as 4 hex digits (16-bit, "180D"), 8 hex digits (32-bit, "0000180D") or the full
// 128-bit form "0000180D-0000-1000-8000-00805F9B34FB". Short forms stand for their expansion on the
// Bluetooth Base UUID 00000000-0000-1000-8000-00805F9B34FB, so "180d", "0000180D" and
// "0000180d-0000-1000-8000-00805f9b34fb" are one and the same UUID. Hex digits are read without regard
// to case. A UUID is a plain value: copy it, compare it, hash it, use it as a map key.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform {

class BluetoothUUID {
 public:
  /// The 128 bits, most significant byte first.
  using Bits = std::array<std::uint8_t, 16>;

  /// Reads a 16-, 32- or 128-bit text (hex digits of either case; the 128-bit form with its four
  /// dashes in place). Anything else, such as "EB" or "", gives nothing.
  static std::optional<BluetoothUUID> fromString(std::string_view text);
  /// The 16-bit UUID `value` on the Bluetooth Base UUID.
  static BluetoothUUID fromUInt16(std::uint16_t value);
  /// The 32-bit UUID `value` on the Bluetooth Base UUID.
  static BluetoothUUID fromUInt32(std::uint32_t value);
  /// Reads the bytes of a UUID as they are stored: 2, 4 or 16 bytes, most significant first.
  static std::optional<BluetoothUUID> fromData(const Bytes& data);

  /// The Bluetooth Base UUID (the 16-bit value 0x0000).
  BluetoothUUID();
  explicit BluetoothUUID(const Bits& bits) : bits_(bits) {}

  /// The shortest text of the UUID, in upper case: 4 digits for a 16-bit value on the Base UUID,
  /// 8 for a 32-bit one, otherwise the dashed 128-bit form.
  std::string uuidString() const;
  /// The dashed 128-bit form, in upper case.
  std::string fullString() const;
  /// The bytes of the shortest form, most significant first (2, 4 or 16 bytes).
  Bytes data() const;
  const Bits& bits() const { return bits_; }
  /// True when the UUID lies on the Bluetooth Base UUID (it has a 16- or 32-bit short form).
  bool isOnBase() const;
  /// The 16-bit value when the UUID has a 16-bit short form.
  std::optional<std::uint16_t> shortValue() const;

  friend bool operator==(const BluetoothUUID& a, const BluetoothUUID& b) { return a.bits_ == b.bits_; }
  friend bool operator<(const BluetoothUUID& a, const BluetoothUUID& b) { return a.bits_ < b.bits_; }

 private:
  Bits bits_;
};

/// The identifier of a peripheral: a full 128-bit UUID written "E621E1F8-C36C-495A-93FC-0C247A3E6E5F",
/// as the radio gives it to a central. Unlike `BluetoothUUID` it has no short forms.
class PeripheralIdentifier {
 public:
  /// Reads the dashed 36-character form, hex digits of either case; anything else gives nothing.
  static std::optional<PeripheralIdentifier> fromString(std::string_view text);
  explicit PeripheralIdentifier(const BluetoothUUID::Bits& bits) : bits_(bits) {}

  /// The dashed form in upper case.
  std::string uuidString() const;
  const BluetoothUUID::Bits& bits() const { return bits_; }

  friend bool operator==(const PeripheralIdentifier& a, const PeripheralIdentifier& b) { return a.bits_ == b.bits_; }
  friend bool operator<(const PeripheralIdentifier& a, const PeripheralIdentifier& b) { return a.bits_ < b.bits_; }

 private:
  BluetoothUUID::Bits bits_;
};

}  // namespace talvaren::platform

template <>
struct std::hash<talvaren::platform::BluetoothUUID> {
  std::size_t operator()(const talvaren::platform::BluetoothUUID& uuid) const noexcept;
};

template <>
struct std::hash<talvaren::platform::PeripheralIdentifier> {
  std::size_t operator()(const talvaren::platform::PeripheralIdentifier& identifier) const noexcept;
};
