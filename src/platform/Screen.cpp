#include "talvaren/platform/Screen.hpp"

#include <mutex>

namespace talvaren::platform {
namespace {

struct ScreenState {
  std::mutex mutex;
  Rect bounds;
};

ScreenState& screenState() {
  static auto& state = *new ScreenState();
  return state;
}

}  // namespace

Rect Screen::mainBounds() {
  std::lock_guard lock(screenState().mutex);
  return screenState().bounds;
}

void Screen::setMainBounds(const Rect& bounds) {
  std::lock_guard lock(screenState().mutex);
  screenState().bounds = bounds;
}

}  // namespace talvaren::platform
