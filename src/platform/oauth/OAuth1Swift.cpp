#include "talvaren/platform/oauth/OAuth1Swift.hpp"

namespace talvaren::platform::oauth {

OAuth1Swift::OAuth1Swift(std::string consumerKey, std::string consumerSecret, std::string requestTokenUrl,
                         std::string authorizeUrl, std::string accessTokenUrl)
    : OAuthSwift(std::move(consumerKey), std::move(consumerSecret)),
      requestTokenUrl_(std::move(requestTokenUrl)),
      authorizeUrl_(std::move(authorizeUrl)),
      accessTokenUrl_(std::move(accessTokenUrl)) {}

void OAuth1Swift::authorize(const std::string& callbackURL, const http::HTTPHeaders& headers,
                            CompletionHandler completion) {
  if (!begin(callbackURL, std::move(completion))) return;
  headers_ = headers;
  const OAuthSwiftCredential consumer(client_.consumerKey, client_.consumerSecret);
  const auto authorization =
      consumer.authorizationHeader(http::HTTPMethod::POST, requestTokenUrl_, {{"oauth_callback", callbackURL}});
  if (!authorization) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::configurationError, "the request-token URL is no URL"}, {});
    return;
  }
  postTokenRequest(requestTokenUrl_, *authorization, headers_, [this](const http::DataResponse<Bytes>& reply) {
    OAuthSwiftError error;
    const auto items = readTokenReply(reply, error);
    if (!items) return finish(error, {});
    requestToken_ = OAuthSwiftCredential(client_.consumerKey, client_.consumerSecret);
    requestToken_.oauthToken = *firstValue(*items, "oauth_token");
    requestToken_.oauthTokenSecret = *firstValue(*items, "oauth_token_secret");
    const char separator = authorizeUrl_.find('?') == std::string::npos ? '?' : '&';
    awaitRedirect(authorizeUrl_ + separator + "oauth_token=" + percentEncode(requestToken_.oauthToken));
  });
}

bool OAuth1Swift::takeRedirect(const ParameterList& items) {
  const auto token = firstValue(items, "oauth_token");
  if (!token || *token != requestToken_.oauthToken) return false;
  stopWaiting();
  auto verifier = firstValue(items, "oauth_verifier");
  if (verifier && verifier->empty()) verifier.reset();
  if (!verifier && !allowMissingOAuthVerifier) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::missingVerifier, "the redirect carries no verifier"}, {});
    return true;
  }
  requestAccessToken(verifier);
  return true;
}

void OAuth1Swift::requestAccessToken(const std::optional<std::string>& verifier) {
  ParameterList parameters;
  if (verifier) parameters.emplace_back("oauth_verifier", *verifier);
  const auto authorization = requestToken_.authorizationHeader(http::HTTPMethod::POST, accessTokenUrl_, parameters);
  if (!authorization) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::configurationError, "the access-token URL is no URL"}, {});
    return;
  }
  postTokenRequest(accessTokenUrl_, *authorization, headers_, [this](const http::DataResponse<Bytes>& reply) {
    OAuthSwiftError error;
    auto items = readTokenReply(reply, error);
    if (!items) return finish(error, {});
    client_.oauthToken = *firstValue(*items, "oauth_token");
    client_.oauthTokenSecret = *firstValue(*items, "oauth_token_secret");
    finish({}, TokenSuccess{client_, reply.response, std::move(*items)});
  });
}

}  // namespace talvaren::platform::oauth
