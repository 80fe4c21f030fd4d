#pragma once
// OAuth 1.0 signing (RFC 5849, HMAC-SHA1) and the form encoding that OAuth replies and redirects use.
//
//   percentEncode("a b/ü")                    "a%20b%2F%C3%BC" (only ALPHA DIGIT "-._~" stay as they are)
//   signatureBaseString(POST, url, params, body)
//                                             METHOD&pct(base URI)&pct(normalised parameters)
//   signature(base, consumerSecret, tokenSecret)
//                                             Base64(HMAC-SHA1(pct(cs)&pct(ts), base))
//
// Parameters are a multiset: repeated names are kept, an item without a value is signed as "name=".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"

namespace talvaren::platform::oauth {

/// Decoded name and value pairs, in order; names may repeat.
using ParameterList = std::vector<std::pair<std::string, std::string>>;

/// Every byte except ALPHA, DIGIT and "-._~" as "%XX" with upper-case hexadecimal digits (RFC 5849 3.6);
/// texts are taken as UTF-8 bytes.
std::string percentEncode(std::string_view text);

/// Decodes "%XX" escapes, and "+" as a blank when `plusIsBlank`; none when an escape is malformed.
std::optional<std::string> percentDecode(std::string_view text, bool plusIsBlank);

/// The items of an "application/x-www-form-urlencoded" text ("a=1&b=&c"): split at "&", empty items
/// skipped, an item without "=" taken as a name with an empty value, "+" read as a blank. None when an
/// escape is malformed.
std::optional<ParameterList> decodeForm(std::string_view text);

/// `items` as "name=value" pairs joined by "&", both percent-encoded as above.
std::string encodeForm(const ParameterList& items);

/// The base string URI (RFC 5849 3.4.1.2): lower-case scheme and host, the port only when it is not the
/// scheme's default (80 for http, 443 for https), the path as written ("/" when empty), no query or
/// fragment. None when `url` is no absolute http(s) URL.
std::optional<std::string> baseStringURI(std::string_view url);

/// The normalised parameter text (RFC 5849 3.4.1.3.2): each name and value encoded, sorted by encoded
/// name, then by encoded value, joined as "name=value" with "&".
std::string normalizedParameters(const ParameterList& parameters);

/// The signature base string of a request: `parameters` together with the items of the URL's query and
/// of `formBody` (an "application/x-www-form-urlencoded" body, when the request has one), leaving out
/// every "oauth_signature" among them (RFC 5849 3.4.1.3.1). None when the URL is no absolute http(s) URL
/// or its query or the body holds a malformed escape.
std::optional<std::string> signatureBaseString(http::HTTPMethod method, std::string_view url,
                                               const ParameterList& parameters,
                                               const std::optional<Bytes>& formBody = std::nullopt);

/// The raw 20-byte HMAC-SHA1 of `text` under `key`.
std::string hmacSHA1(std::string_view key, std::string_view text);

/// Base64 of HMAC-SHA1 over `baseString` with the key pct(consumerSecret) + "&" + pct(tokenSecret).
std::string signature(std::string_view baseString, std::string_view consumerSecret, std::string_view tokenSecret);

/// The "PLAINTEXT" signature (RFC 5849 3.4.4): pct(consumerSecret) + "&" + pct(tokenSecret).
std::string plaintextSignature(std::string_view consumerSecret, std::string_view tokenSecret);

/// The "Authorization" header value for the protocol parameters given: "OAuth " followed by
/// name="pct(value)" items sorted like the normalised parameters, joined by ", " (no realm).
std::string authorizationHeaderValue(const ParameterList& protocolParameters);

}  // namespace talvaren::platform::oauth
