#pragma once
// Internal interface of utilities (for importers): numbers read from and written to text in the C locale, whatever
// locale the host has set.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvaren::detail {

/// The number the whole text reads as: an optional sign, digits with "." as the decimal point, an
/// optional exponent (or "inf", "nan", a hexadecimal number); no surrounding blanks. Absent otherwise.
std::optional<double> decimalNumber(std::string_view text);

/// A whole number as a platform integer parse reads it: an optional "+" or "-", then one or more ASCII
/// digits of `radix` (10, or 16 with digits of either case) and nothing else, within the range of int64
/// ("+12" is 12; " 12", "12.5", "" and overflow are absent).
std::optional<std::int64_t> wholeNumber(std::string_view text, int radix = 10);

/// "%.2f": two decimals after a point.
std::string twoDecimals(double value);

}  // namespace talvaren::detail
