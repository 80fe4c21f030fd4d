#pragma once
// Private: the folders the kit creates for user data and credentials (the application home, Documents and
// its Data folder, the keychains) are its owner's only.

#include <filesystem>
#include <optional>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform::detail {

/// Mode of every folder the kit creates, whatever the umask.
inline constexpr unsigned privateFolderMode = 0700;
/// Mode of every file the kit writes with user data or credentials, whatever the umask.
inline constexpr unsigned privateFileMode = 0600;

/// Creates `directory` and its missing parents, each new folder exactly `privateFolderMode`; folders that
/// were there keep their mode, and an existing directory is no error.
std::optional<Error> createPrivateDirectories(const std::filesystem::path& directory);

/// Sets the mode of the folder or file the kit just made at `path` to `mode`, through a descriptor opened
/// without following a link: a link put there instead keeps what it points to unchanged.
std::optional<Error> setModeOfOwnItem(const std::filesystem::path& path, unsigned mode);

}  // namespace talvaren::platform::detail
