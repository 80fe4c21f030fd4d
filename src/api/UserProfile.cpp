#include "talvaren/api/UserProfile.hpp"

#include <algorithm>

namespace talvaren {
namespace {

// A measure as the server reads it: with "." as the decimal point.
std::optional<std::string> withDecimalPoint(std::optional<std::string> measure) {
  if (measure) std::ranges::replace(*measure, ',', '.');
  return measure;
}

}  // namespace

std::optional<Json::Piece> Encoder::addImage(std::string_view key, const std::optional<std::string>& value) {
  return Json::write(key, value);
}

std::optional<UserProfile> UserProfile::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  UserProfile profile;
  Json::read(json, GenderKey, profile.gender);
  Json::read(json, UnitsKey, profile.units);
  Json::read(json, MugshotKey, profile.mugshot);
  Json::read(json, SexKey, profile.sex);
  Json::read(json, BirthdayKey, profile.birthday);
  Json::read(json, TimezoneKey, profile.timezone);
  Json::read(json, MaxHRKey, profile.maxHr);
  Json::read(json, ExperienceKey, profile.experience);
  Json::read(json, FrequencyKey, profile.frequency);
  Json::read(json, GoalKey, profile.goal);
  Json::read(json, SportKey, profile.sport);
  Json::read(json, WeightKey, profile.weight);
  Json::read(json, HeightKey, profile.height);
  Json::read(json, FitnessKey, profile.fitness);
  Json::read(json, AnaerobicKey, profile.anaerobic);
  Json::read(json, HasBandKey, profile.hasBand);
  Json::read(json, LastActiveKey, profile.lastActive);
  Json::read(json, JoinDateKey, profile.joinDate);
  Json::read(json, DisplayNameKey, profile.displayName);
  Json::read(json, KeloIdKey, profile.keloId);
  Json::read(json, AntIdKey, profile.antId);
  Json::read(json, ClassDeviceIdKey, profile.classDeviceId);
  return profile;
}

std::optional<JSON> UserProfile::toJSON() const {
  return Json::jsonify(
      Json::write(GenderKey, gender), Json::write(UnitsKey, units), Encoder::addImage(MugshotKey, mugshot),
      Json::write(SexKey, sex), Json::write(BirthdayKey, birthday), Json::write(TimezoneKey, timezone),
      Json::write(MaxHRKey, maxHr), Json::write(ExperienceKey, experience), Json::write(FrequencyKey, frequency),
      Json::write(GoalKey, goal), Json::write(SportKey, sport), Json::write(WeightKey, withDecimalPoint(weight)),
      Json::write(HeightKey, withDecimalPoint(height)), Json::write(FitnessKey, fitness),
      Json::write(AnaerobicKey, anaerobic), Json::write(HasBandKey, hasBand), Json::write(LastActiveKey, lastActive),
      Json::write(JoinDateKey, joinDate), Json::write(DisplayNameKey, displayName), Json::write(KeloIdKey, keloId),
      Json::write(AntIdKey, antId), Json::write(ClassDeviceIdKey, classDeviceId));
}

}  // namespace talvaren
