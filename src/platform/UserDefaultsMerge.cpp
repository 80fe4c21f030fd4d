// The user defaults' file shared by several stores and processes: a save merges this store's changes
// into what the file holds at that moment; a read takes what another store or process saved.

#include <sys/stat.h>

#include <utility>
#include <variant>
#include <vector>

#include "platform/DamagedFileRotation.hpp"
#include "platform/FileIO.hpp"
#include "platform/FolderLock.hpp"
#include "platform/PrivateFolders.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren::platform {
namespace {

using nlohmann::json;

/// What the file held when read: its values, or why there are none.
struct DiskValues {
  json values = json::object();
  /// The file is there and was read, but its text is not a store's.
  bool damaged = false;
  /// The file is there and could not be read (a folder or a pipe in its place, no permission).
  std::optional<Error> error;
};

DiskValues readDisk(const std::filesystem::path& file) {
  DiskValues disk;
  auto content = detail::readStoreFile(file);
  if (auto* error = std::get_if<Error>(&content)) {
    disk.error = std::move(*error);
    return disk;
  }
  const auto& text = std::get<std::string>(content);
  if (text.empty()) return disk;  // nothing in it to keep
  if (auto values = UserDefaults::decodeFile(text)) {
    disk.values = std::move(*values);
  } else {
    disk.damaged = true;
  }
  return disk;
}

/// Puts the values `source` holds for `keys` (pairs of a key and its change number) over `base`;
/// a key `source` lacks is removed.
template <class Keys>
void overlay(json& base, const Keys& keys, const json& source) {
  for (const auto& [key, change] : keys) {
    if (auto it = source.find(key); it != source.end()) {
      base[key] = *it;
    } else {
      base.erase(key);
    }
  }
}

}  // namespace

UserDefaults::FileStamp UserDefaults::stampOf(const std::filesystem::path& file) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) return {};
  return {static_cast<std::int64_t>(status.st_dev), static_cast<std::int64_t>(status.st_ino),
          static_cast<std::int64_t>(status.st_size),
          static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
          static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
}

void UserDefaults::refreshLocked() const {
  if (!file_) return;
  // The stamp is taken before the read: a file replaced in between is read again next time.
  auto stamp = stampOf(*file_);
  if (stamp == stamp_) return;
  auto disk = readDisk(*file_);
  overlay(disk.values, unsaved_, values_);
  values_ = std::move(disk.values);
  stamp_ = stamp;
}

void UserDefaults::changed() {
  if (!file_) return;
  // Savers queue here; one that finds its changes already saved by an earlier one is done.
  std::lock_guard saveLock(saveMutex_);
  std::vector<std::pair<std::string, std::uint64_t>> changes;
  json changedValues = json::object();
  {
    std::lock_guard lock(mutex_);
    if (unsaved_.empty()) return;
    for (const auto& [key, change] : unsaved_) {
      changes.emplace_back(key, change);
      if (auto it = values_.find(key); it != values_.end()) changedValues[key] = *it;
    }
  }

  // Other processes save under the same folder lock: read what they left, apply this store's
  // changes on top and replace the file, all while holding it.
  const auto folder = file_->parent_path();
  auto error = detail::createPrivateDirectories(folder);
  std::optional<json> saved;
  FileStamp stamp;
  if (!error) {
    detail::FolderLock folderLock(folder);
    auto disk = readDisk(*file_);
    error = std::move(disk.error);
    if (!error && disk.damaged) {
      auto kept = detail::keepDamagedFile(*file_, keptDamagedFiles);
      if (auto* copy = std::get_if<std::filesystem::path>(&kept)) {
        console::print("UserDefaults: " + file_->string() + " could not be read; it was kept as " + copy->string() +
                       " and the defaults start empty");
      } else {
        error = std::get<Error>(std::move(kept));
      }
    }
    if (!error) {
      overlay(disk.values, changes, changedValues);
      error = detail::writeFileAtomically(*file_, encodeFile(disk.values), detail::privateFileMode, true);
      if (!error) {
        stamp = stampOf(*file_);
        saved = std::move(disk.values);
      }
    }
  }

  std::lock_guard lock(mutex_);
  lastSaveError_ = std::move(error);
  if (!saved) return;
  // The saved changes are done unless changed again meanwhile; the rest stay on top of the file's
  // values.
  for (const auto& [key, change] : changes) {
    if (auto it = unsaved_.find(key); it != unsaved_.end() && it->second == change) unsaved_.erase(it);
  }
  overlay(*saved, unsaved_, values_);
  values_ = std::move(*saved);
  stamp_ = stamp;
}

}  // namespace talvaren::platform
