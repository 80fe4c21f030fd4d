#include "talvaren/platform/KeyedArchive.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "platform/TextEncoding.hpp"

namespace talvaren::platform {

namespace {

constexpr std::uint8_t kMagic[4] = {'T', 'K', 'A', 'R'};
constexpr std::uint8_t kVersion = 1;

enum Tag : std::uint8_t {
  kNull = 0x00,
  kFalse = 0x01,
  kTrue = 0x02,
  kInteger = 0x03,
  kReal = 0x04,
  kText = 0x05,
  kData = 0x06,
  kDate = 0x07,
  kList = 0x08,
  kObject = 0x09,
};

/// Room made ahead for the elements a container claims. A count is only a claim until its
/// elements are read: room for all of it at every level of a deep nest of containers would be many
/// times the input, so larger containers grow as their elements arrive.
constexpr std::size_t kMostReserved = 256;

// 2^63 as a double: the first double above the int64 range.
constexpr double kTwoTo63 = 9223372036854775808.0;

using detail::isValidUtf8;

class Writer {
 public:
  bool write(const ArchiveValue& value, std::size_t depth) {
    switch (value.kind()) {
      case ArchiveValue::Kind::null:
        put(kNull);
        return true;
      case ArchiveValue::Kind::boolean:
        put(*value.asBool() ? kTrue : kFalse);
        return true;
      case ArchiveValue::Kind::integer:
        put(kInteger);
        put64(static_cast<std::uint64_t>(*value.asInteger()));
        return true;
      case ArchiveValue::Kind::real:
        put(kReal);
        put64(std::bit_cast<std::uint64_t>(*value.asDouble()));
        return true;
      case ArchiveValue::Kind::text:
        put(kText);
        return putText(*value.asText());
      case ArchiveValue::Kind::data: {
        const Bytes& data = *value.asData();
        put(kData);
        if (!putLength(data.size())) return false;
        out.insert(out.end(), data.begin(), data.end());
        return true;
      }
      case ArchiveValue::Kind::date:
        put(kDate);
        put64(std::bit_cast<std::uint64_t>(value.asDate()->timeIntervalSince1970()));
        return true;
      case ArchiveValue::Kind::list: {
        if (depth >= KeyedArchiver::maxDepth) return false;
        const ArchiveList& list = *value.asList();
        put(kList);
        if (!putLength(list.size())) return false;
        for (const ArchiveValue& element : list) {
          if (!write(element, depth + 1)) return false;
        }
        return true;
      }
      case ArchiveValue::Kind::object: {
        if (depth >= KeyedArchiver::maxDepth) return false;
        const ArchiveObject& object = *value.asObject();
        put(kObject);
        if (!putLength(object.size())) return false;
        for (std::size_t k = 0; k < object.size(); ++k) {
          if (!putText(object.keys()[k]) || !write(object.values()[k], depth + 1)) return false;
        }
        return true;
      }
    }
    return false;
  }

  Bytes out;

 private:
  void put(std::uint8_t byte) { out.push_back(byte); }
  void put64(std::uint64_t v) {
    for (int shift = 56; shift >= 0; shift -= 8) put(static_cast<std::uint8_t>(v >> shift));
  }
  bool putLength(std::size_t length) {
    if (length > std::numeric_limits<std::uint32_t>::max()) return false;
    for (int shift = 24; shift >= 0; shift -= 8) put(static_cast<std::uint8_t>(length >> shift));
    return true;
  }
  bool putText(const std::string& text) {
    if (!isValidUtf8(text) || !putLength(text.size())) return false;
    out.insert(out.end(), text.begin(), text.end());
    return true;
  }
};

}  // namespace

namespace detail {

class ArchiveReader {
 public:
  explicit ArchiveReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::optional<ArchiveValue> readArchive() {
    if (data_.size() < sizeof(kMagic) + 1) return std::nullopt;
    if (!std::equal(std::begin(kMagic), std::end(kMagic), data_.begin())) return std::nullopt;
    if (data_[sizeof(kMagic)] != kVersion) return std::nullopt;
    pos_ = sizeof(kMagic) + 1;
    ArchiveValue root;
    if (!read(root, 0) || pos_ != data_.size()) return std::nullopt;
    return root;
  }

