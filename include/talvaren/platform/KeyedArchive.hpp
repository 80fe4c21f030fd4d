#pragma once
// Keyed archives: the kit's own self-describing binary format for storing objects as keyed entries.
//
// A `KeyedArchiver` collects entries (`encode(value, key)`) and turns them into bytes; a
// `KeyedUnarchiver` reads bytes back and answers kind-aware questions per key. Both sit on
// `ArchiveValue`, one value of any archivable kind:
//
//   null, Boolean, integer (int64), double, text (UTF-8), data (bytes), date,
//   list of values, object (keyed entries, in the order they were written).
//
// Reading across kinds. An integer read (`decodeInteger`, `ArchiveValue::asInteger`) takes an
// integer entry, or a double entry that holds an exact integral value within the int64 range
// (3.0 reads as 3; 3.5, 1e19 and NaN read as nothing). A double read takes a double entry, or an
// integer entry whose value a double holds exactly (every integer up to 2^53 in magnitude). Nothing
// else crosses kinds: a Boolean is never a number, a date is never a double, a text never a number.
// A missing key, a null entry and an entry of another kind all read as nothing; `containsValue`
// tells a null entry (true) from a missing key (false).
//
// Byte format (version 1), all numbers big-endian:
//   archive := "TKAR" 0x01 value            (nothing may follow the root value)
//   value   := 0x00                         null
//            | 0x01 | 0x02                  false | true
//            | 0x03 int64                   integer, two's complement
//            | 0x04 float64                 double, IEEE 754 bits
//            | 0x05 u32 length, bytes       text, valid UTF-8
//            | 0x06 u32 length, bytes       data
//            | 0x07 float64                 date, seconds since 1970
//            | 0x08 u32 count, values       list
//            | 0x09 u32 count, entries      object; entry := u32 length, UTF-8 key bytes, value
// Keys of one object are unique. Containers nest at most `maxDepth` deep (the root container counts
// as one). The format is canonical: bytes that decode re-encode to exactly the same bytes.
// Anything else (damaged, truncated, foreign or newer data) reads as nothing; reading never
// allocates more than a fixed multiple of the input's size.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"

namespace talvaren::platform {

class ArchiveValue;
class KeyedArchiver;
namespace detail {
class ArchiveReader;
}

using ArchiveList = std::vector<ArchiveValue>;

/// Keyed entries in the order they were first written. Setting an existing key replaces its value
/// in place. Equality ignores the order of the entries.
class ArchiveObject {
 public:
  ArchiveObject() = default;

  void set(std::string key, ArchiveValue value);
  /// The value under `key`, or nullptr when the key is missing (a null entry gives a null value).
  const ArchiveValue* find(std::string_view key) const;
  bool contains(std::string_view key) const { return find(key) != nullptr; }
  bool remove(std::string_view key);

  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  /// Keys in written order; `values()[i]` is the value under `keys()[i]`.
  const std::vector<std::string>& keys() const { return keys_; }
  const std::vector<ArchiveValue>& values() const { return values_; }

  friend bool operator==(const ArchiveObject& a, const ArchiveObject& b);

 private:
  friend class detail::ArchiveReader;
  // For the reader, which has already checked that the keys are unique.
  void appendUnchecked(std::string key, ArchiveValue value);

  std::vector<std::string> keys_;
  std::vector<ArchiveValue> values_;
};

/// One archivable value. Built implicitly from the C++ value it holds; an absent optional builds a
/// null value.
class ArchiveValue {
 public:
  enum class Kind { null, boolean, integer, real, text, data, date, list, object };

  ArchiveValue() = default;
  ArchiveValue(std::nullptr_t) {}
  template <class T>
    requires std::same_as<T, bool>
  ArchiveValue(T value) : storage_(value) {}
  /// Any integer that fits in int64 (unsigned 64-bit values may not, so they are not accepted).
  template <std::integral T>
    requires(!std::same_as<T, bool> && (std::is_signed_v<T> || sizeof(T) < sizeof(std::int64_t)))
  ArchiveValue(T value) : storage_(static_cast<std::int64_t>(value)) {}
  template <std::floating_point T>
  ArchiveValue(T value) : storage_(static_cast<double>(value)) {}
  ArchiveValue(std::string value) : storage_(std::move(value)) {}
  ArchiveValue(std::string_view value) : storage_(std::string(value)) {}
  ArchiveValue(const char* value) : storage_(std::string(value)) {}
  ArchiveValue(Bytes value) : storage_(std::move(value)) {}
  ArchiveValue(Date value) : storage_(value) {}
  ArchiveValue(ArchiveList value) : storage_(std::move(value)) {}
  ArchiveValue(ArchiveObject value) : storage_(std::move(value)) {}
  template <class T>
    requires std::constructible_from<ArchiveValue, const T&>
  ArchiveValue(const std::optional<T>& value) {
    if (value) *this = ArchiveValue(*value);
  }

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool isNull() const { return kind() == Kind::null; }

