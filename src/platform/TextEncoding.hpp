#pragma once
// Internal interface of platform (for the engines, utilities and api): Base64 for bytes kept in text
// files and headers, and the kit's one test of well-formed UTF-8.

#include <optional>
#include <string>
#include <string_view>

namespace talvaren::platform::detail {

std::string base64Encode(std::string_view bytes);
/// Standard alphabet with padding; anything else gives no value.
std::optional<std::string> base64Decode(std::string_view text);

/// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

}  // namespace talvaren::platform::detail
