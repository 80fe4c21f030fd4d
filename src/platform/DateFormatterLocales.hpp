#pragma once
// Private to the date formatter: month and weekday names and the full date pattern of each language
// it knows, and case folding for reading names back.

#include <array>
#include <string>
#include <string_view>

#include "talvaren/platform/Calendar.hpp"

namespace talvaren::platform::detail {

struct LanguageNames {
  std::string_view fullDatePattern;
  std::array<std::string_view, 12> months;
  std::array<std::string_view, 12> shortMonths;
  std::array<std::string_view, 7> weekdays;  // Sunday first
  std::array<std::string_view, 7> shortWeekdays;
};

/// The names of the locale's language; en_US for a language not known here.
const LanguageNames& namesFor(const Locale& locale);

/// Lower case for ASCII and the Latin-1 letters (À to Þ), the letters of the known names; other
/// bytes are kept. The result has the same length in bytes.
std::string foldCase(std::string_view text);

}  // namespace talvaren::platform::detail
