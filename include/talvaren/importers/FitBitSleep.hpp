#pragma once
// One sleep log of the Fitbit Web API's sleep list.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Json.hpp"

namespace talvaren {

/// Keys read and written: "dateOfSleep", "duration", "minutesAsleep", "type", "logId". Whole numbers are
/// read as the JSON access helpers read integers (a float only when it is exactly whole and in range).
class FitBitSleep {
 public:
  /// The day the sleep is counted for.
  std::optional<std::string> dateOfSleep;
  std::optional<std::int64_t> duration;
  std::optional<std::int64_t> minutesAsleep;
  std::optional<std::string> type;
  /// Fitbit's identifier of the log.
  std::optional<std::int64_t> logId;

  /// Every value absent.
  FitBitSleep() = default;
  /// Always a record for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<FitBitSleep> fromJSON(const JSON& json);
  /// The present values under their keys.
  std::optional<JSON> toJSON() const;
  /// "FitBit sleep data - date of sleep = ..., duration = ..., minutesAsleep = ..., type = ..., logId = ..."
  /// with no line feed.
  std::string description() const;

  /// The logs of a sleep-list reply's "sleep" array, in its order (an empty array gives an empty list);
  /// none without a reply, for a reply that is no object or lacks "sleep", and when "sleep" is not an
  /// array of objects.
  static std::optional<std::vector<FitBitSleep>> parserSleep(const std::optional<JSON>& reply);
};

}  // namespace talvaren
