#pragma once
// Utilities of the hex-text style in which strap commands are built: the checksum that ends every
// strap frame, a modulo-256 check number, the firmware-update-mode command, an integer reader, a
// bytes-to-text conversion and a bit-field extractor. All are pure functions of their arguments.

#include <concepts>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "talvaren/platform/Error.hpp"

namespace talvaren {

struct BluetoothUtils {
  /// The checksum text of a frame: the sum of the texts read as whole hexadecimal integers (an
  /// optional "+" or "-", then hex digits only, within 64 bits; anything else adds 0), written in
  /// lower-case base 16, of which the last two characters are kept. A sum below 0x10 gives a single
  /// digit and a negative one keeps its "-" when the text is that short. Sums wrap around at 64 bits.
  static std::string countChecksum(const std::vector<std::string>& texts);

  /// The sum of the integers modulo 256, with the sign of the sum (wrapping at 64 bits).
  static std::int64_t getCheckNumber(const std::vector<std::int64_t>& cmdArray);

  /// One byte per integer; an integer outside 0 to 255 keeps its low 8 bits.
  static Bytes getWriteData(const std::vector<std::int64_t>& dataArray);

  /// The command that switches a Kelo strap into firmware-update mode: A2 04 01 A7.
  static Bytes getOTAData();

  /// The integer of type T stored at `start` in the host's byte order (as a memory copy would read
  /// it); 0 when the bytes start to start + sizeof(T) do not all lie within the buffer.
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  static T readInteger(const Bytes& data, std::int64_t start) {
    T value = 0;
    if (start < 0 || static_cast<std::uint64_t>(start) > data.size() ||
        data.size() - static_cast<std::size_t>(start) < sizeof(T)) {
      return value;
    }
    std::memcpy(&value, data.data() + start, sizeof(T));
    return value;
  }

  /// One character per byte, with the byte's value as its code point (0x80 to 0xFF give U+0080 to
  /// U+00FF), as UTF-8. Zero bytes, such as a terminator after a version text, are left out.
  static std::string byteToString(const Bytes& data);

  /// Bits `start` to `stop` (inclusive, bit 0 the least significant) of the low byte of
  /// `dataNumber`, shifted down to bit 0; 0 when either bound lies outside 0 to 7 or stop < start.
  static std::int64_t getBitNumber(std::int64_t dataNumber, std::int64_t start, std::int64_t stop);
};

}  // namespace talvaren
