#pragma once
// The kind of workout that a heart-rate sample from a strap's history may carry.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/RawValue.hpp"

namespace talvaren {

/// Text raw values "strength", "cardio" and "mixed", in this case order.
enum class WorkoutType { strength, cardio, mixed };

inline constexpr std::array<WorkoutType, 3> WorkoutTypeAllCases = {WorkoutType::strength, WorkoutType::cardio,
                                                                   WorkoutType::mixed};

template <>
struct RawValueOf<WorkoutType> {
  using type = std::string_view;
};

/// The raw value of `type`: "strength", "cardio" or "mixed".
std::string_view rawValue(WorkoutType type);

/// The case whose raw value is exactly `text` (case-sensitive, whole text); none for any other text.
template <>
std::optional<WorkoutType> fromRawValue<WorkoutType>(std::string_view text);

/// The module-qualified case name, as a description prints it: "TalvarenKit.WorkoutType.cardio".
std::string qualifiedName(WorkoutType type);

}  // namespace talvaren
