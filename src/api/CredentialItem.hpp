#pragma once
// Private: the bytes of a credential's keychain item, its JSON object as compact JSON; the last item of
// each kind decoded is remembered with its credential.

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren::credentials_detail {

/// The JSON object held by a keychain item, if the bytes are one.
std::optional<JSON> keychainObject(std::span<const std::uint8_t> data);
/// A credential's JSON object as keychain bytes; none when it writes no object.
Bytes keychainBytes(const std::optional<JSON>& json);

/// The last item of one kind of credential decoded, with what it decoded to: a request reads the same
/// stored credential again and again.
template <class Credential>
struct DecodedItem {
  std::mutex mutex;
  std::optional<Bytes> data;
  std::optional<Credential> credential;
};

/// The credential (APIToken or APIKey) kept in a keychain item; none for anything else.
template <class Credential>
std::optional<Credential> fromItem(std::span<const std::uint8_t> data) {
  static auto& last = *new DecodedItem<Credential>();
  {
    std::lock_guard lock(last.mutex);
    if (last.data && std::equal(data.begin(), data.end(), last.data->begin(), last.data->end())) {
      return last.credential;
    }
  }
  auto object = keychainObject(data);
  auto credential = object ? Credential::fromJSON(*object) : std::nullopt;
  std::lock_guard lock(last.mutex);
  last.data.emplace(data.begin(), data.end());
  last.credential = credential;
  return credential;
}

}  // namespace talvaren::credentials_detail
