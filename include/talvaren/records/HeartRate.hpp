#pragma once
// One heart-rate reading read back from a strap's stored history: beats per minute, the moment of the
// reading and an optional kind of workout. It has no JSON form; the host may archive it.

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/KeyedArchive.hpp"
#include "talvaren/records/WorkoutType.hpp"

namespace talvaren {

class HeartRate {
 public:
  /// Beats per minute (spelled `bmp`).
  std::uint16_t bmp = 0;
  /// When the strap took the reading.
  Date date{0};
  /// The kind of workout; none unless the creator gives one.
  std::optional<WorkoutType> type;

  HeartRate(std::uint16_t bmp, Date date, std::optional<WorkoutType> type = std::nullopt)
      : bmp(bmp), date(date), type(type) {}

  /// Reads the archive form written by encode(). Gives no sample when "date" is missing or not a date,
  /// or "bmp" is not an integer from 0 to 65535 (a missing "bmp" reads as 0). A "type" entry that is
  /// null, missing or none of the three raw values gives a sample without a type.
  static std::optional<HeartRate> decode(const platform::KeyedUnarchiver& coder);
  /// Writes "bmp" (a number), "date" (a date) and "type" (the raw value, or a null entry), in this order.
  void encode(platform::KeyedArchiver& coder) const;

  /// "HeartRate: bmp = 72 timestamp = 1577836800.0 type = nil" and a line feed; a present type prints
  /// as "Optional(TalvarenKit.WorkoutType.cardio)".
  std::string description() const;

  friend bool operator==(const HeartRate&, const HeartRate&) = default;
};

}  // namespace talvaren
