#pragma once
// Byte-buffer helpers: the hex command text of strap commands to bytes, and the MD5 digest text of a
// downloaded firmware package.

#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Error.hpp"

namespace talvaren {

/// Two hex digits per byte, high nibble first; "0"-"9", "a"-"f" and "A"-"F" are accepted. A text of
/// odd length is read with a "0" in front ("abc" as "0abc"); the empty text gives no bytes. Any other
/// character, white space, separator or "0x" prefix included, gives nothing: no partial buffer.
std::optional<Bytes> dataFromHexEncodedString(std::string_view text);

/// The MD5 digest of all bytes as 32 lower-case hex digits.
std::string md5(const Bytes& data);

}  // namespace talvaren
