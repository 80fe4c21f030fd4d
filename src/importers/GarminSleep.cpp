#include "talvaren/importers/GarminSleep.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::optional<GarminSleep> GarminSleep::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  GarminSleep record;
  Json::read(json, "summaryId", record.summaryId);
  Json::read(json, "durationInSeconds", record.durationInSeconds);
  Json::read(json, "startTimeInSeconds", record.startTimeInSeconds);
  Json::read(json, "startTimeOffsetInSeconds", record.startTimeOffsetInSeconds);
  Json::read(json, "awakeDurationInSeconds", record.awakeDurationInSeconds);
  Json::read(json, "deepSleepDurationInSeconds", record.deepSleepDurationInSeconds);
  Json::read(json, "lightSleepDurationInSeconds", record.lightSleepDurationInSeconds);
  Json::read(json, "validation", record.validation);
  Json::read(json, "calendarDate", record.calendarDate);
  return record;
}

std::optional<JSON> GarminSleep::toJSON() const {
  return Json::jsonify(Json::write("summaryId", summaryId), Json::write("durationInSeconds", durationInSeconds),
                       Json::write("startTimeInSeconds", startTimeInSeconds),
                       Json::write("startTimeOffsetInSeconds", startTimeOffsetInSeconds),
                       Json::write("awakeDurationInSeconds", awakeDurationInSeconds),
                       Json::write("deepSleepDurationInSeconds", deepSleepDurationInSeconds),
                       Json::write("lightSleepDurationInSeconds", lightSleepDurationInSeconds),
                       Json::write("validation", validation), Json::write("calendarDate", calendarDate));
}

std::string GarminSleep::description() const {
  return "Garmin sleep data - date = " + describe::optional(calendarDate) +
         ", summaryId = " + describe::optional(summaryId) + ", duration = " + describe::optional(durationInSeconds) +
         ", startTimeInSeconds = " + describe::optional(startTimeInSeconds) +
         ", startTimeOffsetInSeconds = " + describe::optional(startTimeOffsetInSeconds);
}

}  // namespace talvaren
