#pragma once
// JSON access over nlohmann-json, strict about kinds and safe on any outside data.
//
// Reading a key gives a value only when the key is present and its value is of the wanted kind:
//   - text (std::string): only a JSON string;
//   - integer (std::int64_t): a JSON integer in range, or a float holding an exact integral value in range;
//   - double: any JSON number (integer or float);
//   - Boolean: only true or false;
//   - a list (std::vector) of one of these kinds: a JSON array whose every element is of that kind.
// Anything else (a missing key, null, another kind, a non-object) reads as absent. No read throws.
//
// Records take part through two members:
//   static std::optional<R> fromJSON(const JSON&);   the failable constructor from a JSON object
//   std::optional<JSON> toJSON() const;              the record as a JSON object (or `JSON`)
// A list or dictionary of records may hold them by value or by std::shared_ptr<R>.
// A list or dictionary in which one element makes no record (or writes no object) is absent as a whole.
//
// Writing: each `write*` gives one piece (a key and its value) or nothing for an absent value, and
// `jsonify` gathers the present pieces into one object:
//   return Json::jsonify(Json::write("uuid", uuid), Json::writeRecordList("hr_data", heartrates));

#include <concepts>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace talvaren::platform {

/// A parsed JSON value: object, array, text, number, Boolean or null.
using JSON = nlohmann::json;

namespace Json {

// ---- Kinds ----------------------------------------------------------------------------------------

template <class T>
inline constexpr bool isScalarKind = std::is_same_v<T, std::string> || std::is_same_v<T, std::int64_t> ||
                                     std::is_same_v<T, double> || std::is_same_v<T, bool>;

template <class T>
struct IsList : std::false_type {};
template <class T>
struct IsList<std::vector<T>> : std::bool_constant<isScalarKind<T>> {};

/// The kinds a value read or write handles: text, integer, double, Boolean, or a list of one of them.
template <class T>
concept ValueKind = isScalarKind<T> || IsList<T>::value;

/// The value `value` as kind T, or absent when it is of another kind.
std::optional<std::string> asText(const JSON& value);
std::optional<std::int64_t> asInteger(const JSON& value);
std::optional<double> asDouble(const JSON& value);
std::optional<bool> asBoolean(const JSON& value);

template <ValueKind T>
std::optional<T> as(const JSON& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    return asText(value);
  } else if constexpr (std::is_same_v<T, std::int64_t>) {
    return asInteger(value);
  } else if constexpr (std::is_same_v<T, double>) {
    return asDouble(value);
  } else if constexpr (std::is_same_v<T, bool>) {
    return asBoolean(value);
  } else {
    using Element = typename T::value_type;
    if (!value.is_array()) return std::nullopt;
    T list;
    list.reserve(value.size());
    for (const auto& element : value) {
      auto read = as<Element>(element);
      if (!read) return std::nullopt;
      list.push_back(std::move(*read));
    }
    return list;
  }
}

/// The value under `key` of `object`, or nullptr when `object` is no object or lacks the key.
const JSON* member(const JSON& object, std::string_view key);

// ---- Value reads ----------------------------------------------------------------------------------

/// The value under `key` when present and of kind T; otherwise absent.
template <ValueKind T>
std::optional<T> read(const JSON& object, std::string_view key) {
  const JSON* value = member(object, key);
  return value ? as<T>(*value) : std::nullopt;
}

/// Stores the value under `key` in `into`: the value when present and of kind T, otherwise absent.
template <ValueKind T>
void read(const JSON& object, std::string_view key, std::optional<T>& into) {
  into = read<T>(object, key);
}

// ---- Records ----------------------------------------------------------------------------------------

template <class E>
struct RecordElement {
  using Record = E;
  static E wrap(E&& record) { return std::move(record); }
  static const E* get(const E& element) { return &element; }
};
template <class R>
struct RecordElement<std::shared_ptr<R>> {
  using Record = R;
  static std::shared_ptr<R> wrap(R&& record) { return std::make_shared<R>(std::move(record)); }
  static const R* get(const std::shared_ptr<R>& element) { return element.get(); }
};

/// A record class, or a shared pointer to one, with the failable constructor `fromJSON`.
template <class E>
concept Decodable = requires(const JSON& json) {
  { RecordElement<E>::Record::fromJSON(json) } -> std::same_as<std::optional<typename RecordElement<E>::Record>>;
};

/// A record class, or a shared pointer to one, with `toJSON()`.
template <class E>
concept Encodable = requires(const typename RecordElement<E>::Record& record) {
  { record.toJSON() } -> std::convertible_to<std::optional<JSON>>;
};

