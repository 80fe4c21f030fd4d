#pragma once
// Bytes as text and text written to a file, for tests that compare or plant raw contents.
#include <filesystem>
#include <fstream>
#include <string>

#include "talvaren/platform/Error.hpp"

namespace talvaren::testkit {

inline std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

/// Writes `text` to `file` as it stands, creating its folder.
inline void writeText(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

}  // namespace talvaren::testkit
