#pragma once
// Pictures by name from a bundle: "<name>.png" in the bundle (see Bundle::dataForResource). Each file
// or embedded picture is decoded once; every later look-up of the same file gives the same picture object, so a caller can
// tell which named picture a view shows by comparing pointers. Thread-safe.
//
//   auto mark = ImageAsset::named("green_check_icon", KitBundle::shared());

#include <memory>
#include <string_view>

#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/Image.hpp"

namespace talvaren::platform::ui {

class ImageAsset {
 public:
  /// The picture, or null when the bundle has no such PNG file or the file is not a readable picture.
  static std::shared_ptr<const Image> named(std::string_view name, const std::shared_ptr<Bundle>& bundle);
};

}  // namespace talvaren::platform::ui
