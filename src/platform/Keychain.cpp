#include "talvaren/platform/Keychain.hpp"

#include <map>
#include <mutex>
#include <utility>
#include <variant>

#include <nlohmann/json.hpp>

#include "platform/FileIO.hpp"
#include "platform/FolderLock.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/AppHome.hpp"

namespace talvaren::platform {
namespace {

using Items = std::map<std::string, std::string>;

// One lock for every keychain file: changes are read-modify-write of a whole file.
std::mutex& keychainMutex() {
  static auto& mutex = *new std::mutex();
  return mutex;
}

/// The items of a keychain file's text: {"service": <name>, "items": {<key>: <Base64>}}. Anything
/// else, or a file of another service, gives no items.
Items decodeItems(std::string_view text, const std::string& service) {
  Items items;
  auto read = Json::parse(text);
  if (!read || !read->is_object()) return items;
  const auto& parsed = *read;
  auto owner = parsed.find("service");
  auto list = parsed.find("items");
  if (owner == parsed.end() || *owner != service || list == parsed.end() || !list->is_object()) return items;
  for (auto it = list->begin(); it != list->end(); ++it) {
    if (!it.value().is_string()) return {};
    auto bytes = detail::base64Decode(it.value().get_ref<const std::string&>());
    if (!bytes) return {};
    items[it.key()] = std::move(*bytes);
  }
  return items;
}

std::string encodeItems(const Items& items, const std::string& service) {
  nlohmann::json list = nlohmann::json::object();
  for (const auto& [key, bytes] : items) list[key] = detail::base64Encode(bytes);
  nlohmann::json file = {{"service", service}, {"items", std::move(list)}};
  return file.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

Items readItems(const std::filesystem::path& file, const std::string& service) {
  auto content = detail::readWholeFile(file);
  if (auto* text = std::get_if<std::string>(&content)) return decodeItems(*text, service);
  return {};
}

}  // namespace

Keychain::Keychain(std::string service) : service_(std::move(service)) {}

std::optional<Bytes> Keychain::getData(const std::string& key) const {
  std::lock_guard lock(keychainMutex());
  auto items = readItems(AppHome::keychainPath(service_), service_);
  auto it = items.find(key);
  if (it == items.end()) return std::nullopt;
  return Bytes(it->second.begin(), it->second.end());
}

std::optional<std::string> Keychain::getString(const std::string& key) const {
  std::lock_guard lock(keychainMutex());
  auto items = readItems(AppHome::keychainPath(service_), service_);
  auto it = items.find(key);
  if (it == items.end() || !detail::isValidUtf8(it->second)) return std::nullopt;
  return it->second;
}

std::optional<Error> Keychain::set(const std::string& value, const std::string& key) const { return store(key, value); }

std::optional<Error> Keychain::set(const Bytes& value, const std::string& key) const {
  return store(key, std::string(value.begin(), value.end()));
}

std::optional<Error> Keychain::remove(const std::string& key) const { return store(key, std::nullopt); }

std::optional<Error> Keychain::removeAll() const {
  std::lock_guard lock(keychainMutex());
  auto file = AppHome::keychainPath(service_);
  detail::FolderLock folderLock(file.parent_path());
  if (readItems(file, service_).empty()) return std::nullopt;
  return detail::writeFileAtomically(file, encodeItems({}, service_), 0600, true);
}

std::vector<std::string> Keychain::allKeys() const {
  std::lock_guard lock(keychainMutex());
  std::vector<std::string> keys;
  for (const auto& [key, bytes] : readItems(AppHome::keychainPath(service_), service_)) keys.push_back(key);
  return keys;
}

bool Keychain::contains(const std::string& key) const {
  std::lock_guard lock(keychainMutex());
  return readItems(AppHome::keychainPath(service_), service_).count(key) != 0;
}

std::optional<Error> Keychain::store(const std::string& key, const std::optional<std::string>& bytes) const {
  // The file keeps the service and the keys as JSON texts: bytes that are not UTF-8 would come back
  // as other keys (or the items as another service's) and be lost.
  if (!detail::isValidUtf8(key) || !detail::isValidUtf8(service_)) {
    return Error::withDescription("NSOSStatusErrorDomain", -50,
                                  "One or more parameters passed to a function were not valid.");
  }
  std::lock_guard lock(keychainMutex());
  auto file = AppHome::keychainPath(service_);
  if (bytes) {
    if (auto error = detail::createDirectories(file.parent_path(), 0700)) return error;
  }
  detail::FolderLock folderLock(file.parent_path());
  auto items = readItems(file, service_);
  if (bytes) {
    items[key] = *bytes;
  } else if (items.erase(key) == 0) {
    return std::nullopt;  // nothing to remove
  }
  return detail::writeFileAtomically(file, encodeItems(items, service_), 0600, true);
}

}  // namespace talvaren::platform
