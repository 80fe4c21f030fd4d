#include "talvaren/platform/http/HTTPCookie.hpp"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <libpsl.h>

#include <algorithm>
#include <cctype>
#include <limits>

namespace talvaren::platform::http {
namespace {

constexpr std::size_t maximumCookieSize = 4096;
constexpr std::size_t maximumCookiesPerDomain = 180;
constexpr std::size_t maximumCookies = 3000;

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string lowercase(std::string_view text) {
  std::string result(text);
  for (auto& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

bool hasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
  });
}

bool isIPAddress(const std::string& host) {
  unsigned char buffer[sizeof(struct in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

/// The Public Suffix List as libpsl has it: the newer of the list built into libpsl and the system's copy,
/// read once and kept for the process; none when neither is there.
const psl_ctx_t* publicSuffixList() {
  static const psl_ctx_t* const list = psl_latest(nullptr);
  return list;
}

/// True when `domain` (lower-case) is a public suffix, under which unrelated sites register: one the list
/// names ("com", "co.uk", and the private ones), or, by the list's default rule, a single label it does not
/// name ("test", "localhost"). A name written with its final dot ("co.uk.", as DNS allows) is the same
/// name: the list knows none with the dot. Without a list every domain counts as one.
bool isPublicSuffix(std::string_view domain) {
  const psl_ctx_t* list = publicSuffixList();
  if (!list) return true;
  while (!domain.empty() && domain.back() == '.') domain.remove_suffix(1);
  return psl_is_public_suffix2(list, std::string(domain).c_str(), PSL_TYPE_ANY) != 0;
}

/// RFC 6265 section 5.1.3: `host` equals `domain` or is a name below it.
bool domainMatches(const std::string& host, std::string_view domain) {
  if (host == domain) return true;
  return !isIPAddress(host) && host.size() > domain.size() && endsWith(host, domain) &&
         host[host.size() - domain.size() - 1] == '.';
}

/// RFC 6265 section 5.1.4: the directory of the request path.
std::string defaultPath(const std::string& requestPath) {
  if (requestPath.empty() || requestPath.front() != '/') return "/";
  const auto lastSlash = requestPath.rfind('/');
  if (lastSlash == 0) return "/";
  return requestPath.substr(0, lastSlash);
}

bool pathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath == cookiePath) return true;
  if (requestPath.size() > cookiePath.size() && requestPath.compare(0, cookiePath.size(), cookiePath) == 0) {
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
  }
  return false;
}

std::string requestPathOf(const URL& url) { return url.path().empty() ? "/" : url.path(); }

/// The domain a cookie counts against: its domain without the leading "." of a domain cookie.
std::string_view domainKey(const HTTPCookie& cookie) {
  std::string_view domain = cookie.domain;
  if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
  return domain;
}

/// A domain cookie for a public suffix, which fromSetCookie() never makes but a cookie made otherwise may be.
bool isForPublicSuffix(const HTTPCookie& cookie) {
  return cookie.domain.size() > 1 && cookie.domain.front() == '.' &&
         isPublicSuffix(std::string_view(cookie.domain).substr(1));
}

bool coversHost(const HTTPCookie& cookie, const std::string& host) {
  if (!cookie.domain.empty() && cookie.domain.front() == '.') {
    return domainMatches(host, std::string_view(cookie.domain).substr(1));
  }
  return host == cookie.domain;
}

std::optional<std::int64_t> parseMaxAge(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (char c : text) {
    if (value > (std::numeric_limits<std::int64_t>::max() - 9) / 10) {
      value = std::numeric_limits<std::int64_t>::max();
      break;
    }
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

}  // namespace

bool HTTPCookie::isExpired() const {
  return expiresDate && expiresDate->timeIntervalSince1970() <= Date::now().timeIntervalSince1970();
}

bool HTTPCookie::isForHost(std::string_view host) const { return coversHost(*this, lowercase(host)); }

bool HTTPCookie::matches(const URL& url) const {
  if (url.scheme() != "http" && url.scheme() != "https") return false;
  if (isSecure && url.scheme() != "https") return false;
  if (isExpired()) return false;
  return coversHost(*this, lowercase(url.host())) && pathMatches(requestPathOf(url), path);
}

std::optional<HTTPCookie> HTTPCookie::fromSetCookie(std::string_view setCookieValue, const URL& url) {
  const auto semicolon = setCookieValue.find(';');
  const std::string_view pair = setCookieValue.substr(0, semicolon);
  const auto equals = pair.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  HTTPCookie cookie;
  cookie.name = std::string(trim(pair.substr(0, equals)));
  cookie.value = std::string(trim(pair.substr(equals + 1)));
  if (cookie.name.empty() || hasControlCharacter(cookie.name) || hasControlCharacter(cookie.value) ||
      cookie.name.size() + cookie.value.size() > maximumCookieSize) {
    return std::nullopt;
  }

  std::optional<std::string> domainAttribute;
  std::optional<std::string> pathAttribute;
  std::optional<Date> expires;
  std::optional<std::int64_t> maxAge;
  std::string_view rest = semicolon == std::string_view::npos ? std::string_view() : setCookieValue.substr(semicolon + 1);
  while (!rest.empty()) {
    const auto next = rest.find(';');
    const std::string_view attribute = rest.substr(0, next);
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    const auto eq = attribute.find('=');
    const std::string name = lowercase(trim(attribute.substr(0, eq)));
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : trim(attribute.substr(eq + 1));
    if (name == "expires") {
      const std::string text(value);
      const time_t seconds = curl_getdate(text.c_str(), nullptr);
      if (seconds != -1) expires = Date(static_cast<double>(seconds));
    } else if (name == "max-age") {
      if (auto delta = parseMaxAge(value)) maxAge = delta;
    } else if (name == "domain") {
      std::string_view domain = value;
      if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
      if (!domain.empty()) domainAttribute = lowercase(domain);
    } else if (name == "path") {
      if (!value.empty() && value.front() == '/') pathAttribute = std::string(value);
    } else if (name == "secure") {
      cookie.isSecure = true;
    } else if (name == "httponly") {
      cookie.isHTTPOnly = true;
    }
  }

  if (maxAge) {
    const double now = Date::now().timeIntervalSince1970();
    cookie.expiresDate = *maxAge <= 0 ? Date(0)
                                      : Date(now + static_cast<double>(*maxAge));
  } else if (expires) {
    cookie.expiresDate = expires;
  }

  const std::string host = lowercase(url.host());
  if (host.empty()) return std::nullopt;
  if (domainAttribute) {
    if (!domainMatches(host, *domainAttribute)) return std::nullopt;
    // A cookie for a public suffix would go to every site below it (RFC 6265 section 5.3): it is the
    // host's alone when the suffix is the host itself, and refused otherwise. A cookie of an IP address is
    // that address's alone too.
    if (isIPAddress(host) || isPublicSuffix(*domainAttribute)) {
      if (*domainAttribute != host) return std::nullopt;
      cookie.domain = host;
    } else {
      cookie.domain = "." + *domainAttribute;
    }
  } else {
    cookie.domain = host;
  }
  cookie.path = pathAttribute ? *pathAttribute : defaultPath(requestPathOf(url));
  return cookie;
}

std::vector<HTTPCookie> HTTPCookie::cookies(const std::vector<HTTPHeaderField>& headerFields, const URL& url) {
  std::vector<HTTPCookie> result;
  for (const auto& [name, value] : headerFields) {
    if (!headerNameEquals(name, "Set-Cookie")) continue;
    if (auto cookie = fromSetCookie(value, url)) result.push_back(std::move(*cookie));
  }
  return result;
}

std::string HTTPCookie::requestHeaderValue(const std::vector<HTTPCookie>& cookies) {
  std::string result;
  for (const auto& cookie : cookies) {
    if (!result.empty()) result += "; ";
    result += cookie.name;
    result += '=';
    result += cookie.value;
  }
  return result;
}

std::shared_ptr<HTTPCookieStorage> HTTPCookieStorage::shared() {
  static const auto& storage = *new auto(std::make_shared<HTTPCookieStorage>());
  return storage;
}

void HTTPCookieStorage::setCookie(const HTTPCookie& cookie) {
  if (cookie.name.size() + cookie.value.size() > maximumCookieSize) return;
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [](const Entry& e) { return e.cookie.isExpired(); });
  auto same = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return e.cookie.name == cookie.name && e.cookie.domain == cookie.domain && e.cookie.path == cookie.path;
  });
  if (cookie.isExpired()) {
    if (same != entries_.end()) entries_.erase(same);
    return;
  }
  if (same != entries_.end()) {
    same->cookie = cookie;
  } else {
    entries_.push_back(Entry{cookie, nextSequence_++});
    evictBeyondBounds(domainKey(cookie));
  }
}