/// One record from a JSON object (absent when `json` is no object or the record refuses it).
template <Decodable E>
std::optional<E> decode(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  auto made = RecordElement<E>::Record::fromJSON(json);
  if (!made) return std::nullopt;
  return RecordElement<E>::wrap(std::move(*made));
}

/// One record as a JSON object (absent for a null pointer or a record that writes no object).
template <Encodable E>
std::optional<JSON> encode(const E& element) {
  const auto* record = RecordElement<E>::get(element);
  if (record == nullptr) return std::nullopt;
  std::optional<JSON> json = record->toJSON();
  if (!json || !json->is_object()) return std::nullopt;
  return json;
}

namespace detail {
template <Decodable E, class Objects>
std::optional<std::vector<E>> decodeAll(const Objects& objects) {
  std::vector<E> records;
  records.reserve(objects.size());
  for (const auto& element : objects) {
    auto record = decode<E>(element);
    if (!record) return std::nullopt;
    records.push_back(std::move(*record));
  }
  return records;
}
}  // namespace detail

/// A list of records from a JSON array of objects; absent when `array` is no array or any element fails.
template <Decodable E>
std::optional<std::vector<E>> fromJSONArray(const JSON& array) {
  if (!array.is_array()) return std::nullopt;
  return detail::decodeAll<E>(array);
}

template <Decodable E>
std::optional<std::vector<E>> fromJSONArray(const std::vector<JSON>& objects) {
  return detail::decodeAll<E>(objects);
}

/// A list of records as a JSON array of objects; absent when any record writes no object.
template <Encodable E>
std::optional<JSON> toJSONArray(const std::vector<E>& records) {
  JSON array = JSON::array();
  array.get_ref<JSON::array_t&>().reserve(records.size());
  for (const auto& record : records) {
    auto json = encode(record);
    if (!json) return std::nullopt;
    array.push_back(std::move(*json));
  }
  return array;
}

namespace detail {
/// Reads the JSON text of one array and hands each element to `element` (a `bool(const JSON&)`) as soon as
/// it is read, so that only one element's tree is held at a time. False when the text is malformed, nests
/// deeper than `maximumDepth`, is no array, or when `element` refuses an element (which ends the read).
bool forEachArrayElement(std::string_view text, const std::function<bool(const JSON&)>& element);
}  // namespace detail

/// The records of a JSON array text: what `fromJSONArray(*parse(text))` gives, without building the tree
/// of the whole array first (a long upload holds one element's tree at a time).
template <Decodable E>
std::optional<std::vector<E>> decodeArray(std::string_view text) {
  std::vector<E> records;
  const bool read = detail::forEachArrayElement(text, [&records](const JSON& element) {
    auto record = decode<E>(element);
    if (!record) return false;
    records.push_back(std::move(*record));
    return true;
  });
  if (!read) return std::nullopt;
  return records;
}

/// The compact text of a list of records: what `dump(*toJSONArray(records))` gives, written record by
/// record without the tree of the whole array; absent when any record writes no object.
template <Encodable E>
std::optional<std::string> dumpArray(const std::vector<E>& records);

/// The record under `key`, made from a nested JSON object.
template <Decodable E>
std::optional<E> readRecord(const JSON& object, std::string_view key) {
  const JSON* value = member(object, key);
  return value ? decode<E>(*value) : std::nullopt;
}

/// The list of records under `key`, made from a JSON array of objects.
template <Decodable E>
std::optional<std::vector<E>> readRecordList(const JSON& object, std::string_view key) {
  const JSON* value = member(object, key);
  return value ? fromJSONArray<E>(*value) : std::nullopt;
}

/// The records under `key` by name, made from a JSON object whose every member is a record's object.
template <Decodable E>
std::optional<std::map<std::string, E, std::less<>>> readRecordDictionary(const JSON& object, std::string_view key) {
  const JSON* value = member(object, key);
  if (value == nullptr || !value->is_object()) return std::nullopt;
  std::map<std::string, E, std::less<>> records;
  for (const auto& [name, element] : value->items()) {
    auto record = decode<E>(element);
    if (!record) return std::nullopt;
    records.emplace(name, std::move(*record));
  }
  return records;
}

// ---- Writes: each gives one piece (one entry of the object being written) or absent ------------------

/// One entry of a JSON object being written: a key and its value.
struct Piece {
  std::string key;
  JSON value;
};

namespace detail {
inline std::optional<Piece> piece(std::string_view key, JSON value) {
  return Piece{std::string(key), std::move(value)};
}
}  // namespace detail

/// {key: value} when the value is present; otherwise absent.
template <ValueKind T>
std::optional<Piece> write(std::string_view key, const std::optional<T>& value) {
  if (!value) return std::nullopt;
  return detail::piece(key, JSON(*value));
}

