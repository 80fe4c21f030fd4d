#pragma once
// The kit's own resources bundle: the screens' layouts (storyboards, nibs) and pictures that ship with
// the library. They are installed beside it under "<prefix>/share/TalvarenKit"; the kit looks there
// relative to the binary that holds it (so a moved installation still finds them), then at the
// installation prefix it was built for, then in the source tree it was built from.

#include <memory>

#include "talvaren/platform/Bundle.hpp"

namespace talvaren::platform::ui {

class KitBundle {
 public:
  /// The bundle, found once; the empty bundle (no resources) when no candidate folder holds them.
  static std::shared_ptr<Bundle> shared();
};

}  // namespace talvaren::platform::ui
