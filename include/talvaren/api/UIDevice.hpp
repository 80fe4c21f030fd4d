#pragma once
// The device the kit runs on, as the server's User-Agent names it.

#include <span>
#include <string>
#include <string_view>

namespace talvaren {

class UIDevice {
 public:
  /// The device the kit runs on.
  static UIDevice current() { return UIDevice(); }

  /// The marketing name of this device's hardware identifier (see below), read afresh on every call.
  std::string modelName() const;

  /// The marketing name for a hardware identifier ("iPhone10,3" gives "iPhone X"; "i386" and "x86_64"
  /// give "Simulator"). The lookup is exact and case-sensitive; any other identifier, the empty one
  /// included, comes back unchanged.
  static std::string modelName(std::string_view identifier);
  /// The identifier a machine field spells: every NUL byte is skipped (not only a trailing one) and every
  /// other byte kept as the character of that code, in UTF-8 (a byte 0x80..0xFF takes two bytes).
  static std::string hardwareIdentifier(std::span<const char> machineField);
};

}  // namespace talvaren
