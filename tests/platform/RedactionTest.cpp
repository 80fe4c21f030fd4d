#include "talvaren/platform/Redaction.hpp"

#include <gtest/gtest.h>

namespace talvaren {
namespace {

TEST(RedactionTest, CredentialHeadersAndSecretParametersKeepTheirShape) {
  const std::map<std::string, std::string> sent{
      {"authorization", "Token abc"}, {"X-API-Key", "k"}, {"X-CSRFToken", "c"}, {"Accept", "application/json"}};
  const auto shown = redact::headers(sent);
  EXPECT_EQ(shown.at("authorization"), "<redacted>");
  EXPECT_EQ(shown.at("X-API-Key"), "<redacted>");
  EXPECT_EQ(shown.at("X-CSRFToken"), "<redacted>");
  EXPECT_EQ(shown.at("Accept"), "application/json");

  const auto params = redact::parameters({{"email", "a@b"}, {"password", "p"}, {"password1", 7}, {"Token", "x"}});
  EXPECT_EQ(params["password"], "<redacted>");
  EXPECT_EQ(params["password1"], "<redacted>");
  EXPECT_EQ(params["email"], "a@b");
  EXPECT_EQ(params["Token"], "x");  // names are exact
  EXPECT_EQ(redact::parameters(nlohmann::json::array({1})), nlohmann::json::array({1}));
}

TEST(RedactionTest, RepliesLoseCredentialsAtAnyDepth) {
  const nlohmann::json reply{{"token", "t"},
                             {"user_id", 7},
                             {"results", {{{"X-API-Key", "k"}, {"X-API-PublicId", "p"}}}},
                             {"nested", {{"password1", {"x"}}}}};
  EXPECT_EQ(redact::reply(reply), (nlohmann::json{{"token", "<redacted>"},
                                                  {"user_id", 7},
                                                  {"results", {{{"X-API-Key", "<redacted>"}, {"X-API-PublicId", "p"}}}},
                                                  {"nested", {{"password1", "<redacted>"}}}}));
  EXPECT_EQ(redact::reply("token"), "token");

  nlohmann::json deep = {{"token", "t"}};
  for (int i = 0; i < 100000; ++i) deep = nlohmann::json::array({std::move(deep)});
  const auto shown = redact::reply(deep);  // must not exhaust the stack
  EXPECT_TRUE(shown.is_array());
}

TEST(RedactionTest, UrlsLoseOnlySecretQueryAndFragmentValues) {
  EXPECT_EQ(redact::url("https://h/p?oauth_token=abc&x=1&oauth_verifier=v#access_token=t&state="),
            "https://h/p?oauth_token=<redacted>&x=1&oauth_verifier=<redacted>#access_token=<redacted>&state=");
  EXPECT_EQ(redact::url("cb://h/p#token=1"), "cb://h/p#token=<redacted>");
  EXPECT_EQ(redact::url("https://h/p"), "https://h/p");
  EXPECT_EQ(redact::url("https://h/p?"), "https://h/p?");
  EXPECT_EQ(redact::url("https://h/p?token&a=b"), "https://h/p?token&a=b");
}

}  // namespace
}  // namespace talvaren
