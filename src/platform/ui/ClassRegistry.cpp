#include "talvaren/platform/ui/ClassRegistry.hpp"

#include <map>
#include <mutex>

#include "talvaren/platform/ui/Button.hpp"
#include "talvaren/platform/ui/ImageView.hpp"
#include "talvaren/platform/ui/Label.hpp"
#include "talvaren/platform/ui/TableView.hpp"
#include "talvaren/platform/ui/TableViewCell.hpp"

namespace talvaren::platform::ui {
namespace {

template <typename V>
ClassRegistry::ViewFactory make() {
  return [] { return std::make_shared<V>(); };
}

struct Registry {
  std::mutex mutex;
  std::map<std::string, ClassRegistry::ViewFactory> views{
      {"View", make<View>()},           {"Label", make<Label>()},         {"Button", make<Button>()},
      {"ImageView", make<ImageView>()}, {"TableView", make<TableView>()}, {"TableViewCell", make<TableViewCell>()}};
  std::map<std::string, ClassRegistry::ViewControllerFactory> controllers;
};

Registry& registry() {
  static auto& r = *new Registry();
  return r;
}

}  // namespace

void ClassRegistry::registerView(const std::string& name, ViewFactory factory) {
  std::lock_guard lock(registry().mutex);
  registry().views[name] = std::move(factory);
}

void ClassRegistry::registerViewController(const std::string& name, ViewControllerFactory factory) {
  std::lock_guard lock(registry().mutex);
  registry().controllers[name] = std::move(factory);
}

std::shared_ptr<View> ClassRegistry::makeView(const std::string& name) {
  ViewFactory factory;
  {
    std::lock_guard lock(registry().mutex);
    if (auto it = registry().views.find(name); it != registry().views.end()) factory = it->second;
  }
  return factory ? factory() : nullptr;
}

std::shared_ptr<ViewController> ClassRegistry::makeViewController(const std::string& name,
                                                                  std::shared_ptr<const Nib> layout) {
  ViewControllerFactory factory;
  {
    std::lock_guard lock(registry().mutex);
    if (auto it = registry().controllers.find(name); it != registry().controllers.end()) factory = it->second;
  }
  return factory ? factory(std::move(layout)) : nullptr;
}

}  // namespace talvaren::platform::ui
