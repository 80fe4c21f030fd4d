// The strings tables of a bundle ("<language>.lproj/<table>.strings"): the text in UTF-8 or UTF-16, read
// into a table of keys and values.

#include "talvaren/platform/Bundle.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/TextEncoding.hpp"
#include "talvaren/platform/HexText.hpp"

namespace talvaren::platform {
namespace {

constexpr std::uint32_t ReplacementCharacter = 0xFFFD;

void appendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) codePoint = ReplacementCharacter;
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

/// The content as UTF-8: a UTF-8 byte-order mark is dropped, UTF-16 with a mark is converted.
std::optional<std::string> toUtf8(std::string_view content) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(content[i]); };
  if (content.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) content.remove_prefix(3);
  bool little = content.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
  bool big = content.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
  if (!little && !big) {
    if (!detail::isValidUtf8(content)) return std::nullopt;
    return std::string(content);
  }
  if (content.size() % 2 != 0) return std::nullopt;
  std::string out;
  std::optional<std::uint32_t> high;
  for (std::size_t i = 2; i < content.size(); i += 2) {
    std::uint32_t unit = little ? (byte(i) | (byte(i + 1) << 8)) : ((byte(i) << 8) | byte(i + 1));
    if (high) {
      if (!isLowSurrogate(unit)) return std::nullopt;
      appendUtf8(out, 0x10000 + ((*high - 0xD800) << 10) + (unit - 0xDC00));
      high.reset();
    } else if (isHighSurrogate(unit)) {
      high = unit;
    } else if (isLowSurrogate(unit)) {
      return std::nullopt;
    } else {
      appendUtf8(out, unit);
    }
  }
  if (high) return std::nullopt;
  return out;
}

class StringsParser {
 public:
  explicit StringsParser(std::string_view text) : text_(text) {}

  std::optional<Bundle::StringTable> parse() {
    Bundle::StringTable table;
    for (;;) {
      if (!skipTrivia()) return std::nullopt;
      if (atEnd()) return table;
      auto key = token();
      if (!key || !skipTrivia() || atEnd()) return std::nullopt;
      std::string value;
      if (peek() == ';') {
        value = *key;
      } else if (peek() == '=') {
        ++position_;
        if (!skipTrivia()) return std::nullopt;
        auto parsed = token();
        if (!parsed || !skipTrivia() || atEnd() || peek() != ';') return std::nullopt;
        value = std::move(*parsed);
      } else {
        return std::nullopt;
      }
      ++position_;  // the ';'
      table[std::move(*key)] = std::move(value);
    }
  }

 private:
  bool atEnd() const { return position_ >= text_.size(); }
  char peek(std::size_t ahead = 0) const {
    return position_ + ahead < text_.size() ? text_[position_ + ahead] : '\0';
  }

  /// Skips white space and comments; false for a comment that never ends.
  bool skipTrivia() {
    while (!atEnd()) {
      char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++position_;
      } else if (c == '/' && peek(1) == '*') {
        auto end = text_.find("*/", position_ + 2);
        if (end == std::string_view::npos) return false;
        position_ = end + 2;
      } else if (c == '/' && peek(1) == '/') {
        auto end = text_.find('\n', position_ + 2);
        position_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else {
        break;
      }
    }
    return true;
  }

  static bool isUnquoted(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
  }

  std::optional<std::string> token() {
    if (peek() == '"') return quoted();
    std::size_t start = position_;
    while (!atEnd() && isUnquoted(peek())) ++position_;
    if (position_ == start) return std::nullopt;
    return std::string(text_.substr(start, position_ - start));
  }

  /// Reads the 1 to 4 hex digits of a \U escape at the current position.
  std::optional<std::uint32_t> unicodeUnit() {
    std::uint32_t unit = 0;
    int digits = 0;
    while (digits < 4 && hexDigitValue(peek()) >= 0) {
      unit = unit * 16 + static_cast<std::uint32_t>(hexDigitValue(peek()));
      ++position_;
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    return unit;
  }

  std::optional<std::string> quoted() {
    ++position_;  // the opening quote
    std::string out;
    for (;;) {
      if (atEnd()) return std::nullopt;
      char c = text_[position_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (atEnd()) return std::nullopt;
      char escape = text_[position_++];
      switch (escape) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'U':
        case 'u': {
          auto unit = unicodeUnit();
          if (!unit) return std::nullopt;
          std::uint32_t codePoint = *unit;
          if (isHighSurrogate(codePoint) && peek() == '\\' && (peek(1) == 'U' || peek(1) == 'u')) {
            std::size_t mark = position_;
            position_ += 2;
            auto low = unicodeUnit();
            if (low && isLowSurrogate(*low)) {
              codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (*low - 0xDC00);
            } else {
              position_ = mark;  // not a pair: the next escape stands on its own
            }
          }
          appendUtf8(out, codePoint);  // a lone surrogate becomes U+FFFD
          break;
        }
        default:
          if (escape >= '0' && escape <= '7') {
            std::uint32_t value = static_cast<std::uint32_t>(escape - '0');
            for (int k = 0; k < 2 && peek() >= '0' && peek() <= '7'; ++k) {
              value = value * 8 + static_cast<std::uint32_t>(text_[position_++] - '0');
            }
            appendUtf8(out, value);
          } else {
            out += escape;  // \" \\ \' and any other character stand for themselves
          }
      }
    }
  }

  std::string_view text_;
  std::size_t position_ = 0;
};

}  // namespace

std::optional<Bundle::StringTable> Bundle::parseStrings(std::string_view content) {
  auto text = toUtf8(content);
  if (!text) return std::nullopt;
  auto table = StringsParser(*text).parse();
  if (!table) return std::nullopt;
  // Octal escapes may spell bytes that are not UTF-8 on their own; they were taken as code points,
  // so every text here is well-formed.
  return table;
}

}  // namespace talvaren::platform
