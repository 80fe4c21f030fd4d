#pragma once
// The user's tracking record: which activity, calories and sleep entries are tracked.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Json.hpp"

namespace talvaren {

/// Keys read and written alike: "id", "user" (0 when the JSON gives none), "activity", "calories",
/// "sleep", "created". Only `sleep`, `created` and `createdTimestamp` may change after construction.
/// No ordering, no equality.
class Track {
 public:
  std::optional<std::string> sleep;
  /// `created` as seconds since 1970; never written; setting it leaves `created` as it is.
  std::optional<double> createdTimestamp;

  /// Always a record for a JSON object; a missing or mistyped key gives 0 for "id" and "user" and
  /// leaves the others absent.
  static std::optional<Track> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;

  /// The server's identifier of the record.
  std::int64_t id() const { return id_; }
  /// Key of the user.
  std::int64_t user() const { return user_; }
  const std::optional<std::string>& activity() const { return activity_; }
  const std::optional<std::string>& calories() const { return calories_; }

  /// The server's creation time stamp; setting a parsable one updates `createdTimestamp`.
  const std::optional<std::string>& created() const { return created_; }
  void setCreated(std::optional<std::string> created);

 private:
  static constexpr std::string_view IdKey = "id";
  static constexpr std::string_view UserKey = "user";
  static constexpr std::string_view ActivityKey = "activity";
  static constexpr std::string_view CaloriesKey = "calories";
  static constexpr std::string_view SleepKey = "sleep";
  static constexpr std::string_view CreatedKey = "created";

  Track() = default;

  std::int64_t id_ = 0;
  std::int64_t user_ = 0;
  std::optional<std::string> activity_;
  std::optional<std::string> calories_;
  std::optional<std::string> created_;
};

}  // namespace talvaren
