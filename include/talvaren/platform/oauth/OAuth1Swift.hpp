#pragma once
// A three-legged OAuth 1.0a flow (RFC 5849): request token, the user's confirmation on the provider's
// page, access token.
//
// 1. POST to the request-token URL (empty body), signed with the consumer pair, with oauth_callback.
// 2. The authorisation URL with "oauth_token=<request token>" goes to the URL handler.
// 3. The redirect to the callback must carry that oauth_token and an oauth_verifier (or none, when
//    `allowMissingOAuthVerifier` is set).
// 4. POST to the access-token URL (empty body), signed with the request token pair and the verifier.
// Each token reply must be form-encoded with oauth_token and oauth_token_secret and at most
// `maximumReplySize` bytes; a refusal (status outside 2xx), a transport failure or a bad reply ends the
// flow with an error.

#include <string>

#include "talvaren/platform/http/URLRequest.hpp"
#include "talvaren/platform/oauth/OAuthSwift.hpp"

namespace talvaren::platform::oauth {

class OAuth1Swift : public OAuthSwift {
 public:
  OAuth1Swift(std::string consumerKey, std::string consumerSecret, std::string requestTokenUrl,
              std::string authorizeUrl, std::string accessTokenUrl);

  /// Accept a redirect without oauth_verifier (the access-token request then carries none).
  bool allowMissingOAuthVerifier = false;

  void authorize(const std::string& callbackURL, const http::HTTPHeaders& headers, CompletionHandler completion);

  const std::string& requestTokenUrl() const { return requestTokenUrl_; }
  const std::string& authorizeUrl() const { return authorizeUrl_; }
  const std::string& accessTokenUrl() const { return accessTokenUrl_; }

 protected:
  bool takeRedirect(const ParameterList& items) override;

 private:
  void requestAccessToken(const std::optional<std::string>& verifier);

  std::string requestTokenUrl_;
  std::string authorizeUrl_;
  std::string accessTokenUrl_;
  http::HTTPHeaders headers_;
  OAuthSwiftCredential requestToken_;
};

}  // namespace talvaren::platform::oauth
