#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "talvaren/platform/Random.hpp"
#include "talvaren/platform/oauth/OAuthSwift.hpp"
#include "talvaren/platform/oauth/OAuthSwiftCredential.hpp"
#include "talvaren/platform/oauth/Signature.hpp"
#include "talvaren/testing/Clock.hpp"

using namespace talvaren;
using namespace talvaren::platform::oauth;
using talvaren::platform::http::HTTPMethod;

namespace {

std::string hex(const std::string& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string base64(const std::string& raw) {
  static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < raw.size(); i += 3) {
    std::uint32_t n = static_cast<unsigned char>(raw[i]) << 16;
    if (i + 1 < raw.size()) n |= static_cast<unsigned char>(raw[i + 1]) << 8;
    if (i + 2 < raw.size()) n |= static_cast<unsigned char>(raw[i + 2]);
    out.push_back(alphabet[(n >> 18) & 63]);
    out.push_back(alphabet[(n >> 12) & 63]);
    out.push_back(i + 1 < raw.size() ? alphabet[(n >> 6) & 63] : '=');
    out.push_back(i + 2 < raw.size() ? alphabet[n & 63] : '=');
  }
  return out;
}

}  // namespace

TEST(OAuthSignerTest, RFC5849KnownAnswers) {
  // Section 3.4.1: repeated names, valueless items, sorting, double encoding, form body items.
  const auto base = signatureBaseString(HTTPMethod::POST, "http://example.com/request?b5=%3D%253D&a3=a&c%40=&a2=r%20b",
                                        {{"oauth_consumer_key", "9djdj82h48djs9d2"},
                                         {"oauth_token", "kkk9d7dh3k39sjv7"},
                                         {"oauth_signature_method", "HMAC-SHA1"},
                                         {"oauth_timestamp", "137131201"},
                                         {"oauth_nonce", "7d8f3e4a"}},
                                        bytes("c2&a3=2+q"));
  EXPECT_EQ(base,
            "POST&http%3A%2F%2Fexample.com%2Frequest&a2%3Dr%2520b%26a3%3D2%2520q%26a3%3Da%26b5%3D%253D%25253D%26c%2540%"
            "3D%26c2%3D%26oauth_consumer_key%3D9djdj82h48djs9d2%26oauth_nonce%3D7d8f3e4a%26oauth_signature_method%"
            "3DHMAC-SHA1%26oauth_timestamp%3D137131201%26oauth_token%3Dkkk9d7dh3k39sjv7");

  // Section 1.2, through the credential: the query is signed but stays out of the header, and "/", "="
  // and "+" of the signature are encoded there.
  OAuthSwiftCredential credential("dpf43f3p2l4k3l03", "kd94hf93k423kf44");
  credential.oauthToken = "nnch734d00sl2jdk";
  credential.oauthTokenSecret = "pfkkdhi9sl3r4s00";
  EXPECT_EQ(credential.authorizationHeader(
                HTTPMethod::GET, "http://photos.example.net/photos?file=vacation.jpg&size=original",
                {{"oauth_signature_method", "HMAC-SHA1"}, {"oauth_timestamp", "137131202"}, {"oauth_nonce", "chapoH"}}),
            "OAuth oauth_consumer_key=\"dpf43f3p2l4k3l03\", oauth_nonce=\"chapoH\", "
            "oauth_signature=\"MdpQcU8iPSUjWoN%2FUDMsK2sui9I%3D\", oauth_signature_method=\"HMAC-SHA1\", "
            "oauth_timestamp=\"137131202\", oauth_token=\"nnch734d00sl2jdk\"");
  // The same request with its query given as parameters signs the same.
  EXPECT_EQ(
      credential.authorizationHeader(HTTPMethod::GET, "http://photos.example.net/photos",
                                     {{"oauth_signature_method", "HMAC-SHA1"},
                                      {"oauth_timestamp", "137131202"},
                                      {"oauth_nonce", "chapoH"},
                                      {"size", "original"},
                                      {"file", "vacation.jpg"}}),
      credential.authorizationHeader(
          HTTPMethod::GET, "http://photos.example.net/photos?file=vacation.jpg&size=original",
          {{"oauth_signature_method", "HMAC-SHA1"}, {"oauth_timestamp", "137131202"}, {"oauth_nonce", "chapoH"}}));
  // The key is pct(cs) + "&" + pct(ts), "cs&" when there is no token secret.
  EXPECT_EQ(signature("base", "c s", ""), base64(hmacSHA1("c%20s&", "base")));
  EXPECT_EQ(signature("base", "c", "t/u"), base64(hmacSHA1("c&t%2Fu", "base")));
}

