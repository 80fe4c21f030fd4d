#pragma once
// One day's calories record as the server stores it.

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/platform/Json.hpp"
#include "talvaren/records/Record.hpp"

namespace talvaren {

/// Keys read: "uuid", "owner", "date", "value", "external_id", "external_provider", "created",
/// "timestamp". Keys written: the same without "created". Ordered by `createdTimestamp`.
class CaloriesSDK : public record::ServerDates, public record::Ordered<CaloriesSDK> {
 public:
  std::optional<std::string> uuid;
  std::optional<std::int64_t> owner;
  std::optional<std::string> date;
  std::optional<std::int64_t> value;
  std::optional<std::string> externalId;
  std::optional<std::string> externalProvider;

  /// Every value absent.
  CaloriesSDK() = default;
  /// Always a record for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<CaloriesSDK> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;
  /// "Calories: uuid = ..., owner = ..., date = ..., value = ..., externalId = ..., externalProvider = ...,
  /// created = ..." with no line feed.
  std::string description() const;

  std::optional<double> orderingValue() const { return createdTimestamp; }
};

}  // namespace talvaren
