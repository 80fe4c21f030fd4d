#pragma once
// Private: base-16 writing shared by the hex utilities (their whole-text integer reading is
// detail::wholeNumber, utilities/NumberText.hpp).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvaren::detail {

/// The value in lower-case base 16 without leading zeros; a negative value gets a leading "-".
std::string lowerHex(std::int64_t value);

}  // namespace talvaren::detail
