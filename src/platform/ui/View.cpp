#include "talvaren/platform/ui/View.hpp"

#include <algorithm>

namespace talvaren::platform::ui {

void View::addSubview(const std::shared_ptr<View>& view) {
  if (!view) return;
  for (auto* ancestor = this; ancestor; ancestor = ancestor->superview_.lock().get()) {
    if (ancestor == view.get()) return;
  }
  view->removeFromSuperview();
  subviews_.push_back(view);
  view->superview_ = weak_from_this();
}

void View::removeFromSuperview() {
  auto parent = superview_.lock();
  superview_.reset();
  if (!parent) return;
  auto& siblings = parent->subviews_;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [this](const auto& v) { return v.get() == this; }),
                 siblings.end());
}

}  // namespace talvaren::platform::ui
