#include "talvaren/platform/Redaction.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace talvaren::redact {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// In a URL's query or fragment, an OAuth 2 authorisation code is a credential too; elsewhere "code" names
// status and error codes the host must see.
bool isSecretURLItem(std::string_view name) { return name == "code" || isSecretParameter(name); }

// Replaces the values of secret "name=value" items in one "&"-separated run of a URL's query or fragment.
void redactItems(std::string_view items, std::string& out) {
  std::size_t start = 0;
  while (true) {
    const auto end = items.find('&', start);
    const auto item = items.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const auto equals = item.find('=');
    if (equals != std::string_view::npos && isSecretURLItem(item.substr(0, equals))) {
      out.append(item.substr(0, equals + 1));
      out.append(placeholder);
    } else {
      out.append(item);
    }
    if (end == std::string_view::npos) break;
    out.push_back('&');
    start = end + 1;
  }
}

}  // namespace

bool isSecretHeader(std::string_view name) {
  static constexpr std::array<std::string_view, 3> names{"Authorization", "X-API-Key", "X-CSRFToken"};
  for (auto secret : names) {
    if (equalsIgnoringCase(name, secret)) return true;
  }
  return false;
}

bool isSecretParameter(std::string_view name) {
  static constexpr std::array<std::string_view, 14> names{
      "password",      "password1",   "password2",           "token",          "access_token",
      "refresh_token", "oauth_token", "oauth_token_secret",  "oauth_verifier", "client_secret",
      "apiKey",        "csrftoken",   "csrfmiddlewaretoken", "sessionid"};
  for (auto secret : names) {
    if (name == secret) return true;
  }
  return false;
}

namespace {

bool isSecretName(std::string_view name) { return isSecretParameter(name) || isSecretHeader(name); }

/// A list of texts: what the server answers about a field it refused ({"password1": ["This password is too
/// short."]}), never a credential.
bool isMessageList(const nlohmann::json& value) {
  if (!value.is_array()) return false;
  for (const auto& element : value) {
    if (!element.is_string()) return false;
  }
  return true;
}

}  // namespace

bool hidesValue(std::string_view name, const nlohmann::json& value) {
  return isSecretName(name) && !isMessageList(value);
}

std::map<std::string, std::string> headers(const std::map<std::string, std::string>& headers) {
  auto copy = headers;
  for (auto& [name, value] : copy) {
    if (isSecretHeader(name)) value = std::string(placeholder);
  }
  return copy;
}

namespace {

// Deeper containers print as the placeholder: a reply nested that deep is no login reply, and the copy
// must not exhaust the stack.
constexpr int maxReplyDepth = 128;

nlohmann::json redactedReply(const nlohmann::json& reply, int depth) {
  if (!reply.is_array() && !reply.is_object()) return reply;
  if (depth >= maxReplyDepth) return std::string(placeholder);
  if (reply.is_array()) {
    nlohmann::json copy = nlohmann::json::array();
    for (const auto& element : reply) copy.push_back(redactedReply(element, depth + 1));
    return copy;
  }
  nlohmann::json copy = nlohmann::json::object();
  for (const auto& [name, value] : reply.items()) {
    copy[name] = hidesValue(name, value) ? nlohmann::json(std::string(placeholder)) : redactedReply(value, depth + 1);
  }
  return copy;
}

/// Whether `redactedReply` would change anything: a secret member, or a container too deep to copy.
bool replyChanges(const nlohmann::json& reply, int depth) {
  if (!reply.is_array() && !reply.is_object()) return false;
  if (depth >= maxReplyDepth) return true;
  if (reply.is_array()) {
    for (const auto& element : reply) {
      if (replyChanges(element, depth + 1)) return true;
    }
    return false;
  }
  for (auto member = reply.begin(); member != reply.end(); ++member) {
    if (hidesValue(member.key(), *member) || replyChanges(*member, depth + 1)) {
      return true;
    }
  }
  return false;
}

}  // namespace

nlohmann::json parameters(const nlohmann::json& parameters) { return redactedReply(parameters, 0); }

nlohmann::json reply(const nlohmann::json& reply) { return redactedReply(reply, 0); }

bool replyHoldsSecrets(const nlohmann::json& reply) { return replyChanges(reply, 0); }

namespace {

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

/// Where an item's value ends: at the next separator of a query, a form, a markup attribute or a JSON text.
bool endsItemValue(char c) {
  return std::string_view("&#;,\\\"'<>(){}[] \t\r\n").find(c) != std::string_view::npos;
}

/// Copies `run` (text outside any JSON string, or a string's content) to `out`, with the value of every
/// "name=value" item whose name is a secret replaced by the placeholder.
void redactNamedItems(std::string_view run, std::string& out) {
  std::size_t i = 0;
  while (i < run.size()) {
    if (!isNameCharacter(run[i])) {
      out.push_back(run[i++]);
      continue;
    }
    std::size_t end = i;
    while (end < run.size() && isNameCharacter(run[end])) ++end;
    const auto name = run.substr(i, end - i);
    out.append(name);
    i = end;
    if (i < run.size() && run[i] == '=' && isSecretName(name)) {
      out.push_back('=');
      out.append(placeholder);
      ++i;
      while (i < run.size() && !endsItemValue(run[i])) ++i;
    }
  }
}

/// The closing quote of the JSON string that opens at `start`; none when the text is cut inside it.
std::optional<std::size_t> closingQuote(std::string_view text, std::size_t start) {
  for (std::size_t i = start + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i;
    }
  }
  return std::nullopt;
}

