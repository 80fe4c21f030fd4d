#pragma once
// The common part of the OAuth clients (OAuth1Swift, OAuth2Swift): the URL handler that shows the
// provider's page, the wait for the redirect, and the end of a flow.
//
// Every flow ends exactly once, on the main queue, with its completion handler called with either an
// error or a credential: on success, on any failure, when `cancel()` is called, and when the handler's
// screen goes away without a redirect. While a flow waits for the user, `OAuthSwift::handle(url)` hands
// it the redirect: a URL is taken only while some flow waits, only when its scheme, authority and path
// are those of that flow's callback URL, and only when it carries that flow's answer. Clients are made
// with std::make_shared and used on the main queue; a client keeps itself alive while its flow runs and
// lets go of its URL handler when the flow ends.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "talvaren/platform/http/HTTPURLResponse.hpp"
#include "talvaren/platform/http/Request.hpp"
#include "talvaren/platform/oauth/OAuthSwiftCredential.hpp"
#include "talvaren/platform/oauth/OAuthSwiftError.hpp"
#include "talvaren/platform/oauth/OAuthSwiftURLHandlerType.hpp"
#include "talvaren/platform/oauth/RedirectURL.hpp"

namespace talvaren::platform::oauth {

class OAuthSwift : public std::enable_shared_from_this<OAuthSwift> {
 public:
  struct TokenSuccess {
    OAuthSwiftCredential credential;
    /// The reply of the last token request (none for flows that end at the redirect).
    std::optional<http::HTTPURLResponse> response;
    /// The items of the token reply or of the redirect.
    ParameterList parameters;
  };
  /// Called once per flow: an error, or a success.
  using CompletionHandler = std::function<void(std::optional<OAuthSwiftError>, std::optional<TokenSuccess>)>;

  virtual ~OAuthSwift();
  OAuthSwift(const OAuthSwift&) = delete;
  OAuthSwift& operator=(const OAuthSwift&) = delete;

  /// Offers a redirect to the flows that wait for one; true when one took it.
  static bool handle(const std::string& url);

  /// Shows the authorisation page; set before `authorize`.
  std::shared_ptr<OAuthSwiftURLHandlerType> authorizeURLHandler;
  /// The consumer pair (and, once granted, the token pair).
  const OAuthSwiftCredential& client() const { return client_; }

  /// Ends the running flow as cancelled (nothing when none runs); its screen, if shown, goes away now,
  /// its completion runs on the main queue.
  void cancel();
  /// True from `authorize` until the flow has ended.
  bool isRunning() const { return completion_ != nullptr; }

  /// The largest token reply read; a larger one fails the flow.
  static constexpr std::size_t maximumReplySize = 16 * 1024;
  /// The items of an OAuth 1.0 token reply: form-encoded (trailing line breaks aside), UTF-8 once
  /// decoded, at most `maximumReplySize` bytes, with a non-empty oauth_token and an oauth_token_secret.
  static std::optional<ParameterList> parseTokenReply(std::string_view text);

 protected:
  OAuthSwift(std::string consumerKey, std::string consumerSecret);

  /// Starts a flow: ends a running one as cancelled, then remembers `completion` and the callback.
  /// False (the flow has ended with a configuration error) when the callback is no URL or the client is
  /// not owned by a shared pointer.
  bool begin(const std::string& callbackURL, CompletionHandler completion);
  /// Shows `url` through the handler and waits for the redirect (or the handler's dismissal).
  void awaitRedirect(const std::string& url);
  /// The flow no longer waits for a redirect (it took one).
  void stopWaiting();
  /// Offered a redirect to the callback while waiting; true when it is this flow's answer (the flow
  /// then goes on or ends).
  virtual bool takeRedirect(const ParameterList& items) = 0;
  /// Ends the flow: exactly one of the two is given. Later calls do nothing.
  void finish(std::optional<OAuthSwiftError> error, std::optional<TokenSuccess> success);
  /// Sends a token request, POST with an empty body, and hands its reply (or error) to `handler` on the
  /// main queue, unless the flow has ended first.
  void postTokenRequest(const std::string& url, const std::string& authorization, const http::HTTPHeaders& headers,
                        std::function<void(const http::DataResponse<Bytes>&)> handler);
  /// The items of a successful token reply, or the error to end the flow with.
  static std::optional<ParameterList> readTokenReply(const http::DataResponse<Bytes>& reply, OAuthSwiftError& error);

  OAuthSwiftCredential client_;
  RedirectURL callback_;
  bool waiting_ = false;

 private:
  bool offer(const RedirectURL& url);

  CompletionHandler completion_;
  std::shared_ptr<OAuthSwift> keepAlive_;
  std::uint64_t flow_ = 0;
  std::shared_ptr<http::DataRequest> request_;
};

}  // namespace talvaren::platform::oauth