TEST(OAuthSignerTest, TheSignatureParameterAndTheSignatureMethod) {
  // Section 3.4.1.3.1: an "oauth_signature" in the query, the body or the parameters is not signed.
  const ParameterList protocol{{"oauth_consumer_key", "9djdj82h48djs9d2"},
                               {"oauth_token", "kkk9d7dh3k39sjv7"},
                               {"oauth_signature_method", "HMAC-SHA1"},
                               {"oauth_timestamp", "137131201"},
                               {"oauth_nonce", "7d8f3e4a"},
                               {"oauth_signature", "stale"}};
  EXPECT_EQ(signatureBaseString(HTTPMethod::POST,
                                "http://example.com/request?b5=%3D%253D&oauth_signature=q&a3=a&c%40=&a2=r%20b",
                                protocol, bytes("c2&a3=2+q&oauth_signature=b")),
            "POST&http%3A%2F%2Fexample.com%2Frequest&a2%3Dr%2520b%26a3%3D2%2520q%26a3%3Da%26b5%3D%253D%25253D%26c%2540%"
            "3D%26c2%3D%26oauth_consumer_key%3D9djdj82h48djs9d2%26oauth_nonce%3D7d8f3e4a%26oauth_signature_method%"
            "3DHMAC-SHA1%26oauth_timestamp%3D137131201%26oauth_token%3Dkkk9d7dh3k39sjv7");

  // Section 1.2 with a signature passed in: the header carries the one computed, once.
  OAuthSwiftCredential photos("dpf43f3p2l4k3l03", "kd94hf93k423kf44");
  photos.oauthToken = "nnch734d00sl2jdk";
  photos.oauthTokenSecret = "pfkkdhi9sl3r4s00";
  EXPECT_EQ(photos.authorizationHeader(
                HTTPMethod::GET, "http://photos.example.net/photos?file=vacation.jpg&size=original",
                {{"oauth_signature", "MdpQ"}, {"oauth_timestamp", "137131202"}, {"oauth_nonce", "chapoH"}}),
            "OAuth oauth_consumer_key=\"dpf43f3p2l4k3l03\", oauth_nonce=\"chapoH\", "
            "oauth_signature=\"MdpQcU8iPSUjWoN%2FUDMsK2sui9I%3D\", oauth_signature_method=\"HMAC-SHA1\", "
            "oauth_timestamp=\"137131202\", oauth_token=\"nnch734d00sl2jdk\"");

  // Section 3.1: PLAINTEXT signs with pct(consumer secret) & pct(token secret), encoded again in the header.
  OAuthSwiftCredential plain("jd83jd92dhsh93js", "ja893SD9");
  plain.oauthToken = "hdk48Djdsa";
  plain.oauthTokenSecret = "xyz4992k83j47x0b";
  const auto header = plain.authorizationHeader(HTTPMethod::POST, "https://server.example.com/token",
                                                {{"oauth_signature_method", "PLAINTEXT"},
                                                 {"oauth_verifier", "473f82d3"},
                                                 {"oauth_timestamp", "137131201"},
                                                 {"oauth_nonce", "7d8f3e4a"}});
  EXPECT_EQ(header,
            "OAuth oauth_consumer_key=\"jd83jd92dhsh93js\", oauth_nonce=\"7d8f3e4a\", "
            "oauth_signature=\"ja893SD9%26xyz4992k83j47x0b\", oauth_signature_method=\"PLAINTEXT\", "
            "oauth_timestamp=\"137131201\", oauth_token=\"hdk48Djdsa\", oauth_verifier=\"473f82d3\"");

  // A method the credential cannot sign with, or a protocol parameter named twice, is refused.
  std::string problem;
  EXPECT_EQ(plain.authorizationHeader(HTTPMethod::GET, "https://h.example/p", {{"oauth_signature_method", "RSA-SHA1"}},
                                      std::nullopt, &problem),
            std::nullopt);
  EXPECT_NE(problem.find("RSA-SHA1"), std::string::npos) << problem;
  EXPECT_EQ(plain.authorizationHeader(HTTPMethod::GET, "https://h.example/p",
                                      {{"oauth_nonce", "a"}, {"oauth_nonce", "b"}}, std::nullopt, &problem),
            std::nullopt);
  EXPECT_NE(problem.find("oauth_nonce"), std::string::npos) << problem;
}