void HTTPCookieStorage::evictBeyondBounds(std::string_view domain) {
  // Entries stay in the order they were first stored (a replaced cookie keeps its place): the first ones
  // found are the oldest.
  const auto sameDomain = [&](const Entry& e) { return domainKey(e.cookie) == domain; };
  if (static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(), sameDomain)) > maximumCookiesPerDomain) {
    entries_.erase(std::find_if(entries_.begin(), entries_.end(), sameDomain));
  }
  if (entries_.size() > maximumCookies) entries_.erase(entries_.begin());
}

void HTTPCookieStorage::setCookies(const std::vector<HTTPCookie>& cookies, const URL& url) {
  const std::string host = lowercase(url.host());
  for (const auto& cookie : cookies) {
    if (coversHost(cookie, host) && !isForPublicSuffix(cookie)) setCookie(cookie);
  }
}

std::vector<HTTPCookie> HTTPCookieStorage::cookies() const {
  std::lock_guard lock(mutex_);
  std::vector<HTTPCookie> result;
  for (const auto& entry : entries_) {
    if (!entry.cookie.isExpired()) result.push_back(entry.cookie);
  }
  return result;
}

std::vector<HTTPCookie> HTTPCookieStorage::cookies(const URL& url) const {
  std::vector<const Entry*> matching;
  std::lock_guard lock(mutex_);
  for (const auto& entry : entries_) {
    if (entry.cookie.matches(url)) matching.push_back(&entry);
  }
  std::stable_sort(matching.begin(), matching.end(), [](const Entry* a, const Entry* b) {
    if (a->cookie.path.size() != b->cookie.path.size()) return a->cookie.path.size() > b->cookie.path.size();
    return a->sequence < b->sequence;
  });
  std::vector<HTTPCookie> result;
  result.reserve(matching.size());
  for (const auto* entry : matching) result.push_back(entry->cookie);
  return result;
}

void HTTPCookieStorage::deleteCookie(const HTTPCookie& cookie) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) {
    return e.cookie.name == cookie.name && e.cookie.domain == cookie.domain && e.cookie.path == cookie.path;
  });
}

void HTTPCookieStorage::removeAllCookies() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

}  // namespace talvaren::platform::http
