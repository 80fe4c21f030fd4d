#include "talvaren/platform/http/URL.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <string_view>

#include "talvaren/platform/HexText.hpp"

namespace talvaren::platform::http {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isAlpha(c) || isDigit(c); }
bool isHex(char c) { return hexDigitValue(c) >= 0; }

/// The bytes a URL may hold literally: letters, digits and "-._~:/?#[]@!$&'()*+,;=" ("%" is checked apart).
struct URLCharacters {
  bool allowed[256] = {};
  constexpr URLCharacters() {
    for (int c = 'a'; c <= 'z'; ++c) allowed[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) allowed[c] = true;
    for (int c = '0'; c <= '9'; ++c) allowed[c] = true;
    for (char c : std::string_view("-._~:/?#[]@!$&'()*+,;=")) allowed[static_cast<unsigned char>(c)] = true;
  }
};
constexpr URLCharacters urlCharacters;

/// True when every byte may appear literally in a URL and every "%" starts an escape.
bool hasOnlyURLCharacters(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (urlCharacters.allowed[static_cast<unsigned char>(c)]) continue;
    if (c != '%' || i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
    i += 2;
  }
  return true;
}

/// The position of the first "?" or "#" (and "/" when `slashEnds`) in `text` from `from` on, or its end.
std::size_t componentEnd(std::string_view text, std::size_t from, bool slashEnds) {
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '?' || c == '#' || (slashEnds && c == '/')) return i;
  }
  return text.size();
}

std::string lowercase(std::string_view text) {
  std::string result(text);
  for (auto& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

/// A host name: letters, digits, "-", ".", "_" and "~" (what the transfer library takes as a name).
bool isHostName(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    if (!isAlnum(c) && c != '-' && c != '.' && c != '_' && c != '~') return false;
  }
  return true;
}

/// The inside of "[...]": an IPv6 address, optionally with a zone ("%25" and a name).
bool isIPv6Literal(std::string_view literal) {
  std::string_view address = literal;
  const auto percent = literal.find('%');
  if (percent != std::string_view::npos) {
    address = literal.substr(0, percent);
    const auto zone = literal.substr(percent);
    if (zone.size() <= 3 || zone.substr(0, 3) != "%25" || !isHostName(zone.substr(3))) return false;
  }
  if (address.empty() || address.size() >= INET6_ADDRSTRLEN) return false;
  char text[INET6_ADDRSTRLEN];
  address.copy(text, address.size());
  text[address.size()] = '\0';
  in6_addr parsed{};
  return inet_pton(AF_INET6, text, &parsed) == 1;
}

}  // namespace

std::optional<URL> URL::fromString(std::string_view text) {
  if (text.empty() || !hasOnlyURLCharacters(text)) return std::nullopt;
  // A scheme is letters, digits, "+", "-" and "." after a leading letter, ended by ":".
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || !isAlpha(text[0])) {
    return std::nullopt;
  }
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!isAlnum(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
  }

  Parts url;
  url.text = std::string(text);
  url.scheme = lowercase(text.substr(0, colon));
  const bool web = url.scheme == "http" || url.scheme == "https";
  if (!web) {
    // Other schemes are kept as opaque absolute URLs; the transfer engine refuses them.
    const auto rest = text.substr(colon + 1);
    const auto q = rest.find('?');
    const auto hash = rest.find('#');
    url.path = std::string(rest.substr(0, std::min(q, hash)));
    if (q != std::string_view::npos && (hash == std::string_view::npos || q < hash)) {
      url.query =
          std::string(rest.substr(q + 1, hash == std::string_view::npos ? std::string_view::npos : hash - q - 1));
    }
    return URL(std::move(url));
  }

  // "//" and a non-empty authority must follow the scheme ("https:///path" and "http:host" are no URLs).
  const auto rest = text.substr(colon + 1);
  if (rest.size() < 3 || rest.substr(0, 2) != "//" || rest[2] == '/' || rest[2] == '?' || rest[2] == '#') {
    return std::nullopt;
  }

  // Authority: [userinfo "@"] host [":" port], up to the first "/", "?" or "#".
  const std::size_t authorityStart = colon + 3;
  const std::size_t authorityEnd = componentEnd(text, authorityStart, true);
  std::string_view hostPort = text.substr(authorityStart, authorityEnd - authorityStart);
  if (const auto at = hostPort.rfind('@'); at != std::string_view::npos) hostPort.remove_prefix(at + 1);
  std::string_view portText;
  if (!hostPort.empty() && hostPort.front() == '[') {
    const auto close = hostPort.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const auto literal = hostPort.substr(1, close - 1);
    const auto after = hostPort.substr(close + 1);
    if (!isIPv6Literal(literal) || (!after.empty() && after.front() != ':')) return std::nullopt;
    url.host = std::string(literal);
    if (!after.empty()) portText = after.substr(1);
  } else {
    const auto portColon = hostPort.find(':');
    const auto host = hostPort.substr(0, portColon);
    if (!isHostName(host)) return std::nullopt;
    url.host = std::string(host);
    if (portColon != std::string_view::npos) portText = hostPort.substr(portColon + 1);
  }
  if (!portText.empty()) {
    int port = 0;
    const auto parsed = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (parsed.ec != std::errc() || parsed.ptr != portText.data() + portText.size() || port > 65535 ||
        !isDigit(portText.front())) {
      return std::nullopt;
    }
    url.port = port;
  }
  const std::size_t pathEnd = componentEnd(text, authorityEnd, false);
  url.path =
      pathEnd > authorityEnd ? std::string(text.substr(authorityEnd, pathEnd - authorityEnd)) : std::string(1, '/');
  const auto hash = text.find('#');
  const auto q = text.find('?');
  if (q != std::string_view::npos && (hash == std::string_view::npos || q < hash)) {
    url.query = std::string(text.substr(q + 1, hash == std::string_view::npos ? std::string_view::npos : hash - q - 1));
  }
  return URL(std::move(url));
}

}  // namespace talvaren::platform::http
