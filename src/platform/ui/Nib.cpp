#include "talvaren/platform/ui/Nib.hpp"

#include <vector>

#include "platform/ui/LayoutFile.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/ui/Button.hpp"
#include "talvaren/platform/ui/ClassRegistry.hpp"
#include "talvaren/platform/ui/ImageAsset.hpp"
#include "talvaren/platform/ui/ImageView.hpp"
#include "talvaren/platform/ui/Label.hpp"

namespace talvaren::platform::ui {
namespace {

bool isOptionalText(const JSON& node, std::string_view key) {
  const auto* value = Json::member(node, key);
  return value == nullptr || value->is_string();
}

/// A view description: an object with a class name, and well-formed optional keys, all the way down.
bool isViewDescription(const JSON& node) {
  if (!node.is_object() || !Json::read<std::string>(node, "class")) return false;
  for (auto key : {"outlet", "text", "title", "image"}) {
    if (!isOptionalText(node, key)) return false;
  }
  if (const auto* frame = Json::member(node, "frame")) {
    auto numbers = Json::as<std::vector<double>>(*frame);
    if (!numbers || numbers->size() != 4) return false;
  }
  if (const auto* subviews = Json::member(node, "subviews")) {
    if (!subviews->is_array()) return false;
    for (const auto& child : *subviews) {
      if (!isViewDescription(child)) return false;
    }
  }
  return true;
}

struct Builder {
  const std::shared_ptr<Bundle>& bundle;
  std::vector<std::pair<std::string, std::shared_ptr<View>>> outlets;
  std::vector<std::shared_ptr<View>> made;

  std::shared_ptr<View> build(const JSON& node) {
    const auto className = *Json::read<std::string>(node, "class");
    auto view = ClassRegistry::makeView(className);
    if (!view) {
      console::print("Unknown class " + className + " in a layout");
      return nullptr;
    }
    if (auto frame = Json::read<std::vector<double>>(node, "frame")) {
      view->setFrame({(*frame)[0], (*frame)[1], (*frame)[2], (*frame)[3]});
    }
    if (auto text = Json::read<std::string>(node, "text")) {
      if (auto label = std::dynamic_pointer_cast<Label>(view)) label->setText(*text);
    }
    if (auto title = Json::read<std::string>(node, "title")) {
      if (auto button = std::dynamic_pointer_cast<Button>(view)) button->setTitle(*title, ControlState::normal);
    }
    if (auto image = Json::read<std::string>(node, "image")) {
      if (auto imageView = std::dynamic_pointer_cast<ImageView>(view)) {
        imageView->setImage(ImageAsset::named(*image, bundle));
      }
    }
    if (const auto* subviews = Json::member(node, "subviews")) {
      for (const auto& child : *subviews) {
        auto subview = build(child);
        if (!subview) return nullptr;
        view->addSubview(subview);
      }
    }
    if (auto outlet = Json::read<std::string>(node, "outlet")) outlets.emplace_back(*outlet, view);
    made.push_back(view);
    return view;
  }
};

}  // namespace

std::shared_ptr<const Nib> Nib::named(const std::string& name, const std::shared_ptr<Bundle>& bundle) {
  auto document = detail::readLayoutFile(name, "nib", bundle);
  const JSON* root = document ? Json::member(*document, "root") : nullptr;
  auto nib = root ? fromDescription(*root, bundle) : nullptr;
  if (document && !nib) console::print("The nib named " + name + " is not a layout");
  return nib;
}

std::shared_ptr<const Nib> Nib::fromDescription(const nlohmann::json& root, std::shared_ptr<Bundle> bundle) {
  if (!isViewDescription(root)) return nullptr;
  return std::make_shared<const Nib>(root, std::move(bundle));
}

std::shared_ptr<View> Nib::instantiate(OutletOwner* owner) const {
  Builder builder{bundle_, {}, {}};
  auto root = builder.build(root_);
  if (!root) return nullptr;
  OutletOwner* target = owner != nullptr ? owner : dynamic_cast<OutletOwner*>(root.get());
  for (const auto& [name, view] : builder.outlets) {
    if (target == nullptr || !target->setOutlet(name, view)) {
      console::print("A layout's outlet " + name + " has no place to connect to");
    }
  }
  // Children were made before their parents, so the root is woken last.
  for (const auto& view : builder.made) {
    if (auto* awakening = dynamic_cast<OutletOwner*>(view.get())) awakening->awakeFromNib();
  }
  return root;
}

}  // namespace talvaren::platform::ui
