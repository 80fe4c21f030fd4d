#pragma once
// Internal interface of platform (for the http and oauth engines): the kit's one percent-encoder. Each
// caller decides which bytes stay as they are; every other byte becomes "%XX" with upper-case hexadecimal
// digits (texts are taken as their UTF-8 bytes):
//
//   OAuth signing (RFC 5849 3.6)        the RFC 3986 unreserved characters only
//   URL query components                unreserved, "/" and "?" (plain in a query, RFC 3986 3.4)
//   URL path segments                   unreserved only
//   redirect targets                    every byte a URL may hold literally, and "%" before two hex digits
//   keychain file names                 ALPHA, DIGIT, "-", "_", and "." except first (no hidden or dot
//                                       names); "~" is escaped, so names written so far keep their form
//
// and its one reader of such escapes, which OAuth's form decoding, redirect targets and the redaction of
// form items' names share.

#include <cstddef>
#include <string>
#include <string_view>

#include "talvaren/platform/HexText.hpp"

namespace talvaren::platform::detail {

/// ALPHA, DIGIT, "-", ".", "_" and "~" (RFC 3986 2.3).
constexpr bool isUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

/// `text` with every byte for which `plain(byte, position)` is false written as "%XX".
template <class Plain>
std::string percentEscape(std::string_view text, Plain plain) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (plain(c, i)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hexDigit(c >> 4, true));
      out.push_back(hexDigit(c, true));
    }
  }
  return out;
}

/// The byte the escape "%XX" at `i` of `text` stands for (hex digits of either case), or -1 when none starts
/// there.
constexpr int percentEscapedByte(std::string_view text, std::size_t i) {
  if (i + 2 >= text.size() || text[i] != '%') return -1;
  const int high = hexDigitValue(text[i + 1]);
  const int low = hexDigitValue(text[i + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

/// `text` with every "%XX" escape undone; a "%" that starts none stays as it is.
inline std::string percentUnescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = percentEscapedByte(text, i);
    out.push_back(byte < 0 ? text[i] : static_cast<char>(byte));
    if (byte >= 0) i += 2;
  }
  return out;
}

/// `text` with every byte but the unreserved ones written as "%XX".
inline std::string percentEscapeReserved(std::string_view text) {
  return percentEscape(text, [](unsigned char c, std::size_t) { return isUnreserved(c); });
}

}  // namespace talvaren::platform::detail
