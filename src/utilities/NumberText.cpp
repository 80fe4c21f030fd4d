#include "utilities/NumberText.hpp"

#include <locale.h>

#include <charconv>
#include <cstdlib>
#include <limits>

#include "talvaren/platform/HexText.hpp"

namespace talvaren::detail {
namespace {

// The C locale as a handle, so that reading numbers ignores whatever locale the host has set.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

std::optional<double> decimalNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const auto first = static_cast<unsigned char>(text.front());
  if (first == ' ' || (first >= '\t' && first <= '\r')) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const double value = cLocale() != static_cast<locale_t>(nullptr) ? strtod_l(copy.c_str(), &end, cLocale())
                                                                   : std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> wholeNumber(std::string_view text, int radix) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulated as a negative number, so that the lowest value fits.
  constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  for (const char c : text) {
    const int digit = radix == 16 ? platform::hexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return std::nullopt;
    if (value < (lowest + digit) / radix) return std::nullopt;
    value = value * radix - digit;
  }
  if (negative) return value;
  if (value == lowest) return std::nullopt;
  return -value;
}

std::string twoDecimals(double value) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0.00");
}

}  // namespace talvaren::detail
