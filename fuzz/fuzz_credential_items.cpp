// Feeds arbitrary bytes to the reading of the server credentials' keychain items. Whatever reads as a token
// or an API key must write an item that reads back as the same credential.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "talvaren/api/APIKey.hpp"
#include "talvaren/api/APIToken.hpp"

using namespace talvaren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  if (auto token = APIToken::fromKeychainData(input)) {
    auto again = APIToken::fromKeychainData(token->keychainData());
    if (!again || again->token() != token->token() || again->header() != token->header()) std::abort();
  }
  if (auto key = APIKey::fromKeychainData(input)) {
    auto again = APIKey::fromKeychainData(key->keychainData());
    if (!again || again->header() != key->header()) std::abort();
  }
  return 0;
}
