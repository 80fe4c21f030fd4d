#include "talvaren/importers/GarminSleep.hpp"

#include "importers/SummaryFields.hpp"
#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::optional<GarminSleep> GarminSleep::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  GarminSleep record;
  using detail::SummaryField;
  detail::readSummaryFields(
      json, SummaryField{"summaryId", record.summaryId}, SummaryField{"durationInSeconds", record.durationInSeconds},
      SummaryField{"startTimeInSeconds", record.startTimeInSeconds},
      SummaryField{"startTimeOffsetInSeconds", record.startTimeOffsetInSeconds},
      SummaryField{"awakeDurationInSeconds", record.awakeDurationInSeconds},
      SummaryField{"deepSleepDurationInSeconds", record.deepSleepDurationInSeconds},
      SummaryField{"lightSleepDurationInSeconds", record.lightSleepDurationInSeconds},
      SummaryField{"validation", record.validation}, SummaryField{"calendarDate", record.calendarDate});
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
