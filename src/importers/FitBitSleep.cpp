#include "talvaren/importers/FitBitSleep.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::optional<FitBitSleep> FitBitSleep::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  FitBitSleep log;
  Json::read(json, "dateOfSleep", log.dateOfSleep);
  Json::read(json, "duration", log.duration);
  Json::read(json, "minutesAsleep", log.minutesAsleep);
  Json::read(json, "type", log.type);
  Json::read(json, "logId", log.logId);
  return log;
}

std::optional<JSON> FitBitSleep::toJSON() const {
  return Json::jsonify(Json::write("dateOfSleep", dateOfSleep), Json::write("duration", duration),
                       Json::write("minutesAsleep", minutesAsleep), Json::write("type", type),
                       Json::write("logId", logId));
}

std::string FitBitSleep::description() const {
  return "FitBit sleep data - date of sleep = " + describe::optional(dateOfSleep) +
         ", duration = " + describe::optional(duration) + ", minutesAsleep = " + describe::optional(minutesAsleep) +
         ", type = " + describe::optional(type) + ", logId = " + describe::optional(logId);
}

std::optional<std::vector<FitBitSleep>> FitBitSleep::parserSleep(const std::optional<JSON>& reply) {
  if (!reply) return std::nullopt;
  try {
    return Json::readRecordList<FitBitSleep>(*reply, "sleep");
  } catch (...) {
    // Only an allocation failure lands here.
    return std::nullopt;
  }
}

}  // namespace talvaren
