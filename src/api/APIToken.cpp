#include "talvaren/api/APIToken.hpp"

#include "api/CredentialItem.hpp"

namespace talvaren {

namespace {

using StringList = std::vector<std::string>;

}  // namespace

APIToken::APIToken(std::string token, std::optional<std::int64_t> userId, std::optional<StringList> email,
                   std::optional<StringList> password)
    : token_(std::move(token)), userId_(userId), email_(std::move(email)), password_(std::move(password)) {}

std::optional<APIToken> APIToken::fromJSON(const JSON& json) {
  auto token = platform::Json::read<std::string>(json, TokenKey);
  if (!token) return std::nullopt;
  return APIToken(std::move(*token), platform::Json::read<std::int64_t>(json, "user_id"),
                  platform::Json::read<StringList>(json, "email"), platform::Json::read<StringList>(json, "password1"));
}

std::optional<JSON> APIToken::toJSON() const {
  JSON json = JSON::object();
  json[std::string(TokenKey)] = token_;
  return json;
}

Bytes APIToken::keychainData() const { return credentials_detail::keychainBytes(toJSON()); }

std::optional<APIToken> APIToken::fromKeychainData(std::span<const std::uint8_t> data) {
  return credentials_detail::fromItem<APIToken>(data);
}

platform::http::HTTPHeaders APIToken::header() const { return {{"Authorization", "Token " + token_}}; }

}  // namespace talvaren
