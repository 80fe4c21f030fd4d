#pragma once
// One HTTP request as it will go out: URL, method, header fields, optional body, time-out, cache policy.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/http/Result.hpp"
#include "talvaren/platform/http/URL.hpp"

namespace talvaren::platform::http {

/// Header fields as callers pass them: name to value.
using HTTPHeaders = std::map<std::string, std::string>;
/// One header line: name and value, in the order they were set or received.
using HTTPHeaderField = std::pair<std::string, std::string>;

enum class URLRequestCachePolicy {
  /// The protocol's own rules (the default).
  useProtocolCachePolicy = 0,
  /// Never answer from a local cache.
  reloadIgnoringLocalCacheData = 1,
};

class URLRequest {
 public:
  /// A GET of `url` with no header fields, no body, a 60-second time-out and the default cache policy.
  explicit URLRequest(URL url) : url_(std::move(url)) {}

  /// The request for a URL text, method and header fields; fails with ("NSURLErrorDomain", -1000) when
  /// the text is no absolute URL (see URL::fromString).
  static Result<URLRequest> make(std::string_view urlText, HTTPMethod method = HTTPMethod::GET,
                                 const std::optional<HTTPHeaders>& headers = std::nullopt);

  const URL& url() const { return url_; }
  void setURL(URL url) { url_ = std::move(url); }
  HTTPMethod httpMethod() const { return method_; }
  void setHTTPMethod(HTTPMethod method) { method_ = method; }
  /// The body. Copies of a request share its body bytes (they are never changed, only replaced).
  const std::optional<Bytes>& httpBody() const {
    static const std::optional<Bytes> none;
    return body_ ? *body_ : none;
  }
  void setHTTPBody(std::optional<Bytes> body) {
    body_ = body ? std::make_shared<const std::optional<Bytes>>(std::move(body)) : nullptr;
  }
  /// Seconds without any data moving before the request fails with ("NSURLErrorDomain", -1001).
  double timeoutInterval() const { return timeout_; }
  void setTimeoutInterval(double seconds) { timeout_ = seconds; }
  /// Whether a 3xx reply with a "Location" is followed (the default) or handed over as the reply itself.
  bool followsRedirects() const { return followsRedirects_; }
  void setFollowsRedirects(bool follow) { followsRedirects_ = follow; }
  URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
  void setCachePolicy(URLRequestCachePolicy policy) { cachePolicy_ = policy; }

  /// The value of a header field; names compare without regard to letter case.
  std::optional<std::string> value(std::string_view field) const;
  /// Sets (or, with none, removes) a header field; a field of the same name in another letter case is
  /// replaced, keeping its position.
  void setValue(std::optional<std::string> value, std::string_view field);
  /// The header fields in the order they were set.
  const std::vector<HTTPHeaderField>& headerFields() const { return headers_; }
  /// The header fields as a dictionary.
  HTTPHeaders allHTTPHeaderFields() const;

 private:
  URL url_;
  HTTPMethod method_ = HTTPMethod::GET;
  std::vector<HTTPHeaderField> headers_;
  std::shared_ptr<const std::optional<Bytes>> body_;
  double timeout_ = 60;
  URLRequestCachePolicy cachePolicy_ = URLRequestCachePolicy::useProtocolCachePolicy;
  bool followsRedirects_ = true;
};

/// True when two header names are equal without regard to ASCII letter case.
bool headerNameEquals(std::string_view a, std::string_view b);

}  // namespace talvaren::platform::http
