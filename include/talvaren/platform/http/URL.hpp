#pragma once
// An absolute URL as the HTTP layer takes it: the text exactly as given, checked once, with its parts.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace talvaren::platform::http {

class URL {
 public:
  /// The URL that `text` spells, or none when `text` is no absolute URL: it must have a scheme, and
  /// every character must be one a URL may hold literally (letters, digits, "-._~:/?#[]@!$&'()*+,;="
  /// and "%" followed by two hexadecimal digits); spaces, control characters, quotes, "<>\\^`{|}" and
  /// non-ASCII bytes are refused, as is an empty text. An "http" or "https" URL must have "//" and a
  /// host: a name of letters, digits and "-._~", or an IPv6 address in brackets; a port, when given,
  /// is decimal and at most 65535.
  static std::optional<URL> fromString(std::string_view text);

  // Copies share the parts; a move copies too, so a URL that was moved from stays the same URL.
  URL(const URL&) = default;
  URL& operator=(const URL&) = default;

  /// The text exactly as it was given.
  const std::string& absoluteString() const { return parts_->text; }
  /// Lower-case scheme, such as "https".
  const std::string& scheme() const { return parts_->scheme; }
  /// Host as written, without brackets for IPv6 addresses; empty for URLs without one.
  const std::string& host() const { return parts_->host; }
  /// Explicit port, when the text names one.
  std::optional<int> port() const { return parts_->port; }
  /// Path as written (percent escapes kept); "/" when an http(s) URL has none.
  const std::string& path() const { return parts_->path; }
  /// Query without its "?", when the text has a "?" (possibly empty).
  const std::optional<std::string>& query() const { return parts_->query; }

  friend bool operator==(const URL& a, const URL& b) { return a.parts_->text == b.parts_->text; }

 private:
  struct Parts {
    std::string text;
    std::string scheme;
    std::string host;
    std::optional<int> port;
    std::string path;
    std::optional<std::string> query;
  };
  explicit URL(Parts parts) : parts_(std::make_shared<const Parts>(std::move(parts))) {}
  // Never changed once made, so copies share it.
  std::shared_ptr<const Parts> parts_;
};

}  // namespace talvaren::platform::http
