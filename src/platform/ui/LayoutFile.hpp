#pragma once
// Reading the JSON document of a layout resource ("<name>.nib", "<name>.storyboard") from a bundle.

#include <memory>
#include <optional>
#include <string>

#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren::platform::ui::detail {

/// The parsed document of "<name>.<kind>" in `bundle`; nothing, with a console line, when the file is
/// missing or not JSON.
inline std::optional<JSON> readLayoutFile(const std::string& name, const std::string& kind,
                                          const std::shared_ptr<Bundle>& bundle) {
  if (!bundle || (!bundle->embeddedResource(name, kind) && !bundle->pathForResource(name, kind))) {
    console::print("Could not find a " + kind + " named " + name);
    return std::nullopt;
  }
  auto text = bundle->dataForResource(name, kind);
  auto document = text ? Json::parse(*text) : std::nullopt;
  if (!document) console::print("The " + kind + " named " + name + " could not be read");
  return document;
}

}  // namespace talvaren::platform::ui::detail
