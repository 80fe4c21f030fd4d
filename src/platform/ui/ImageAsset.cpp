#include "talvaren/platform/ui/ImageAsset.hpp"

#include <map>
#include <mutex>
#include <variant>

#include "platform/FileIO.hpp"

namespace talvaren::platform::ui {

std::shared_ptr<const Image> ImageAsset::named(std::string_view name, const std::shared_ptr<Bundle>& bundle) {
  auto path = bundle ? bundle->pathForResource(name, "png") : std::nullopt;
  if (!path) return nullptr;
  static auto& mutex = *new std::mutex();
  static auto& decoded = *new std::map<std::filesystem::path, std::shared_ptr<const Image>>();
  {
    std::lock_guard lock(mutex);
    if (auto it = decoded.find(*path); it != decoded.end()) return it->second;
  }
  auto content = detail::readWholeFile(*path);
  auto* bytes = std::get_if<std::string>(&content);
  if (bytes == nullptr) return nullptr;
  auto image = Image::fromPNG({reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()});
  if (!image) return nullptr;
  std::lock_guard lock(mutex);
  return decoded.emplace(*path, std::make_shared<const Image>(std::move(*image))).first->second;
}

}  // namespace talvaren::platform::ui
