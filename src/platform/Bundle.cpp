#include "talvaren/platform/Bundle.hpp"

#include <algorithm>
#include <system_error>
#include <utility>
#include <variant>

#include "platform/FileIO.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren::platform {
namespace {

/// A name of one entry of a folder: not empty, no '/', not "." or "..", no NUL. Resource, table
/// and language names come from callers and stored settings; they never lead out of the bundle.
bool isEntryName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool isDirectory(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

bool isRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

std::optional<nlohmann::json> readInfoDictionary(const std::filesystem::path& directory) {
  auto content = detail::readWholeFile(directory / "Info.json");
  auto* text = std::get_if<std::string>(&content);
  if (text == nullptr) return std::nullopt;
  auto parsed = Json::parse(*text);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  return parsed;
}

struct MainState {
  std::mutex mutex;
  std::shared_ptr<Bundle> bundle;
};

MainState& mainState() {
  static auto& state = *new MainState();
  return state;
}

}  // namespace

std::shared_ptr<Bundle> Bundle::main() {
  auto& state = mainState();
  std::lock_guard lock(state.mutex);
  if (!state.bundle) state.bundle = std::make_shared<Bundle>();
  return state.bundle;
}

void Bundle::setMain(std::shared_ptr<Bundle> bundle) {
  auto& state = mainState();
  std::lock_guard lock(state.mutex);
  state.bundle = std::move(bundle);
}

std::shared_ptr<Bundle> Bundle::atPath(const std::filesystem::path& path) {
  if (path.empty() || !isDirectory(path)) return nullptr;
  return std::make_shared<Bundle>(path);
}

std::shared_ptr<Bundle> Bundle::embedded(EmbeddedResources resources) {
  auto bundle = std::make_shared<Bundle>();
  if (auto it = resources.find("Info.json"); it != resources.end()) {
    auto parsed = Json::parse(it->second);
    if (parsed && parsed->is_object()) bundle->info_ = std::move(*parsed);
  }
  bundle->embedded_ = std::make_shared<const EmbeddedResources>(std::move(resources));
  return bundle;
}

Bundle::Bundle() = default;

Bundle::Bundle(std::filesystem::path resourcesDirectory, std::optional<nlohmann::json> infoDictionary)
    : path_(std::move(resourcesDirectory)), info_(std::move(infoDictionary)) {
  if (info_ && !info_->is_object()) info_.reset();
  if (!info_ && !path_.empty()) info_ = readInfoDictionary(path_);
}

std::optional<nlohmann::json> Bundle::objectForInfoDictionaryKey(const std::string& key) const {
  if (!info_) return std::nullopt;
  auto it = info_->find(key);
  if (it == info_->end()) return std::nullopt;
  return *it;
}

std::vector<std::string> Bundle::localizations() const {
  std::vector<std::string> names;
  if (path_.empty()) return names;
  std::error_code error;
  std::filesystem::directory_iterator it(path_, error), end;
  for (; !error && it != end; it.increment(error)) {
    auto name = it->path().filename().string();
    constexpr std::string_view suffix = ".lproj";
    if (name.size() > suffix.size() && name.ends_with(suffix) && isDirectory(it->path())) {
      names.push_back(name.substr(0, name.size() - suffix.size()));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Bundle::preferredLocalizations() const {
  {
    std::lock_guard lock(mutex_);
    if (preferred_) return *preferred_;
  }
  auto available = localizations();
  if (auto region = objectForInfoDictionaryKey("CFBundleDevelopmentRegion"); region && region->is_string()) {
    const auto& name = region->get_ref<const std::string&>();
    if (std::find(available.begin(), available.end(), name) != available.end()) return {name};
  }
  for (const auto& name : available) {
    if (name != "Base") return {name};
  }
  return {};
}

void Bundle::setPreferredLocalizations(std::vector<std::string> languages) {
  std::lock_guard lock(mutex_);
  preferred_ = std::move(languages);
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name, std::string_view type) const {
  if (path_.empty() || name.empty()) return std::nullopt;
  std::string file(name);
  if (!type.empty()) {
    file += '.';
    file += type;
  }
  if (!isEntryName(name) || !isEntryName(file)) return std::nullopt;
  std::error_code error;
  if (std::filesystem::exists(path_ / file, error)) return path_ / file;
  auto folders = preferredLocalizations();
  folders.push_back("Base");
  for (const auto& language : folders) {
    if (!isEntryName(language)) continue;
    auto candidate = path_ / (language + ".lproj") / file;
    if (std::filesystem::exists(candidate, error)) return candidate;
  }
  return std::nullopt;
}

namespace {

/// "<name>.<type>" ("<name>" for an empty type), when both are plain entry names.
std::optional<std::string> resourceFileName(std::string_view name, std::string_view type) {
  if (name.empty() || !isEntryName(name)) return std::nullopt;
  std::string file(name);
  if (!type.empty()) {
    file += '.';
    file += type;
  }
  if (!isEntryName(file)) return std::nullopt;
  return file;
}

}  // namespace

std::optional<std::string_view> Bundle::embeddedResource(std::string_view name, std::string_view type) const {
  if (!embedded_) return std::nullopt;
  auto file = resourceFileName(name, type);
  if (!file) return std::nullopt;
  auto it = embedded_->find(*file);
  if (it == embedded_->end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> Bundle::dataForResource(std::string_view name, std::string_view type) const {
  if (auto bytes = embeddedResource(name, type)) return std::string(*bytes);
  auto path = pathForResource(name, type);
  if (!path) return std::nullopt;
  auto content = detail::readWholeFile(*path);
  auto* bytes = std::get_if<std::string>(&content);
  if (bytes == nullptr) return std::nullopt;
  return std::move(*bytes);
}

std::shared_ptr<const Bundle::StringTable> Bundle::table(const std::filesystem::path& file) const {
  {
    std::lock_guard lock(mutex_);
    if (auto it = tables_.find(file); it != tables_.end()) return it->second;
  }
  auto content = detail::readWholeFile(file);
  std::optional<StringTable> parsed;
  if (auto* text = std::get_if<std::string>(&content)) parsed = parseStrings(*text);
  auto table = std::make_shared<const StringTable>(parsed ? std::move(*parsed) : StringTable());
  std::lock_guard lock(mutex_);
  return tables_.emplace(file, std::move(table)).first->second;
}

std::string Bundle::localizedString(const std::string& key, const std::string& value, const std::string& table) const {
  auto fallback = value.empty() ? key : value;
  if (path_.empty()) return fallback;
  std::string file = (table.empty() ? std::string("Localizable") : table) + ".strings";
  if (!isEntryName(file)) return fallback;
  std::vector<std::filesystem::path> candidates{path_ / file};
  for (const auto& language : preferredLocalizations()) {
    if (isEntryName(language)) candidates.push_back(path_ / (language + ".lproj") / file);
  }
  candidates.push_back(path_ / "Base.lproj" / file);
  for (const auto& candidate : candidates) {
    if (!isRegularFile(candidate)) continue;
    auto strings = this->table(candidate);
    auto it = strings->find(key);
    return it == strings->end() ? fallback : it->second;
  }
  return fallback;
}

}  // namespace talvaren::platform
