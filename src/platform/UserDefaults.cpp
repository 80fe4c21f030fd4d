// The store's values and typed reads. Its file's text form is in UserDefaultsCodec.cpp, the reading and
// saving of the shared file in UserDefaultsMerge.cpp, the standard instance in UserDefaultsStandard.cpp.

#include "talvaren/platform/UserDefaults.hpp"

#include <limits>
#include <utility>

#include "platform/UserDefaultsConversions.hpp"

namespace talvaren::platform {
namespace {

using nlohmann::json;

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

}  // namespace

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
      return detail::integerOfDouble(it->get<double>());
    case json::value_t::boolean:
      return it->get<bool>() ? 1 : 0;
    case json::value_t::string:
      return detail::integerOfText(it->get_ref<const std::string&>());
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
  if (it->is_string()) return detail::doubleOfText(it->get_ref<const std::string&>());
  return 0;
}

bool UserDefaults::boolForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  auto it = values_.find(key);
  if (it == values_.end()) return false;
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>() != 0;
  if (it->is_string()) return detail::boolOfText(it->get_ref<const std::string&>());
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

}  // namespace talvaren::platform
