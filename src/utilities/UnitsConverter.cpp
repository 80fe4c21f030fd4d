#include "talvaren/utilities/UnitsConverter.hpp"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "utilities/NumberText.hpp"

namespace talvaren {
namespace {

using detail::twoDecimals;

std::optional<double> number(std::string_view text) { return detail::decimalNumber(text); }

std::string whole(std::int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

const std::string noNumber = "0.00";

}  // namespace

std::string UnitsConverter::weightToKg(std::string_view weightInLbs) {
  auto pounds = number(weightInLbs);
  return pounds ? twoDecimals(*pounds * lbsToKg) : noNumber;
}

std::string UnitsConverter::weightToLbs(std::string_view weightInKgs) {
  auto kilograms = number(weightInKgs);
  return kilograms ? twoDecimals(*kilograms / lbsToKg) : noNumber;
}

std::string UnitsConverter::heightToCm(std::string_view ftValue, std::string_view inValue) {
  auto feet = number(ftValue);
  if (!feet) return noNumber;
  auto inches = number(inValue);
  if (!inches) return noNumber;
  return twoDecimals(*feet * feetToCm + *inches * inchToCm);
}

std::string UnitsConverter::heightToCm(std::string_view inValue) {
  auto inches = number(inValue);
  return inches ? twoDecimals(*inches * inchToCm) : noNumber;
}

std::string UnitsConverter::heightToIn(std::string_view heightInCm) {
  auto centimetres = number(heightInCm);
  return centimetres ? twoDecimals(*centimetres / inchToCm) : noNumber;
}

std::vector<std::string> UnitsConverter::heightToFtIn(std::string_view heightInCm) {
  auto centimetres = number(heightInCm);
  if (!centimetres) return {"0", noNumber};
  double feet = std::trunc(*centimetres / feetToCm);
  // Whole feet must fit a 64-bit integer: [-2^63, 2^63).
  constexpr double limit = 9223372036854775808.0;
  if (!std::isfinite(feet) || feet < -limit || feet >= limit) return {"0", noNumber};
  auto wholeFeet = static_cast<std::int64_t>(feet);
  double inches = (*centimetres - static_cast<double>(wholeFeet) * feetToCm) / inchToCm;
  return {whole(wholeFeet), twoDecimals(inches)};
}

float UnitsConverter::metersToMiles(float meters) { return meters * metersToMilesFactor; }

}  // namespace talvaren
