#pragma once
// An OAuth 2.0 implicit grant (RFC 6749 section 4.2): the authorisation page with client_id,
// redirect_uri, response_type "token", scope and state goes to the URL handler, and the access token
// comes back in the redirect's fragment. The consumer secret is never sent. A redirect with "error",
// without access_token, or with a state other than the one sent ends the flow with an error.

#include <string>

#include "talvaren/platform/http/URLRequest.hpp"
#include "talvaren/platform/oauth/OAuthSwift.hpp"

namespace talvaren::platform::oauth {

class OAuth2Swift : public OAuthSwift {
 public:
  /// Only the response type "token" is supported; any other makes `authorize` fail.
  OAuth2Swift(std::string consumerKey, std::string consumerSecret, std::string authorizeUrl, std::string responseType);

  /// `headers` are not used: the page is shown by the URL handler, which sends its own.
  void authorize(const std::string& callbackURL, const std::string& scope, const std::string& state,
                 const ParameterList& parameters, const http::HTTPHeaders& headers, CompletionHandler completion);

  const std::string& authorizeUrl() const { return authorizeUrl_; }

 protected:
  bool takeRedirect(const ParameterList& items) override;

 private:
  std::string authorizeUrl_;
  std::string responseType_;
  std::string state_;
};

}  // namespace talvaren::platform::oauth
