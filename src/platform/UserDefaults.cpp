#include "talvaren/platform/UserDefaults.hpp"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <string_view>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "platform/FileIO.hpp"
#include "platform/FolderLock.hpp"
#include "talvaren/platform/Json.hpp"
#include "platform/Seams.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/testing/Storage.hpp"

namespace talvaren::platform {
namespace {

using nlohmann::json;

constexpr const char* BytesTag = "$bytes";
constexpr const char* DoubleTag = "$double";
constexpr const char* TextTag = "$text";
constexpr const char* DictionaryTag = "$dict";

// ---- the file's text form -------------------------------------------------------------------

json encodeValue(const json& value);

json encodeMembers(const json& object) {
  json out = json::object();
  for (auto it = object.begin(); it != object.end(); ++it) out[it.key()] = encodeValue(it.value());
  return out;
}

json encodeValue(const json& value) {
  switch (value.type()) {
    case json::value_t::binary: {
      const auto& bytes = value.get_binary();
      return json{{BytesTag,
                   detail::base64Encode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))}};
    }
    case json::value_t::string: {
      // A text that is not UTF-8 (a strap name cut off inside a character, say) cannot stand in
      // JSON as it is; its bytes are kept in Base64.
      const auto& text = value.get_ref<const std::string&>();
      if (!detail::isValidUtf8(text)) return json{{TextTag, detail::base64Encode(text)}};
      return value;
    }
    case json::value_t::number_float: {
      double number = value.get<double>();
      if (std::isnan(number)) return json{{DoubleTag, "nan"}};
      if (std::isinf(number)) return json{{DoubleTag, number > 0 ? "inf" : "-inf"}};
      return value;
    }
    case json::value_t::object: {
      json members = encodeMembers(value);
      // A one-member dictionary whose key starts with '$' could be taken for a tag: wrap it.
      if (members.size() == 1 && members.begin().key().starts_with('$')) return json{{DictionaryTag, members}};
      return members;
    }
    case json::value_t::array: {
      json out = json::array();
      for (const auto& element : value) out.push_back(encodeValue(element));
      return out;
    }
    default:
      return value;
  }
}

// Decoding counts how deep the decoded value's lists and dictionaries nest (`depth` of them hold
// the value at hand) and refuses a file that nests deeper than a stored value may.
std::optional<json> decodeValue(const json& value, std::size_t depth);

std::optional<json> decodeMembers(const json& object, std::size_t depth) {
  json out = json::object();
  for (auto it = object.begin(); it != object.end(); ++it) {
    auto member = decodeValue(it.value(), depth);
    if (!member) return std::nullopt;
    out[it.key()] = std::move(*member);
  }
  return out;
}

std::optional<json> decodeValue(const json& value, std::size_t depth) {
  if ((value.is_array() || value.is_object()) && depth >= UserDefaults::maxNesting) {
    // Deeper than a value may nest, unless a tag holding a plain value.
    bool tag = value.is_object() && value.size() == 1 &&
               (value.begin().key() == BytesTag || value.begin().key() == DoubleTag || value.begin().key() == TextTag);
    if (!tag) return std::nullopt;
  }
  if (value.is_array()) {
    json out = json::array();
    for (const auto& element : value) {
      auto decoded = decodeValue(element, depth + 1);
      if (!decoded) return std::nullopt;
      out.push_back(std::move(*decoded));
    }
    return out;
  }
  if (!value.is_object()) return value;
  if (value.size() == 1) {
    const auto& key = value.begin().key();
    const auto& inner = value.begin().value();
    if (key == BytesTag) {
      if (!inner.is_string()) return std::nullopt;
      auto bytes = detail::base64Decode(inner.get_ref<const std::string&>());
      if (!bytes) return std::nullopt;
      return json::binary(json::binary_t::container_type(bytes->begin(), bytes->end()));
    }
    if (key == TextTag) {
      if (!inner.is_string()) return std::nullopt;
      auto text = detail::base64Decode(inner.get_ref<const std::string&>());
      if (!text) return std::nullopt;
      return json(std::move(*text));
    }
    if (key == DoubleTag) {
      if (inner == "nan") return json(std::numeric_limits<double>::quiet_NaN());
      if (inner == "inf") return json(std::numeric_limits<double>::infinity());
      if (inner == "-inf") return json(-std::numeric_limits<double>::infinity());
      return std::nullopt;
    }
    if (key == DictionaryTag) {
      if (!inner.is_object()) return std::nullopt;
      return decodeMembers(inner, depth + 1);
    }
  }
  return decodeMembers(value, depth + 1);
}

