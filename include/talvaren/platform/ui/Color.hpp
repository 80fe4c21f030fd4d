#pragma once
// A colour as red, green, blue and alpha components from 0 to 1.

namespace talvaren::platform::ui {

struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 0;

  static constexpr Color clear() { return {0, 0, 0, 0}; }
  static constexpr Color black() { return {0, 0, 0, 1}; }
  static constexpr Color white() { return {1, 1, 1, 1}; }

  friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace talvaren::platform::ui
