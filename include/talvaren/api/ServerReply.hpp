#pragma once
// What every server completion receives, and how a server reply becomes one completion call.

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/HTTPCookie.hpp"
#include "talvaren/platform/http/Response.hpp"
#include "talvaren/records/HeartrateSDK.hpp"

namespace talvaren {

/// The outcome of the profile-photo upload: the parsed JSON reply or the failure, whatever the status.
using UploadOutcome = platform::http::Result<nlohmann::json>;

/// The result object of a server completion: a parsed JSON reply (object, array, text, number, Boolean or
/// null), the heart-rate samples gathered by the paged download, an upload progress report, or the photo
/// upload's outcome.
class ServerReply {
 public:
  using Value = std::variant<nlohmann::json, std::vector<HeartrateSDK>, platform::http::Progress, UploadOutcome>;

  ServerReply(nlohmann::json json) : value_(std::move(json)) {}
  ServerReply(std::vector<HeartrateSDK> heartrates) : value_(std::move(heartrates)) {}
  ServerReply(platform::http::Progress progress) : value_(progress) {}
  ServerReply(UploadOutcome outcome) : value_(std::move(outcome)) {}

  const Value& value() const { return value_; }
  /// The parsed JSON reply, or nullptr when the reply is of another kind.
  const nlohmann::json* json() const { return std::get_if<nlohmann::json>(&value_); }
  const std::vector<HeartrateSDK>* heartrates() const { return std::get_if<std::vector<HeartrateSDK>>(&value_); }
  const platform::http::Progress* progress() const { return std::get_if<platform::http::Progress>(&value_); }
  const UploadOutcome* uploadOutcome() const { return std::get_if<UploadOutcome>(&value_); }

 private:
  Value value_;
};

/// The completion of every server operation: an optional error first, an optional result second.
using ServerCompletion = std::function<void(std::optional<Error>, std::optional<ServerReply>)>;

/// How the reply handler of the server client maps one reply; no side effects, so it can be checked on
/// any input.
struct ServerReplyMapping {
  std::optional<Error> error;
  std::optional<nlohmann::json> value;
  /// A 401 or 403 to a URL outside the login and logout endpoints: "tokenExpired" is to be posted.
  bool tokenExpired = false;
  /// The body text of a failure with its secrets redacted, printed as "Failure Response: " + text.
  std::optional<std::string> failureText;
};

/// The body of a refused reply as the host and the console may see it: its text with every credential
/// redacted and the server's validation messages kept (`redact::text`); none when the body is empty or no
/// UTF-8 text. Every road that shows a server's body goes through it.
std::optional<std::string> refusalText(const std::optional<Bytes>& body);

/// Maps `reply` to a request for `url`, given the login and logout endpoint texts:
/// - 401 or 403 to a URL holding neither endpoint text: token expired, ("", status, no user info);
/// - success: the parsed value;
/// - a failure whose body is non-empty UTF-8: ("", status, the text as description), but
///   ("NSURLErrorDomain", -1001) on status 504; the text, in the error and in `failureText`, is the
///   `refusalText` of the body;
/// - any other failure: its error, but ("NSURLErrorDomain", -1009) for code -1003.
/// A failure without a reply head has no status to report, and a transport failure ("NSURLErrorDomain", such
/// as a connection lost in the middle of the body) is no reply of the server, so both take the last road
/// whatever their body. A value nested deeper than the kit's JSON cap fails like a body that is no JSON.
ServerReplyMapping mapServerReply(const platform::http::DataResponse<nlohmann::json>& reply, std::string_view url,
                                  std::string_view loginEndpoint, std::string_view logoutEndpoint);
/// The same for a reply that is no longer needed: its parsed value is moved, not copied.
ServerReplyMapping mapServerReply(platform::http::DataResponse<nlohmann::json>&& reply, std::string_view url,
                                  std::string_view loginEndpoint, std::string_view logoutEndpoint);

/// The cookies that the reply's "Set-Cookie" lines (each line on its own, so the comma inside "Expires=" is
/// no separator) set for the URL that answered, those of them that are cookies of the request's host too;
/// none when the reply has no head or no request.
std::vector<platform::http::HTTPCookie> replyCookies(const platform::http::DataResponse<nlohmann::json>& reply);
/// The value of the last cookie named exactly "csrftoken", if any.
std::optional<std::string> csrfToken(const std::vector<platform::http::HTTPCookie>& cookies);

}  // namespace talvaren
