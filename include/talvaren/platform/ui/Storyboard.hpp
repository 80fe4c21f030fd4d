#pragma once
// A storyboard: screens by identifier, each a registered view controller class (ClassRegistry) with the
// layout of its root view. Read from "<name>.storyboard" in a bundle, a JSON document:
//
//   {"scenes": {"Welcome": {"class": "WelcomeViewController",
//                           "view": {"class": "View", "subviews": [...]}}}}
//
// where "view" is described as the root of a Nib. The controller loads that view when its view is
// first asked for.

#include <map>
#include <memory>
#include <string>

#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/ui/Nib.hpp"
#include "talvaren/platform/ui/ViewController.hpp"

namespace talvaren::platform::ui {

class Storyboard {
 public:
  /// The storyboard "<name>.storyboard" of `bundle`; null (with a console line) when it is missing or
  /// not a storyboard.
  static std::shared_ptr<const Storyboard> named(const std::string& name, const std::shared_ptr<Bundle>& bundle);

  /// A new controller of the scene `identifier`; null (with a console line) for an unknown scene or an
  /// unregistered class.
  std::shared_ptr<ViewController> instantiateViewController(const std::string& identifier) const;

 private:
  struct Scene {
    std::string className;
    std::shared_ptr<const Nib> layout;
  };
  std::string name_;
  std::map<std::string, Scene> scenes_;
};

}  // namespace talvaren::platform::ui
