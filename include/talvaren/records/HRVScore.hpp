#pragma once
// One heart-rate-variability score with its time stamp, day, owner, device and average heart rate.

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/platform/Json.hpp"
#include "talvaren/records/Record.hpp"

namespace talvaren {

/// Keys read and written alike: "score", "timestamp", "device", "average_hr", "date", "owner".
/// Only `device` may change after construction. Ordered by `timestamp`.
class HRVScore : public record::Ordered<HRVScore> {
 public:
  /// The device that measured the score.
  std::optional<std::string> device;

  /// Stores every argument as given.
  HRVScore(std::int64_t timestamp, std::int64_t score, std::string date, std::int64_t owner, std::string device,
           std::int64_t averageHR);

  /// Always a score for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<HRVScore> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;

  const std::optional<std::int64_t>& score() const { return score_; }
  const std::optional<std::int64_t>& timestamp() const { return timestamp_; }
  /// The day the score belongs to.
  const std::optional<std::string>& date() const { return date_; }
  /// Key of the owning user.
  const std::optional<std::int64_t>& owner() const { return owner_; }
  /// Average heart rate during the measurement.
  const std::optional<std::int64_t>& averageHR() const { return averageHR_; }

  std::optional<std::int64_t> orderingValue() const { return timestamp_; }

 private:
  HRVScore() = default;

  std::optional<std::int64_t> score_;
  std::optional<std::int64_t> timestamp_;
  std::optional<std::string> date_;
  std::optional<std::int64_t> owner_;
  std::optional<std::int64_t> averageHR_;
};

}  // namespace talvaren
