#pragma once
// One heart-rate-recovery sample: a value, its time stamp, the signal strength and the RR intervals.

#include <cstdint>
#include <optional>
#include <vector>

#include "talvaren/platform/Json.hpp"
#include "talvaren/records/Record.hpp"

namespace talvaren {

/// Keys read and written alike: "value", "timestamp", "signal_strength", "rr" (a list of integers).
/// Ordered by `timestamp`; it has no text form of its own.
class HRRecovery : public record::Ordered<HRRecovery> {
 public:
  std::optional<std::int64_t> value;
  std::optional<std::int64_t> timestamp;
  std::optional<std::int64_t> signalStrength;
  /// The RR intervals; a JSON list holding anything but integers reads as absent.
  std::optional<std::vector<std::int64_t>> rr;

  /// Every value absent.
  HRRecovery() = default;
  /// Always a sample for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<HRRecovery> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;

  std::optional<std::int64_t> orderingValue() const { return timestamp; }
};

}  // namespace talvaren
