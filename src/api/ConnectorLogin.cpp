// Login, signup, logout, token refresh and password reset.

#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {

using platform::http::HTTPMethod;
using platform::http::JSONEncoding;

namespace {

enum class Scheme { token, apiKey };

/// Stores "email" with `passwordKey` as the login data when both are present.
void storeLoginData(const Connector& connector, const Connector::LoginData& data, const char* passwordKey) {
  const auto email = data.find("email");
  const auto password = data.find(passwordKey);
  if (email == data.end() || password == data.end()) return;
  connector.saveLoginDataToKey(email->second, password->second);
}

nlohmann::json body(const Connector::LoginData& data) {
  nlohmann::json json = nlohmann::json::object();
  for (const auto& [key, value] : data) json[key] = value;
  return json;
}

/// The completion that stores the credential a reply makes, then hands the reply on unchanged.
Connector::Completion storingCredential(std::weak_ptr<const Connector> client, Scheme scheme,
                                        std::optional<std::string> apiKey, Connector::Completion completion) {
  return [client = std::move(client), scheme, apiKey = std::move(apiKey), completion = std::move(completion)](
             std::optional<Error> error, std::optional<ServerReply> reply) {
    const nlohmann::json* json = reply ? reply->json() : nullptr;
    const auto owner = client.lock();
    if (owner && json && json->is_object()) {
      if (scheme == Scheme::token) {
        if (auto token = APIToken::fromJSON(*json)) owner->saveTokenToKeychain(*token);
      } else if (auto key = APIKey::fromJSON(*json)) {
        key->apiKey = apiKey.value_or("");
        owner->saveApiKeyToKeychain(*key);
      }
    }
    if (completion) completion(std::move(error), std::move(reply));
  };
}

}  // namespace

std::string Connector::signupEndpoint() { return talvaren::detail::endpointText<"auth/signup/">(); }

std::string Connector::tokenRefreshEndpoint() { return talvaren::detail::endpointText<"auth/login/refresh/">(); }

std::string Connector::passwordResetEndpoint() { return talvaren::detail::endpointText<"auth/password/reset/">(); }

void Connector::postLoginUser(const LoginData& loginData, Completion completion) {
  storeLoginData(*this, loginData, "password");
  performAPICall(HTTPMethod::POST, loginEndpoint(), body(loginData), JSONEncoding::defaultEncoding(), true,
                 std::nullopt, std::nullopt,
                 storingCredential(weak_from_this(), Scheme::token, std::nullopt, std::move(completion)));
}

void Connector::postLoginUserAPIKey(const std::string& apiKey, const LoginData& loginData, Completion completion) {
  storeLoginData(*this, loginData, "password");
  // The key the host passes is the one kept, but the request carries only the stored credentials.
  performAPICall(HTTPMethod::POST, loginEndpoint(), body(loginData), JSONEncoding::defaultEncoding(), false,
                 std::nullopt, std::nullopt,
                 storingCredential(weak_from_this(), Scheme::apiKey, apiKey, std::move(completion)));
}

void Connector::postSignupUser(const LoginData& signupData, Completion completion) {
  storeLoginData(*this, signupData, "password1");
  performAPICall(HTTPMethod::POST, signupEndpoint(), body(signupData), JSONEncoding::defaultEncoding(), true,
                 std::nullopt, std::nullopt,
                 storingCredential(weak_from_this(), Scheme::token, std::nullopt, std::move(completion)));
}

void Connector::postSignupUserAPIKey(const std::string& apiKey, const LoginData& signupData, Completion completion) {
  storeLoginData(*this, signupData, "password1");
  performAPICall(HTTPMethod::POST, signupEndpoint(), body(signupData), JSONEncoding::defaultEncoding(), false,
                 std::nullopt, apiKey,
                 storingCredential(weak_from_this(), Scheme::apiKey, apiKey, std::move(completion)));
}

void Connector::refreshToken(const std::string& token, Completion completion) {
  performAPICall(HTTPMethod::POST, tokenRefreshEndpoint(), nlohmann::json{{"token", token}},
                 JSONEncoding::defaultEncoding(), true, std::nullopt, std::nullopt,
                 storingCredential(weak_from_this(), Scheme::token, std::nullopt, std::move(completion)));
}

void Connector::postPasswordReset(const std::string& email, Completion completion) {
  performAPICall(HTTPMethod::POST, passwordResetEndpoint(), nlohmann::json{{"email", email}},
                 JSONEncoding::defaultEncoding(), true, std::nullopt, std::nullopt, std::move(completion));
}

void Connector::postLogoutUser(Completion completion) {
  performAPICall(HTTPMethod::GET, logoutEndpoint(), std::nullopt, JSONEncoding::defaultEncoding(), false, std::nullopt,
                 std::nullopt,
                 [completion = std::move(completion)](std::optional<Error> error, std::optional<ServerReply> reply) {
                   if (completion) completion(std::move(error), std::move(reply));
                   sharedInstance()->setCSRFToken(std::nullopt);
                 });
}

void Connector::saveAPIKey(const std::string& apiKey, const std::string& publicId) {
  const nlohmann::json json{{std::string(APIKey::APIKeyKey), apiKey}, {std::string(APIKey::PublicIdKey), publicId}};
  if (auto key = APIKey::fromJSON(json)) saveApiKeyToKeychain(*key);
}

std::int64_t Connector::getOwnerId() {
  return platform::UserDefaults::standard()->integerForKey(std::string(OwnerKey));
}

void Connector::saveOwnerToDefaults(const User& user) {
  if (user.pk) platform::UserDefaults::standard()->set(*user.pk, std::string(OwnerKey));
}

}  // namespace talvaren
