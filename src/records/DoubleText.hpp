#pragma once
// The text of a floating-point value as the kit's descriptions and log lines print it: the shortest
// decimal form that reads back as the same number, with ".0" when it is whole ("1577836800.0"),
// switching to exponent form for very large or very small magnitudes ("1e+16", "1e-05").

#include <charconv>
#include <cmath>
#include <string>

namespace talvaren::detail {

inline std::string shortestDoubleText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[64];
  const double magnitude = std::fabs(value);
  const bool exponent = magnitude > 0x1.0p54 || (magnitude != 0 && magnitude < 1e-4);
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                              exponent ? std::chars_format::scientific : std::chars_format::fixed);
  std::string text(buffer, result.ptr);
  if (!exponent && text.find('.') == std::string::npos) text += ".0";
  return text;
}

}  // namespace talvaren::detail
