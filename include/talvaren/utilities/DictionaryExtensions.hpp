#pragma once
// Merging of two dictionaries, the second winning on equal keys, and the text form in which request
// logs print dictionaries.

#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace talvaren {

/// A new map with every key of `receiver` and of `dictionary`; on a key present in both, the value of
/// `dictionary`. Neither argument is changed. Works with any map type of the standard library.
template <class Map>
Map mergeWith(const Map& receiver, const Map& dictionary) {
  Map result;
  for (const auto& [key, value] : receiver) result.insert_or_assign(key, value);
  for (const auto& [key, value] : dictionary) result.insert_or_assign(key, value);
  return result;
}

/// The same for JSON objects. A value that is not an object contributes no keys; the result is
/// always an object.
nlohmann::json mergeWith(const nlohmann::json& receiver, const nlohmann::json& dictionary);

/// The text form of a value as request logs print it, on one line:
///   object   ["key": value, "other": value]   ([:] when empty; keys in the object's order)
///   array    [value, value]
///   text     "quoted", with \" \\ \n \r \t escaped and other control characters as \u{1b}; in a
///            text that is not UTF-8 every byte above 0x7F prints as \u{fffd}
///   number   as written in JSON; true / false; null as <null>; binary as "<n> bytes"
/// Containers nested more than 128 deep print as [...].
/// Never throws on any value.
std::string dictionaryDescription(const nlohmann::json& value);
/// The same for header fields (text to text).
std::string dictionaryDescription(const std::map<std::string, std::string>& dictionary);

}  // namespace talvaren
