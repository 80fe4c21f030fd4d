#include "talvaren/platform/oauth/OAuthSwiftCredential.hpp"

#include <cmath>

#include "platform/TextEncoding.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/Random.hpp"
#include "talvaren/platform/http/URL.hpp"
#include "talvaren/platform/oauth/RedirectURL.hpp"

namespace talvaren::platform::oauth {

namespace {

bool isProtocolParameter(const std::string& name) { return name.rfind("oauth_", 0) == 0; }

bool has(const ParameterList& list, std::string_view name) {
  for (const auto& [n, v] : list) {
    if (n == name) return true;
  }
  return false;
}

/// The items that travel in the URL's query and in a form body; none when either holds a malformed escape
/// or the URL is no URL.
std::optional<ParameterList> travellingItems(std::string_view url, const std::optional<Bytes>& body) {
  const auto parsed = http::URL::fromString(url);
  if (!parsed) return std::nullopt;
  ParameterList items;
  if (const auto query = parsed->query()) {
    auto decoded = decodeForm(*query);
    if (!decoded) return std::nullopt;
    items = std::move(*decoded);
  }
  if (body) {
    auto decoded = decodeForm(std::string_view(reinterpret_cast<const char*>(body->data()), body->size()));
    if (!decoded) return std::nullopt;
    items.insert(items.end(), std::make_move_iterator(decoded->begin()), std::make_move_iterator(decoded->end()));
  }
  return items;
}

}  // namespace

std::int64_t OAuthSwiftCredential::timestamp() {
  const double seconds = Date::now().timeIntervalSince1970();
  if (!std::isfinite(seconds) || std::fabs(seconds) > 9.0e18) return 0;
  return static_cast<std::int64_t>(std::llround(seconds));
}

std::string OAuthSwiftCredential::nonce() { return random::string(42); }

std::optional<ParameterList> OAuthSwiftCredential::signedProtocolParameters(http::HTTPMethod method,
                                                                            std::string_view url,
                                                                            const ParameterList& parameters,
                                                                            const std::optional<Bytes>& body,
                                                                            std::string* problem) const {
  auto refuse = [problem](std::string why) -> std::optional<ParameterList> {
    if (problem) *problem = std::move(why);
    return std::nullopt;
  };
  // A protocol parameter may travel once, wherever it is given: the parameters, the URL's query or the
  // form body. One given in the query or the body is signed and sent there, never filled in again.
  auto unreadable = [&] {
    return refuse(baseStringURI(url) ? "the query or the body holds a malformed percent escape"
                                     : "the URL is no absolute http(s) URL");
  };
  const auto travelling = travellingItems(url, body);
  if (!travelling) return unreadable();
  ParameterList given;
  for (const auto* items : {&parameters, &*travelling}) {
    for (const auto& item : *items) {
      if (item.first == "oauth_signature" || !isProtocolParameter(item.first)) continue;
      if (has(given, item.first)) {
        return refuse("the protocol parameter " + item.first + " is given more than once" +
                      (items == &parameters ? "" : " (the URL's query and the body count too)"));
      }
      given.push_back(item);
    }
  }
  // The signature is computed here: one the caller passes is neither signed nor sent.
  ParameterList all;
  all.reserve(parameters.size() + 5);
  for (const auto& item : parameters) {
    if (item.first != "oauth_signature") all.push_back(item);
  }
  auto fill = [&](std::string_view name, auto value) {
    if (!has(given, name)) all.emplace_back(std::string(name), value());
  };
  fill("oauth_consumer_key", [&] { return consumerKey; });
  if (!oauthToken.empty()) fill("oauth_token", [&] { return oauthToken; });
  fill("oauth_signature_method", [] { return std::string(hmacSHA1Method); });
  fill("oauth_timestamp", [] { return std::to_string(timestamp()); });
  fill("oauth_nonce", [] { return nonce(); });

  // The header names the method the signature was made with (RFC 5849 3.4); RSA-SHA1 would need the
  // client's private key, which a credential does not hold.
  const auto named = firstValue(given, "oauth_signature_method");
  const std::string signatureMethod = named ? *named : std::string(hmacSHA1Method);
  if (signatureMethod != hmacSHA1Method && signatureMethod != plaintextMethod) {
    return refuse("the signature method \"" + signatureMethod +
                  "\" is not supported (only HMAC-SHA1 and PLAINTEXT are)");
  }
  const auto base = signatureBaseString(method, url, all, body);
  if (!base) return unreadable();
  std::string signatureValue = signatureMethod == plaintextMethod ? plaintextSignature(consumerSecret, oauthTokenSecret)
                                                                  : signature(*base, consumerSecret, oauthTokenSecret);
  ParameterList protocol;
  for (auto& item : all) {
    if (isProtocolParameter(item.first)) protocol.push_back(std::move(item));
  }
  protocol.emplace_back("oauth_signature", std::move(signatureValue));
  return protocol;
}

std::optional<std::string> OAuthSwiftCredential::authorizationHeader(http::HTTPMethod method, std::string_view url,
                                                                     const ParameterList& parameters,
                                                                     const std::optional<Bytes>& body,
                                                                     std::string* problem) const {
  auto protocol = signedProtocolParameters(method, url, parameters, body, problem);
  if (!protocol) return std::nullopt;
  return authorizationHeaderValue(*protocol);
}

Bytes OAuthSwiftCredential::archivedData() const {
  const auto text = Json::dump(nlohmann::json{{"oauth_token", oauthToken}, {"oauth_token_secret", oauthTokenSecret}});
  return Bytes(text.begin(), text.end());
}

std::optional<OAuthSwiftCredential> OAuthSwiftCredential::unarchive(std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (!detail::isValidUtf8(text)) return std::nullopt;
  const auto json = Json::parse(text);
  if (!json || !json->is_object()) return std::nullopt;
  auto token = Json::read<std::string>(*json, "oauth_token");
  auto secret = Json::read<std::string>(*json, "oauth_token_secret");
  if (!token || !secret) return std::nullopt;
  OAuthSwiftCredential credential;
  credential.oauthToken = std::move(*token);
  credential.oauthTokenSecret = std::move(*secret);
  return credential;
}

}  // namespace talvaren::platform::oauth
