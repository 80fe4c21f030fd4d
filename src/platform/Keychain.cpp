#include "talvaren/platform/Keychain.hpp"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <variant>

#include <nlohmann/json.hpp>

#include "platform/DamagedFileRotation.hpp"
#include "platform/FileIO.hpp"
#include "platform/TextEncoding.hpp"
#include "platform/FolderLock.hpp"
#include "platform/HomeFiles.hpp"
#include "platform/PrivateFolders.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Console.hpp"

namespace talvaren::platform {
namespace {

using Items = std::map<std::string, std::string>;

/// How many copies of damaged keychain files are kept beside them, per service.
constexpr std::size_t keptDamagedFiles = 3;

// One lock for every keychain file: changes are read-modify-write of a whole file.
std::mutex& keychainMutex() {
  static auto& mutex = *new std::mutex();
  return mutex;
}

/// What a keychain file held when read.
struct KeychainFile {
  Items items;
  /// Keys of items there that do not decode; they read as absent.
  std::set<std::string> damagedKeys;
  /// The file holds something that is not a keychain of the service (or not all of it decodes).
  bool damaged = false;
  /// The file is there and could not be read (a folder or a pipe in its place, no permission).
  std::optional<Error> error;
};

/// The items of a keychain file's text: {"service": <name>, "items": {<key>: <Base64>}}. An empty
/// text holds no items; anything else, or a file of another service, is damaged, and an item that does
/// not decode is damaged alone.
KeychainFile decodeFile(std::string_view text, const std::string& service) {
  KeychainFile file;
  if (text.empty()) return file;
  auto read = Json::parse(text);
  if (!read || !read->is_object()) {
    file.damaged = true;
    return file;
  }
  const auto& parsed = *read;
  auto owner = parsed.find("service");
  auto list = parsed.find("items");
  if (owner == parsed.end() || *owner != service || list == parsed.end() || !list->is_object()) {
    file.damaged = true;
    return file;
  }
  for (auto it = list->begin(); it != list->end(); ++it) {
    std::optional<std::string> bytes;
    if (it.value().is_string()) bytes = detail::base64Decode(it.value().get_ref<const std::string&>());
    if (bytes) {
      file.items[it.key()] = std::move(*bytes);
    } else {
      file.damagedKeys.insert(it.key());
      file.damaged = true;
    }
  }
  return file;
}

std::string encodeItems(const Items& items, const std::string& service) {
  nlohmann::json list = nlohmann::json::object();
  for (const auto& [key, bytes] : items) list[key] = detail::base64Encode(bytes);
  nlohmann::json file = {{"service", service}, {"items", std::move(list)}};
  return file.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

KeychainFile readFile(const std::filesystem::path& file, const std::string& service) {
  auto content = detail::readStoreFile(file);
  if (auto* error = std::get_if<Error>(&content)) {
    KeychainFile unreadable;
    unreadable.error = std::move(*error);
    return unreadable;
  }
  return decodeFile(std::get<std::string>(content), service);
}

// ---- decoded items kept by the identity of their file -----------------------------------------

/// What identifies one version of a file: every change replaces the file (a new inode) or, when
/// another program writes it in place, moves its times; the times only within their granularity.
struct FileStamp {
  std::int64_t device = -1, inode = -1, size = -1, modified = -1, changed = -1;
  bool operator==(const FileStamp&) const = default;
};

std::int64_t nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

/// How long after a change its file's times may not yet tell it from the next one: two ticks of the
/// clock the file system stamps with (at least 10 ms each), or two seconds' worth where the file's times
/// carry no fraction of a second at all (a file system stamping whole seconds or two).
std::int64_t unsettledSpan(const struct stat& status) {
  static const std::int64_t tick = [] {
    struct timespec resolution {};
    std::int64_t nanos = ::clock_getres(CLOCK_REALTIME_COARSE, &resolution) == 0 ? nanoseconds(resolution) : 0;
    return std::max<std::int64_t>(nanos, 10000000);
  }();
  if (status.st_mtim.tv_nsec == 0 && status.st_ctim.tv_nsec == 0) return 4000000000;
  return 2 * tick;
}

/// Whether the file changed so recently (or, by its times, in the future) that a change in the same
/// tick could follow with the same times.
bool recentlyChanged(const struct stat& status) {
  struct timespec now {};
  if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return true;
  const auto latest = std::max(nanoseconds(status.st_mtim), nanoseconds(status.st_ctim));
  return latest > nanoseconds(now) - unsettledSpan(status);
}

struct CachedFile {
  FileStamp stamp;
  std::shared_ptr<const Items> items;
};

/// A keychain file's path and service; looked up as views, so a read copies neither.
using CacheKey = std::pair<std::string, std::string>;
using CacheKeyView = std::pair<std::string_view, std::string_view>;

struct CacheKeyOrder {
  using is_transparent = void;
  static CacheKeyView view(const CacheKey& key) { return {key.first, key.second}; }
  static CacheKeyView view(const CacheKeyView& key) { return key; }
  template <class A, class B>
  bool operator()(const A& a, const B& b) const {
    return view(a) < view(b);
  }
};

/// The decoded items of each keychain file last read, by path and service; under `keychainMutex`.
std::map<CacheKey, CachedFile, CacheKeyOrder>& cachedFiles() {
  static auto& files = *new std::map<CacheKey, CachedFile, CacheKeyOrder>();
  return files;
}

/// The items a read finds now (none when the file cannot be read), from memory when the file is the
/// one they were decoded from. The caller holds `keychainMutex`.
std::shared_ptr<const Items> currentItems(const std::filesystem::path& file, const std::string& service) {
  auto& cache = cachedFiles();
  const CacheKeyView key(file.native(), service);
  // The stamp is taken before the read: a file changed meanwhile has other times, so it is read again
  // next time.
  struct stat status {};
  std::optional<FileStamp> stamp;
  if (::stat(file.c_str(), &status) == 0) {
    if (!recentlyChanged(status)) {
      stamp = FileStamp{static_cast<std::int64_t>(status.st_dev), static_cast<std::int64_t>(status.st_ino),
                        static_cast<std::int64_t>(status.st_size), nanoseconds(status.st_mtim),
                        nanoseconds(status.st_ctim)};
    }
  } else if (errno == ENOENT) {
    stamp = FileStamp{};  // no file, no items
  }
  if (auto it = cache.find(key); it != cache.end()) {
    if (stamp && it->second.stamp == *stamp) return it->second.items;
    cache.erase(it);
  }
  auto disk = readFile(file, service);
  auto items = std::make_shared<const Items>(std::move(disk.items));
  if (stamp && !disk.error) cache.insert_or_assign(CacheKey(key), CachedFile{*stamp, items});
  return items;
}

/// Forgets what was decoded from `file`: the kit's own change replaced it.
void forgetItems(const std::filesystem::path& file, const std::string& service) {
  if (auto it = cachedFiles().find(CacheKeyView(file.native(), service)); it != cachedFiles().end()) {
    cachedFiles().erase(it);
  }
}

/// Changes the items of `service` with `change` (false: nothing to change) and replaces the file, while
/// holding the keychains folder locked against the other processes. Leftovers of writers killed in that
/// folder (which may hold items) go first. A file that cannot be read is never replaced; one that does not
/// decode is kept aside first.
template <class Change>
std::optional<Error> changeItems(const std::string& service, bool creating, Change change) {
  std::lock_guard lock(keychainMutex());
  auto file = AppHome::keychainPath(service);
  const auto folder = file.parent_path();
  if (creating) {
    if (auto error = detail::createPrivateDirectories(folder)) return error;
  }
  detail::FolderLock folderLock(folder);
  detail::sweepLeftovers(folder);
  auto disk = readFile(file, service);
  if (disk.error) return std::move(disk.error);
  if (!change(disk)) return std::nullopt;
  forgetItems(file, service);
  if (disk.damaged) {
    auto kept = detail::keepDamagedFile(file, keptDamagedFiles);
    if (auto* error = std::get_if<Error>(&kept)) return std::move(*error);
    const auto& copy = std::get<std::filesystem::path>(kept);
    if (disk.damagedKeys.empty()) {
      console::print("Keychain: " + file.string() + " could not be read; it was kept as " + copy.string() +
                     " and the keychain starts empty");
    } else {
      console::print("Keychain: items of " + file.string() + " could not be read; the file was kept as " +
                     copy.string() + " and the other items stay");
    }
  }
  return detail::writeFileAtomically(file, encodeItems(disk.items, service), detail::privateFileMode, true);
}

}  // namespace

Keychain::Keychain(std::string service) : service_(std::make_shared<const std::string>(std::move(service))) {}

Keychain::Snapshot Keychain::snapshot() const {
  std::lock_guard lock(keychainMutex());
  return Snapshot(currentItems(*detail::keychainFile(*service_), *service_));
}

std::optional<Bytes> Keychain::Snapshot::getData(const std::string& key) const {
  auto it = items_->find(key);
  if (it == items_->end()) return std::nullopt;
  return Bytes(it->second.begin(), it->second.end());
}

std::optional<std::string> Keychain::Snapshot::getString(const std::string& key) const {
  auto it = items_->find(key);
  if (it == items_->end() || !detail::isValidUtf8(it->second)) return std::nullopt;
  return it->second;
}

std::vector<std::string> Keychain::Snapshot::allKeys() const {
  std::vector<std::string> keys;
  keys.reserve(items_->size());
  for (const auto& [key, bytes] : *items_) keys.push_back(key);
  return keys;
}

bool Keychain::Snapshot::contains(const std::string& key) const { return items_->count(key) != 0; }

std::optional<Bytes> Keychain::getData(const std::string& key) const { return snapshot().getData(key); }

std::optional<std::string> Keychain::getString(const std::string& key) const { return snapshot().getString(key); }

std::optional<Error> Keychain::set(const std::string& value, const std::string& key) const { return store(key, value); }

std::optional<Error> Keychain::set(const Bytes& value, const std::string& key) const {
  return store(key, std::string(value.begin(), value.end()));
}

std::optional<Error> Keychain::remove(const std::string& key) const { return store(key, std::nullopt); }

std::optional<Error> Keychain::removeAll() const {
  return changeItems(*service_, false, [](KeychainFile& disk) {
    if (disk.items.empty() && !disk.damaged) return false;
    disk.items.clear();
    return true;
  });
}

std::vector<std::string> Keychain::allKeys() const { return snapshot().allKeys(); }

bool Keychain::contains(const std::string& key) const { return snapshot().contains(key); }

std::optional<Error> Keychain::store(const std::string& key, const std::optional<std::string>& bytes) const {
  // The file keeps the service and the keys as JSON texts: bytes that are not UTF-8 would come back
  // as other keys (or the items as another service's) and be lost.
  if (!detail::isValidUtf8(key) || !detail::isValidUtf8(*service_)) {
    return Error::withDescription("NSOSStatusErrorDomain", -50,
                                  "One or more parameters passed to a function were not valid.");
  }
  return changeItems(*service_, bytes.has_value(), [&](KeychainFile& disk) {
    if (bytes) {
      disk.items[key] = *bytes;
      return true;
    }
    // A damaged item under the key goes too.
    const bool removed = disk.items.erase(key) != 0;
    return disk.damagedKeys.erase(key) != 0 || removed;
  });
}

}  // namespace talvaren::platform
