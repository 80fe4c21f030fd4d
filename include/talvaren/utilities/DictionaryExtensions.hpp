#pragma once
// Merging of two dictionaries, the second winning on equal keys.

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

}  // namespace talvaren
