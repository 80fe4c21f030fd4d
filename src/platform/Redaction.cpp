#include "talvaren/platform/Redaction.hpp"

#include <algorithm>
#include <array>

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

// Replaces the values of secret "name=value" items in one "&"-separated run of `text`.
void redactItems(std::string_view items, std::string& out) {
  std::size_t start = 0;
  while (true) {
    const auto end = items.find('&', start);
    const auto item = items.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const auto equals = item.find('=');
    if (equals != std::string_view::npos && isSecretParameter(item.substr(0, equals))) {
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
  static constexpr std::array<std::string_view, 9> names{"password",    "password1",          "password2",
                                                         "token",       "access_token",       "refresh_token",
                                                         "oauth_token", "oauth_token_secret", "oauth_verifier"};
  for (auto secret : names) {
    if (name == secret) return true;
  }
  return false;
}

std::map<std::string, std::string> headers(const std::map<std::string, std::string>& headers) {
  auto copy = headers;
  for (auto& [name, value] : copy) {
    if (isSecretHeader(name)) value = std::string(placeholder);
  }
  return copy;
}

nlohmann::json parameters(const nlohmann::json& parameters) {
  if (!parameters.is_object()) return parameters;
  auto copy = parameters;
  for (auto& [name, value] : copy.items()) {
    if (isSecretParameter(name)) value = std::string(placeholder);
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
    copy[name] = isSecretParameter(name) || isSecretHeader(name) ? nlohmann::json(std::string(placeholder))
                                                                 : redactedReply(value, depth + 1);
  }
  return copy;
}

}  // namespace

nlohmann::json reply(const nlohmann::json& reply) { return redactedReply(reply, 0); }

std::string url(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  const auto query = url.find('?');
  const auto fragment = url.find('#');
  const auto firstItems = std::min(query, fragment);
  out.append(url.substr(0, firstItems == std::string_view::npos ? url.size() : firstItems + 1));
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
