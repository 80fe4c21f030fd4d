#include "Lowercase.hpp"

#include <cstdint>

namespace talvaren::detail {
namespace {

bool inRange(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

/// Lower case within a block where upper- and lower-case letters alternate; `upperIsEven` tells
/// which of each pair is the capital.
char32_t alternating(char32_t c, bool upperIsEven) {
  return ((c % 2 == 0) == upperIsEven) ? c + 1 : c;
}

char32_t lowerOf(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  // Latin-1 Supplement, Latin Extended-A.
  if (inRange(c, 0x00C0, 0x00DE) && c != 0x00D7) return c + 32;
  if (inRange(c, 0x0100, 0x012F) || inRange(c, 0x0132, 0x0137) || inRange(c, 0x014A, 0x0177)) {
    return alternating(c, true);
  }
  if (inRange(c, 0x0139, 0x0148) || inRange(c, 0x0179, 0x017E)) return alternating(c, false);
  if (c == 0x0178) return 0x00FF;
  // Greek.
  if (inRange(c, 0x0391, 0x03A1) || inRange(c, 0x03A3, 0x03AB)) return c + 32;
  if (c == 0x0386) return 0x03AC;
  if (inRange(c, 0x0388, 0x038A)) return c + 37;
  if (c == 0x038C) return 0x03CC;
  if (inRange(c, 0x038E, 0x038F)) return c + 63;
  if (inRange(c, 0x03D8, 0x03EF)) return alternating(c, true);
  // Cyrillic.
  if (inRange(c, 0x0400, 0x040F)) return c + 80;
  if (inRange(c, 0x0410, 0x042F)) return c + 32;
  if (inRange(c, 0x0460, 0x0481) || inRange(c, 0x048A, 0x04BF) || inRange(c, 0x04D0, 0x052F)) {
    return alternating(c, true);
  }
  if (c == 0x04C0) return 0x04CF;
  if (inRange(c, 0x04C1, 0x04CE)) return alternating(c, false);
  // Armenian.
  if (inRange(c, 0x0531, 0x0556)) return c + 48;
  // Latin Extended Additional.
  if (inRange(c, 0x1E00, 0x1E95) || inRange(c, 0x1EA0, 0x1EFF)) return alternating(c, true);
  if (c == 0x1E9E) return 0x00DF;
  // Letter-like symbols, number forms, enclosed and full-width letters.
  if (c == 0x2126) return 0x03C9;
  if (c == 0x212A) return 'k';
  if (c == 0x212B) return 0x00E5;
  if (inRange(c, 0x2160, 0x216F)) return c + 16;
  if (inRange(c, 0x24B6, 0x24CF)) return c + 26;
  if (inRange(c, 0xFF21, 0xFF3A)) return c + 32;
  return c;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

/// Decodes one well-formed UTF-8 sequence at `i`; its length in `length`, or 0 when it is malformed
/// (overlong forms, surrogates and values past U+10FFFF included).
char32_t decode(std::string_view text, std::size_t i, std::size_t& length) {
  const auto lead = static_cast<std::uint8_t>(text[i]);
  std::size_t need;
  char32_t c;
  char32_t minimum;
  if (lead < 0x80) {
    length = 1;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    need = 1, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    need = 2, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    need = 3, c = lead & 0x07, minimum = 0x10000;
  } else {
    length = 0;
    return 0;
  }
  if (text.size() - i <= need) {
    length = 0;
    return 0;
  }
  for (std::size_t k = 1; k <= need; ++k) {
    const auto next = static_cast<std::uint8_t>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      length = 0;
      return 0;
    }
    c = (c << 6) | (next & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || inRange(c, 0xD800, 0xDFFF)) {
    length = 0;
    return 0;
  }
  length = need + 1;
  return c;
}

}  // namespace

std::string lowercased(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    const char32_t c = decode(text, i, length);
    if (length == 0) {
      out.push_back(text[i]);
      ++i;
      continue;
    }
    if (c == 0x0130) {
      out.push_back('i');
      appendUtf8(out, 0x0307);
    } else {
      appendUtf8(out, lowerOf(c));
    }
    i += length;
  }
  return out;
}

}  // namespace talvaren::detail
