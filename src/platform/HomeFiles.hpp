#pragma once
// The settings file and the keychain files of the application home, as kept from their last lookup
// (AppHome::userDefaultsPath and AppHome::keychainPath), shared instead of copied: every request of the
// server client looks them up.

#include <filesystem>
#include <memory>
#include <string_view>

namespace talvaren::platform::detail {

std::shared_ptr<const std::filesystem::path> userDefaultsFile();
std::shared_ptr<const std::filesystem::path> keychainFile(std::string_view service);

}  // namespace talvaren::platform::detail
