#pragma once
// An OAuth credential: the consumer pair of the client and the token pair the provider granted.
//
// `authorizationHeader` signs a request (RFC 5849): the signature covers the method, the URL (its query
// items included), the parameters given and a form-encoded body, each "oauth_signature" among them left
// out; the header carries only the oauth_* parameters and the one signature computed here. Protocol
// parameters the caller leaves out are filled in: oauth_consumer_key, oauth_token (when the credential
// has one), oauth_signature_method "HMAC-SHA1", oauth_timestamp (the platform clock to the nearest
// second) and oauth_nonce (42 random letters and digits); oauth_version, which RFC 5849 makes optional,
// is sent only when the caller gives it. A caller may name "PLAINTEXT" instead; any other method is
// refused. A protocol parameter travels once: one given twice anywhere (the parameters, the URL's query
// and a form body together) is refused, and one the query or the body carries is signed there and not
// filled in again.
//
// The archive keeps the token and its secret only, as a JSON object; the consumer pair always comes
// from the code that signs.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/oauth/Signature.hpp"

namespace talvaren::platform::oauth {

class OAuthSwiftCredential {
 public:
  OAuthSwiftCredential() = default;
  OAuthSwiftCredential(std::string consumerKey, std::string consumerSecret)
      : consumerKey(std::move(consumerKey)), consumerSecret(std::move(consumerSecret)) {}

  std::string consumerKey;
  std::string consumerSecret;
  std::string oauthToken;
  std::string oauthTokenSecret;

  static constexpr std::string_view hmacSHA1Method = "HMAC-SHA1";
  static constexpr std::string_view plaintextMethod = "PLAINTEXT";

  /// The "Authorization" header value for a request; none (with the reason in `problem`, when given)
  /// when `url` is no absolute http(s) URL, its query or the body holds a malformed escape, the
  /// signature method named is neither HMAC-SHA1 nor PLAINTEXT, or a protocol parameter is given twice
  /// (counting the parameters, the URL's query and the body together).
  std::optional<std::string> authorizationHeader(http::HTTPMethod method, std::string_view url,
                                                 const ParameterList& parameters,
                                                 const std::optional<Bytes>& body = std::nullopt,
                                                 std::string* problem = nullptr) const;

  /// The oauth_* parameters of a request, the signature included (what the header carries).
  std::optional<ParameterList> signedProtocolParameters(http::HTTPMethod method, std::string_view url,
                                                        const ParameterList& parameters,
                                                        const std::optional<Bytes>& body = std::nullopt,
                                                        std::string* problem = nullptr) const;

  /// {"oauth_token": ..., "oauth_token_secret": ...} as UTF-8 JSON bytes.
  Bytes archivedData() const;
  /// The token pair of archived bytes; none for anything else (damaged bytes, JSON null, other kinds).
  static std::optional<OAuthSwiftCredential> unarchive(std::span<const std::uint8_t> data);

  /// The current time for oauth_timestamp: seconds since 1970, to the nearest second (halves away from 0).
  static std::int64_t timestamp();
  /// A fresh oauth_nonce.
  static std::string nonce();

  friend bool operator==(const OAuthSwiftCredential&, const OAuthSwiftCredential&) = default;
};

}  // namespace talvaren::platform::oauth
