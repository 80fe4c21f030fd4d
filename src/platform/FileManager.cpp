#include "talvaren/platform/FileManager.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/FileIO.hpp"
#include "platform/PrivateFolders.hpp"
#include "platform/Seams.hpp"
#include "talvaren/platform/AppHome.hpp"

namespace talvaren::platform {
namespace {

struct FileManagerState {
  std::mutex mutex;
  std::shared_ptr<FileManager> manager;
  std::optional<std::filesystem::path> ubiquityContainer;
};

FileManagerState& fileManagerState() {
  static auto& state = *new FileManagerState();
  return state;
}

/// Removes `path` and, for a folder, everything in it, without following links.
int removeTree(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return errno;
  if (!S_ISDIR(status.st_mode)) return ::unlink(path.c_str()) == 0 ? 0 : errno;
  DIR* directory = ::opendir(path.c_str());
  if (directory == nullptr) return errno;
  int failure = 0;
  while (dirent* entry = ::readdir(directory)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (int error = removeTree(path / name); error != 0 && failure == 0) failure = error;
  }
  ::closedir(directory);
  if (failure != 0) return failure;
  return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace

std::optional<Error> detail::setModeOfOwnItem(const std::filesystem::path& path, unsigned mode) {
  // O_NONBLOCK: a pipe put in the file's place does not hold the call up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fileError(errno, path, true);
  const int error = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 ? 0 : errno;
  ::close(fd);
  if (error != 0) return fileError(error, path, true);
  return std::nullopt;
}

std::optional<Error> detail::createPrivateDirectories(const std::filesystem::path& directory) {
  // The folders missing now, deepest first: only those are the kit's own to set the mode of.
  std::vector<std::filesystem::path> missing;
  struct stat status {};
  for (auto folder = directory; !folder.empty() && ::lstat(folder.c_str(), &status) != 0 && errno == ENOENT;) {
    missing.push_back(folder);
    auto parent = folder.parent_path();
    if (parent == folder) break;
    folder = std::move(parent);
  }
  if (auto error = createDirectories(directory, privateFolderMode)) return error;
  for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
    if (auto error = setModeOfOwnItem(*folder, privateFolderMode)) return error;
  }
  return std::nullopt;
}

void detail::setDefaultFileManager(std::shared_ptr<FileManager> manager) {
  auto& state = fileManagerState();
  std::lock_guard lock(state.mutex);
  state.manager = std::move(manager);
}

std::shared_ptr<FileManager> FileManager::defaultManager() {
  auto& state = fileManagerState();
  std::lock_guard lock(state.mutex);
  if (!state.manager) state.manager = std::make_shared<FileManager>();
  return state.manager;
}

FileResult<std::filesystem::path> FileManager::documentsDirectory() const { return AppHome::documentsPath(); }

std::optional<std::filesystem::path> FileManager::ubiquityContainer() const {
  auto& state = fileManagerState();
  std::lock_guard lock(state.mutex);
  return state.ubiquityContainer;
}

void FileManager::setUbiquityContainer(std::optional<std::filesystem::path> folder) {
  auto& state = fileManagerState();
  std::lock_guard lock(state.mutex);
  state.ubiquityContainer = std::move(folder);
}

bool FileManager::fileExists(const std::filesystem::path& path) const {
  bool isDirectory = false;
  return fileExists(path, isDirectory);
}

bool FileManager::fileExists(const std::filesystem::path& path, bool& isDirectory) const {
  struct stat status {};
  isDirectory = false;
  if (path.empty() || ::stat(path.c_str(), &status) != 0) return false;
  isDirectory = S_ISDIR(status.st_mode);
  return true;
}

std::optional<Error> FileManager::createDirectory(const std::filesystem::path& path,
                                                  bool withIntermediateDirectories) const {
  if (path.empty()) return detail::fileError(ENOENT, path, true);
  if (withIntermediateDirectories) return detail::createPrivateDirectories(path);
  if (::mkdir(path.c_str(), detail::privateFolderMode) != 0) return detail::fileError(errno, path, true);
  return detail::setModeOfOwnItem(path, detail::privateFolderMode);
}

std::optional<Error> FileManager::removeItem(const std::filesystem::path& path) const {
  if (path.empty()) return detail::fileError(ENOENT, path, true);
  if (int error = removeTree(path); error != 0) return detail::fileError(error, path, true);
  return std::nullopt;
}

FileResult<Bytes> FileManager::contentsOfFile(const std::filesystem::path& path) const {
  auto content = detail::readWholeFile(path);
  if (auto* error = std::get_if<Error>(&content)) return *error;
  const auto& text = std::get<std::string>(content);
  return Bytes(text.begin(), text.end());
}

std::optional<Error> FileManager::writeFile(const std::filesystem::path& path, const Bytes& data) const {
  if (path.empty() || !path.has_filename()) return detail::fileError(ENOENT, path, true);
  return detail::writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()),
                                     detail::privateFileMode, true);
}

FileResult<std::vector<std::string>> FileManager::contentsOfDirectory(const std::filesystem::path& path) const {
  DIR* directory = ::opendir(path.empty() ? "" : path.c_str());
  if (directory == nullptr) return detail::fileError(errno, path, false);
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(directory)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  ::closedir(directory);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace talvaren::platform
