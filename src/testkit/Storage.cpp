#include "talvaren/testing/Storage.hpp"

#include <stdlib.h>

#include <cstdlib>
#include <system_error>

#include "talvaren/platform/AppHome.hpp"

#include "platform/Seams.hpp"

namespace talvaren::testkit {

void setDefaultFileManager(std::shared_ptr<platform::FileManager> manager) {
  platform::detail::setDefaultFileManager(std::move(manager));
}

}  // namespace talvaren::testkit

namespace talvaren::testkit {

void setStandardUserDefaults(std::shared_ptr<platform::UserDefaults> defaults) {
  platform::detail::replaceStandardUserDefaults(std::move(defaults));
}

void resetStandardUserDefaults() { platform::detail::resetStandardUserDefaults(); }

}  // namespace talvaren::testkit

namespace talvaren::testkit {

TemporaryAppHome::TemporaryAppHome() {
  std::error_code error;
  auto base = std::filesystem::temp_directory_path(error);
  if (error) base = "/tmp";
  std::string pattern = (base / "talvaren-home-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();  // a test cannot run without its folder
  path_ = pattern;
  if (auto custom = platform::AppHome::customPath()) {
    hadOverride_ = true;
    previous_ = *custom;
  }
  platform::AppHome::setPath(path_);
  // Processes the test starts find the same home.
  if (const char* home = std::getenv("TALVAREN_HOME")) previousEnvironment_ = home;
  ::setenv("TALVAREN_HOME", path_.c_str(), 1);
  resetStandardUserDefaults();
}

TemporaryAppHome::~TemporaryAppHome() {
  platform::AppHome::setPath(hadOverride_ ? previous_ : std::filesystem::path());
  if (previousEnvironment_) {
    ::setenv("TALVAREN_HOME", previousEnvironment_->c_str(), 1);
  } else {
    ::unsetenv("TALVAREN_HOME");
  }
  resetStandardUserDefaults();
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

}  // namespace talvaren::testkit
