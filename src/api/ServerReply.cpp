#include "talvaren/api/ServerReply.hpp"

#include <type_traits>
#include <utility>

#include "platform/TextEncoding.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren {

using namespace platform::http;

namespace {

/// `Reply` is `const DataResponse<nlohmann::json>` (the value is copied) or the non-const type (it is moved).
template <class Reply>
ServerReplyMapping mapReply(Reply& reply, std::string_view url, std::string_view loginEndpoint,
                            std::string_view logoutEndpoint) {
  ServerReplyMapping mapping;
  const bool hasStatus = reply.response.has_value();
  const int status = hasStatus ? reply.response->statusCode() : 0;

  const bool exempt =
      url.find(loginEndpoint) != std::string_view::npos || url.find(logoutEndpoint) != std::string_view::npos;
  if (!exempt && hasStatus && (status == 401 || status == 403)) {
    mapping.tokenExpired = true;
    mapping.error = Error("", status);
    return mapping;
  }

  // A value deeper than the kit's JSON cap cannot have come from the HTTP layer, which refuses such a body;
  // it is not copied (the copy recurses) but fails as a body that is no JSON would.
  auto* value = reply.result.value();  // a pointer to const when `Reply` is const
  if (value && platform::Json::nestedWithin(*value)) {
    if constexpr (std::is_const_v<Reply>) {
      mapping.value = *value;
    } else {
      mapping.value = std::move(*value);
    }
    return mapping;
  }
  // A failed result always holds an error; the fallback only guards against a reply made by hand.
  Error error = reply.result.error() ? *reply.result.error()
                : value ? Error(NSCocoaErrorDomain, CocoaError::propertyListReadCorrupt)
                        : URLError::make(URLError::unknown);

  // A transport error stays what it is, even with part of a body read: a transfer that ended early is the
  // lost connection, not a reply of the server.
  const bool transportFailure = error.domain == NSURLErrorDomain;
  if (hasStatus && !transportFailure) {
    if (auto text = refusalText(reply.data)) {
      mapping.error =
          status == 504 ? Error(NSURLErrorDomain, URLError::timedOut) : Error::withDescription("", status, *text);
      mapping.failureText = std::move(text);
      return mapping;
    }
  }

  // Only the code is compared: whatever reports "cannot find host" means the device is offline.
  mapping.error = error.code == URLError::cannotFindHost ? Error(NSURLErrorDomain, URLError::notConnectedToInternet)
                                                         : std::move(error);
  return mapping;
}

}  // namespace

std::optional<std::string> refusalText(const std::optional<Bytes>& body) {
  if (!body || body->empty()) return std::nullopt;
  std::string text(body->begin(), body->end());
  if (!platform::detail::isValidUtf8(text)) return std::nullopt;
  // The body goes to the console and into the error: its secrets do not.
  return redact::text(text);
}

ServerReplyMapping mapServerReply(const DataResponse<nlohmann::json>& reply, std::string_view url,
                                  std::string_view loginEndpoint, std::string_view logoutEndpoint) {
  return mapReply(reply, url, loginEndpoint, logoutEndpoint);
}

ServerReplyMapping mapServerReply(DataResponse<nlohmann::json>&& reply, std::string_view url,
                                  std::string_view loginEndpoint, std::string_view logoutEndpoint) {
  return mapReply(reply, url, loginEndpoint, logoutEndpoint);
}

std::vector<HTTPCookie> replyCookies(const DataResponse<nlohmann::json>& reply) {
  if (!reply.response || !reply.request) return {};
  // Set by the host that answered (after redirects, another than the one asked), and kept only when they
  // are cookies of the host asked too.
  auto cookies = HTTPCookie::cookies(reply.response->headerLines(), reply.response->url());
  const auto& asked = reply.request->url().host();
  std::erase_if(cookies, [&](const HTTPCookie& cookie) { return !cookie.isForHost(asked); });
  return cookies;
}

std::optional<std::string> csrfToken(const std::vector<HTTPCookie>& cookies) {
  std::optional<std::string> token;
  for (const auto& cookie : cookies) {
    if (cookie.name == "csrftoken") token = cookie.value;
  }
  return token;
}

}  // namespace talvaren