/// Whether the lists and dictionaries of `value` nest at most `allowed` deep; looks no deeper.
bool nestsWithin(const json& value, std::size_t allowed) {
  if (!value.is_array() && !value.is_object()) return true;
  if (allowed == 0) return false;
  for (const auto& element : value) {
    if (!nestsWithin(element, allowed - 1)) return false;
  }
  return true;
}

/// Whether storing `value` over `stored` changes nothing: the same plain value of the same kind.
/// (Numbers of different kinds compare equal as JSON but read back differently.)
bool sameStoredValue(const json& stored, const json& value) {
  if (stored.type() != value.type()) return false;
  switch (value.type()) {
    case json::value_t::boolean:
    case json::value_t::string:
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::binary:
      return stored == value;
    default:
      return false;
  }
}

// ---- the platform's conversions of texts ----------------------------------------------------

std::string_view skipSpace(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r'))) {
    text.remove_prefix(1);
  }
  return text;
}

std::int64_t integerOfText(std::string_view text) {
  text = skipSpace(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
      overflow = true;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (negative) {
    if (overflow || magnitude > max) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(magnitude);
  }
  if (overflow || magnitude > max) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(magnitude);
}

double doubleOfText(std::string_view text) {
  text = skipSpace(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() == '+' || text.front() == '-') return 0;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: infinity or zero, by the size of the exponent.
    auto exponent = std::string_view(text.data(), static_cast<std::size_t>(end - text.data()));
    auto e = exponent.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < exponent.size() && exponent[e + 1] == '-';
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (error != std::errc()) {
    return 0;
  }
  return negative ? -value : value;
}

bool boolOfText(std::string_view text) {
  text = skipSpace(text);
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  while (!text.empty() && text.front() == '0') text.remove_prefix(1);
  if (text.empty()) return false;
  char c = text.front();
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::int64_t integerOfDouble(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
  if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

// ---- the file on disk -----------------------------------------------------------------------

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
  auto content = detail::readWholeFile(file);
  if (auto* error = std::get_if<Error>(&content)) {
    const auto& underlying = error->userInfo["NSUnderlyingError"];
    if (!(underlying.is_object() && underlying.value("code", 0) == ENOENT)) disk.error = std::move(*error);
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

/// "20261207-124437.123": the UTC time, to the millisecond, in a form that sorts by time.
std::string fileTimeText() {
  auto now = std::chrono::system_clock::now();
  auto seconds = std::chrono::system_clock::to_time_t(now);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  struct tm utc {};
  ::gmtime_r(&seconds, &utc);
  char text[32];
  if (std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc) == 0) text[0] = '\0';
  auto fraction = std::to_string(1000 + millis);  // "1xyz"
  return text + ("." + fraction.substr(1));
}

/// Moves a damaged store file aside (with its folder locked) and drops the oldest copies beyond
/// `kept`; returns where it went.
std::variant<std::filesystem::path, Error> keepDamagedFile(const std::filesystem::path& file, std::size_t kept) {
  const auto folder = file.parent_path();
  const std::string prefix = file.stem().string() + ".damaged-";
  const std::string extension = file.extension().string();
  std::filesystem::path copy;
  std::error_code error;
  // Names sort by time; should one be taken (two copies in a millisecond), the next millisecond's is.
  for (int attempt = 0;; ++attempt) {
    copy = folder / (prefix + fileTimeText() + extension);
    if (!std::filesystem::exists(copy, error) && !error) break;
    if (error || attempt >= 100) return detail::fileError(error ? error.value() : EEXIST, copy, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (::rename(file.c_str(), copy.c_str()) != 0) return detail::fileError(errno, copy, true);

  std::vector<std::filesystem::path> copies;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    auto name = entry.path().filename().string();
    if (name.starts_with(prefix) && name.ends_with(extension) && name.size() > prefix.size() + extension.size()) {
      copies.push_back(entry.path());
    }
  }
  std::sort(copies.begin(), copies.end());
  for (std::size_t i = 0; i + kept < copies.size(); ++i) std::filesystem::remove(copies[i], error);
  return copy;
}

// ---- the standard instance ------------------------------------------------------------------

struct StandardState {
  std::mutex mutex;
  std::shared_ptr<UserDefaults> instance;
  std::shared_ptr<UserDefaults> replacement;
};

StandardState& standardState() {
  static auto& state = *new StandardState();
  return state;
}

}  // namespace

std::string UserDefaults::encodeFile(const json& values) {
  return encodeMembers(values.is_object() ? values : json::object())
      .dump(2, ' ', false, json::error_handler_t::replace);
}

std::optional<json> UserDefaults::decodeFile(std::string_view text) {
  const auto parsed = Json::parse(text);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  return decodeMembers(*parsed, 0);
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  auto& state = standardState();
  std::lock_guard lock(state.mutex);
  if (state.replacement) return state.replacement;
  auto file = AppHome::userDefaultsPath();
  if (!state.instance || state.instance->file() != file) state.instance = std::make_shared<UserDefaults>(file);
  return state.instance;
}

std::shared_ptr<UserDefaults> UserDefaults::inMemory(const json& values) {
  auto defaults = std::make_shared<UserDefaults>();
  if (values.is_object()) {
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (!it.value().is_null() && nestsWithin(it.value(), maxNesting)) defaults->values_[it.key()] = it.value();
    }
  }
  return defaults;
}

std::shared_ptr<UserDefaults> UserDefaults::persistent(const std::filesystem::path& file) {
  return std::make_shared<UserDefaults>(file);
}

UserDefaults::UserDefaults() = default;

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {
  std::lock_guard lock(mutex_);
  refreshLocked();
}

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

void UserDefaults::noteChangeLocked(const std::string& key) {
  if (file_) unsaved_[key] = ++changes_;
}

std::optional<json> UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return *it;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end()) return 0;
  switch (it->type()) {
    case json::value_t::number_integer:
      return it->get<std::int64_t>();
    case json::value_t::number_unsigned: {
      auto value = it->get<std::uint64_t>();
      constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
      return value > max ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(value);
    }
    case json::value_t::number_float:
      return integerOfDouble(it->get<double>());
    case json::value_t::boolean:
      return it->get<bool>() ? 1 : 0;
    case json::value_t::string:
      return integerOfText(it->get_ref<const std::string&>());
    default:
      return 0;
  }
}

