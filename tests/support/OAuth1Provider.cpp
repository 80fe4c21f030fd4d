#include "support/OAuth1Provider.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "talvaren/platform/Date.hpp"

namespace talvaren::testkit {

namespace {

// RFC 5849 section 3.6, written out here apart from the kit's signer.
std::string encode(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      out += escape;
    }
  }
  return out;
}

std::string base64(const unsigned char* bytes, unsigned int length) {
  std::string out(4 * ((length + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes, static_cast<int>(length));
  out.resize(static_cast<std::size_t>(written));
  return out;
}

std::string trim(std::string text) {
  while (!text.empty() && text.front() == ' ') text.erase(text.begin());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

/// The items of an "OAuth k="v", ..." header, or none when it is not one. The server library hands
/// header values over percent-decoded already ("%2B" arrives as "+"), so the values are taken as they
/// come.
std::optional<std::map<std::string, std::string>> parseHeader(const std::string& header) {
  if (header.rfind("OAuth ", 0) != 0) return std::nullopt;
  std::map<std::string, std::string> items;
  std::size_t start = 6;
  while (start < header.size()) {
    auto end = header.find(',', start);
    if (end == std::string::npos) end = header.size();
    const auto item = trim(header.substr(start, end - start));
    const auto equals = item.find('=');
    if (equals == std::string::npos || item.size() < equals + 3 || item[equals + 1] != '"' || item.back() != '"') {
      return std::nullopt;
    }
    if (!items.emplace(item.substr(0, equals), item.substr(equals + 2, item.size() - equals - 3)).second) {
      return std::nullopt;
    }
    start = end + 1;
  }
  return items;
}

std::string randomText(const char* prefix, int serial) {
  return prefix + std::to_string(serial) + "x" + std::to_string(std::rand());
}

}  // namespace

std::optional<std::string> oauthTestDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] == '%') {
      if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
          !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
        return std::nullopt;
      }
      out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> oauthTestForm(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find('&', start);
    if (end == std::string::npos) end = text.size();
    const auto item = text.substr(start, end - start);
    if (!item.empty()) {
      const auto equals = item.find('=');
      items.emplace_back(
          oauthTestDecode(item.substr(0, equals)).value_or("\x01" "bad"),
          equals == std::string::npos ? "" : oauthTestDecode(item.substr(equals + 1)).value_or("\x01" "bad"));
    }
    start = end + 1;
  }
  return items;
}

std::optional<std::map<std::string, std::string>> OAuth1Verifier::verify(const httplib::Request& request,
                                                                         const std::string& baseURI,
                                                                         const std::string& tokenSecret,
                                                                         std::string& problem) {
  const auto header = parseHeader(request.get_header_value("Authorization"));
  if (!header) {
    problem = "no OAuth Authorization header";
    return std::nullopt;
  }
  auto value = [&](const std::string& name) {
    const auto found = header->find(name);
    return found == header->end() ? std::optional<std::string>() : found->second;
  };
  for (const auto& [name, v] : *header) {
    if (name.rfind("oauth_", 0) != 0) {
      problem = "a parameter other than oauth_* in the header: " + name;
      return std::nullopt;
    }
  }
  if (value("oauth_consumer_key") != consumerKey_) {
    problem = "wrong consumer key";
    return std::nullopt;
  }
  if (value("oauth_signature_method") != "HMAC-SHA1") {
    problem = "signature method is not HMAC-SHA1";
    return std::nullopt;
  }
  if (auto version = value("oauth_version"); version && *version != "1.0") {
    problem = "version is not 1.0";
    return std::nullopt;
  }
  const auto timestamp = value("oauth_timestamp").value_or("");
  if (timestamp.empty() || !std::all_of(timestamp.begin(), timestamp.end(), ::isdigit) ||
      std::fabs(std::stod(timestamp) - platform::Date::now().timeIntervalSince1970()) > 300) {
    problem = "timestamp missing, not an integer or too far off: " + timestamp;
    return std::nullopt;
  }
  const auto nonce = value("oauth_nonce").value_or("");
  {
    std::lock_guard lock(mutex_);
    if (nonce.empty() || !nonces_.insert(timestamp + "/" + nonce).second) {
      problem = "nonce missing or used before";
      return std::nullopt;
    }
  }
  const auto signature = value("oauth_signature");
  if (!signature) {
    problem = "no signature";
    return std::nullopt;
  }

  // Every parameter but the signature: the header's, the query's and a form body's.
  std::vector<std::pair<std::string, std::string>> parameters;
  for (const auto& [name, v] : *header) {
    if (name != "oauth_signature") parameters.emplace_back(name, v);
  }
  if (const auto q = request.target.find('?'); q != std::string::npos) {
    for (auto& item : oauthTestForm(request.target.substr(q + 1))) parameters.push_back(std::move(item));
  }
  if (request.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0) {
    for (auto& item : oauthTestForm(request.body)) parameters.push_back(std::move(item));
  }
  std::vector<std::pair<std::string, std::string>> encoded;
  for (const auto& [name, v] : parameters) encoded.emplace_back(encode(name), encode(v));
  std::sort(encoded.begin(), encoded.end());
  std::string normalized;
  for (const auto& [name, v] : encoded) normalized += (normalized.empty() ? "" : "&") + name + "=" + v;
  const std::string base = request.method + "&" + encode(baseURI) + "&" + encode(normalized);
  const std::string key = encode(consumerSecret_) + "&" + encode(tokenSecret);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(base.data()),
       base.size(), digest, &length);
  if (base64(digest, length) != *signature) {
    problem = "signature " + *signature + " is not " + base64(digest, length) + " over " + base;
    return std::nullopt;
  }
  return *header;
}

