#pragma once
// Why an OAuth flow ended without a credential.

#include <optional>
#include <string>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform::oauth {

struct OAuthSwiftError {
  enum class Code {
    /// The flow was taken away: its screen closed without a redirect, it was cancelled, or replaced.
    cancelled,
    /// A URL or option of the client cannot be used (no URL handler, a URL that is no URL, ...).
    configurationError,
    /// A token request failed: no reply (`underlying` holds the transport error) or a refusal (`statusCode`).
    requestError,
    /// A token reply that is not form-encoded, lacks the token or its secret, or is too large.
    invalidTokenReply,
    /// The redirect carries no verifier and the client does not allow that.
    missingVerifier,
    /// The redirect carries no access token.
    missingToken,
    /// The redirect carries a state other than the one sent.
    stateNotEqual,
    /// The provider answered with an error (its "error" text in `message`).
    accessDenied,
  };

  OAuthSwiftError() = default;
  OAuthSwiftError(Code code, std::string message, std::optional<int> statusCode = std::nullopt,
                  std::optional<Error> underlying = std::nullopt)
      : code(code), message(std::move(message)), statusCode(statusCode), underlying(std::move(underlying)) {}

  Code code = Code::cancelled;
  /// What happened, in a few words (never a secret).
  std::string message;
  std::optional<int> statusCode;
  std::optional<Error> underlying;

  /// The message, followed by the underlying error's description when there is one.
  std::string localizedDescription() const;
};

}  // namespace talvaren::platform::oauth
