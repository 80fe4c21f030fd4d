#include "talvaren/platform/ui/Storyboard.hpp"

#include <variant>

#include "platform/FileIO.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/ui/ClassRegistry.hpp"

namespace talvaren::platform::ui {

std::shared_ptr<const Storyboard> Storyboard::named(const std::string& name, const std::shared_ptr<Bundle>& bundle) {
  auto path = bundle ? bundle->pathForResource(name, "storyboard") : std::nullopt;
  if (!path) {
    console::print("Could not find a storyboard named " + name);
    return nullptr;
  }
  auto content = detail::readWholeFile(*path);
  std::optional<JSON> document;
  if (auto* text = std::get_if<std::string>(&content)) document = Json::parse(*text);
  const JSON* scenes = document ? Json::member(*document, "scenes") : nullptr;
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
