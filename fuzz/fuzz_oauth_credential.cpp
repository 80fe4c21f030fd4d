// Feeds arbitrary bytes to the stored-credential reader. A credential it reads must archive to bytes
// that read back to the same token pair, and the consumer pair never comes from the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "talvaren/platform/oauth/OAuthSwiftCredential.hpp"

using talvaren::platform::oauth::OAuthSwiftCredential;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto credential = OAuthSwiftCredential::unarchive(std::span<const std::uint8_t>(data, size));
  if (!credential) return 0;
  if (!credential->consumerKey.empty() || !credential->consumerSecret.empty()) std::abort();
  const auto again = OAuthSwiftCredential::unarchive(credential->archivedData());
  if (!again || *again != *credential) std::abort();
  return 0;
}
