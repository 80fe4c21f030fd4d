#pragma once
// User defaults: a small thread-safe store of typed values by key, persisted as one file.
//
// Values are nlohmann::json: texts, integers, doubles, Booleans, lists and dictionaries as
// themselves, bytes as JSON binary values (nlohmann::json::binary). The typed reads follow the
// platform's conversions where callers rely on them:
//   - integerForKey / doubleForKey: a number as such (a double truncated toward zero for the integer,
//     clamped to its range), a Boolean as 0 or 1, a text by its leading number ("12", " 7.5", "-3x");
//     anything else, or a missing key, 0.
//   - boolForKey: a Boolean as such, a number when it is not 0, a text "YES"/"true" (any case) or one
//     whose leading number is not 0; anything else, or a missing key, false.
//   - stringForKey, dataForKey, arrayForKey, dictionaryForKey: only a value of that very kind; a
//     number is not a text, a text is not bytes.
// Setting a null value removes the key. Every change of a persisted store is on disk, written
// atomically, before the setter returns; setting the value a key already holds on disk writes
// nothing. Lists and dictionaries nest at most `maxNesting` deep within one value; a deeper value is
// not stored.
//
// Several processes (a host and its helper) may share one file. A save holds the file's folder
// locked, reads the file again and applies only the keys this store changed or removed since its
// last save, so the last writer wins per key, never per file; a read notices a file replaced by
// another process and takes its values (with this store's unsaved changes on top).
//
// A file that cannot be decoded reads as an empty store and is never overwritten: the next save
// first moves it aside, beside itself ("UserDefaults.json" becomes
// "UserDefaults.damaged-<UTC time>.json"; the newest `keptDamagedFiles` are kept), and prints one console line naming
// the copy. A file that cannot be read at all (a folder or a pipe in its place, no permission) is left alone and the
// save fails.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform {

class UserDefaults {
 public:
  /// The store of the current application home (AppHome::userDefaultsPath()), created on first use;
  /// tests can replace it (talvaren/testing/Storage.hpp).
  static std::shared_ptr<UserDefaults> standard();
  /// A store that lives only in memory, optionally seeded with the members of a JSON object.
  static std::shared_ptr<UserDefaults> inMemory(const nlohmann::json& values = nlohmann::json::object());
  /// A store persisted in `file`, loading what the file holds.
  static std::shared_ptr<UserDefaults> persistent(const std::filesystem::path& file);

  /// How deep lists and dictionaries may nest within one value ([[1]] nests 2 deep).
  static constexpr std::size_t maxNesting = 128;
  /// How many damaged files moved aside are kept beside the store's file.
  static constexpr std::size_t keptDamagedFiles = 3;

  UserDefaults();
  explicit UserDefaults(std::filesystem::path file);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  /// The value stored under `key`, whatever its kind.
  std::optional<nlohmann::json> objectForKey(const std::string& key) const;
  std::optional<std::string> stringForKey(const std::string& key) const;
  std::int64_t integerForKey(const std::string& key) const;
  double doubleForKey(const std::string& key) const;
  bool boolForKey(const std::string& key) const;
  std::optional<Bytes> dataForKey(const std::string& key) const;
  /// A list (JSON array), as stored.
  std::optional<nlohmann::json> arrayForKey(const std::string& key) const;
  /// A dictionary (JSON object), as stored.
  std::optional<nlohmann::json> dictionaryForKey(const std::string& key) const;

  /// Stores `value` under `key`, replacing what was there; a null value removes the key.
  void set(const nlohmann::json& value, const std::string& key);
  /// Stores bytes (kept as a JSON binary value).
  void set(const Bytes& value, const std::string& key);
  void removeObjectForKey(const std::string& key);

  /// Every key and value, as one JSON object.
  nlohmann::json dictionaryRepresentation() const;
  /// The file behind the store; none for an in-memory store.
  const std::optional<std::filesystem::path>& file() const { return file_; }
  /// The error of the most recent failed save, cleared by the next successful one.
  std::optional<Error> lastSaveError() const;

  /// The text form of a whole store as written to its file: a JSON object in which bytes, doubles
  /// that JSON cannot hold (NaN, infinities), texts that are not UTF-8 and dictionaries that would
  /// look like a tag are tagged ({"$bytes": Base64}, {"$double": "nan"}, {"$text": Base64},
  /// {"$dict": {...}}), so every value round-trips. Keys are written as UTF-8; bytes of a key that
  /// are not UTF-8 are replaced.
  static std::string encodeFile(const nlohmann::json& values);
  /// The values of a file's text; a damaged text gives no value.
  static std::optional<nlohmann::json> decodeFile(std::string_view text);

 private:
  /// What identifies one version of the file on disk (each save replaces it with a new file).
  struct FileStamp {
    std::int64_t device = -1, inode = -1, size = -1, modified = -1, changed = -1;
    bool operator==(const FileStamp&) const = default;
  };

  static FileStamp stampOf(const std::filesystem::path& file);
  /// Takes the file's values when another process replaced it since they were last read.
  void refreshLocked() const;
  /// Marks `key` as changed by this store (its value, or its absence, is in `values_`).
  void noteChangeLocked(const std::string& key);
  void changed();

  std::optional<std::filesystem::path> file_;
  mutable std::mutex mutex_;
  /// The file's values as last read or written, with the unsaved changes on top.
  mutable nlohmann::json values_ = nlohmann::json::object();
  /// The version of the file `values_` were read from; at first none read yet (not even a missing file).
  mutable FileStamp stamp_{.device = -2};
  /// Keys changed or removed and not yet saved, each with the number of its latest change.
  std::map<std::string, std::uint64_t> unsaved_;
  std::uint64_t changes_ = 0;

  std::mutex saveMutex_;
  std::optional<Error> lastSaveError_;
};

}  // namespace talvaren::platform
