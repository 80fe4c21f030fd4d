#pragma once
// JSON text read for a test's expectations: what does not parse reads as null.
#include <string_view>

#include "talvaren/platform/Json.hpp"

namespace talvaren::testkit {

inline platform::JSON parsed(std::string_view text) { return platform::Json::parse(text).value_or(platform::JSON()); }

}  // namespace talvaren::testkit
