#include "talvaren/records/ActivitySDK.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::optional<ActivitySDK> ActivitySDK::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  ActivitySDK record;
  Json::read(json, "uuid", record.uuid);
  Json::read(json, "owner", record.owner);
  Json::read(json, "date", record.date);
  Json::read(json, "steps", record.steps);
  Json::read(json, "miles", record.miles);
  Json::read(json, "external_id", record.externalId);
  Json::read(json, "external_provider", record.externalProvider);
  record.readServerDates(json);
  return record;
}

std::optional<JSON> ActivitySDK::toJSON() const {
  return Json::jsonify(
      Json::write("uuid", uuid),
      Json::write("owner", owner),
      Json::write("date", date),
      Json::write("steps", steps),
      Json::write("miles", miles),
      Json::write("timestamp", timestamp_),
      Json::write("external_id", externalId),
      Json::write("external_provider", externalProvider));
}

std::string ActivitySDK::description() const {
  return describe::OneLine("Activity")
      .field("uuid", describe::optional(uuid))
      .field("owner", describe::optional(owner))
      .field("date", describe::optional(date))
      .field("steps", describe::optional(steps))
      .field("miles", describe::optional(miles))
      .field("externalId", describe::optional(externalId))
      .field("externalProvider", describe::optional(externalProvider))
      .field("created", describe::optional(created_))
      .text();
}

}  // namespace talvaren
