#pragma once
// Private: the JSON reader, JSON writer and description of the day records whose server form is the same
// six values and the server dates: calories and sleep.

#include <optional>
#include <string_view>

#include "talvaren/platform/Json.hpp"
#include "talvaren/records/RecordDescription.hpp"

namespace talvaren::record {

/// A record `R` from a JSON object ("uuid", "owner", "date", "value", "external_id", "external_provider",
/// then the server dates through `readDates`); none for anything else.
template <class R, class Base>
std::optional<R> readDayValue(const JSON& json, void (Base::*readDates)(const JSON&)) {
  if (!json.is_object()) return std::nullopt;
  R record;
  Json::read(json, "uuid", record.uuid);
  Json::read(json, "owner", record.owner);
  Json::read(json, "date", record.date);
  Json::read(json, "value", record.value);
  Json::read(json, "external_id", record.externalId);
  Json::read(json, "external_provider", record.externalProvider);
  (record.*readDates)(json);
  return record;
}

/// The JSON the server takes: the six values and "timestamp" ("created" is the server's own).
template <class R>
std::optional<JSON> dayValueJSON(const R& record) {
  return Json::jsonify(
      Json::write("uuid", record.uuid),
      Json::write("owner", record.owner),
      Json::write("date", record.date),
      Json::write("timestamp", record.timestamp()),
      Json::write("value", record.value),
      Json::write("external_id", record.externalId),
      Json::write("external_provider", record.externalProvider));
}

/// "<label>: uuid = ..., owner = ..., date = ..., value = ..., externalId = ..., externalProvider = ...,
/// created = ..." with no line feed.
template <class R>
std::string describeDayValue(const R& record, std::string_view label) {
  return describe::OneLine(label)
      .field("uuid", describe::optional(record.uuid))
      .field("owner", describe::optional(record.owner))
      .field("date", describe::optional(record.date))
      .field("value", describe::optional(record.value))
      .field("externalId", describe::optional(record.externalId))
      .field("externalProvider", describe::optional(record.externalProvider))
      .field("created", describe::optional(record.created()))
      .text();
}

}  // namespace talvaren::record
