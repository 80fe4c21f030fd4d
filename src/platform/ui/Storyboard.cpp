#include "talvaren/platform/ui/Storyboard.hpp"

#include "platform/ui/LayoutFile.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/ui/ClassRegistry.hpp"

namespace talvaren::platform::ui {

std::shared_ptr<const Storyboard> Storyboard::named(const std::string& name, const std::shared_ptr<Bundle>& bundle) {
  auto document = detail::readLayoutFile(name, "storyboard", bundle);
  if (!document) return nullptr;
  const JSON* scenes = Json::member(*document, "scenes");
  auto storyboard = std::make_shared<Storyboard>();
  storyboard->name_ = name;
  bool wellFormed = scenes != nullptr && scenes->is_object();
  if (wellFormed) {
    for (const auto& [identifier, scene] : scenes->items()) {
      auto className = Json::read<std::string>(scene, "class");
      const JSON* view = Json::member(scene, "view");
      Scene made{className.value_or(""), view ? Nib::fromDescription(*view, bundle) : nullptr};
      if (!className || (view && !made.layout)) {
        wellFormed = false;
        break;
      }
      storyboard->scenes_.emplace(identifier, std::move(made));
    }
  }
  if (!wellFormed) {
    console::print("The storyboard named " + name + " is not a storyboard");
    return nullptr;
  }
  return storyboard;
}

std::shared_ptr<ViewController> Storyboard::instantiateViewController(const std::string& identifier) const {
  auto scene = scenes_.find(identifier);
  if (scene == scenes_.end()) {
    console::print("Storyboard " + name_ + " has no view controller with the identifier " + identifier);
    return nullptr;
  }
  auto controller = ClassRegistry::makeViewController(scene->second.className, scene->second.layout);
  if (!controller) console::print("Unknown class " + scene->second.className + " in storyboard " + name_);
  return controller;
}

}  // namespace talvaren::platform::ui
