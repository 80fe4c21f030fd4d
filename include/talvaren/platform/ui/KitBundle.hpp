#pragma once
// The kit's own resources bundle: the screens' layouts (storyboards, nibs) and pictures that ship with
// the library. They are compiled into the library from the source tree's resources/ folder when it is
// built, so a host needs no files of the kit at run time, wherever the kit was installed or built.

#include <memory>

#include "talvaren/platform/Bundle.hpp"

namespace talvaren::platform::ui {

class KitBundle {
 public:
  /// The bundle (held in memory: see Bundle::embedded), made once.
  static std::shared_ptr<Bundle> shared();
};

}  // namespace talvaren::platform::ui