TEST(OAuthSignerTest, AProtocolParameterTravelsOnceWhereverItIsGiven) {
  OAuthSwiftCredential credential("key", "secret");
  credential.oauthToken = "mine";
  credential.oauthTokenSecret = "s";
  // Given in the parameters and again in the query or the body: refused, with the parameter named.
  std::string problem;
  EXPECT_EQ(credential.authorizationHeader(HTTPMethod::GET, "https://h.example/p?oauth_nonce=zzz&oauth_token=other",
                                           {{"oauth_nonce", "abc"}}, std::nullopt, &problem),
            std::nullopt);
  EXPECT_NE(problem.find("oauth_nonce"), std::string::npos) << problem;
  problem.clear();
  EXPECT_EQ(credential.authorizationHeader(HTTPMethod::POST, "https://h.example/p?oauth_timestamp=1", {},
                                           bytes("oauth_timestamp=2"), &problem),
            std::nullopt);
  EXPECT_NE(problem.find("oauth_timestamp"), std::string::npos) << problem;
  EXPECT_EQ(
      credential.authorizationHeader(HTTPMethod::GET, "https://h.example/p?oauth_version=1.0&oauth_version=1.0", {}),
      std::nullopt);

  // Given once in the query: signed there, and neither filled in nor sent again in the header.
  testkit::ScopedFixedClock clock(1700000000);
  const auto fields = credential.signedProtocolParameters(
      HTTPMethod::GET, "https://h.example/p?oauth_nonce=zzz&oauth_token=other&x=1", {{"oauth_timestamp", "5"}});
  ASSERT_TRUE(fields);
  EXPECT_EQ(firstValue(*fields, "oauth_nonce"), std::nullopt);
  EXPECT_EQ(firstValue(*fields, "oauth_token"), std::nullopt);
  EXPECT_EQ(firstValue(*fields, "oauth_consumer_key"), "key");
  const auto base = signatureBaseString(
      HTTPMethod::GET, "https://h.example/p?oauth_nonce=zzz&oauth_token=other&x=1",
      {{"oauth_timestamp", "5"}, {"oauth_consumer_key", "key"}, {"oauth_signature_method", "HMAC-SHA1"}});
  ASSERT_TRUE(base);
  EXPECT_EQ(firstValue(*fields, "oauth_signature"), signature(*base, "secret", "s"));
}

