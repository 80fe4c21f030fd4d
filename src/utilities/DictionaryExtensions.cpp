#include "talvaren/utilities/DictionaryExtensions.hpp"

namespace talvaren {

nlohmann::json mergeWith(const nlohmann::json& receiver, const nlohmann::json& dictionary) {
  nlohmann::json result = nlohmann::json::object();
  for (const auto* source : {&receiver, &dictionary}) {
    if (!source->is_object()) continue;
    for (const auto& [key, value] : source->items()) result[key] = value;
  }
  return result;
}

}  // namespace talvaren