 private:
  std::size_t remaining() const { return data_.size() - pos_; }

  bool get64(std::uint64_t& v) {
    if (remaining() < 8) return false;
    v = 0;
    for (int k = 0; k < 8; ++k) v = (v << 8) | data_[pos_++];
    return true;
  }

  /// A length or count, refused when it claims more than `unit` bytes apiece of what is left.
  bool getLength(std::size_t& length, std::size_t unit) {
    if (remaining() < 4) return false;
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = (v << 8) | data_[pos_++];
    if (v > remaining() / unit) return false;
    length = v;
    return true;
  }

  bool getText(std::string& text) {
    std::size_t length = 0;
    if (!getLength(length, 1)) return false;
    std::string_view bytes(reinterpret_cast<const char*>(data_.data() + pos_), length);
    if (!isValidUtf8(bytes)) return false;
    text.assign(bytes);
    pos_ += length;
    return true;
  }

  bool read(ArchiveValue& value, std::size_t depth) {
    if (remaining() < 1) return false;
    const std::uint8_t tag = data_[pos_++];
    std::uint64_t bits = 0;
    switch (tag) {
      case kNull:
        value = ArchiveValue();
        return true;
      case kFalse:
      case kTrue:
        value = ArchiveValue(tag == kTrue);
        return true;
      case kInteger:
        if (!get64(bits)) return false;
        value = ArchiveValue(static_cast<std::int64_t>(bits));
        return true;
      case kReal:
        if (!get64(bits)) return false;
        value = ArchiveValue(std::bit_cast<double>(bits));
        return true;
      case kDate:
        if (!get64(bits)) return false;
        value = ArchiveValue(Date(std::bit_cast<double>(bits)));
        return true;
      case kText: {
        std::string text;
        if (!getText(text)) return false;
        value = ArchiveValue(std::move(text));
        return true;
      }
      case kData: {
        std::size_t length = 0;
        if (!getLength(length, 1)) return false;
        const auto begin = data_.begin() + static_cast<std::ptrdiff_t>(pos_);
        value = ArchiveValue(Bytes(begin, begin + static_cast<std::ptrdiff_t>(length)));
        pos_ += length;
        return true;
      }
      case kList: {
        std::size_t count = 0;
        // Every element takes at least its tag byte.
        if (depth >= KeyedArchiver::maxDepth || !getLength(count, 1)) return false;
        ArchiveList list;
        list.reserve(std::min(count, kMostReserved));
        for (std::size_t k = 0; k < count; ++k) {
          list.emplace_back();
          if (!read(list.back(), depth + 1)) return false;
        }
        value = ArchiveValue(std::move(list));
        return true;
      }
      case kObject: {
        std::size_t count = 0;
        // Every entry takes at least a key length and a tag byte.
        if (depth >= KeyedArchiver::maxDepth || !getLength(count, 5)) return false;
        ArchiveObject object;
        std::vector<std::string_view> keys;
        keys.reserve(std::min(count, kMostReserved));
        for (std::size_t k = 0; k < count; ++k) {
          std::string key;
          ArchiveValue element;
          if (!getText(key)) return false;
          keys.emplace_back(reinterpret_cast<const char*>(data_.data() + pos_ - key.size()), key.size());
          if (!read(element, depth + 1)) return false;
          object.appendUnchecked(std::move(key), std::move(element));
        }
        std::sort(keys.begin(), keys.end());
        if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) return false;
        value = ArchiveValue(std::move(object));
        return true;
      }
      default:
        return false;
    }
  }

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

}  // namespace detail

// ArchiveObject

void ArchiveObject::set(std::string key, ArchiveValue value) {
  const auto it = std::find(keys_.begin(), keys_.end(), key);
  if (it != keys_.end()) {
    values_[static_cast<std::size_t>(it - keys_.begin())] = std::move(value);
    return;
  }
  appendUnchecked(std::move(key), std::move(value));
}

void ArchiveObject::appendUnchecked(std::string key, ArchiveValue value) {
  keys_.push_back(std::move(key));
  values_.push_back(std::move(value));
}

const ArchiveValue* ArchiveObject::find(std::string_view key) const {
  const auto it = std::find(keys_.begin(), keys_.end(), key);
  return it == keys_.end() ? nullptr : &values_[static_cast<std::size_t>(it - keys_.begin())];
}

bool ArchiveObject::remove(std::string_view key) {
  const auto it = std::find(keys_.begin(), keys_.end(), key);
  if (it == keys_.end()) return false;
  values_.erase(values_.begin() + (it - keys_.begin()));
  keys_.erase(it);
  return true;
}

bool operator==(const ArchiveObject& a, const ArchiveObject& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const ArchiveValue* other = b.find(a.keys_[k]);
    if (other == nullptr || !(*other == a.values_[k])) return false;
  }
  return true;
}

