#pragma once
// The head of an HTTP reply: final URL, status and every header line as received.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "talvaren/platform/http/URL.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::platform::http {

class HTTPURLResponse {
 public:
  HTTPURLResponse(URL url, int statusCode, std::vector<HTTPHeaderField> headerLines)
      : state_(std::make_shared<const State>(State{std::move(url), statusCode, std::move(headerLines)})) {}
  // Copies share the reply; a move copies too, so a reply that was moved from stays readable.
  HTTPURLResponse(const HTTPURLResponse&) = default;
  HTTPURLResponse& operator=(const HTTPURLResponse&) = default;

  /// The URL that answered (after redirects).
  const URL& url() const { return state_->url; }
  int statusCode() const { return state_->statusCode; }
  /// Every header line in the order received; repeated fields (such as "Set-Cookie") stay separate.
  const std::vector<HTTPHeaderField>& headerLines() const { return state_->headerLines; }
  /// Header fields as a dictionary: repeated fields are joined with ", ", under the first spelling.
  HTTPHeaders allHeaderFields() const;
  /// The value of a field (repeated fields joined with ", "); names compare without regard to case.
  std::optional<std::string> value(std::string_view field) const;
  /// Every value of a field, in order.
  std::vector<std::string> values(std::string_view field) const;
  /// The media type of "Content-Type" without parameters, in lower case ("application/json").
  std::optional<std::string> mimeType() const;

 private:
  struct State {
    URL url;
    int statusCode;
    std::vector<HTTPHeaderField> headerLines;
  };
  // Never changed once made, so copies (one for each response handler) share it.
  std::shared_ptr<const State> state_;
};

}  // namespace talvaren::platform::http
