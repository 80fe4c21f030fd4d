#pragma once
// A layout: a tree of views, each of a registered class (ClassRegistry) with a frame, optional
// content, and optionally the name of an outlet it is connected to. Read from "<name>.nib" in a
// bundle, a JSON document:
//
//   {"root": {"class": "TableViewCell", "frame": [0, 0, 320, 44],
//             "subviews": [{"class": "Label", "outlet": "nameLabel", "frame": [16, 12, 288, 20],
//                           "text": "Name"}]}}
//
// Keys of a view: "class" (required), "frame" ([x, y, width, height]), "outlet", "subviews", and the
// content "text" (Label), "title" (Button, normal state) and "image" (ImageView, a picture name looked
// up in the nib's bundle). Every instantiation makes new views. Outlets connect to the given owner, or,
// without one, to the root view; then every view that is an OutletOwner, the root last, is woken with
// awakeFromNib.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/ui/OutletOwner.hpp"
#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

class Nib {
 public:
  /// The nib "<name>.nib" of `bundle`; null (with a console line) when it is missing or not a layout.
  static std::shared_ptr<const Nib> named(const std::string& name, const std::shared_ptr<Bundle>& bundle);
  /// A layout from its root view's description; null when the description is not a layout.
  static std::shared_ptr<const Nib> fromDescription(const nlohmann::json& root, std::shared_ptr<Bundle> bundle);

  /// New views of the layout, their outlets connected; null (with a console line) when a class is not
  /// registered.
  std::shared_ptr<View> instantiate(OutletOwner* owner = nullptr) const;

  Nib(nlohmann::json root, std::shared_ptr<Bundle> bundle) : root_(std::move(root)), bundle_(std::move(bundle)) {}

 private:
  nlohmann::json root_;
  std::shared_ptr<Bundle> bundle_;
};

}  // namespace talvaren::platform::ui
