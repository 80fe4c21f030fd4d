#include "talvaren/api/APIKey.hpp"

#include "api/CredentialItem.hpp"

namespace talvaren {

namespace {

using StringList = std::vector<std::string>;

}  // namespace

APIKey::APIKey(std::string key, std::string publicId, std::optional<std::int64_t> userId,
               std::optional<StringList> email, std::optional<StringList> password)
    : apiKey(std::move(key)),
      publicId_(std::move(publicId)),
      userId_(userId),
      email_(std::move(email)),
      password_(std::move(password)) {}

std::optional<APIKey> APIKey::fromJSON(const JSON& json) {
  auto key = platform::Json::read<std::string>(json, APIKeyKey);
  auto publicId = platform::Json::read<std::string>(json, PublicIdKey);
  if (!key || !publicId) return std::nullopt;
  return APIKey(std::move(*key), std::move(*publicId), platform::Json::read<std::int64_t>(json, "user_id"),
                platform::Json::read<StringList>(json, "email"), platform::Json::read<StringList>(json, "password1"));
}

std::optional<JSON> APIKey::toJSON() const {
  JSON json = JSON::object();
  json[std::string(APIKeyKey)] = apiKey;
  json[std::string(PublicIdKey)] = publicId_;
  return json;
}

Bytes APIKey::keychainData() const { return credentials_detail::keychainBytes(toJSON()); }

std::optional<APIKey> APIKey::fromKeychainData(std::span<const std::uint8_t> data) {
  return credentials_detail::fromItem<APIKey>(data);
}

platform::http::HTTPHeaders APIKey::header() const {
  return {{std::string(APIKeyKey), apiKey}, {std::string(PublicIdKey), publicId_}};
}

}  // namespace talvaren
