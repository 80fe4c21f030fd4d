#pragma once
// Shared pieces of the strap frame builders and parsers: byte texts, the standard text form of
// lists in log lines, the checksum byte and the four-byte strap clock value.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "talvaren/codecs/BluetoothUtils.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/HexText.hpp"

namespace talvaren::detail {

/// One byte as two lower-case hex digits ("%02x").
inline std::string lowerByteText(std::uint8_t byte) {
  return {platform::hexDigit(byte >> 4), platform::hexDigit(byte)};
}

/// One byte as two upper-case hex digits ("%02X").
inline std::string upperByteText(std::uint8_t byte) {
  return {platform::hexDigit(byte >> 4, true), platform::hexDigit(byte, true)};
}

/// A list of texts in its standard text form: ["b2", "04"].
inline std::string quotedList(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i != 0) out += ", ";
    out += '"';
    out += texts[i];
    out += '"';
  }
  out += ']';
  return out;
}

/// A list of bytes in its standard text form: [255, 0, 19].
template <typename Iterator>
std::string decimalList(Iterator first, Iterator last) {
  std::string out = "[";
  for (auto it = first; it != last; ++it) {
    if (it != first) out += ", ";
    out += std::to_string(static_cast<unsigned>(*it));
  }
  out += ']';
  return out;
}

/// The texts joined with no separator: the frame as hex text.
inline std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  out.reserve(texts.size() * 2);
  for (const auto& text : texts) out += text;
  return out;
}

/// Appends the frame's checksum byte: the checksum of the texts of every byte before it.
inline void appendChecksum(std::vector<std::string>& texts) {
  texts.push_back(BluetoothUtils::countChecksum(texts));
}

/// The strap clock value of a date already shifted to local wall-clock time: its seconds since 1970
/// truncated toward zero, pinned to what four bytes hold (an unset or out-of-range value never gives
/// a byte text of the wrong length).
inline std::uint32_t strapClockSeconds(const Date& localWallClock) {
  const double seconds = std::trunc(localWallClock.timeIntervalSince1970());
  if (!(seconds > 0)) return 0;  // negative and NaN
  if (seconds >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(seconds);
}

/// The four byte texts of a strap clock value, most significant first, each "%02x".
inline void appendStrapClock(std::vector<std::string>& texts, std::uint32_t t) {
  texts.push_back(lowerByteText(static_cast<std::uint8_t>(t >> 24)));
  texts.push_back(lowerByteText(static_cast<std::uint8_t>(t >> 16)));
  texts.push_back(lowerByteText(static_cast<std::uint8_t>(t >> 8)));
  texts.push_back(lowerByteText(static_cast<std::uint8_t>(t)));
}

/// A strap clock value read from four bytes, most significant first, as unsigned 32-bit seconds.
inline std::int64_t readStrapClock(const std::uint8_t* bytes) {
  return (static_cast<std::int64_t>(bytes[0]) << 24) | (static_cast<std::int64_t>(bytes[1]) << 16) |
         (static_cast<std::int64_t>(bytes[2]) << 8) | static_cast<std::int64_t>(bytes[3]);
}

/// The same four bytes as the eight lower-case hex digits that the log lines show.
inline std::string strapClockText(const std::uint8_t* bytes) {
  return lowerByteText(bytes[0]) + lowerByteText(bytes[1]) + lowerByteText(bytes[2]) + lowerByteText(bytes[3]);
}

/// The four bytes in decimal, one blank between them.
inline std::string strapClockDecimal(const std::uint8_t* bytes) {
  return std::to_string(bytes[0]) + " " + std::to_string(bytes[1]) + " " + std::to_string(bytes[2]) + " " +
         std::to_string(bytes[3]);
}

}  // namespace talvaren::detail
