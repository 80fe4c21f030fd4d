#pragma once
// The device's main screen: only its bounds, in points, which the host sets (zero until then).

namespace talvaren::platform {

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  friend bool operator==(const Rect&, const Rect&) = default;
};

class Screen {
 public:
  static Rect mainBounds();
  static void setMainBounds(const Rect& bounds);
};

}  // namespace talvaren::platform