TEST(OAuthSignerTest, RFC2202HmacSha1) {
  struct Case {
    std::string key;
    std::string data;
    const char* digest;
  };
  std::string key4;
  for (char c = 1; c <= 25; ++c) key4.push_back(c);
  const std::array<Case, 7> cases{{
      {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
      {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {key4, std::string(50, '\xcd'), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {std::string(20, '\x0c'), "Test With Truncation", "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  }};
  for (const auto& c : cases) EXPECT_EQ(hex(hmacSHA1(c.key, c.data)), c.digest) << c.data;
}

TEST(OAuthSignerTest, EncodingAndNormalisation) {
  EXPECT_EQ(percentEncode("Ladies + Gentlemen"), "Ladies%20%2B%20Gentlemen");
  EXPECT_EQ(percentEncode("-._~azAZ09!*'()/=&"), "-._~azAZ09%21%2A%27%28%29%2F%3D%26");
  EXPECT_EQ(percentEncode("\xE2\x98\x83"), "%E2%98%83");

  EXPECT_EQ(baseStringURI("HTTP://EXAMPLE.COM:80/r%20v/X?id=123#f"), "http://example.com/r%20v/X");
  EXPECT_EQ(baseStringURI("https://www.Example.net:8080?q=1"), "https://www.example.net:8080/");
  EXPECT_EQ(baseStringURI("https://a.example:443/p"), "https://a.example/p");
  EXPECT_EQ(baseStringURI("http://a.example:443/p"), "http://a.example:443/p");
  EXPECT_EQ(baseStringURI("talvarenmobile://host/path"), std::nullopt);
  EXPECT_EQ(baseStringURI("not a url"), std::nullopt);

  // A multiset: repeated names kept, sorted by encoded name then value; a valueless item is "name=".
  EXPECT_EQ(normalizedParameters({{"b", ""}, {"a", "2"}, {"a b", "x"}, {"a", "1"}, {"a", "10"}}),
            "a=1&a=10&a=2&a%20b=x&b=");
  const auto query = signatureBaseString(HTTPMethod::GET, "http://h.example/p?x&x=1&x=1", {});
  EXPECT_EQ(query, "GET&http%3A%2F%2Fh.example%2Fp&x%3D%26x%3D1%26x%3D1");
  EXPECT_EQ(signatureBaseString(HTTPMethod::GET, "http://h.example/p?x=%zz", {}), std::nullopt);
}

TEST(OAuthSignerTest, FilledInProtocolParameters) {
  OAuthSwiftCredential credential("key", "secret");
  {
    testkit::ScopedFixedClock clock(1700000000.5);
    const auto fields = credential.signedProtocolParameters(HTTPMethod::POST, "https://h.example/t", {{"q", "1"}});
    ASSERT_TRUE(fields);
    EXPECT_EQ(firstValue(*fields, "oauth_timestamp"), "1700000001");  // halves away from zero
    EXPECT_EQ(firstValue(*fields, "oauth_token"), std::nullopt);      // no token yet
    EXPECT_EQ(firstValue(*fields, "q"), std::nullopt);                // signed, never in the header
    const auto nonce = *firstValue(*fields, "oauth_nonce");
    EXPECT_EQ(nonce.size(), 42u);
    EXPECT_EQ(nonce.find_first_not_of(platform::random::alphanumerics), std::string::npos);
    EXPECT_NE(
        firstValue(*credential.signedProtocolParameters(HTTPMethod::POST, "https://h.example/t", {}), "oauth_nonce"),
        nonce);
  }
  testkit::ScopedFixedClock clock(1700000000.49);
  EXPECT_EQ(
      firstValue(*credential.signedProtocolParameters(HTTPMethod::GET, "https://h.example/t", {}), "oauth_timestamp"),
      "1700000000");
  EXPECT_EQ(credential.authorizationHeader(HTTPMethod::GET, "no url", {}), std::nullopt);
}

TEST(OAuthSignerTest, RandomDrawsAreUniform) {
  EXPECT_EQ(platform::random::uniform(0), 0u);
  EXPECT_EQ(platform::random::uniform(1), 0u);
  EXPECT_EQ(platform::random::string(5, ""), "");
  // 62 is no divisor of a power of two: a plain modulo favours the first values. Chi-square with 61
  // degrees of freedom stays far below 130 (p < 1e-6) for a uniform draw.
  constexpr int draws = 62 * 2000;
  std::array<int, 62> counts{};
  for (int i = 0; i < draws; ++i) {
    const auto value = platform::random::uniform(62);
    ASSERT_LT(value, 62u);
    ++counts[value];
  }
  double chiSquare = 0;
  for (int count : counts) chiSquare += std::pow(count - 2000.0, 2) / 2000.0;
  EXPECT_LT(chiSquare, 130.0);
}

TEST(OAuthSignerTest, CredentialArchiveKeepsOnlyTheTokenPair) {
  OAuthSwiftCredential credential("consumer", "consumer-secret");
  credential.oauthToken = "tok\xC3\xA9n";
  credential.oauthTokenSecret = "s&e=c\"ret";
  const auto data = credential.archivedData();
  const std::string text(data.begin(), data.end());
  EXPECT_EQ(text.find("consumer"), std::string::npos);
  const auto back = OAuthSwiftCredential::unarchive(data);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->oauthToken, credential.oauthToken);
  EXPECT_EQ(back->oauthTokenSecret, credential.oauthTokenSecret);
  EXPECT_EQ(back->consumerKey, "");

  for (const char* damaged :
       {"", "null", "{", "[\"a\",\"b\"]", R"({"oauth_token":"a"})", R"({"oauth_token":1,"oauth_token_secret":"b"})",
        "{\"oauth_token\":\"\xff\","
        "\"oauth_token_secret\":\"b\"}"}) {
    EXPECT_FALSE(OAuthSwiftCredential::unarchive(bytes(damaged))) << damaged;
  }
}

TEST(OAuthSignerTest, TokenReplies) {
  const auto good =
      OAuthSwift::parseTokenReply("oauth_token=a%2Bb&oauth_token_secret=&oauth_callback_confirmed=true\r\n");
  ASSERT_TRUE(good);
  EXPECT_EQ(firstValue(*good, "oauth_token"), "a+b");
  EXPECT_EQ(firstValue(*good, "oauth_token_secret"), "");
  for (const std::string& bad :
       {std::string(R"({"oauth_token":"a","oauth_token_secret":"b"})"), std::string("oauth_token=a"),
        std::string("oauth_token_secret=b&oauth_token="), std::string("oauth_token=a%2&oauth_token_secret=b"),
        std::string("oauth_token=a b&oauth_token_secret=b"), std::string("oauth_token=%FF&oauth_token_secret=b"),
        "oauth_token=a&oauth_token_secret=" + std::string(OAuthSwift::maximumReplySize, 'b')}) {
    EXPECT_FALSE(OAuthSwift::parseTokenReply(bad)) << bad.substr(0, 60);
  }
}
