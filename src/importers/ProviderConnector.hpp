#pragma once
// Internal: what the Garmin and Fitbit connectors share: the request types, the OAuth consumer pair the
// facade passes in, the authorisation flag, the HTTP session, the request log, what a connector
// keeps of one request to complete it or to send it again after an authorisation, the sending of a
// request once its headers are made, and the road of a refused reply (authorise once, then repeat).

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/http/ParameterEncoding.hpp"
#include "talvaren/platform/http/Response.hpp"
#include "talvaren/platform/http/SessionManager.hpp"

// Beside this header: fuzz targets include the connectors' headers by their paths.
#include "LockedValue.hpp"

namespace talvaren::detail {

class ProviderConnector {
 public:
  using HTTPMethod = platform::http::HTTPMethod;
  using Parameters = platform::http::Parameters;
  using ParameterEncoding = platform::http::ParameterEncoding;
  using HTTPHeaders = platform::http::HTTPHeaders;
  /// (error, parsed reply) of one request.
  using Completion = std::function<void(std::optional<Error>, std::optional<JSON>)>;

  /// The request log of `verboseRequest` is written while this is true.
  static constexpr bool DEBUG_MODE = true;

  virtual ~ProviderConnector() = default;
  ProviderConnector(const ProviderConnector&) = delete;
  ProviderConnector& operator=(const ProviderConnector&) = delete;

  /// The OAuth consumer pair (Fitbit: the client id and secret) the facade passes in and the authorisation
  /// is given; empty until then. Safe to read and write from any thread.
  virtual std::string consumerKey() const { return consumerKey_.get(); }
  virtual void setConsumerKey(const std::string& key) { consumerKey_.set(key); }
  virtual std::string consumerSecret() const { return consumerSecret_.get(); }
  virtual void setConsumerSecret(const std::string& secret) { consumerSecret_.set(secret); }
  /// Set when a refused reply starts the authorisation (each connector says what clears it); safe to read
  /// and write from any thread.
  virtual bool authorizationWasNeeded() const { return authorizationWasNeeded_.load(); }
  virtual void setAuthorizationWasNeeded(bool needed) { authorizationWasNeeded_.store(needed); }
  /// The HTTP session: the layer's default one.
  virtual std::shared_ptr<platform::http::SessionManager> manager() const;
  /// Always empty.
  virtual HTTPHeaders authorizationHeaders() const { return {}; }
  /// While `DEBUG_MODE` is true, prints the request between two lines of "---------------------":
  /// "Request: " + URL, "Method: " + the method in lower case, "Headers: " + the headers (the
  /// "Authorization" value as "<redacted>"), then "Parameters:" and the parameters when given.
  virtual void verboseRequest(const std::string& url, const std::optional<Parameters>& parameters,
                              const HTTPHeaders& headers, HTTPMethod method) const;
  /// The connector's error for a refused reply: its own domain, `statusCode` and no user info.
  virtual Error genericApiError(std::int64_t statusCode) const = 0;

 protected:
  /// Every value empty, the flag false.
  ProviderConnector() = default;

  /// What a connector keeps of one request.
  struct Call {
    HTTPMethod method;
    std::string url;
    std::optional<Parameters> parameters;
    ParameterEncoding encoding;
    bool skipHeaders;
    Completion completion;

    /// Calls the completion, when there is one.
    void complete(std::optional<Error> error, std::optional<JSON> value) const {
      if (completion) completion(std::move(error), std::move(value));
    }
    /// Sends the call again through `connector` (its `performAPICall`, overrides included).
    template <class Connector>
    void repeat(Connector& connector) const {
      connector.performAPICall(method, url, parameters, encoding, skipHeaders, completion);
    }
  };

  /// Reads the reply of a sent call, on the main queue.
  using ReplyHandler = std::function<void(const platform::http::DataResponse<JSON>&)>;

  /// Sends `call` with the headers `makeHeaders()` returns (made on the caller's thread): writes the
  /// request log, sends the request through `manager()` (validated, the reply read as JSON with fragments
  /// allowed) and hands the reply to `onReply`. A call that cannot be sent (no session, or anything thrown
  /// on the way, a subclass's override included) completes once, later, on the main queue, with URLError
  /// `unknown`; nothing was sent then.
  template <class MakeHeaders, class OnReply>
  void send(const std::shared_ptr<const Call>& call, MakeHeaders&& makeHeaders, OnReply&& onReply) {
    try {
      sendWithHeaders(*call, std::forward<MakeHeaders>(makeHeaders)(), std::forward<OnReply>(onReply));
    } catch (...) {
      completeUnsent(*call);
    }
  }

  /// The provider's authorisation: the consumer pair and a completion told whether it was granted.
  using Authorize = std::function<void(const std::string&, const std::string&, std::function<void(bool)>)>;
  /// Sends a call again after a granted authorisation (or completes it, when it no longer can be sent).
  using Repeat = std::function<void(const Call&)>;

  /// The road of a refused reply of `status`: prints "<label> need authorization !!!"; while
  /// `authorizationWasNeeded` is set, completes the call with `genericApiError(status)` and starts nothing;
  /// otherwise sets the flag and runs `authorize` once with the consumer pair. Granted, `repeat` sends the
  /// call again (through the connector's own `performAPICall`, so a second refusal ends on the flag);
  /// refused, failed or cancelled, the call completes with neither error nor data.
  void authorizeOnceThenRepeat(std::string_view label, std::int64_t status, std::shared_ptr<const Call> call,
                               const Authorize& authorize, Repeat repeat);

 private:
  void sendWithHeaders(const Call& call, const HTTPHeaders& headers, ReplyHandler onReply);
  static void completeUnsent(const Call& call);

  LockedValue<std::string> consumerKey_;
  LockedValue<std::string> consumerSecret_;
  std::atomic<bool> authorizationWasNeeded_{false};
};

}  // namespace talvaren::detail
