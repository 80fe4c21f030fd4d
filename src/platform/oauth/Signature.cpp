#include "talvaren/platform/oauth/Signature.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>

#include "platform/PercentEncoding.hpp"
#include "platform/TextEncoding.hpp"
#include "talvaren/platform/http/URL.hpp"

namespace talvaren::platform::oauth {

namespace {

std::string lowercase(std::string text) {
  for (auto& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

using EncodedPair = std::pair<std::string, std::string>;

std::vector<EncodedPair> encodedSorted(const ParameterList& parameters) {
  std::vector<EncodedPair> encoded;
  encoded.reserve(parameters.size());
  for (const auto& [name, value] : parameters) encoded.emplace_back(percentEncode(name), percentEncode(value));
  std::sort(encoded.begin(), encoded.end());
  return encoded;
}

}  // namespace

std::string percentEncode(std::string_view text) { return detail::percentEscapeReserved(text); }

std::optional<std::string> percentDecode(std::string_view text, bool plusIsBlank) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      const int byte = detail::percentEscapedByte(text, i);
      if (byte < 0) return std::nullopt;
      out.push_back(static_cast<char>(byte));
      i += 2;
    } else if (c == '+' && plusIsBlank) {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::optional<ParameterList> decodeForm(std::string_view text) {
  ParameterList items;
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const auto item = text.substr(start, end - start);
    if (!item.empty()) {
      const auto equals = item.find('=');
      auto name = percentDecode(item.substr(0, equals), true);
      auto value = percentDecode(equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1), true);
      if (!name || !value) return std::nullopt;
      items.emplace_back(std::move(*name), std::move(*value));
    }
    start = end + 1;
  }
  return items;
}

std::string encodeForm(const ParameterList& items) {
  std::string out;
  for (const auto& [name, value] : items) {
    if (!out.empty()) out.push_back('&');
    out += percentEncode(name);
    out.push_back('=');
    out += percentEncode(value);
  }
  return out;
}

std::optional<std::string> baseStringURI(std::string_view url) {
  const auto parsed = http::URL::fromString(url);
  if (!parsed || (parsed->scheme() != "http" && parsed->scheme() != "https")) return std::nullopt;
  std::string out = parsed->scheme() + "://";
  const auto host = lowercase(parsed->host());
  out += host.find(':') != std::string::npos ? "[" + host + "]" : host;
  if (const auto port = parsed->port()) {
    const int standard = parsed->scheme() == "http" ? 80 : 443;
    if (*port != standard) out += ":" + std::to_string(*port);
  }
  out += parsed->path().empty() ? std::string("/") : parsed->path();
  return out;
}

std::string normalizedParameters(const ParameterList& parameters) {
  std::string out;
  for (const auto& [name, value] : encodedSorted(parameters)) {
    if (!out.empty()) out.push_back('&');
    out += name;
    out.push_back('=');
    out += value;
  }
  return out;
}

std::optional<std::string> signatureBaseString(http::HTTPMethod method, std::string_view url,
                                               const ParameterList& parameters, const std::optional<Bytes>& formBody) {
  auto uri = baseStringURI(url);
  if (!uri) return std::nullopt;
  // Every source may carry an "oauth_signature"; none of them is signed (RFC 5849 3.4.1.3.1).
  ParameterList all;
  auto add = [&all](const ParameterList& items) {
    for (const auto& item : items) {
      if (item.first != "oauth_signature") all.push_back(item);
    }
  };
  add(parameters);
  if (const auto query = http::URL::fromString(url)->query()) {
    const auto items = decodeForm(*query);
    if (!items) return std::nullopt;
    add(*items);
  }
  if (formBody) {
    const auto items = decodeForm(std::string_view(reinterpret_cast<const char*>(formBody->data()), formBody->size()));
    if (!items) return std::nullopt;
    add(*items);
  }
  std::string base(http::rawValue(method));
  base += '&';
  base += percentEncode(*uri);
  base += '&';
  base += percentEncode(normalizedParameters(all));
  return base;
}

std::string hmacSHA1(std::string_view key, std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(text.data()),
       text.size(), digest, &length);
  return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string plaintextSignature(std::string_view consumerSecret, std::string_view tokenSecret) {
  return percentEncode(consumerSecret) + "&" + percentEncode(tokenSecret);
}

std::string signature(std::string_view baseString, std::string_view consumerSecret, std::string_view tokenSecret) {
  return detail::base64Encode(hmacSHA1(plaintextSignature(consumerSecret, tokenSecret), baseString));
}

std::string authorizationHeaderValue(const ParameterList& protocolParameters) {
  std::string out = "OAuth ";
  bool first = true;
  for (const auto& [name, value] : encodedSorted(protocolParameters)) {
    if (!first) out += ", ";
    first = false;
    out += name;
    out += "=\"";
    out += value;
    out += '"';
  }
  return out;
}

}  // namespace talvaren::platform::oauth
