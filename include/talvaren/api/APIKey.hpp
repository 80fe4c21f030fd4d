#pragma once
// The credential of the API-key login: sent as the headers "X-API-Key" and "X-API-PublicId".

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

/// JSON read: "X-API-Key" and "X-API-PublicId" (both required texts), "user_id", "email", "password1".
/// JSON written: the two required keys only.
class APIKey {
 public:
  /// Header name and JSON key of the key.
  static constexpr std::string_view APIKeyKey = "X-API-Key";
  /// Header name and JSON key of the public id.
  static constexpr std::string_view PublicIdKey = "X-API-PublicId";

  APIKey(std::string apiKey, std::string publicId, std::optional<std::int64_t> userId = std::nullopt,
         std::optional<std::vector<std::string>> email = std::nullopt,
         std::optional<std::vector<std::string>> password = std::nullopt);

  /// No key unless both required keys hold texts.
  static std::optional<APIKey> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;

  /// The keychain item's bytes: `toJSON()` as compact JSON.
  Bytes keychainData() const;
  /// The key kept in a keychain item; anything but a JSON object that makes a key reads as none.
  static std::optional<APIKey> fromKeychainData(std::span<const std::uint8_t> data);

  /// The key; the API-key login replaces the server's with the one the host gave.
  std::string apiKey;

  const std::string& publicId() const { return publicId_; }
  const std::optional<std::int64_t>& userId() const { return userId_; }
  const std::optional<std::vector<std::string>>& email() const { return email_; }
  const std::optional<std::vector<std::string>>& password() const { return password_; }

  /// {"X-API-Key": apiKey, "X-API-PublicId": publicId}.
  platform::http::HTTPHeaders header() const;

 private:
  std::string publicId_;
  std::optional<std::int64_t> userId_;
  std::optional<std::vector<std::string>> email_;
  std::optional<std::vector<std::string>> password_;
};

}  // namespace talvaren
