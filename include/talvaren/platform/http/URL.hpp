#pragma once
// An absolute URL as the HTTP layer takes it: the text exactly as given, checked once, with its parts.

#include <optional>
#include <string>
#include <string_view>

namespace talvaren::platform::http {

class URL {
 public:
  /// The URL that `text` spells, or none when `text` is no absolute URL: it must have a scheme, an
  /// "http" or "https" URL must have a host, and every character must be one a URL may hold literally
  /// (letters, digits, "-._~:/?#[]@!$&'()*+,;=" and "%" followed by two hexadecimal digits); spaces,
  /// control characters, quotes, "<>\\^`{|}" and non-ASCII bytes are refused, as is an empty text.
  static std::optional<URL> fromString(std::string_view text);

  /// The text exactly as it was given.
  const std::string& absoluteString() const { return text_; }
  /// Lower-case scheme, such as "https".
  const std::string& scheme() const { return scheme_; }
  /// Host as written, without brackets for IPv6 addresses; empty for URLs without one.
  const std::string& host() const { return host_; }
  /// Explicit port, when the text names one.
  std::optional<int> port() const { return port_; }
  /// Path as written (percent escapes kept); "/" when an http(s) URL has none.
  const std::string& path() const { return path_; }
  /// Query without its "?", when the text has a "?" (possibly empty).
  const std::optional<std::string>& query() const { return query_; }

  friend bool operator==(const URL& a, const URL& b) { return a.text_ == b.text_; }

 private:
  URL() = default;
  std::string text_;
  std::string scheme_;
  std::string host_;
  std::optional<int> port_;
  std::string path_;
  std::optional<std::string> query_;
};

}  // namespace talvaren::platform::http
