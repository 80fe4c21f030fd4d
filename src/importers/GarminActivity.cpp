#include "talvaren/importers/GarminActivity.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::optional<GarminActivity> GarminActivity::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  GarminActivity record;
  Json::read(json, "summaryId", record.summaryId);
  Json::read(json, "durationInSeconds", record.durationInSeconds);
  Json::read(json, "startTimeInSeconds", record.startTimeInSeconds);
  Json::read(json, "startTimeOffsetInSeconds", record.startTimeOffsetInSeconds);
  Json::read(json, "activeKilocalories", record.activeKilocalories);
  Json::read(json, "distanceInMeters", record.distanceInMeters);
  Json::read(json, "steps", record.steps);
  Json::read(json, "calendarDate", record.calendarDate);
  return record;
}

std::optional<JSON> GarminActivity::toJSON() const {
  return Json::jsonify(Json::write("summaryId", summaryId), Json::write("startTimeInSeconds", startTimeInSeconds),
                       Json::write("startTimeOffsetInSeconds", startTimeOffsetInSeconds),
                       Json::write("activeKilocalories", activeKilocalories),
                       Json::write("distanceInMeters", distanceInMeters), Json::write("steps", steps),
                       Json::write("calendarDate", calendarDate));
}

std::string GarminActivity::description() const {
  return "Garmin activity data - date = " + describe::optional(calendarDate) +
         ", summaryId = " + describe::optional(summaryId) + ", calories = " + describe::optional(activeKilocalories) +
         ", distanceInMeters = " + describe::optional(distanceInMeters) + ", steps = " + describe::optional(steps);
}

}  // namespace talvaren