/// Plain values are always present. A C string or a string view writes as text.
template <ValueKind T>
std::optional<Piece> write(std::string_view key, const T& value) {
  return write(key, std::optional<T>(value));
}
inline std::optional<Piece> write(std::string_view key, std::string_view text) {
  return write(key, std::optional<std::string>(std::string(text)));
}
inline std::optional<Piece> write(std::string_view key, const char* text) {
  return write(key, std::string_view(text));
}

/// {key: the record's object} when the record is present and writes one; otherwise absent.
template <Encodable E>
std::optional<Piece> writeRecord(std::string_view key, const std::optional<E>& record) {
  if (!record) return std::nullopt;
  auto json = encode(*record);
  if (!json) return std::nullopt;
  return detail::piece(key, std::move(*json));
}

/// {key: [each record's object]} when the list is present and every record writes an object.
template <Encodable E>
std::optional<Piece> writeRecordList(std::string_view key, const std::optional<std::vector<E>>& records) {
  if (!records) return std::nullopt;
  auto array = toJSONArray(*records);
  if (!array) return std::nullopt;
  return detail::piece(key, std::move(*array));
}

/// {key: {name: the record's object, ...}} when the dictionary is present and every record writes one.
template <Encodable E, class Compare>
std::optional<Piece> writeRecordDictionary(std::string_view key,
                                          const std::optional<std::map<std::string, E, Compare>>& records) {
  if (!records) return std::nullopt;
  JSON dictionary = JSON::object();
  for (const auto& [name, record] : *records) {
    auto json = encode(record);
    if (!json) return std::nullopt;
    dictionary.emplace(name, std::move(*json));
  }
  return detail::piece(key, std::move(dictionary));
}

/// One JSON object holding the entry of every present piece; absent pieces add nothing. Each key is
/// taken whole and its entry stands at the top level; when two pieces share a key, the later one wins.
///   return Json::jsonify(Json::write("uuid", uuid), Json::write("owner", owner));
template <class... Pieces>
  requires(std::same_as<std::remove_cvref_t<Pieces>, std::optional<Piece>> && ...)
JSON jsonify(Pieces&&... pieces) {
  JSON result = JSON::object();
  auto& entries = result.get_ref<JSON::object_t&>();
  [[maybe_unused]] auto add = [&entries](auto&& piece) {
    if (!piece) return;
    using Given = decltype(piece);
    if constexpr (std::is_rvalue_reference_v<Given> && !std::is_const_v<std::remove_reference_t<Given>>) {
      entries.insert_or_assign(std::move(piece->key), std::move(piece->value));
    } else {
      entries.insert_or_assign(piece->key, piece->value);
    }
  };
  (add(std::forward<Pieces>(pieces)), ...);
  return result;
}
JSON jsonify(std::vector<std::optional<Piece>> pieces);

// ---- Text -----------------------------------------------------------------------------------------

/// Nesting deeper than this is refused by `parse`.
inline constexpr std::size_t maximumDepth = 512;

/// Parses a whole JSON text. Absent on malformed text, on trailing characters other than blanks, and on
/// nesting deeper than `maximumDepth`: a text nested deeper is refused before any of it is built. Never
/// throws. Every JSON text the kit reads from outside (server replies, files, keychain items, packages) is
/// parsed here, so no value it holds is deeper than `maximumDepth`.
std::optional<JSON> parse(std::string_view text);

/// True when no array or object of `value` lies deeper than `limit` levels (a scalar is 0 levels deep, an
/// empty container 1). Walks the value without recursion, so any value, such as one a host built, can be
/// checked before anything recursive (a copy, a dump) touches it.
bool nestedWithin(const JSON& value, std::size_t limit = maximumDepth);

/// The JSON text of `value` (compact, or indented by `indent` blanks when it is 0 or more). Invalid UTF-8
/// inside texts is written as U+FFFD rather than refused. Never throws.
std::string dump(const JSON& value, int indent = -1);

namespace detail {
/// Appends the compact text of `value` to `text` as `dump` writes it; false when it could not.
bool appendDump(const JSON& value, std::string& text);
}  // namespace detail

template <Encodable E>
std::optional<std::string> dumpArray(const std::vector<E>& records) {
  std::string text = "[";
  for (std::size_t i = 0; i < records.size(); ++i) {
    auto json = encode(records[i]);
    if (!json) return std::nullopt;
    if (i > 0) text += ',';
    if (!detail::appendDump(*json, text)) return std::nullopt;
  }
  text += ']';
  return text;
}

}  // namespace Json
}  // namespace talvaren::platform

namespace talvaren {
using platform::JSON;
namespace Json = platform::Json;
}  // namespace talvaren
