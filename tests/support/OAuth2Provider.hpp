#pragma once
// A loopback OAuth 2.0 authorisation page (implicit grant, RFC 6749 section 4.2) for tests. It checks
// the request as a real provider would: client_id, the registered redirect_uri, response_type "token",
// the scope (blanks sent as "%20"), a state item, and no client secret anywhere in the request. A good
// request is answered 302 to the redirect URI with the token in the fragment; a bad one gets a 400 page
// (no redirect) and a line in `problems()`.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/LoopbackServer.hpp"

namespace talvaren::testkit {

class OAuth2Provider {
 public:
  OAuth2Provider(std::string clientId, std::string clientSecret, std::string redirectURI, std::string scope);

  LoopbackServer& server() { return server_; }
  std::string authorizeURL() const { return server_.url("/oauth2/authorize"); }

  /// The user refuses: the redirect carries "error=access_denied".
  void deny(bool deny);
  /// The redirect's fragment, instead of the one the provider would build (none: back to normal).
  void answerWith(std::optional<std::string> fragment);

  /// The page shows a sign-in form (200) and waits for the user instead of redirecting.
  void hold(bool hold);

  /// Tokens handed out, in order.
  std::vector<std::string> tokens() const;
  std::vector<std::string> problems() const;

 private:
  void authorize(const httplib::Request& request, httplib::Response& response);

  std::string clientId_;
  std::string clientSecret_;
  std::string redirectURI_;
  std::string scope_;
  mutable std::mutex mutex_;
  bool deny_ = false;
  bool hold_ = false;
  std::optional<std::string> fragment_;
  std::vector<std::string> tokens_;
  std::vector<std::string> problems_;
  LoopbackServer server_;
};

}  // namespace talvaren::testkit
