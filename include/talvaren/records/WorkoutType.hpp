#pragma once
// The kind of workout that a heart-rate sample from a strap's history may carry.

#include <optional>
#include <string>
#include <string_view>

namespace talvaren {

/// Text raw values "strength", "cardio" and "mixed", in this case order.
enum class WorkoutType { strength, cardio, mixed };

/// The raw value of `type`: "strength", "cardio" or "mixed".
std::string_view rawValue(WorkoutType type);

/// The case whose raw value is exactly `text` (case-sensitive, whole text); none for any other text.
std::optional<WorkoutType> workoutTypeFromRawValue(std::string_view text);

/// The module-qualified case name, as a description prints it: "TalvarenKit.WorkoutType.cardio".
std::string qualifiedName(WorkoutType type);

}  // namespace talvaren
