// Feeds arbitrary bytes to the OAuth 1.0 token-reply reader. Whatever it accepts must hold a non-empty
// oauth_token and an oauth_token_secret, and its items must write back to a form that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "talvaren/platform/oauth/OAuthSwift.hpp"

using namespace talvaren::platform::oauth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto items = OAuthSwift::parseTokenReply(text);
  if (!items) return 0;
  const auto token = firstValue(*items, "oauth_token");
  if (!token || token->empty() || !firstValue(*items, "oauth_token_secret")) std::abort();
  const auto again = decodeForm(encodeForm(*items));
  if (!again || *again != *items) std::abort();
  return 0;
}