double UserDefaults::doubleForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end()) return 0;
  if (it->is_number()) return it->get<double>();
  if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
  if (it->is_string()) return doubleOfText(it->get_ref<const std::string&>());
  return 0;
}

bool UserDefaults::boolForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end()) return false;
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>() != 0;
  if (it->is_string()) return boolOfText(it->get_ref<const std::string&>());
  return false;
}

std::optional<Bytes> UserDefaults::dataForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end() || !it->is_binary()) return std::nullopt;
  const auto& bytes = it->get_binary();
  return Bytes(bytes.begin(), bytes.end());
}

std::optional<json> UserDefaults::arrayForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end() || !it->is_array()) return std::nullopt;
  return *it;
}

std::optional<json> UserDefaults::dictionaryForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end() || !it->is_object()) return std::nullopt;
  return *it;
}

void UserDefaults::set(const json& value, const std::string& key) {
  if (value.is_null()) {
    removeObjectForKey(key);
    return;
  }
  if (!nestsWithin(value, maxNesting)) return;
  {
    std::lock_guard lock(mutex_);
    refreshLocked();
    auto it = values_.find(key);
    // Nothing to do when the value is already there and on disk.
    if (it != values_.end() && sameStoredValue(*it, value) && !unsaved_.contains(key)) return;
    values_[key] = value;
    noteChangeLocked(key);
  }
  changed();
}

void UserDefaults::set(const Bytes& value, const std::string& key) {
  set(json::binary(json::binary_t::container_type(value.begin(), value.end())), key);
}

void UserDefaults::removeObjectForKey(const std::string& key) {
  {
    std::lock_guard lock(mutex_);
    refreshLocked();
    if (values_.erase(key) == 0) return;
    noteChangeLocked(key);
  }
  changed();
}

json UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  return values_;
}

std::optional<Error> UserDefaults::lastSaveError() const {
  std::lock_guard lock(mutex_);
  return lastSaveError_;
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
  auto error = detail::createDirectories(folder, 0700);
  std::optional<json> saved;
  FileStamp stamp;
  if (!error) {
    detail::FolderLock folderLock(folder);
    auto disk = readDisk(*file_);
    error = std::move(disk.error);
    if (!error && disk.damaged) {
      auto kept = keepDamagedFile(*file_, keptDamagedFiles);
      if (auto* copy = std::get_if<std::filesystem::path>(&kept)) {
        console::print("UserDefaults: " + file_->string() + " could not be read; it was kept as " + copy->string() +
                       " and the defaults start empty");
      } else {
        error = std::get<Error>(std::move(kept));
      }
    }
    if (!error) {
      overlay(disk.values, changes, changedValues);
      error = detail::writeFileAtomically(*file_, encodeFile(disk.values), 0600, false);
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

namespace talvaren::platform::detail {

void replaceStandardUserDefaults(std::shared_ptr<UserDefaults> defaults) {
  auto& state = standardState();
  std::lock_guard lock(state.mutex);
  state.replacement = std::move(defaults);
}

void resetStandardUserDefaults() {
  auto& state = standardState();
  std::lock_guard lock(state.mutex);
  state.replacement.reset();
  state.instance.reset();
}

}  // namespace talvaren::platform::detail
