#pragma once
// Decoder of the standard Heart Rate Measurement value (characteristic 2A37), as the kit reads it:
// beats per minute, a signal figure taken from flag bits 5 to 7, and the RR intervals.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "talvaren/platform/Error.hpp"

namespace talvaren {

/// Beats per minute and the signal figure of one measurement.
struct HeartRateAndSignal {
  std::uint16_t bmp = 0;
  /// 30 to 100 in steps of 10: 30 + 10 x (flags bits 7..5).
  std::int64_t signal = 30;

  friend bool operator==(const HeartRateAndSignal&, const HeartRateAndSignal&) = default;
};

/// Stateless; every operation is safe on any thread. Bytes that a value announces but does not
/// carry are never read: a missing heart-rate byte counts as 0 (an empty value gives bmp 0 and
/// signal 30), and an RR offset at or past the end gives no RR intervals.
struct BluetoorhHeardRate {
  /// Flags byte 0; bit 0 selects an 8-bit (byte 1) or 16-bit little-endian (bytes 1-2) heart rate.
  static HeartRateAndSignal getHeartRateAndSignal(const Bytes& data);

  /// The byte position at which the RR intervals begin: 2 or 3 by the heart-rate format, plus 2
  /// when flags bit 3 announces the Energy Expended field.
  static std::size_t getOffset(const Bytes& data);

  /// The RR intervals from `off` to the end, each 16-bit little-endian in 1/1024 s, converted to
  /// whole milliseconds (truncated); a last odd byte is ignored.
  static std::vector<std::int64_t> updateRRIntervarls(const Bytes& data, std::size_t off);

  /// The measurement of a value that carries the heart rate its flags announce; none for a value of
  /// fewer than 2 bytes, or of fewer than 3 in the 16-bit format.
  static std::optional<HeartRateAndSignal> measurement(const Bytes& data);

  /// The RR intervals of a value whose flags bit 4 announces them, from getOffset on; none when the
  /// bit is clear or the value ends before the first whole interval.
  static std::optional<std::vector<std::int64_t>> announcedRRIntervals(const Bytes& data);
};

}  // namespace talvaren
