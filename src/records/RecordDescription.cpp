#include "talvaren/records/RecordDescription.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "talvaren/platform/HexText.hpp"

namespace talvaren::describe {

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  auto escapeScalar = [&out](unsigned scalar) {
    out += "\\u{";
    out += platform::hexDigit(scalar >> 4, true);
    out += platform::hexDigit(scalar, true);
    out += '}';
  };
  out += '"';
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    auto byte = static_cast<unsigned char>(c);
    // U+0080 ... U+009F, the second block of control characters, is C2 80 ... C2 9F in UTF-8.
    if (byte == 0xC2 && i + 1 < text.size()) {
      auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9F) {
        escapeScalar(next);
        ++i;
        continue;
      }
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\0': out += "\\0"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          escapeScalar(byte);
        } else {
          out += c;  // printable ASCII and every byte of a multi-byte character stay as they are
        }
    }
  }
  out += '"';
  return out;
}

std::string number(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  std::string out = std::signbit(value) ? "-" : "";
  double magnitude = std::fabs(value);
  if (magnitude == 0) return out + "0.0";

  // The shortest digits that read back as the same double, as d.ddde±x.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
  std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
  auto e = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, e)) {
    if (c != '.') digits += c;
  }
  int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());

  if (exponent < -4 || magnitude > 9007199254740992.0 /* 2^53 */) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += exponent < 0 ? "e-" : "e+";
    int shown = std::abs(exponent);
    if (shown < 10) out += '0';
    out += std::to_string(shown);
    return out;
  }
  // Positional: the decimal point stands after `point` digits.
  int point = exponent + 1;
  auto count = static_cast<int>(digits.size());
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out += digits;
  } else if (point >= count) {
    out += digits;
    out.append(static_cast<std::size_t>(point - count), '0');
    out += ".0";
  } else {
    out.append(digits, 0, static_cast<std::size_t>(point));
    out += '.';
    out.append(digits, static_cast<std::size_t>(point));
  }
  return out;
}

std::string number(std::int64_t value) { return std::to_string(value); }

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string qualifiedCase(std::string_view typeName, std::string_view caseName) {
  std::string text = qualifiedType(typeName);
  text += '.';
  text += caseName;
  return text;
}

std::string qualifiedType(std::string_view typeName) {
  std::string text(moduleName);
  text += '.';
  text += typeName;
  return text;
}

OneLine::OneLine(std::string_view label) : text_(label) { text_ += ": "; }

OneLine& OneLine::field(std::string_view name, std::string_view value) {
  if (!first_) text_ += ", ";
  first_ = false;
  text_ += name;
  text_ += " = ";
  text_ += value;
  return *this;
}

MultiLine::MultiLine(std::string_view label) : text_(label) { text_ += ": \n"; }

MultiLine& MultiLine::field(std::string_view name, std::string_view value) {
  text_ += name;
  if (name.size() < nameWidth) text_.append(nameWidth - name.size(), ' ');
  text_ += "= ";
  text_ += value;
  text_ += '\n';
  return *this;
}

}  // namespace talvaren::describe
