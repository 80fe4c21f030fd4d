#pragma once
// One point of a Fitbit daily time series (distance, steps or calories), as the Fitbit Web API writes it.

#include <optional>
#include <string>

#include "talvaren/platform/Json.hpp"

namespace talvaren {

/// Keys read and written: "dateTime", "value".
class FitBitActivity {
 public:
  /// The day, "yyyy-MM-dd".
  std::optional<std::string> dateTime;
  /// The day's total, a number written as text; a JSON number under "value" reads as absent.
  std::optional<std::string> value;

  /// Every value absent.
  FitBitActivity() = default;
  /// Always a record for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<FitBitActivity> fromJSON(const JSON& json);
  /// The present values under their keys.
  std::optional<JSON> toJSON() const;
  /// "FitBit activity data - dateTime = ..., value = ..." with no line feed.
  std::string description() const;
};

}  // namespace talvaren
