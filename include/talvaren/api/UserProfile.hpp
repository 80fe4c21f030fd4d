#pragma once
// The logged-in user's profile as the server's account resource nests it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Json.hpp"

namespace talvaren {

/// Writing helpers the account records add to the JSON writer.
namespace Encoder {
/// {key: value} when the value is present; nothing when it is absent. Writes the profile's photo.
std::optional<Json::Piece> addImage(std::string_view key, const std::optional<std::string>& value);
}  // namespace Encoder

/// Every value under the key of its constant below, read and written alike. Dates and measures stay
/// the server's texts: a "body_weight" or "height" given as a JSON number reads as absent, and both
/// are written with every "," turned into "." (the value itself is left as it is).
class UserProfile {
 public:
  static constexpr std::string_view GenderKey = "gender";
  static constexpr std::string_view UnitsKey = "units";
  static constexpr std::string_view MugshotKey = "mugshot";
  static constexpr std::string_view SexKey = "sex";
  static constexpr std::string_view BirthdayKey = "birthday";
  static constexpr std::string_view TimezoneKey = "timezone";
  static constexpr std::string_view MaxHRKey = "max_hr";
  static constexpr std::string_view ExperienceKey = "experience";
  static constexpr std::string_view FrequencyKey = "frequency";
  static constexpr std::string_view GoalKey = "goal";
  static constexpr std::string_view SportKey = "sport";
  static constexpr std::string_view WeightKey = "body_weight";
  static constexpr std::string_view HeightKey = "height";
  static constexpr std::string_view FitnessKey = "fitness";
  static constexpr std::string_view AnaerobicKey = "anaerobic";
  static constexpr std::string_view HasBandKey = "has_band";
  static constexpr std::string_view LastActiveKey = "last_active";
  static constexpr std::string_view JoinDateKey = "date_joined";
  static constexpr std::string_view DisplayNameKey = "display";
  static constexpr std::string_view KeloIdKey = "kelo_id";
  static constexpr std::string_view AntIdKey = "ant_id";
  static constexpr std::string_view ClassDeviceIdKey = "class_device_id";

  std::optional<std::string> gender;
  std::optional<std::string> units;
  /// The user's photo as the server refers to it.
  std::optional<std::string> mugshot;
  std::optional<std::string> sex;
  std::optional<std::string> birthday;
  std::optional<std::string> timezone;
  std::optional<std::int64_t> maxHr;
  std::optional<std::int64_t> experience;
  std::optional<std::int64_t> frequency;
  std::optional<std::string> goal;
  std::optional<std::string> sport;
  /// "body_weight".
  std::optional<std::string> weight;
  std::optional<std::string> height;
  std::optional<std::int64_t> fitness;
  std::optional<std::int64_t> anaerobic;
  std::optional<bool> hasBand;
  std::optional<std::string> lastActive;
  /// "date_joined".
  std::optional<std::string> joinDate;
  /// "display".
  std::optional<std::string> displayName;
  std::optional<std::string> keloId;
  std::optional<std::string> antId;
  std::optional<std::string> classDeviceId;

  /// Every value absent.
  UserProfile() = default;
  /// Always a profile for a JSON object; a missing or mistyped key leaves its value absent.
  static std::optional<UserProfile> fromJSON(const JSON& json);
  /// The present values; an all-absent profile writes an empty object.
  std::optional<JSON> toJSON() const;
};

}  // namespace talvaren
