#pragma once
// Private: the platform's conversions that the user defaults' typed reads follow, where a stored value
// of one kind is read as another.

#include <cstdint>
#include <string_view>

namespace talvaren::platform::detail {

/// A text's leading integer ("12", " -7x", "+3"), held at Int64's bounds; 0 when there is none.
std::int64_t integerOfText(std::string_view text);
/// A text's leading decimal number (" 7.5", "1e3x"): infinity or zero beyond a double's range, 0 when
/// there is none.
double doubleOfText(std::string_view text);
/// "YES", "true" (by the first letter, any case) or a leading number that is not 0.
bool boolOfText(std::string_view text);
/// A double truncated toward zero, held at Int64's bounds; NaN gives 0.
std::int64_t integerOfDouble(double value);

}  // namespace talvaren::platform::detail
