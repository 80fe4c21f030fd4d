#pragma once
// Private: the bytes of a credential's keychain item, its JSON object as compact JSON.

#include <cstdint>
#include <optional>
#include <span>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren::credentials_detail {

/// The JSON object held by a keychain item, if the bytes are one.
std::optional<JSON> keychainObject(std::span<const std::uint8_t> data);
/// A credential's JSON object as keychain bytes; none when it writes no object.
Bytes keychainBytes(const std::optional<JSON>& json);

/// The credential (APIToken or APIKey) kept in a keychain item; none for anything else.
template <class Credential>
std::optional<Credential> fromItem(std::span<const std::uint8_t> data) {
  auto object = keychainObject(data);
  return object ? Credential::fromJSON(*object) : std::nullopt;
}

}  // namespace talvaren::credentials_detail
