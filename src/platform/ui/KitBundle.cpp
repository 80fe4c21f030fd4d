#include "talvaren/platform/ui/KitBundle.hpp"

#include "platform/ui/KitResources.hpp"

namespace talvaren::platform::ui {

std::shared_ptr<Bundle> KitBundle::shared() {
  static const auto& bundle = *new std::shared_ptr<Bundle>(Bundle::embedded(detail::kitResources()));
  return bundle;
}

}  // namespace talvaren::platform::ui
