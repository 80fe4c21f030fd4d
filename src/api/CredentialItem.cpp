#include "api/CredentialItem.hpp"

#include <string_view>

namespace talvaren::credentials_detail {

std::optional<JSON> keychainObject(std::span<const std::uint8_t> data) {
  auto value = Json::parse(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  if (!value || !value->is_object()) return std::nullopt;
  return value;
}

Bytes keychainBytes(const std::optional<JSON>& json) {
  if (!json || !json->is_object()) return {};
  const std::string text = Json::dump(*json);
  return Bytes(text.begin(), text.end());
}

}  // namespace talvaren::credentials_detail
