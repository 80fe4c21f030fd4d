#include "talvaren/platform/ui/StatusBar.hpp"

#include <atomic>
#include <cmath>

namespace talvaren::platform::ui {

namespace {
std::atomic<double> barHeight{0};
}

double StatusBar::height() { return barHeight.load(); }

void StatusBar::setHeight(double height) { barHeight.store(std::isfinite(height) && height > 0 ? height : 0); }

Rect StatusBar::frame() { return {0, 0, Screen::mainBounds().width, height()}; }

}  // namespace talvaren::platform::ui
