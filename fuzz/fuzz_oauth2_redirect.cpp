// Feeds arbitrary bytes to the OAuth 2.0 implicit grant's redirect handling, after the redirect URL has been
// split: the first line is the state the flow sent, the rest the redirect's items (its fragment or query,
// form-encoded). A flow that takes the items ends exactly once, on the main queue: with the access token only
// when the items carry no "error", the state sent and a non-empty bearer token (RFC 6750 b64token), and with
// "access denied" exactly when they carry an "error". An OAuth 1.0 answer (oauth_token without access_token)
// is left to other flows, which keeps this one waiting.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/oauth/OAuth2Swift.hpp"
#include "talvaren/platform/oauth/Signature.hpp"

using namespace talvaren::platform;
using namespace talvaren::platform::oauth;

namespace {

class Page final : public OAuthSwiftURLHandlerType {
 public:
  void handle(const std::string&) override {}
};

class Flow final : public OAuth2Swift {
 public:
  Flow() : OAuth2Swift("client-id", "client-secret", "https://provider.example.test/oauth2/authorize", "token") {}
  using OAuth2Swift::takeRedirect;
};

bool isB64Token(std::string_view token) {
  const auto padding = token.find_last_not_of('=');
  if (padding == std::string_view::npos) return false;
  for (char c : token.substr(0, padding + 1)) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                         std::string_view("-._~+/").find(c) != std::string_view::npos;
    if (!allowed) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto newline = input.find('\n');
  if (newline == std::string_view::npos) return 0;
  const std::string state(input.substr(0, newline));
  const auto items = decodeForm(input.substr(newline + 1));
  if (!items) return 0;

  auto flow = std::make_shared<Flow>();
  flow->authorizeURLHandler = std::make_shared<Page>();
  int calls = 0;
  std::optional<OAuthSwiftError> error;
  std::optional<OAuthSwift::TokenSuccess> success;
  flow->authorize("talvaren://oauth-callback/fitbit", "activity sleep", state, {}, {},
                  [&](std::optional<OAuthSwiftError> e, std::optional<OAuthSwift::TokenSuccess> s) {
                    ++calls;
                    error = std::move(e);
                    success = std::move(s);
                  });
  if (!flow->isRunning()) std::abort();

  const auto token = firstValue(*items, "access_token");
  if (!flow->takeRedirect(*items)) {
    if (!firstValue(*items, "oauth_token") || token || !flow->isRunning()) std::abort();
    flow->cancel();
    drainMainQueue();
    if (calls != 1 || !error || error->code != OAuthSwiftError::Code::cancelled) std::abort();
    return 0;
  }
  if (flow->isRunning()) std::abort();
  drainMainQueue();
  if (calls != 1 || error.has_value() == success.has_value()) std::abort();

  const bool refused = firstValue(*items, "error").has_value();
  if (refused != (error && error->code == OAuthSwiftError::Code::accessDenied)) std::abort();
  if (success) {
    if (refused || firstValue(*items, "state").value_or("") != state) std::abort();
    if (!token || !isB64Token(*token) || success->credential.oauthToken != *token) std::abort();
    if (success->parameters != *items) std::abort();
  } else if (!refused && token && isB64Token(*token) && firstValue(*items, "state").value_or("") == state) {
    std::abort();  // a well-formed answer must not fail
  }
  // A second redirect after the end changes nothing.
  (void)flow->takeRedirect(*items);
  drainMainQueue();
  if (calls != 1) std::abort();
  return 0;
}
