#include "talvaren/records/SleepSDK.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::optional<SleepSDK> SleepSDK::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  SleepSDK record;
  Json::read(json, "uuid", record.uuid);
  Json::read(json, "owner", record.owner);
  Json::read(json, "date", record.date);
  Json::read(json, "value", record.value);
  Json::read(json, "external_id", record.externalId);
  Json::read(json, "external_provider", record.externalProvider);
  record.readServerDates(json);
  return record;
}

std::optional<JSON> SleepSDK::toJSON() const {
  return Json::jsonify(
      Json::write("uuid", uuid),
      Json::write("owner", owner),
      Json::write("date", date),
      Json::write("timestamp", timestamp_),
      Json::write("value", value),
      Json::write("external_id", externalId),
      Json::write("external_provider", externalProvider));
}

std::string SleepSDK::description() const {
  return describe::OneLine("Sleep")
      .field("uuid", describe::optional(uuid))
      .field("owner", describe::optional(owner))
      .field("date", describe::optional(date))
      .field("value", describe::optional(value))
      .field("externalId", describe::optional(externalId))
      .field("externalProvider", describe::optional(externalProvider))
      .field("created", describe::optional(created_))
      .text();
}

}  // namespace talvaren
