#pragma once
// The classes a layout file may name, by name. The layer's own views ("View", "Label", "Button",
// "ImageView", "TableView", "TableViewCell") are known from the start; a screen registers its own
// view controller and view classes before it loads a layout that names them. Thread-safe.

#include <functional>
#include <memory>
#include <string>

#include "talvaren/platform/ui/View.hpp"
#include "talvaren/platform/ui/ViewController.hpp"

namespace talvaren::platform::ui {

class Nib;

class ClassRegistry {
 public:
  using ViewFactory = std::function<std::shared_ptr<View>()>;
  /// Makes a controller whose root view is `layout` (null: the controller's own default view).
  using ViewControllerFactory = std::function<std::shared_ptr<ViewController>(std::shared_ptr<const Nib> layout)>;

  /// Registers (or replaces) the class `name`.
  static void registerView(const std::string& name, ViewFactory factory);
  static void registerViewController(const std::string& name, ViewControllerFactory factory);

  /// A new object of the class `name`; null for a class not registered.
  static std::shared_ptr<View> makeView(const std::string& name);
  static std::shared_ptr<ViewController> makeViewController(const std::string& name, std::shared_ptr<const Nib> layout);
};

}  // namespace talvaren::platform::ui
