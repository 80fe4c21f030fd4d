#pragma once
// Test-only: keep the kit's stored state (user defaults, keychains, Documents) in a temporary folder.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "talvaren/platform/FileManager.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren::testkit {

/// Makes UserDefaults::standard() return `defaults` until reset.
void setStandardUserDefaults(std::shared_ptr<platform::UserDefaults> defaults);
/// Drops the standard user defaults; the next standard() reads the current home's file again.
void resetStandardUserDefaults();

/// Makes FileManager::defaultManager() return `manager` (a subclass that fails on purpose, say);
/// null goes back to the real one.
void setDefaultFileManager(std::shared_ptr<platform::FileManager> manager);

/// While alive, the application home is a fresh empty temporary folder (removed afterwards), also
/// named by TALVAREN_HOME for the processes a test starts, and the standard user defaults are those
/// of that folder. Restores the previous home and TALVAREN_HOME on destruction.
class TemporaryAppHome {
 public:
  TemporaryAppHome();
  ~TemporaryAppHome();
  TemporaryAppHome(const TemporaryAppHome&) = delete;
  TemporaryAppHome& operator=(const TemporaryAppHome&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
  bool hadOverride_ = false;
  std::optional<std::string> previousEnvironment_;
};

}  // namespace talvaren::testkit