// ArchiveValue

std::optional<bool> ArchiveValue::asBool() const {
  if (const bool* value = std::get_if<bool>(&storage_)) return *value;
  return std::nullopt;
}

std::optional<std::int64_t> ArchiveValue::asInteger() const {
  if (const std::int64_t* value = std::get_if<std::int64_t>(&storage_)) return *value;
  if (const double* value = std::get_if<double>(&storage_)) {
    const double d = *value;
    if (d >= -kTwoTo63 && d < kTwoTo63 && std::trunc(d) == d) return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

std::optional<double> ArchiveValue::asDouble() const {
  if (const double* value = std::get_if<double>(&storage_)) return *value;
  if (const std::int64_t* value = std::get_if<std::int64_t>(&storage_)) {
    const double d = static_cast<double>(*value);
    if (d < kTwoTo63 && static_cast<std::int64_t>(d) == *value) return d;
  }
  return std::nullopt;
}

std::optional<Date> ArchiveValue::asDate() const {
  if (const Date* value = std::get_if<Date>(&storage_)) return *value;
  return std::nullopt;
}

std::optional<nlohmann::json> ArchiveValue::toJSON() const {
  switch (kind()) {
    case Kind::null:
      return nlohmann::json(nullptr);
    case Kind::boolean:
      return nlohmann::json(*asBool());
    case Kind::integer:
      return nlohmann::json(std::get<std::int64_t>(storage_));
    case Kind::real: {
      const double d = std::get<double>(storage_);
      if (!std::isfinite(d)) return std::nullopt;
      return nlohmann::json(d);
    }
    case Kind::text:
      return nlohmann::json(*asText());
    case Kind::data:
    case Kind::date:
      return std::nullopt;
    case Kind::list: {
      nlohmann::json array = nlohmann::json::array();
      for (const ArchiveValue& element : *asList()) {
        auto json = element.toJSON();
        if (!json) return std::nullopt;
        array.push_back(std::move(*json));
      }
      return array;
    }
    case Kind::object: {
      nlohmann::json object = nlohmann::json::object();
      const ArchiveObject& entries = *asObject();
      for (std::size_t k = 0; k < entries.size(); ++k) {
        auto json = entries.values()[k].toJSON();
        if (!json) return std::nullopt;
        object[entries.keys()[k]] = std::move(*json);
      }
      return object;
    }
  }
  return std::nullopt;
}

std::optional<ArchiveValue> ArchiveValue::fromJSON(const nlohmann::json& json) {
  switch (json.type()) {
    case nlohmann::json::value_t::null:
      return ArchiveValue();
    case nlohmann::json::value_t::boolean:
      return ArchiveValue(json.get_ref<const bool&>());
    case nlohmann::json::value_t::number_integer:
      return ArchiveValue(json.get_ref<const std::int64_t&>());
    case nlohmann::json::value_t::number_unsigned: {
      const std::uint64_t v = json.get_ref<const std::uint64_t&>();
      if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
      return ArchiveValue(static_cast<std::int64_t>(v));
    }
    case nlohmann::json::value_t::number_float:
      return ArchiveValue(json.get_ref<const double&>());
    case nlohmann::json::value_t::string:
      return ArchiveValue(json.get_ref<const std::string&>());
    case nlohmann::json::value_t::array: {
      ArchiveList list;
      list.reserve(json.size());
      for (const auto& element : json) {
        auto value = fromJSON(element);
        if (!value) return std::nullopt;
        list.push_back(std::move(*value));
      }
      return ArchiveValue(std::move(list));
    }
    case nlohmann::json::value_t::object: {
      ArchiveObject object;
      for (const auto& [key, element] : json.items()) {
        auto value = fromJSON(element);
        if (!value) return std::nullopt;
        object.set(key, std::move(*value));
      }
      return ArchiveValue(std::move(object));
    }
    default:
      return std::nullopt;
  }
}

// KeyedArchiver

std::optional<Bytes> KeyedArchiver::archivedData(const ArchiveValue& rootObject) {
  try {
    Writer writer;
    writer.out.assign(std::begin(kMagic), std::end(kMagic));
    writer.out.push_back(kVersion);
    if (!writer.write(rootObject, 0)) return std::nullopt;
    return std::move(writer.out);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

// KeyedUnarchiver

KeyedUnarchiver::KeyedUnarchiver(ArchiveObject object)
    : root_(std::make_shared<const ArchiveValue>(std::move(object))), object_(root_->asObject()) {}

std::optional<ArchiveValue> KeyedUnarchiver::unarchiveObject(std::span<const std::uint8_t> data) {
  try {
    return detail::ArchiveReader(data).readArchive();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<KeyedUnarchiver> KeyedUnarchiver::fromData(std::span<const std::uint8_t> data) {
  auto root = unarchiveObject(data);
  if (!root || root->kind() != ArchiveValue::Kind::object) return std::nullopt;
  auto shared = std::make_shared<const ArchiveValue>(std::move(*root));
  const ArchiveObject* object = shared->asObject();
  return KeyedUnarchiver(std::move(shared), object);
}

const ArchiveValue* KeyedUnarchiver::present(std::string_view key) const {
  const ArchiveValue* value = object_->find(key);
  return value != nullptr && !value->isNull() ? value : nullptr;
}

std::optional<bool> KeyedUnarchiver::decodeBool(std::string_view key) const {
  const ArchiveValue* value = present(key);
  return value ? value->asBool() : std::nullopt;
}

std::optional<std::int64_t> KeyedUnarchiver::decodeInteger(std::string_view key) const {
  const ArchiveValue* value = present(key);
  return value ? value->asInteger() : std::nullopt;
}

std::optional<double> KeyedUnarchiver::decodeDouble(std::string_view key) const {
  const ArchiveValue* value = present(key);
  return value ? value->asDouble() : std::nullopt;
}

std::optional<std::string> KeyedUnarchiver::decodeString(std::string_view key) const {
  const ArchiveValue* value = present(key);
  if (value == nullptr || value->asText() == nullptr) return std::nullopt;
  return *value->asText();
}

std::optional<Bytes> KeyedUnarchiver::decodeData(std::string_view key) const {
  const ArchiveValue* value = present(key);
  if (value == nullptr || value->asData() == nullptr) return std::nullopt;
  return *value->asData();
}

std::optional<Date> KeyedUnarchiver::decodeDate(std::string_view key) const {
  const ArchiveValue* value = present(key);
  return value ? value->asDate() : std::nullopt;
}

std::optional<ArchiveList> KeyedUnarchiver::decodeList(std::string_view key) const {
  const ArchiveValue* value = present(key);
  if (value == nullptr || value->asList() == nullptr) return std::nullopt;
  return *value->asList();
}

std::optional<KeyedUnarchiver> KeyedUnarchiver::decodeArchive(std::string_view key) const {
  const ArchiveValue* value = present(key);
  if (value == nullptr || value->asObject() == nullptr) return std::nullopt;
  return KeyedUnarchiver(root_, value->asObject());
}

std::optional<ArchiveValue> KeyedUnarchiver::decodeObject(std::string_view key) const {
  const ArchiveValue* value = present(key);
  if (value == nullptr) return std::nullopt;
  return *value;
}

}  // namespace talvaren::platform
