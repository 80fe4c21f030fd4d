#include "talvaren/importers/FitBitActivity.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::optional<FitBitActivity> FitBitActivity::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  FitBitActivity point;
  Json::read(json, "dateTime", point.dateTime);
  Json::read(json, "value", point.value);
  return point;
}

std::optional<JSON> FitBitActivity::toJSON() const {
  return Json::jsonify(Json::write("dateTime", dateTime), Json::write("value", value));
}

std::string FitBitActivity::description() const {
  return "FitBit activity data - dateTime = " + describe::optional(dateTime) + ", value = " + describe::optional(value);
}

}  // namespace talvaren
