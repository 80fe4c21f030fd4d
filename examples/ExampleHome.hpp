#pragma once
// The example programs keep their state in a temporary application home, removed afterwards, unless
// TALVAREN_HOME names one.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "talvaren/platform/AppHome.hpp"

namespace examples {

/// Runs `run` in a temporary home named after `program` (or in TALVAREN_HOME) and gives its status.
template <typename Run>
int runInTemporaryHome(const std::string& program, Run run) {
  std::filesystem::path home;
  if (!std::getenv("TALVAREN_HOME")) {
    home = std::filesystem::temp_directory_path() / ("talvaren-" + program + "-" + std::to_string(::getpid()));
    talvaren::platform::AppHome::setPath(home);
  }
  int status = run();
  if (!home.empty()) {
    talvaren::platform::AppHome::setPath({});
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  return status;
}

}  // namespace examples
