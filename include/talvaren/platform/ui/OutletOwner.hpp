#pragma once
// An object a layout (Nib, Storyboard) connects views to by outlet name, and wakes once the layout's
// objects are all made and connected.

#include <memory>
#include <string>

#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

class OutletOwner {
 public:
  virtual ~OutletOwner() = default;
  /// Takes the view of the outlet `name`; false when there is no such outlet or the view is of the
  /// wrong class.
  virtual bool setOutlet(const std::string& name, const std::shared_ptr<View>& view) {
    (void)name, (void)view;
    return false;
  }
  /// Every outlet of the layout is connected.
  virtual void awakeFromNib() {}
};

}  // namespace talvaren::platform::ui
