#pragma once
// Secrets never reach the console: request logs and printed URLs keep their shape, but the values of
// credential headers, password and token parameters, and token or verifier query items print as
// "<redacted>". Every log line that could carry a secret goes through these helpers.

#include <map>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace talvaren::redact {

/// What a secret value prints as.
inline constexpr std::string_view placeholder = "<redacted>";

/// True for header names whose values are credentials ("Authorization", "X-API-Key", "X-CSRFToken"),
/// compared without regard to case.
bool isSecretHeader(std::string_view name);

/// True for parameter or query item names whose values are secrets: "password", "password1", "password2"
/// (the signup's repeated password), "token", "access_token", "refresh_token", "oauth_token", "oauth_token_secret",
/// "oauth_verifier" (exact case).
bool isSecretParameter(std::string_view name);

/// A copy of `headers` with every secret header's value replaced by the placeholder.
std::map<std::string, std::string> headers(const std::map<std::string, std::string>& headers);

/// A copy of a JSON object of parameters with the values of secret members replaced by the placeholder
/// (top level only); anything that is not an object comes back unchanged.
nlohmann::json parameters(const nlohmann::json& parameters);

/// A copy of a server reply (any JSON value) in which every member, at any depth, whose name is a secret
/// parameter or a secret header (a login reply's "token", an API-key reply's "X-API-Key") holds the
/// placeholder instead of its value.
nlohmann::json reply(const nlohmann::json& reply);

/// A body text (a reply, whole or cut short, JSON or not) as it may be printed or put into an error: the
/// value of every member whose name is a secret parameter or a secret header (`"token": "..."`, also when
/// the text ends inside it) becomes "\"<redacted>\"", and the value of every "name=value" item with a secret
/// name (form-encoded replies, URLs inside a page) becomes the placeholder. Everything else is kept byte for
/// byte, so a text without secrets comes back unchanged.
std::string text(std::string_view body);

/// `url` with the value of every secret item of its query and fragment ("name=value" pairs separated by
/// "&") replaced by the placeholder; everything else is kept byte for byte.
std::string url(std::string_view url);

}  // namespace talvaren::redact
