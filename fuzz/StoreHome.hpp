#pragma once
// For the targets that read and write the kit's stored files: one application home for the whole run,
// in a temporary folder (on the memory file system when there is one, since every change is flushed
// to the disk), removed when the run ends.
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "talvaren/testing/Storage.hpp"

namespace talvaren::fuzzing {

inline void useTemporaryHome() {
  static testkit::TemporaryAppHome* home = nullptr;
  if (home != nullptr) return;
  std::error_code error;
  if (std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", error)) {
    ::setenv("TMPDIR", "/dev/shm", 0);
  }
  home = new testkit::TemporaryAppHome();
  std::atexit([] { delete home; });
}

/// Puts `bytes` at `file` as they are, the way a file left by an earlier run or another program is found.
inline void plant(const std::filesystem::path& file, std::string_view bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace talvaren::fuzzing