/// One past the end of the JSON string that opens at `start`, or the end of a text cut inside it.
std::size_t stringEnd(std::string_view text, std::size_t start) {
  const auto close = closingQuote(text, start);
  return close ? *close + 1 : text.size();
}

/// The end of the JSON value that starts at `start`: a string, a container (brackets counted outside
/// strings, without recursion), or a scalar up to the next separator; the end of the text when it is cut.
std::size_t valueEnd(std::string_view text, std::size_t start) {
  if (start >= text.size()) return start;
  if (text[start] == '"') return stringEnd(text, start);
  if (text[start] == '{' || text[start] == '[') {
    std::size_t depth = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        i = stringEnd(text, i) - 1;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return i + 1;
      }
    }
    return text.size();
  }
  std::size_t i = start;
  while (i < text.size() && std::string_view(",}] \t\r\n").find(text[i]) == std::string_view::npos) ++i;
  return i;
}

std::size_t skipBlanks(std::string_view text, std::size_t i) {
  while (i < text.size() && std::string_view(" \t\r\n").find(text[i]) != std::string_view::npos) ++i;
  return i;
}

/// Whether the JSON value at `start` is a whole list of texts (`isMessageList` on a text): a list cut short,
/// or one holding anything but strings, is not.
bool isMessageListText(std::string_view text, std::size_t start) {
  if (start >= text.size() || text[start] != '[') return false;
  auto i = skipBlanks(text, start + 1);
  if (i < text.size() && text[i] == ']') return true;
  while (i < text.size() && text[i] == '"') {
    const auto close = closingQuote(text, i);
    if (!close) return false;
    i = skipBlanks(text, *close + 1);
    if (i >= text.size()) return false;
    if (text[i] == ']') return true;
    if (text[i] != ',') return false;
    i = skipBlanks(text, i + 1);
  }
  return false;
}

}  // namespace

std::string text(std::string_view body) {
  std::string out;
  out.reserve(body.size());
  std::size_t i = 0;
  while (i < body.size()) {
    const auto quote = body.find('"', i);
    redactNamedItems(body.substr(i, quote == std::string_view::npos ? std::string_view::npos : quote - i), out);
    if (quote == std::string_view::npos) break;
    const auto close = closingQuote(body, quote);
    const auto content = body.substr(quote + 1, close ? *close - quote - 1 : std::string_view::npos);
    out.push_back('"');
    redactNamedItems(content, out);
    if (!close) break;
    out.push_back('"');
    i = *close + 1;
    // A member name followed by ':' names the value after it.
    const auto colon = skipBlanks(body, i);
    if (colon >= body.size() || body[colon] != ':' || !isSecretName(content)) continue;
    const auto value = skipBlanks(body, colon + 1);
    // The server's messages about a field are shown like any other member's value.
    if (isMessageListText(body, value)) continue;
    out.append(body.substr(i, value - i));
    i = value;
    if (i >= body.size()) break;
    out.push_back('"');
    out.append(placeholder);
    out.push_back('"');
    i = valueEnd(body, i);
  }
  return out;
}

namespace {

/// Where the user info of `url` ("user:password@" after "scheme://") lies, as (start, end before the "@");
/// none when the URL has none.
std::optional<std::pair<std::size_t, std::size_t>> userInfo(std::string_view url) {
  const auto slashes = url.find("://");
  if (slashes == std::string_view::npos || slashes == 0) return std::nullopt;
  for (const char c : url.substr(0, slashes)) {
    const bool schemeCharacter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                 c == '+' || c == '-' || c == '.';
    if (!schemeCharacter) return std::nullopt;
  }
  const auto start = slashes + 3;
  const auto authorityEnd = std::min(url.find_first_of("/?#", start), url.size());
  const auto at = url.substr(start, authorityEnd - start).rfind('@');
  if (at == std::string_view::npos) return std::nullopt;
  return std::pair{start, start + at};
}

}  // namespace

std::string url(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  const auto query = url.find('?');
  const auto fragment = url.find('#');
  const auto firstItems = std::min(query, fragment);
  auto head = url.substr(0, firstItems == std::string_view::npos ? url.size() : firstItems + 1);
  if (const auto info = userInfo(url)) {
    // A password hides behind its user name; a user info without one (a bare token) is hidden whole.
    const auto colon = url.substr(info->first, info->second - info->first).find(':');
    const auto kept = colon == std::string_view::npos ? info->first : info->first + colon + 1;
    out.append(head.substr(0, kept));
    out.append(placeholder);
    head.remove_prefix(info->second);
  }
  out.append(head);
  if (firstItems == std::string_view::npos) return out;
  if (query != std::string_view::npos && query < fragment) {
    const auto queryEnd = fragment == std::string_view::npos ? url.size() : fragment;
    redactItems(url.substr(query + 1, queryEnd - query - 1), out);
    if (fragment == std::string_view::npos) return out;
    out.push_back('#');
  }
  redactItems(url.substr(fragment + 1), out);
  return out;
}

}  // namespace talvaren::redact
