#pragma once
// A loopback OAuth 1.0a provider (RFC 5849) for tests: request token, a confirmation page that answers
// 302 to the callback with the verifier, access token. It checks every request as a real provider
// would, with its own signature code (never the kit's signer): consumer key, HMAC-SHA1 signature,
// timestamp within five minutes of the platform clock, a nonce never seen before, the callback, the
// request token and verifier, single use of each request token; anything else gets 401 and a problem
// line in `problems()`.
//
//   testkit::OAuth1Provider provider("key", "secret", "talvarenmobile://host/path");
//   testkit::setGarminOAuthURLs(provider.requestTokenURL(), provider.authorizeURL(), provider.accessTokenURL());
//
// `OAuth1Verifier` is the signature check alone, for loopback APIs that take signed requests.

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/LoopbackServer.hpp"

namespace talvaren::testkit {

/// Decodes "%XX" and "+" (as a blank); none on a malformed escape.
std::optional<std::string> oauthTestDecode(const std::string& text);
/// The name and value pairs of a form text ("a=1&b=2").
std::vector<std::pair<std::string, std::string>> oauthTestForm(const std::string& text);

class OAuth1Verifier {
 public:
  OAuth1Verifier(std::string consumerKey, std::string consumerSecret)
      : consumerKey_(std::move(consumerKey)), consumerSecret_(std::move(consumerSecret)) {}

  /// Checks the "Authorization" header of `request` as received at `baseURI` (scheme, host, port and
  /// path, as RFC 5849 builds it), signed with `tokenSecret`. Returns the header's oauth_* values, or
  /// none with the reason in `problem`. The query items and a form body are part of the signature.
  std::optional<std::map<std::string, std::string>> verify(const httplib::Request& request, const std::string& baseURI,
                                                           const std::string& tokenSecret, std::string& problem);

 private:
  std::string consumerKey_;
  std::string consumerSecret_;
  std::mutex mutex_;
  std::set<std::string> nonces_;
};

class OAuth1Provider {
 public:
  enum class Leg { requestToken, confirmation, accessToken };

  OAuth1Provider(std::string consumerKey, std::string consumerSecret, std::string callbackURL);

  LoopbackServer& server() { return server_; }
  std::string requestTokenURL() const { return server_.url("/oauth-service-1.0/oauth/request_token"); }
  std::string authorizeURL() const { return server_.url("/oauthConfirm"); }
  std::string accessTokenURL() const { return server_.url("/oauth-service-1.0/oauth/access_token"); }

  /// Answers `leg` with `status` (a refusal) from now on.
  void refuse(Leg leg, int status = 401);
  /// The confirmation page redirects without oauth_verifier.
  void omitVerifier(bool omit);
  /// The confirmation page shows a sign-in page (200) and waits for the user instead of redirecting.
  void holdConfirmation(bool hold);

  /// The access credentials issued: token to secret.
  std::map<std::string, std::string> accessTokens() const;
  /// Why requests were refused, in order.
  std::vector<std::string> problems() const;

 private:
  void requestToken(const httplib::Request& request, httplib::Response& response);
  void confirmation(const httplib::Request& request, httplib::Response& response);
  void accessToken(const httplib::Request& request, httplib::Response& response);
  bool refused(Leg leg, httplib::Response& response);
  void refuseWith(httplib::Response& response, std::string problem);

  std::string consumerKey_;
  std::string callbackURL_;
  OAuth1Verifier verifier_;
  mutable std::mutex mutex_;
  std::map<Leg, int> refusals_;
  bool omitVerifier_ = false;
  bool hold_ = false;
  struct RequestToken {
    std::string secret;
    std::string verifier;
  };
  std::map<std::string, RequestToken> requestTokens_;
  std::map<std::string, std::string> accessTokens_;
  std::vector<std::string> problems_;
  int issued_ = 0;
  LoopbackServer server_;
};

}  // namespace talvaren::testkit
