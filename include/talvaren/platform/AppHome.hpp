#pragma once
// The application home: the one folder under which the kit keeps everything it stores on disk.
//
//   <home>/Documents/             the Documents directory (see FileManager)
//   <home>/UserDefaults.json      the standard user defaults
//   <home>/Keychains/<service>.keychain   one file per keychain service, mode 0600
//
// The home is, in order of precedence: the folder set with AppHome::setPath, the environment
// variable TALVAREN_HOME, $XDG_DATA_HOME/TalvarenKit, ~/.local/share/TalvarenKit. Nothing is
// created by looking a path up; the stores create what they need when they first write.

#include <filesystem>
#include <optional>
#include <string_view>

namespace talvaren::platform {

class AppHome {
 public:
  /// The current application home (an absolute path).
  static std::filesystem::path path();
  /// The home the environment gives, ignoring any folder set with setPath.
  static std::filesystem::path defaultPath();
  /// Moves the application home to `root` (made absolute); an empty path goes back to the default.
  /// The standard user defaults follow the home: the next UserDefaults::standard() reads from the
  /// new folder.
  static void setPath(const std::filesystem::path& root);
  /// The folder set with setPath, if any.
  static std::optional<std::filesystem::path> customPath();

  static std::filesystem::path documentsPath();
  static std::filesystem::path userDefaultsPath();
  static std::filesystem::path keychainsPath();
  /// The file of one keychain service. Characters other than ASCII letters, digits, '-', '_' and
  /// '.' (and a leading '.') are written as %XX, so every service name maps to its own file inside
  /// the keychains folder.
  static std::filesystem::path keychainPath(std::string_view service);
};

}  // namespace talvaren::platform
