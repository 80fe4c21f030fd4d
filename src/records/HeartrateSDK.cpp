#include "talvaren/records/HeartrateSDK.hpp"

#include <charconv>

namespace talvaren {
namespace {

// Time stamps whose decimal text is longer than this count microseconds.
constexpr std::size_t longestSecondsText = 10;

Date dateOfTimestamp(std::int64_t timestamp) {
  char text[24];
  auto end = std::to_chars(text, text + sizeof text, timestamp).ptr;
  if (static_cast<std::size_t>(end - text) > longestSecondsText) {
    return Date(static_cast<double>(timestamp) / 1000000.0);
  }
  return Date(static_cast<double>(timestamp));
}

}  // namespace

HeartrateSDK::HeartrateSDK(std::int64_t timestamp, std::int64_t value, Date date, std::int64_t owner,
                           std::string device, std::optional<std::string> workoutId)
    : workoutId(std::move(workoutId)),
      device(std::move(device)),
      value_(value),
      timestamp_(timestamp),
      date_(date),
      owner_(owner) {}

std::optional<HeartrateSDK> HeartrateSDK::fromJSON(const JSON& json) {
  HeartrateSDK sample;
  Json::read(json, "value", sample.value_);
  Json::read(json, "timestamp", sample.timestamp_);
  Json::read(json, "workout", sample.workoutId);
  if (!sample.timestamp_) return std::nullopt;
  sample.date_ = dateOfTimestamp(*sample.timestamp_);
  Json::read(json, "owner", sample.owner_);
  return sample;
}

std::optional<JSON> HeartrateSDK::toJSON() const {
  // Built in place: a long upload writes one of these per sample.
  JSON object = JSON::object();
  auto& entries = object.get_ref<JSON::object_t&>();
  if (value_) entries.emplace("value", *value_);
  if (timestamp_) entries.emplace("timestamp", *timestamp_);
  if (workoutId) entries.emplace("workout", *workoutId);
  return object;
}

}  // namespace talvaren