  /// Kind-aware reads; see the header comment for the integer/double crossing.
  std::optional<bool> asBool() const;
  std::optional<std::int64_t> asInteger() const;
  std::optional<double> asDouble() const;
  std::optional<Date> asDate() const;
  const std::string* asText() const { return std::get_if<std::string>(&storage_); }
  const Bytes* asData() const { return std::get_if<Bytes>(&storage_); }
  const ArchiveList* asList() const { return std::get_if<ArchiveList>(&storage_); }
  const ArchiveObject* asObject() const { return std::get_if<ArchiveObject>(&storage_); }

  /// The JSON form: null, Boolean, number, text, array and object map one to one; data, dates and
  /// non-finite doubles have none, and a value holding one gives nothing.
  std::optional<nlohmann::json> toJSON() const;
  /// Builds a value from JSON; unsigned numbers above the int64 range and binary values give nothing.
  static std::optional<ArchiveValue> fromJSON(const nlohmann::json& json);

  friend bool operator==(const ArchiveValue& a, const ArchiveValue& b) { return a.storage_ == b.storage_; }

 private:
  std::variant<std::monostate, bool, std::int64_t, double, std::string, Bytes, Date, ArchiveList, ArchiveObject>
      storage_;
};

/// A type that writes itself as keyed entries: `void encode(KeyedArchiver&) const`.
template <class T>
concept KeyedArchivable = requires(const T& object, KeyedArchiver& coder) { object.encode(coder); };

/// Collects keyed entries and turns them into archive bytes.
class KeyedArchiver {
 public:
  /// Entries nest at most this deep, counting the root container.
  static constexpr std::size_t maxDepth = 64;

  KeyedArchiver() = default;

  /// Writes `value` under `key`, replacing an earlier entry of that key. An absent optional writes
  /// a null entry.
  void encode(ArchiveValue value, std::string_view key) { object_.set(std::string(key), std::move(value)); }
  /// Writes an object that archives itself as a nested archive under `key`.
  template <KeyedArchivable T>
  void encode(const T& object, std::string_view key) {
    KeyedArchiver nested;
    object.encode(nested);
    encode(ArchiveValue(std::move(nested.object_)), key);
  }
  /// Shared objects: a null pointer writes a null entry.
  template <KeyedArchivable T>
  void encode(const std::shared_ptr<T>& object, std::string_view key) {
    if (object) {
      encode(*object, key);
    } else {
      encodeNull(key);
    }
  }
  void encodeNull(std::string_view key) { encode(ArchiveValue(), key); }

  /// The entries written so far.
  const ArchiveObject& object() const { return object_; }
  /// Archive bytes with the entries as the root object; nothing when a text or key is not UTF-8 or
  /// the entries nest deeper than `maxDepth`.
  std::optional<Bytes> encodedData() const { return archivedData(ArchiveValue(object_)); }

  /// Archive bytes of any root value, with the same refusals as `encodedData()`.
  static std::optional<Bytes> archivedData(const ArchiveValue& rootObject);
  /// Archive bytes of an object that archives itself.
  template <KeyedArchivable T>
  static std::optional<Bytes> archivedData(const T& rootObject) {
    KeyedArchiver archiver;
    rootObject.encode(archiver);
    return archiver.encodedData();
  }

 private:
  ArchiveObject object_;
};

/// Reads keyed entries. Every read answers nothing for a missing key, a null entry or an entry of
/// another kind. Nested readers share the decoded archive, so they stay valid on their own.
class KeyedUnarchiver {
 public:
  /// Reads the entries of an object built in memory.
  explicit KeyedUnarchiver(ArchiveObject object);

  /// A reader over archive bytes whose root value is an object; nothing for any other input.
  static std::optional<KeyedUnarchiver> fromData(std::span<const std::uint8_t> data);
  /// The root value of archive bytes, of any kind; nothing when the bytes are not a readable archive.
  static std::optional<ArchiveValue> unarchiveObject(std::span<const std::uint8_t> data);

  /// True for any entry under `key`, a null entry included.
  bool containsValue(std::string_view key) const { return object_->contains(key); }
  std::optional<bool> decodeBool(std::string_view key) const;
  std::optional<std::int64_t> decodeInteger(std::string_view key) const;
  std::optional<double> decodeDouble(std::string_view key) const;
  std::optional<std::string> decodeString(std::string_view key) const;
  std::optional<Bytes> decodeData(std::string_view key) const;
  std::optional<Date> decodeDate(std::string_view key) const;
  std::optional<ArchiveList> decodeList(std::string_view key) const;
  /// A reader over the nested object under `key`.
  std::optional<KeyedUnarchiver> decodeArchive(std::string_view key) const;
  /// The value under `key` whatever its kind; nothing for a missing key or a null entry.
  std::optional<ArchiveValue> decodeObject(std::string_view key) const;

  /// All entries of this reader's object.
  const ArchiveObject& object() const { return *object_; }

 private:
  KeyedUnarchiver(std::shared_ptr<const ArchiveValue> root, const ArchiveObject* object)
      : root_(std::move(root)), object_(object) {}
  const ArchiveValue* present(std::string_view key) const;

  std::shared_ptr<const ArchiveValue> root_;
  const ArchiveObject* object_;
};

}  // namespace talvaren::platform
