#pragma once
// Private: a store's file that does not decode is never overwritten. Before the store writes anew, the
// file is moved aside beside itself under a dated name, and only the newest few such copies are kept.
// Shared by the user defaults and the keychain.

#include <cstddef>
#include <filesystem>
#include <variant>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform::detail {

/// Moves `file` to "<stem>.damaged-<UTC time to the ms><extension>" in its folder (which the caller
/// holds locked) and removes the oldest of those copies beyond `kept`; answers where it went. The
/// copy is readable by its owner only.
std::variant<std::filesystem::path, Error> keepDamagedFile(const std::filesystem::path& file, std::size_t kept);

}  // namespace talvaren::platform::detail
