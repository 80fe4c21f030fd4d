#pragma once
// Internal: reading the fields of a provider's summary object in one pass over its members.

#include <optional>
#include <string_view>

#include "talvaren/platform/Json.hpp"

namespace talvaren::detail {

/// A field of a record and the key it is read from.
template <class T>
struct SummaryField {
  std::string_view key;
  std::optional<T>& into;
};

template <class T>
SummaryField(std::string_view, std::optional<T>&) -> SummaryField<T>;

/// Stores in each field the value of its key in `object`, as `Json::read` does (absent when the key is
/// missing or its value of another kind), reading the object's members once, in order, rather than
/// looking every key up in it: a reply of many summaries is walked once. `object` must be a JSON object.
template <class... T>
void readSummaryFields(const JSON& object, SummaryField<T>... fields) {
  ((fields.into = std::nullopt), ...);
  for (const auto& [key, value] : object.get_ref<const JSON::object_t&>()) {
    (void)((key == fields.key && (fields.into = platform::Json::as<T>(value), true)) || ...);
  }
}

}  // namespace talvaren::detail
