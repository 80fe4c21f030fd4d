#pragma once
// Secrets never reach the console or an error's description: request logs, printed URLs, replies and body
// texts keep their shape, but credential values (tokens, API keys, CSRF and session values, OAuth tokens
// and secrets, passwords) show as "<redacted>". One rule decides, on every road: the value of a member or
// item with a secret name is hidden, unless it is a list of texts, which is what the server answers about
// a field it refused ({"password1": ["This password is too short."]}) and reaches the host intact. The rule
// holds at any depth, and inside texts too: a text value, or a JSON string of a body, that quotes a JSON
// text or "name=value" items (a server echoing the request it refused) has their secrets hidden the same
// way. Every log line and error description that could carry a secret goes through these helpers.

#include <map>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace talvaren::redact {

/// What a secret value prints as.
inline constexpr std::string_view placeholder = "<redacted>";

/// The one judge of names, on every road (members of replies and parameters, body texts, headers, form and
/// URL items): true when `name`, as it reads, is a secret's in any letter case. The secrets are the
/// parameters and members "password", "password1", "password2" (the signup's repeated password), "token",
/// "access_token", "refresh_token", "oauth_token", "oauth_token_secret", "oauth_verifier", "client_secret",
/// "apiKey", the CSRF and session cookies "csrftoken", "csrfmiddlewaretoken" and "sessionid", and the
/// credential headers "Authorization", "X-API-Key" and "X-CSRFToken". A name is given as it reads: each road
/// undoes the escapes of its form first (a JSON text's "\u0070assword", a form's "refresh%5Ftoken").
bool isSecretName(std::string_view name);

/// The one rule: whether the value of a member named `name` is hidden. True when the name is secret
/// (`isSecretName`) and the value is anything but a list of texts (validation messages).
bool hidesValue(std::string_view name, const nlohmann::json& value);

/// A copy of `headers` with the value of every header with a secret name replaced by the placeholder.
std::map<std::string, std::string> headers(const std::map<std::string, std::string>& headers);

/// Request parameters (any JSON value) as the request log prints them: redacted as `reply` redacts a reply.
nlohmann::json parameters(const nlohmann::json& parameters);

/// A copy of a server reply (any JSON value) in which every member, at any depth, whose value `hidesValue`
/// hides (a login reply's "token", an API-key reply's "X-API-Key") holds the placeholder instead, and every
/// text value (member names stay as they are) reads as `text` reads the content of a JSON string: the
/// secrets of a JSON text or of "name=value" items quoted in it are hidden. Containers nested deeper than
/// 128 levels show as the placeholder.
nlohmann::json reply(const nlohmann::json& reply);
/// False when `reply` would come back unchanged: no member at any depth has a hidden value, no text quotes
/// a secret and no container sits too deep to copy. A log line can then print the reply itself instead of
/// a copy.
bool replyHoldsSecrets(const nlohmann::json& reply);

/// A body text (a reply, whole or cut short, JSON or not) as it may be printed or put into an error: the
/// value of every member whose name is secret once its escapes are undone (`"token": "..."`,
/// `"\u0070assword": ...`, also when the text ends inside it) becomes "\"<redacted>\"" unless it is a whole
/// list of texts, and the value of every "name=value" item whose name is secret once its percent escapes are
/// undone (form-encoded replies, URLs inside a page, a challenge's `token="..."`) becomes the placeholder: up
/// to the next separator, or, for a value in quotes, up to its closing quote, the quotes kept. Blanks may
/// stand around the "=". The
/// content of every JSON string, whole or cut, is read the same way with its escapes undone, so a JSON text
/// a server quotes in its message (`{\"password\": \"x\"}`) has its secret members' values hidden, the
/// placeholder's quotes escaped as the text's own are (`\"<redacted>\"`), however often it is quoted up to
/// four times (deeper, only items count). Everything else is kept byte for byte, so a text without secrets
/// comes back unchanged.
std::string text(std::string_view body);

/// `url` with the value of every secret item of its query and fragment ("name=value" pairs separated by
/// "&", names judged with their percent escapes undone; here an authorisation "code" is one too) and its user info's password ("user:<redacted>@", or
/// "<redacted>@" for a user info without a password) replaced by the placeholder; everything else is kept
/// byte for byte. What the HTTP layer prints or puts into an error is the URL in this form.
std::string url(std::string_view url);

}  // namespace talvaren::redact
