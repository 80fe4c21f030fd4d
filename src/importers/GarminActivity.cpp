#include "talvaren/importers/GarminActivity.hpp"

#include "importers/SummaryFields.hpp"
#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::optional<GarminActivity> GarminActivity::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  GarminActivity record;
  using detail::SummaryField;
  detail::readSummaryFields(json, SummaryField{"summaryId", record.summaryId},
                            SummaryField{"durationInSeconds", record.durationInSeconds},
                            SummaryField{"startTimeInSeconds", record.startTimeInSeconds},
                            SummaryField{"startTimeOffsetInSeconds", record.startTimeOffsetInSeconds},
                            SummaryField{"activeKilocalories", record.activeKilocalories},
                            SummaryField{"distanceInMeters", record.distanceInMeters},
                            SummaryField{"steps", record.steps}, SummaryField{"calendarDate", record.calendarDate});
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
