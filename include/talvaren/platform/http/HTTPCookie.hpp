#pragma once
// Cookies (RFC 6265): parsing "Set-Cookie" lines, matching a URL, and a thread-safe store.
//
// A cookie set with a "Domain" attribute is stored with a leading "." (".example.com") and matches that
// domain and its subdomains; a cookie without one is host-only and stored under the bare host name.
// "Max-Age" wins over "Expires"; a cookie without either is a session cookie. Cookies whose "Domain" does
// not cover the replying host, or whose name is empty, are ignored. A "Domain" that is a public suffix
// (by the Public Suffix List, through libpsl: "com", "co.uk", and a single label the list does not name,
// such as "localhost") makes the cookie host-only when it is the replying host itself, and the cookie is
// ignored otherwise; HTTPCookieStorage::setCookies() drops a domain cookie for a public suffix made by
// other means too. Expiry is judged by the platform clock (Date::now()).
//
// The store is bounded as browsers bound theirs: a cookie whose name and value exceed 4096 bytes is refused,
// and a new cookie beyond 180 for its domain, or beyond 3000 in all, evicts the oldest one of that domain,
// or of the store.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/http/URL.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::platform::http {

struct HTTPCookie {
  std::string name;
  std::string value;
  /// Lower-case domain; a leading "." marks a domain cookie (see the top of this header).
  std::string domain;
  std::string path = "/";
  /// None for a session cookie.
  std::optional<Date> expiresDate;
  bool isSecure = false;
  bool isHTTPOnly = false;

  bool isSessionOnly() const { return !expiresDate.has_value(); }
  /// True when the cookie has expired by the platform clock.
  bool isExpired() const;
  /// True when the cookie belongs to `host`: the host of a host-only cookie, or the domain of a domain
  /// cookie or a name below it (letter case aside).
  bool isForHost(std::string_view host) const;
  /// True when the cookie would be sent with a request for `url` (domain, path, secure, expiry).
  bool matches(const URL& url) const;

  /// The cookie that one "Set-Cookie" value sets for a reply from `url`, if it is acceptable.
  static std::optional<HTTPCookie> fromSetCookie(std::string_view setCookieValue, const URL& url);
  /// The cookies that the "Set-Cookie" lines among `headerFields` set for a reply from `url`, in order.
  static std::vector<HTTPCookie> cookies(const std::vector<HTTPHeaderField>& headerFields, const URL& url);
  /// The "Cookie" request header value for `cookies` ("a=1; b=2"), empty for none.
  static std::string requestHeaderValue(const std::vector<HTTPCookie>& cookies);

  friend bool operator==(const HTTPCookie& a, const HTTPCookie& b) {
    return a.name == b.name && a.value == b.value && a.domain == b.domain && a.path == b.path &&
           a.expiresDate == b.expiresDate && a.isSecure == b.isSecure && a.isHTTPOnly == b.isHTTPOnly;
  }
};

/// A cookie store; every operation is thread-safe. A cookie replaces the stored one with the same name,
/// domain and path; an expired cookie removes it.
class HTTPCookieStorage {
 public:
  /// The process-wide store used by the default session configuration.
  static std::shared_ptr<HTTPCookieStorage> shared();

  void setCookie(const HTTPCookie& cookie);
  /// Stores `cookies` received from `url` (each must match `url`'s host, and a domain cookie's domain must be
  /// no public suffix; others are dropped).
  void setCookies(const std::vector<HTTPCookie>& cookies, const URL& url);
  /// Every live cookie, in the order stored.
  std::vector<HTTPCookie> cookies() const;
  /// The live cookies to send with a request for `url`: longer paths first, then older first.
  std::vector<HTTPCookie> cookies(const URL& url) const;
  void deleteCookie(const HTTPCookie& cookie);
  void removeAllCookies();

 private:
  struct Entry {
    HTTPCookie cookie;
    std::uint64_t sequence;
  };
  /// Drops the oldest cookies while `domain` or the whole store holds more than its bound; under mutex_.
  void evictBeyondBounds(std::string_view domain);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::uint64_t nextSequence_ = 0;
};

}  // namespace talvaren::platform::http
