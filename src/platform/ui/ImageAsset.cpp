#include "talvaren/platform/ui/ImageAsset.hpp"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "platform/FileIO.hpp"

namespace talvaren::platform::ui {

std::shared_ptr<const Image> ImageAsset::named(std::string_view name, const std::shared_ptr<Bundle>& bundle) {
  if (!bundle) return nullptr;
  // A picture is known by its file, or by the address of its bytes when it is compiled into the program.
  using Key = std::variant<std::filesystem::path, const void*>;
  std::optional<Key> key;
  std::optional<std::string> bytes;
  if (auto embedded = bundle->embeddedResource(name, "png")) {
    key = static_cast<const void*>(embedded->data());
    bytes = std::string(*embedded);
  } else if (auto path = bundle->pathForResource(name, "png")) {
    key = *path;
  } else {
    return nullptr;
  }
  static auto& mutex = *new std::mutex();
  static auto& decoded = *new std::map<Key, std::shared_ptr<const Image>>();
  {
    std::lock_guard lock(mutex);
    if (auto it = decoded.find(*key); it != decoded.end()) return it->second;
  }
  if (!bytes) {
    auto content = detail::readWholeFile(std::get<std::filesystem::path>(*key));
    auto* read = std::get_if<std::string>(&content);
    if (read == nullptr) return nullptr;
    bytes = std::move(*read);
  }
  auto image = Image::fromPNG({reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()});
  if (!image) return nullptr;
  std::lock_guard lock(mutex);
  return decoded.emplace(*key, std::make_shared<const Image>(std::move(*image))).first->second;
}

}  // namespace talvaren::platform::ui
