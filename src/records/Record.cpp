#include "talvaren/records/Record.hpp"

#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren::record {

std::optional<double> secondsFromTimestampText(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  auto date = TalvarenDateFormatter::shared()->getCreatedDateFromString(*text);
  if (!date) return std::nullopt;
  return date->timeIntervalSince1970();
}

void deriveCompanion(const std::optional<std::string>& text, std::optional<double>& companion) {
  if (auto seconds = secondsFromTimestampText(text)) companion = seconds;
}

void setDateText(std::optional<std::string>& text, std::optional<std::string> value,
                 std::optional<double>& companion) {
  text = std::move(value);
  deriveCompanion(text, companion);
}

void ServerDates::readServerDates(const JSON& json) {
  Json::read(json, "created", created_);
  Json::read(json, "timestamp", timestamp_);
  createdTimestamp = secondsFromTimestampText(created_);
  timestampTimestamp = secondsFromTimestampText(timestamp_);
}

void ServerDatesWithModified::readModified(const JSON& json) {
  Json::read(json, "modified", modified_);
  modifiedTimestamp = secondsFromTimestampText(modified_);
}

}  // namespace talvaren::record
