#pragma once
// The status bar above the application's screens: only its height in points, which the host sets
// (0, no status bar, until then). Screens read it each time they lay themselves out.

#include "talvaren/platform/Screen.hpp"

namespace talvaren::platform::ui {

class StatusBar {
 public:
  static double height();
  /// Negative and non-finite heights are taken as 0.
  static void setHeight(double height);
  /// The bar's frame: the main screen's width, `height()` high, at the top.
  static Rect frame();
};

}  // namespace talvaren::platform::ui
