#include "talvaren/platform/ui/KitBundle.hpp"

#include <dlfcn.h>

#include <system_error>
#include <vector>

namespace talvaren::platform::ui {
namespace {

/// A folder of the kit's resources: it holds the information file naming the kit.
bool holdsKitResources(const std::filesystem::path& folder) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(folder / "Info.json", error)) return false;
  Bundle candidate(folder);
  auto name = candidate.objectForInfoDictionaryKey("CFBundleName");
  return name && name->is_string() && name->get_ref<const std::string&>() == "TalvarenKit";
}

std::vector<std::filesystem::path> candidates() {
  std::vector<std::filesystem::path> folders;
  // The binary that holds this code (the shared library, or the program the static library is in),
  // inside an installation: "<prefix>/lib" or "<prefix>/bin" beside "<prefix>/share/TalvarenKit".
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&candidates), &info) != 0 && info.dli_fname != nullptr) {
    std::error_code error;
    auto binary = std::filesystem::weakly_canonical(info.dli_fname, error);
    if (!error) folders.push_back(binary.parent_path().parent_path() / TALVAREN_RESOURCES_RELATIVE_DIR);
  }
  folders.emplace_back(TALVAREN_RESOURCES_INSTALL_DIR);
  folders.emplace_back(TALVAREN_RESOURCES_SOURCE_DIR);
  return folders;
}

}  // namespace

std::shared_ptr<Bundle> KitBundle::shared() {
  static const auto& bundle = *new std::shared_ptr<Bundle>([] {
    for (const auto& folder : candidates()) {
      if (holdsKitResources(folder)) return std::make_shared<Bundle>(folder);
    }
    return std::make_shared<Bundle>();
  }());
  return bundle;
}

}  // namespace talvaren::platform::ui
