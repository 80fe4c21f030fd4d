// Following redirects. libcurl only reports where a 3xx points (CURLINFO_REDIRECT_URL); the engine sends each
// hop itself, so that every hop carries the cookies of its own URL, and a hop to another origin carries none
// of the header fields that say who is asking.

#include <array>
#include <cctype>

#include "Transfer.hpp"
#include "platform/PercentEncoding.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http::detail {
namespace {

constexpr long maximumRedirects = 16;

/// The fields that describe a body, dropped with the body when a redirect turns the request into a GET.
constexpr std::array<std::string_view, 3> bodyFields{"Content-Type", "Content-Language", "Content-Encoding"};

std::string lowercase(std::string_view text) {
  std::string result(text);
  for (auto& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

int effectivePort(const URL& url) {
  if (url.port()) return *url.port();
  return url.scheme() == "https" ? 443 : 80;
}

/// Scheme, host and port all equal.
bool sameOrigin(const URL& a, const URL& b) {
  return a.scheme() == b.scheme() && lowercase(a.host()) == lowercase(b.host()) && effectivePort(a) == effectivePort(b);
}

/// The request a redirect with `status` to `target` makes of `from`: 303, and 301 or 302 after a POST, turn
/// it into a GET without a body; 307 and 308 keep method and body. Once the chain `leftOrigin`, the request
/// keeps only the fields that may go to any origin.
URLRequest nextHop(const URLRequest& from, const URL& target, int status, bool leftOrigin) {
  URLRequest next = from;
  next.setURL(target);
  if (status == 303 || ((status == 301 || status == 302) && from.httpMethod() == HTTPMethod::POST)) {
    next.setHTTPMethod(HTTPMethod::GET);
    next.setHTTPBody(std::nullopt);
    for (auto field : bodyFields) next.setValue(std::nullopt, field);
  }
  if (leftOrigin) {
    std::vector<std::string> dropped;
    for (const auto& [name, value] : next.headerFields()) {
      if (!mayGoToAnyOrigin(name)) dropped.push_back(name);
    }
    for (const auto& name : dropped) next.setValue(std::nullopt, name);
  }
  return next;
}

/// The redirect target that libcurl reports, as a URL may hold it. libcurl leaves bytes of the "Location" that
/// no URL may hold literally as they came ("|{}^`\"<>\\", and spaces and non-ASCII bytes in an absolute
/// target), and servers send them; browsers follow such a target, escaping those bytes, so the engine does
/// too: each becomes "%XX" (upper-case digits), and so does a "%" that starts no escape ("100%"). Escapes
/// already there stay as they are, and so does every byte a URL may hold ("#" and the fragment after it
/// included: libcurl sends no fragment). A target with a control character is left as it is, and refused.
std::string escapedTarget(std::string_view target) {
  const bool hasControl = std::any_of(target.begin(), target.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
  if (hasControl) return std::string(target);
  return platform::detail::percentEscape(target, [&](unsigned char c, std::size_t i) {
    if (c == '%') return platform::detail::percentEscapedByte(target, i) >= 0;
    return platform::detail::isUnreserved(c) ||
           std::string_view(":/?#[]@!$&'()*+,;=").find(static_cast<char>(c)) != std::string_view::npos;
  });
}

}  // namespace

void TransferEngine::follow(Transfer& t) {
  const std::string& failingURL = t.request->url().absoluteString();
  t.redirecting = false;
  // libcurl resolves the "Location" against the hop's URL once the reply is complete.
  char* target = nullptr;
  if (curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_URL, &target) != CURLE_OK || !target) return finish(t, CURLE_OK);
  if (t.redirects >= maximumRedirects) return finish(t, CURLE_TOO_MANY_REDIRECTS);
  std::optional<URL> url;
  try {
    url = URL::fromString(escapedTarget(target));
  } catch (...) {
    return finish(t, CURLE_OUT_OF_MEMORY, URLError::make(URLError::unknown, failingURL));
  }
  if (!url) return finish(t, CURLE_URL_MALFORMAT, URLError::make(URLError::badURL, failingURL));
  if (url->scheme() != "http" && url->scheme() != "https") {
    return finish(t, CURLE_UNSUPPORTED_PROTOCOL, URLError::make(URLError::unsupportedURL, failingURL));
  }

  std::optional<URLRequest> next;
  std::optional<Result<HeaderList>> headers;
  // Once a hop left the caller's origin, the fields it dropped stay dropped, wherever later hops go.
  bool leftOrigin = t.leftOrigin;
  try {
    leftOrigin = leftOrigin || !sameOrigin(t.request->url(), *url);
    next.emplace(nextHop(t.current(), *url, t.head.status, leftOrigin));
    headers.emplace(headerList(*next, t.cookieStore, leftOrigin));
  } catch (...) {
    return finish(t, CURLE_OUT_OF_MEMORY, URLError::make(URLError::unknown, failingURL));
  }
  if (headers->isFailure()) return finish(t, CURLE_ABORTED_BY_CALLBACK, *headers->error());

  curl_multi_remove_handle(multi_, t.easy);
  t.added = false;
  --added_;
  t.head = ReplyHead{};
  t.headers = std::move(*headers->value());
  t.hop = std::move(next);
  t.leftOrigin = leftOrigin;
  ++t.redirects;
  describeHop(t);
  if (!addToMulti(t)) finish(t, CURLE_FAILED_INIT);
}

}  // namespace talvaren::platform::http::detail
