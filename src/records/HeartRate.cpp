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

std::optional<WorkoutType> workoutTypeFromRawValue(std::string_view text) {
  for (auto type : {WorkoutType::strength, WorkoutType::cardio, WorkoutType::mixed}) {
    if (rawValue(type) == text) return type;
  }
  return std::nullopt;
}

std::string qualifiedName(WorkoutType type) {
  return describe::qualifiedCase("WorkoutType", rawValue(type));
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
