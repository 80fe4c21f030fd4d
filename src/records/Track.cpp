#include "talvaren/records/Track.hpp"

#include "talvaren/records/Record.hpp"

namespace talvaren {

std::optional<Track> Track::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  Track track;
  track.id_ = Json::read<std::int64_t>(json, IdKey).value_or(0);
  track.user_ = Json::read<std::int64_t>(json, UserKey).value_or(0);
  Json::read(json, ActivityKey, track.activity_);
  Json::read(json, CaloriesKey, track.calories_);
  Json::read(json, SleepKey, track.sleep);
  Json::read(json, CreatedKey, track.created_);
  track.createdTimestamp = record::secondsFromTimestampText(track.created_);
  return track;
}

std::optional<JSON> Track::toJSON() const {
  return Json::jsonify(
      Json::write(IdKey, id_),
      Json::write(UserKey, user_),
      Json::write(ActivityKey, activity_),
      Json::write(CaloriesKey, calories_),
      Json::write(SleepKey, sleep),
      Json::write(CreatedKey, created_));
}

void Track::setCreated(std::optional<std::string> created) {
  record::setDateText(created_, std::move(created), createdTimestamp);
}

}  // namespace talvaren
