#pragma once
// Private: the kit's resources, compiled into the library from resources/ by cmake/EmbedResources.cmake.

#include "talvaren/platform/Bundle.hpp"

namespace talvaren::platform::ui::detail {

/// Every file of resources/, by file name, its bytes in static storage.
Bundle::EmbeddedResources kitResources();

}  // namespace talvaren::platform::ui::detail
