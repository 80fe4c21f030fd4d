#pragma once
// The credential of the token login: sent as "Authorization: Token <token>".

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren {

/// JSON read: "token" (required text), "user_id", "email" and "password1" (lists of the server's messages
/// about those fields). JSON written: "token" only, so a stored token reads back without the others.
class APIToken {
 public:
  explicit APIToken(std::string token, std::optional<std::int64_t> userId = std::nullopt,
                    std::optional<std::vector<std::string>> email = std::nullopt,
                    std::optional<std::vector<std::string>> password = std::nullopt);

  /// No token unless "token" holds a text.
  static std::optional<APIToken> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;

  /// The keychain item's bytes: `toJSON()` as compact JSON.
  Bytes keychainData() const;
  /// The token kept in a keychain item; anything but a JSON object that makes a token reads as none.
  static std::optional<APIToken> fromKeychainData(std::span<const std::uint8_t> data);

  const std::string& token() const { return token_; }
  const std::optional<std::int64_t>& userId() const { return userId_; }
  const std::optional<std::vector<std::string>>& email() const { return email_; }
  const std::optional<std::vector<std::string>>& password() const { return password_; }

  /// {"Authorization": "Token " + token}.
  platform::http::HTTPHeaders header() const;

 private:
  static constexpr std::string_view TokenKey = "token";

  std::string token_;
  std::optional<std::int64_t> userId_;
  std::optional<std::vector<std::string>> email_;
  std::optional<std::vector<std::string>> password_;
};

}  // namespace talvaren
