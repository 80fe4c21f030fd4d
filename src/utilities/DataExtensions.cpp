#include "talvaren/utilities/DataExtensions.hpp"

#include <openssl/evp.h>

#include <memory>

#include "talvaren/platform/HexText.hpp"

namespace talvaren {

std::optional<Bytes> dataFromHexEncodedString(std::string_view text) {
  // Every byte of a multi-byte UTF-8 sequence is above 0x7F and so no hex digit: a text that passes
  // holds ASCII only, and its length in bytes is its length in characters.
  Bytes bytes;
  bytes.reserve(text.size() / 2 + 1);
  std::size_t i = 0;
  if (text.size() % 2 == 1) {
    const int low = platform::hexDigitValue(text[0]);
    if (low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(low));
    i = 1;
  }
  for (; i < text.size(); i += 2) {
    const int high = platform::hexDigitValue(text[i]);
    const int low = platform::hexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string md5(const Bytes& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  // The whole buffer goes through the digest update, whatever its size.
  const bool ok = context && EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) == 1 &&
                  EVP_DigestUpdate(context.get(), data.data(), data.size()) == 1 &&
                  EVP_DigestFinal_ex(context.get(), digest, &length) == 1;
  if (!ok) return {};
  return platform::hexText({digest, length});
}

}  // namespace talvaren
