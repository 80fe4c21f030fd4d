#pragma once
// Private: strict whole-text integer reading and base-16 writing shared by the hex utilities.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvaren::detail {

/// The whole text as a signed 64-bit integer in `radix` (10 or 16): an optional "+" or "-", then one
/// or more digits, nothing else; nothing when the text is no such number or the value does not fit.
std::optional<std::int64_t> parseInteger(std::string_view text, int radix);

/// The value in lower-case base 16 without leading zeros; a negative value gets a leading "-".
std::string lowerHex(std::int64_t value);

}  // namespace talvaren::detail
