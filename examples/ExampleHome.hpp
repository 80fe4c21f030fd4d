#pragma once
// The application home of an example program: a fresh temporary folder, removed when the program ends,
// unless TALVAREN_HOME names the home to use.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "talvaren/platform/AppHome.hpp"

namespace examples {

/// Runs `run` with the home set up as above; gives its exit status.
template <typename Run>
int runInApplicationHome(const std::string& programName, Run&& run) {
  std::filesystem::path home;
  if (!std::getenv("TALVAREN_HOME")) {
    home = std::filesystem::temp_directory_path() / ("talvaren-" + programName + "-" + std::to_string(::getpid()));
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
