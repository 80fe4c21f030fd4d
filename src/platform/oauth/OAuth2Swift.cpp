#include "talvaren/platform/oauth/OAuth2Swift.hpp"

#include <algorithm>

#include "talvaren/platform/http/URL.hpp"

namespace talvaren::platform::oauth {

namespace {

/// Letters, digits and "-._~+/", then any number of "=".
bool isBearerToken(std::string_view token) {
  const auto isTokenCharacter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~+/").find(c) != std::string_view::npos;
  };
  const auto padding = token.find_last_not_of('=');
  if (padding == std::string_view::npos) return false;
  const auto body = token.substr(0, padding + 1);
  return std::all_of(body.begin(), body.end(), isTokenCharacter);
}

}  // namespace

OAuth2Swift::OAuth2Swift(std::string consumerKey, std::string consumerSecret, std::string authorizeUrl,
                         std::string responseType)
    : OAuthSwift(std::move(consumerKey), std::move(consumerSecret)),
      authorizeUrl_(std::move(authorizeUrl)),
      responseType_(std::move(responseType)) {}

void OAuth2Swift::authorize(const std::string& callbackURL, const std::string& scope, const std::string& state,
                            const ParameterList& parameters, const http::HTTPHeaders& headers,
                            CompletionHandler completion) {
  (void)headers;
  if (!begin(callbackURL, std::move(completion))) return;
  if (responseType_ != "token") {
    finish(OAuthSwiftError{OAuthSwiftError::Code::configurationError, "only the response type token is supported"}, {});
    return;
  }
  state_ = state;
  ParameterList query{{"client_id", client_.consumerKey},
                      {"redirect_uri", callbackURL},
                      {"response_type", responseType_},
                      {"scope", scope},
                      {"state", state}};
  query.insert(query.end(), parameters.begin(), parameters.end());
  const char separator = authorizeUrl_.find('?') == std::string::npos ? '?' : '&';
  const std::string url = authorizeUrl_ + separator + encodeForm(query);
  const auto parsed = http::URL::fromString(url);
  if (!parsed || (parsed->scheme() != "http" && parsed->scheme() != "https")) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::configurationError, "the authorisation URL is no URL"}, {});
    return;
  }
  awaitRedirect(url);
}

bool OAuth2Swift::takeRedirect(const ParameterList& items) {
  // An OAuth 1.0 answer belongs to another flow.
  if (firstValue(items, "oauth_token") && !firstValue(items, "access_token")) return false;
  stopWaiting();
  if (const auto error = firstValue(items, "error")) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::accessDenied, "the provider refused: " + error->substr(0, 64)}, {});
    return true;
  }
  if (firstValue(items, "state").value_or("") != state_) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::stateNotEqual, "the redirect carries another state"}, {});
    return true;
  }
  const auto token = firstValue(items, "access_token");
  if (!token || token->empty()) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::missingToken, "the redirect carries no access token"}, {});
    return true;
  }
  // The token travels as "Bearer <token>" in every later request: one that is no bearer token (a line
  // break, a blank) would be kept and make each of those requests fail.
  if (!isBearerToken(*token)) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::missingToken, "the redirect carries no valid access token"}, {});
    return true;
  }
  auto credential = client_;
  credential.oauthToken = *token;
  client_.oauthToken = *token;
  finish({}, TokenSuccess{credential, std::nullopt, items});
  return true;
}

}  // namespace talvaren::platform::oauth
