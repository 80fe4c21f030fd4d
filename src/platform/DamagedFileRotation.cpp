#include "platform/DamagedFileRotation.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/FileIO.hpp"
#include "platform/PrivateFolders.hpp"

namespace talvaren::platform::detail {
namespace {

constexpr std::string_view DamagedMark = ".damaged-";

/// "20261207-124437.123": the UTC time, to the millisecond, in a form that sorts by time.
std::string fileTimeText() {
  auto now = std::chrono::system_clock::now();
  auto seconds = std::chrono::system_clock::to_time_t(now);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  struct tm utc {};
  ::gmtime_r(&seconds, &utc);
  char text[32];
  if (std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc) == 0) text[0] = '\0';
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
  return text + std::string(fraction);
}

/// Whether `time` has the form of `fileTimeText`'s texts: only such copies are ever removed.
bool isFileTimeText(std::string_view time) {
  if (time.size() != 19 || time[8] != '-' || time[15] != '.') return false;
  for (std::size_t i = 0; i < time.size(); ++i) {
    if (i != 8 && i != 15 && (time[i] < '0' || time[i] > '9')) return false;
  }
  return true;
}

}  // namespace

std::variant<std::filesystem::path, Error> keepDamagedFile(const std::filesystem::path& file, std::size_t kept) {
  const auto folder = file.parent_path();
  const std::string prefix = file.stem().string() + std::string(DamagedMark);
  const std::string extension = file.extension().string();
  std::filesystem::path copy;
  std::error_code error;
  // Names sort by time; should one be taken (two copies in a millisecond), the next millisecond's is.
  for (int attempt = 0;; ++attempt) {
    copy = folder / (prefix + fileTimeText() + extension);
    if (!std::filesystem::exists(copy, error) && !error) break;
    if (error || attempt >= 100) return fileError(error ? error.value() : EEXIST, copy, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (::rename(file.c_str(), copy.c_str()) != 0) return fileError(errno, copy, true);
  // A copy is the store's content, as private as the store's file (a keychain's holds credentials). A link
  // planted in the file's place moves as it is, and what it points to keeps its mode.
  (void)setModeOfOwnItem(copy, privateFileMode);

  std::vector<std::filesystem::path> copies;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    auto name = entry.path().filename().string();
    if (name.size() > prefix.size() + extension.size() && name.starts_with(prefix) && name.ends_with(extension) &&
        isFileTimeText(std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - extension.size()))) {
      copies.push_back(entry.path());
    }
  }
  std::sort(copies.begin(), copies.end());
  for (std::size_t i = 0; i + kept < copies.size(); ++i) std::filesystem::remove(copies[i], error);
  return copy;
}

}  // namespace talvaren::platform::detail
