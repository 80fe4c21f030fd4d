#include "talvaren/platform/AppHome.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/HomeFiles.hpp"
#include "platform/PercentEncoding.hpp"

namespace talvaren::platform {
namespace {

constexpr const char* HomeFolderName = "TalvarenKit";

/// A file path under the home, kept from its last lookup: valid while the home is set the same way (the
/// same override, or none and the same environment the default derives from).
struct PathMemo {
  bool valid = false;
  std::uint64_t generation = 0;
  bool overridden = false;
  std::string talvarenHome;
  std::string dataHome;
  std::string userHome;
  std::string key;
  std::shared_ptr<const std::filesystem::path> file;
};

struct HomeState {
  std::mutex mutex;
  std::optional<std::filesystem::path> override;
  /// Counts the changes of `override`.
  std::uint64_t generation = 0;
  PathMemo userDefaults;
  PathMemo keychain;
};

HomeState& homeState() {
  static auto& state = *new HomeState();
  return state;
}

std::filesystem::path absoluteNormal(const std::filesystem::path& path) {
  std::error_code error;
  auto result = std::filesystem::absolute(path, error);
  return (error ? path : result).lexically_normal();
}

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::filesystem::path userHome() {
  if (auto home = environment("HOME")) return *home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && *found->pw_dir != '\0') {
    return found->pw_dir;
  }
  // No home at all (a stripped service account): keep the data beside other temporary files.
  std::error_code error;
  auto temporary = std::filesystem::temp_directory_path(error);
  return (error ? std::filesystem::path("/tmp") : temporary) / ("talvaren-" + std::to_string(::getuid()));
}

std::string environmentText(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool sameEnvironment(const PathMemo& memo) {
  const auto same = [](const std::string& kept, const char* name) {
    const char* value = std::getenv(name);
    return kept == (value == nullptr ? "" : value);
  };
  return same(memo.talvarenHome, "TALVAREN_HOME") && same(memo.dataHome, "XDG_DATA_HOME") &&
         same(memo.userHome, "HOME");
}

/// The file `make` derives from the home for `key`, looked up again only when the home may have moved:
/// every request reads the settings and the keychain, and the derivation allocates a dozen times.
template <class Make>
std::shared_ptr<const std::filesystem::path> rememberedPath(PathMemo HomeState::*slot, std::string_view key, Make make) {
  auto& state = homeState();
  PathMemo fresh;
  {
    std::lock_guard lock(state.mutex);
    const PathMemo& memo = state.*slot;
    if (memo.valid && memo.generation == state.generation && memo.key == key &&
        (memo.overridden || sameEnvironment(memo))) {
      return memo.file;
    }
    fresh.generation = state.generation;
    fresh.overridden = state.override.has_value();
  }
  // Taken before the derivation: a change meanwhile makes the kept path stale, never a wrong one current.
  if (!fresh.overridden) {
    fresh.talvarenHome = environmentText("TALVAREN_HOME");
    fresh.dataHome = environmentText("XDG_DATA_HOME");
    fresh.userHome = environmentText("HOME");
  }
  fresh.key = std::string(key);
  fresh.file = std::make_shared<const std::filesystem::path>(make());
  fresh.valid = true;
  std::lock_guard lock(state.mutex);
  if (fresh.generation == state.generation) state.*slot = fresh;
  return fresh.file;
}

}  // namespace

std::filesystem::path AppHome::defaultPath() {
  if (auto home = environment("TALVAREN_HOME")) return absoluteNormal(*home);
  // XDG asks for an absolute path; a relative value is ignored.
  if (auto data = environment("XDG_DATA_HOME"); data && data->front() == '/') {
    return absoluteNormal(std::filesystem::path(*data) / HomeFolderName);
  }
  return absoluteNormal(userHome() / ".local" / "share" / HomeFolderName);
}

std::filesystem::path AppHome::path() {
  {
    std::lock_guard lock(homeState().mutex);
    if (homeState().override) return *homeState().override;
  }
  return defaultPath();
}

void AppHome::setPath(const std::filesystem::path& root) {
  std::lock_guard lock(homeState().mutex);
  ++homeState().generation;
  if (root.empty()) {
    homeState().override.reset();
  } else {
    homeState().override = absoluteNormal(root);
  }
}

std::optional<std::filesystem::path> AppHome::customPath() {
  std::lock_guard lock(homeState().mutex);
  return homeState().override;
}

std::filesystem::path AppHome::documentsPath() { return path() / "Documents"; }

std::filesystem::path AppHome::userDefaultsPath() { return *detail::userDefaultsFile(); }

std::shared_ptr<const std::filesystem::path> detail::userDefaultsFile() {
  return rememberedPath(&HomeState::userDefaults, "", [] { return AppHome::path() / "UserDefaults.json"; });
}

std::filesystem::path AppHome::keychainsPath() { return path() / "Keychains"; }

namespace {

std::filesystem::path keychainFilePath(std::string_view service) {
  // "." stays only after the first character (no hidden or dot names); "~" is escaped, as it always was.
  auto name = detail::percentEscape(service, [](unsigned char c, std::size_t i) {
    return c != '~' && detail::isUnreserved(c) && (c != '.' || i > 0);
  });
  // The empty service gets a name no other service can produce ("%" always takes two digits).
  if (name.empty()) name = "%";
  return AppHome::keychainsPath() / (name + ".keychain");
}

}  // namespace

std::filesystem::path AppHome::keychainPath(std::string_view service) { return *detail::keychainFile(service); }

std::shared_ptr<const std::filesystem::path> detail::keychainFile(std::string_view service) {
  return rememberedPath(&HomeState::keychain, service, [service] { return keychainFilePath(service); });
}

}  // namespace talvaren::platform
