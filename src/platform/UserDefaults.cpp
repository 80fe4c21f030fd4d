#include "talvaren/platform/UserDefaults.hpp"

#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "platform/FileIO.hpp"
#include "talvaren/platform/AppHome.hpp"
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
      return json{{BytesTag, detail::base64Encode(std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                                                    bytes.size()))}};
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
               (value.begin().key() == BytesTag || value.begin().key() == DoubleTag ||
                value.begin().key() == TextTag);
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

// ---- the standard instance ------------------------------------------------------------------

struct StandardState {
  std::mutex mutex;
  std::shared_ptr<UserDefaults> instance;
  std::shared_ptr<UserDefaults> replacement;
};

StandardState& standardState() {
  static StandardState state;
  return state;
}

}  // namespace

std::string UserDefaults::encodeFile(const json& values) {
  return encodeMembers(values.is_object() ? values : json::object())
      .dump(2, ' ', false, json::error_handler_t::replace);
}

std::optional<json> UserDefaults::decodeFile(std::string_view text) {
  json parsed = json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  return decodeMembers(parsed, 0);
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
  auto content = detail::readWholeFile(*file_);
  if (auto* text = std::get_if<std::string>(&content)) {
    if (auto values = decodeFile(*text)) values_ = std::move(*values);
  }
}

std::optional<json> UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return *it;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
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
  auto it = values_.find(key);
  if (it == values_.end()) return 0;
  if (it->is_number()) return it->get<double>();
  if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
  if (it->is_string()) return doubleOfText(it->get_ref<const std::string&>());
  return 0;
}

bool UserDefaults::boolForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return false;
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>() != 0;
  if (it->is_string()) return boolOfText(it->get_ref<const std::string&>());
  return false;
}

std::optional<Bytes> UserDefaults::dataForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end() || !it->is_binary()) return std::nullopt;
  const auto& bytes = it->get_binary();
  return Bytes(bytes.begin(), bytes.end());
}

std::optional<json> UserDefaults::arrayForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end() || !it->is_array()) return std::nullopt;
  return *it;
}

std::optional<json> UserDefaults::dictionaryForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
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
    auto it = values_.find(key);
    // Nothing to do when the value is already there and on disk.
    if (it != values_.end() && sameStoredValue(*it, value) && savedGeneration_ >= generation_) return;
    values_[key] = value;
    ++generation_;
  }
  changed();
}

void UserDefaults::set(const Bytes& value, const std::string& key) {
  set(json::binary(json::binary_t::container_type(value.begin(), value.end())), key);
}

void UserDefaults::removeObjectForKey(const std::string& key) {
  {
    std::lock_guard lock(mutex_);
    if (values_.erase(key) == 0) return;
    ++generation_;
  }
  changed();
}

json UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  return values_;
}

std::optional<Error> UserDefaults::lastSaveError() const {
  std::lock_guard lock(mutex_);
  return lastSaveError_;
}

void UserDefaults::changed() {
  if (!file_) return;
  // Writers queue here; one that finds its change already saved by a later snapshot is done.
  std::lock_guard saveLock(saveMutex_);
  std::string text;
  std::uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    if (savedGeneration_ >= generation_) return;
    generation = generation_;
    text = encodeFile(values_);
  }
  auto error = detail::createDirectories(file_->parent_path(), 0700);
  if (!error) error = detail::writeFileAtomically(*file_, text, 0600, false);
  std::lock_guard lock(mutex_);
  if (!error) savedGeneration_ = generation;
  lastSaveError_ = std::move(error);
}

}  // namespace talvaren::platform

namespace talvaren::testkit {

void setStandardUserDefaults(std::shared_ptr<platform::UserDefaults> defaults) {
  auto& state = platform::standardState();
  std::lock_guard lock(state.mutex);
  state.replacement = std::move(defaults);
}

void resetStandardUserDefaults() {
  auto& state = platform::standardState();
  std::lock_guard lock(state.mutex);
  state.replacement.reset();
  state.instance.reset();
}

}  // namespace talvaren::testkit

namespace talvaren::testkit {

TemporaryAppHome::TemporaryAppHome() {
  std::error_code error;
  auto base = std::filesystem::temp_directory_path(error);
  if (error) base = "/tmp";
  std::string pattern = (base / "talvaren-home-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();  // a test cannot run without its folder
  path_ = pattern;
  if (auto custom = platform::AppHome::customPath()) {
    hadOverride_ = true;
    previous_ = *custom;
  }
  platform::AppHome::setPath(path_);
  resetStandardUserDefaults();
}

TemporaryAppHome::~TemporaryAppHome() {
  platform::AppHome::setPath(hadOverride_ ? previous_ : std::filesystem::path());
  resetStandardUserDefaults();
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

}  // namespace talvaren::testkit
