#pragma once
// Low-level file work shared by the storage stand-ins: atomic replacement, whole-file reads,
// directory creation, platform-shaped file errors and Base64 for bytes kept in text files.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform::detail {

/// A file error in the platform's file domain ("NSCocoaErrorDomain"), with the path and the
/// underlying POSIX error in its user info.
Error fileError(int posixError, const std::filesystem::path& path, bool writing);

/// Writes `data` to a new temporary file beside `file`, flushes it to the disk, gives it `mode`
/// (exactly, whatever the umask) when `exactMode` is set, and renames it over `file`. Either the
/// old or the new content is at `file` afterwards, never a mix; no temporary file is left behind.
std::optional<Error> writeFileAtomically(const std::filesystem::path& file, std::string_view data, mode_t mode,
                                         bool exactMode);

/// The whole content of a regular file, or the error that prevented reading it.
std::variant<std::string, Error> readWholeFile(const std::filesystem::path& file);

/// Creates `directory` and any missing parents with `mode` (less the umask); an existing
/// directory is no error.
std::optional<Error> createDirectories(const std::filesystem::path& directory, mode_t mode);

std::string base64Encode(std::string_view bytes);
/// Standard alphabet with padding; anything else gives no value.
std::optional<std::string> base64Decode(std::string_view text);

/// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

}  // namespace talvaren::platform::detail
