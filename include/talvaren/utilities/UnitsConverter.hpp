#pragma once
// Weight and height between metric and imperial units for the host's profile forms, which hold
// numbers as text, the bounds those forms accept, and metres to miles.
//
// A text is read as a number only when the whole of it is one, in the C locale: an optional sign,
// digits with "." as the decimal point, an optional exponent (or "inf", "nan", a hexadecimal number);
// no surrounding blanks, no thousands separators. Results are written "%.2f" in the C locale.

#include <string>
#include <string_view>
#include <vector>

namespace talvaren {

class UnitsConverter {
 public:
  /// Bounds of the profile forms; the kit only publishes them.
  static constexpr double WEIGHT_MINIMAL = 34.0;       // kg
  static constexpr double WEIGHT_MAXIMUM = 182.0;      // kg
  static constexpr double HEIGHT_MINIMAL = 120.0;      // cm
  static constexpr double HEIGHT_MAXIMUM = 214.0;      // cm
  static constexpr double WEIGHT_MINIMAL_LBS = 80.0;   // lb
  static constexpr double WEIGHT_MAXIMUM_LBS = 400.0;  // lb
  static constexpr double HEIGHT_MINIMAL_IN = 48.0;    // in
  static constexpr double HEIGHT_MAXIMUM_IN = 84.0;    // in

  UnitsConverter() = default;

  /// Pounds to kilograms; "0.00" when the text is no number.
  static std::string weightToKg(std::string_view weightInLbs);
  /// Kilograms to pounds; "0.00" when the text is no number.
  static std::string weightToLbs(std::string_view weightInKgs);
  /// Feet and inches to centimetres; "0.00" when either text is no number.
  static std::string heightToCm(std::string_view ftValue, std::string_view inValue);
  /// Inches to centimetres; "0.00" when the text is no number.
  static std::string heightToCm(std::string_view inValue);
  /// Centimetres to inches; "0.00" when the text is no number.
  static std::string heightToIn(std::string_view heightInCm);
  /// Centimetres to whole feet ("%d", cut toward zero) and the remaining inches ("%.2f"): "180" gives
  /// {"5", "10.87"}. {"0", "0.00"} when the text is no number, or when its feet are not finite or do
  /// not fit a 64-bit integer.
  static std::vector<std::string> heightToFtIn(std::string_view heightInCm);
  /// Metres to miles, in single precision.
  static float metersToMiles(float meters);

 private:
  static constexpr double lbsToKg = 0.45359237;
  static constexpr double feetToCm = 30.48;
  static constexpr double inchToCm = 2.54;
  static constexpr float metersToMilesFactor = 0.00062137f;
};

}  // namespace talvaren
