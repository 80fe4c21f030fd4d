#pragma once
// Private: locale-independent Unicode lower-casing of UTF-8 text, for the strap-name tests.

#include <string>
#include <string_view>

namespace talvaren::detail {

/// The text with every letter replaced by its lower-case form, the same in every locale. Covers the
/// cased letters of the Latin, Greek, Cyrillic and Armenian blocks, the letter-like signs (KELVIN SIGN
/// becomes "k", ANGSTROM SIGN "å"), Roman numerals, circled and full-width Latin letters; İ becomes
/// "i" followed by U+0307 COMBINING DOT ABOVE. Bytes that are no valid UTF-8 are kept as they are.
///
/// The name tests search for ASCII substrings. Of all Unicode characters, only KELVIN SIGN and İ
/// lower-case into ASCII letters, and every byte of a non-ASCII character is above 0x7F, so for
/// those searches this agrees exactly with a complete Unicode lower-casing.
std::string lowercased(std::string_view text);

}  // namespace talvaren::detail
