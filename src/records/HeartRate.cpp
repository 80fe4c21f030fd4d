#include "talvaren/records/HeartRate.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

std::string_view rawValue(WorkoutType type) {
  switch (type) {
    case WorkoutType::strength:
      return "strength";
    case WorkoutType::cardio:
      return "cardio";
    case WorkoutType::mixed:
      return "mixed";
  }
  return "";
}

template <>
std::optional<WorkoutType> fromRawValue<WorkoutType>(std::string_view text) {
  return detail::caseWithRawValue(WorkoutTypeAllCases, text);
}

std::string qualifiedName(WorkoutType type) {
  return describe::qualifiedCase("WorkoutType", rawValue(type));
}

std::optional<HeartRate> HeartRate::decode(const platform::KeyedUnarchiver& coder) {
  std::int64_t bmp = 0;
  if (coder.containsValue("bmp")) {
    const auto value = coder.decodeInteger("bmp");
    if (!value || *value < 0 || *value > 0xFFFF) return std::nullopt;
    bmp = *value;
  }
  const auto date = coder.decodeDate("date");
  if (!date) return std::nullopt;
  std::optional<WorkoutType> type;
  if (const auto text = coder.decodeString("type")) type = fromRawValue<WorkoutType>(*text);
  return HeartRate(static_cast<std::uint16_t>(bmp), *date, type);
}

void HeartRate::encode(platform::KeyedArchiver& coder) const {
  coder.encode(platform::ArchiveValue(static_cast<std::int64_t>(bmp)), "bmp");
  coder.encode(date, "date");
  coder.encode(type ? platform::ArchiveValue(rawValue(*type)) : platform::ArchiveValue(), "type");
}

std::string HeartRate::description() const {
  std::string text = "HeartRate: bmp = " + std::to_string(bmp);
  text += " timestamp = " + describe::number(date.timeIntervalSince1970());
  text += " type = ";
  text += describe::optional(type, qualifiedName);
  text += "\n";
  return text;
}

}  // namespace talvaren