OAuth1Provider::OAuth1Provider(std::string consumerKey, std::string consumerSecret, std::string callbackURL)
    : consumerKey_(consumerKey),
      callbackURL_(std::move(callbackURL)),
      verifier_(consumerKey, std::move(consumerSecret)) {
  server_.on("POST", "/oauth-service-1.0/oauth/request_token",
             [this](const httplib::Request& q, httplib::Response& r) { requestToken(q, r); });
  server_.on("GET", "/oauthConfirm", [this](const httplib::Request& q, httplib::Response& r) { confirmation(q, r); });
  server_.on("POST", "/oauth-service-1.0/oauth/access_token",
             [this](const httplib::Request& q, httplib::Response& r) { accessToken(q, r); });
}

void OAuth1Provider::refuse(Leg leg, int status) {
  std::lock_guard lock(mutex_);
  refusals_[leg] = status;
}

void OAuth1Provider::omitVerifier(bool omit) {
  std::lock_guard lock(mutex_);
  omitVerifier_ = omit;
}

std::map<std::string, std::string> OAuth1Provider::accessTokens() const {
  std::lock_guard lock(mutex_);
  return accessTokens_;
}

std::vector<std::string> OAuth1Provider::problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

void OAuth1Provider::holdConfirmation(bool hold) {
  std::lock_guard lock(mutex_);
  hold_ = hold;
}

bool OAuth1Provider::refused(Leg leg, httplib::Response& response) {
  std::lock_guard lock(mutex_);
  const auto found = refusals_.find(leg);
  if (found == refusals_.end()) return false;
  response.status = found->second;
  response.set_content("refused", "text/plain");
  return true;
}

void OAuth1Provider::refuseWith(httplib::Response& response, std::string problem) {
  {
    std::lock_guard lock(mutex_);
    problems_.push_back(std::move(problem));
  }
  response.status = 401;
  response.set_content("oauth_problem=signature_invalid", "text/plain");
}

void OAuth1Provider::requestToken(const httplib::Request& request, httplib::Response& response) {
  if (refused(Leg::requestToken, response)) return;
  std::string problem;
  const auto oauth = verifier_.verify(request, server_.url(request.path), "", problem);
  if (!oauth) return refuseWith(response, "request token: " + problem);
  if (oauth->count("oauth_token")) return refuseWith(response, "request token: a token was sent");
  if (oauth->count("oauth_callback") == 0 || oauth->at("oauth_callback") != callbackURL_) {
    return refuseWith(response, "request token: wrong callback");
  }
  if (!request.body.empty()) return refuseWith(response, "request token: a body was sent");
  std::lock_guard lock(mutex_);
  const auto token = randomText("rt", ++issued_);
  const auto secret = randomText("rs/+=", issued_);
  requestTokens_[token] = {secret, randomText("v", issued_)};
  response.set_content(
      "oauth_token=" + encode(token) + "&oauth_token_secret=" + encode(secret) + "&oauth_callback_confirmed=true",
      "text/plain");
}

void OAuth1Provider::confirmation(const httplib::Request& request, httplib::Response& response) {
  if (refused(Leg::confirmation, response)) return;
  const auto token = request.get_param_value("oauth_token");
  std::lock_guard lock(mutex_);
  const auto found = requestTokens_.find(token);
  if (found == requestTokens_.end()) {
    problems_.push_back("confirmation: unknown request token");
    response.status = 400;
    response.set_content("<html>unknown token</html>", "text/html");
    return;
  }
  if (hold_) {
    response.set_content("<html><form>sign in</form></html>", "text/html");
    return;
  }
  std::string location = callbackURL_ + "?oauth_token=" + encode(token);
  if (!omitVerifier_) location += "&oauth_verifier=" + encode(found->second.verifier);
  response.status = 302;
  response.set_header("Location", location);
}

void OAuth1Provider::accessToken(const httplib::Request& request, httplib::Response& response) {
  if (refused(Leg::accessToken, response)) return;
  std::string token;
  if (const auto header = parseHeader(request.get_header_value("Authorization"))) {
    if (auto found = header->find("oauth_token"); found != header->end()) token = found->second;
  }
  RequestToken issued;
  {
    std::lock_guard lock(mutex_);
    const auto found = requestTokens_.find(token);
    if (found == requestTokens_.end()) {
      problems_.push_back("access token: unknown or used request token");
      response.status = 401;
      return;
    }
    issued = found->second;
    requestTokens_.erase(found);
  }
  std::string problem;
  const auto oauth = verifier_.verify(request, server_.url(request.path), issued.secret, problem);
  if (!oauth) return refuseWith(response, "access token: " + problem);
  const auto verifier = oauth->find("oauth_verifier");
  const bool omitted = [&] {
    std::lock_guard lock(mutex_);
    return omitVerifier_;
  }();
  if (omitted ? verifier != oauth->end() : (verifier == oauth->end() || verifier->second != issued.verifier)) {
    return refuseWith(response, "access token: wrong verifier");
  }
  if (!request.body.empty()) return refuseWith(response, "access token: a body was sent");
  std::lock_guard lock(mutex_);
  const auto access = randomText("at", ++issued_);
  const auto secret = randomText("as&%", issued_);
  accessTokens_[access] = secret;
  response.set_content("oauth_token=" + encode(access) + "&oauth_token_secret=" + encode(secret), "text/plain");
}

}  // namespace talvaren::testkit
