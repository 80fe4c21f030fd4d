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
  EXPECT_EQ(params["Token"], "<redacted>");
  EXPECT_EQ(redact::parameters(nlohmann::json::array({1})), nlohmann::json::array({1}));
}

TEST(RedactionTest, RepliesLoseCredentialsAtAnyDepth) {
  const nlohmann::json reply{{"token", "t"},
                             {"user_id", 7},
                             {"results", {{{"X-API-Key", "k"}, {"X-API-PublicId", "p"}}}},
                             {"nested", {{"password1", 1}}}};
  EXPECT_EQ(redact::reply(reply), (nlohmann::json{{"token", "<redacted>"},
                                                  {"user_id", 7},
                                                  {"results", {{{"X-API-Key", "<redacted>"}, {"X-API-PublicId", "p"}}}},
                                                  {"nested", {{"password1", "<redacted>"}}}}));
  EXPECT_EQ(redact::reply("token"), "token");
  // A log line prints a reply itself only when there is nothing to hide.
  EXPECT_TRUE(redact::replyHoldsSecrets(reply));
  EXPECT_TRUE(redact::replyHoldsSecrets(nlohmann::json{{"a", {1, {{"b", {{"password2", nullptr}}}}}}}));
  EXPECT_FALSE(redact::replyHoldsSecrets(nlohmann::json{{"user_id", 7}, {"results", {"token", "Token"}}}));

  nlohmann::json deep = {{"token", "t"}};
  for (int i = 0; i < 100000; ++i) deep = nlohmann::json::array({std::move(deep)});
  const auto shown = redact::reply(deep);  // must not exhaust the stack
  EXPECT_TRUE(shown.is_array());
  EXPECT_TRUE(redact::replyHoldsSecrets(deep));
  nlohmann::json deepPlain = 1;
  for (int i = 0; i < 200; ++i) deepPlain = nlohmann::json::array({std::move(deepPlain)});
  EXPECT_TRUE(redact::replyHoldsSecrets(deepPlain));  // printed cut short, like a copy
}

TEST(RedactionTest, ValidationMessagesUnderSecretNamesAreShownOnEveryRoad) {
  // A list of texts is what the server says about a refused field; any other value under the name is hidden.
  const nlohmann::json refusal{{"password1", {"This password is too short.", "This password is too common."}},
                               {"errors", {{"token", nlohmann::json::array()}, {"password", "pw-1"}}},
                               {"csrftoken", "c-2"},
                               {"sessionid", {"s-3", 4}}};
  const nlohmann::json shown{{"password1", {"This password is too short.", "This password is too common."}},
                             {"errors", {{"token", nlohmann::json::array()}, {"password", "<redacted>"}}},
                             {"csrftoken", "<redacted>"},
                             {"sessionid", "<redacted>"}};
  EXPECT_EQ(redact::reply(refusal), shown);
  EXPECT_TRUE(redact::replyHoldsSecrets(refusal));
  EXPECT_FALSE(redact::replyHoldsSecrets(nlohmann::json{{"password1", {"This password is too short."}}}));
  EXPECT_EQ(redact::parameters({{"password", "pw-1"}, {"password1", {"kept"}}}),
            (nlohmann::json{{"password", "<redacted>"}, {"password1", {"kept"}}}));
  EXPECT_EQ(nlohmann::json::parse(redact::text(refusal.dump())), shown);
  EXPECT_EQ(redact::text(R"({"password1": [ "Too short." , "Too \"common\"." ], "token": "t-5"})"),
            R"({"password1": [ "Too short." , "Too \"common\"." ], "token": "<redacted>"})");
  // A list cut short, or holding more than texts, is no message list.
  EXPECT_EQ(redact::text(R"({"password1":["Too short.")"), R"({"password1":"<redacted>")");
  EXPECT_EQ(redact::text(R"({"token":["t-6",7]})"), R"({"token":"<redacted>"})");
  EXPECT_EQ(redact::text("csrftoken=c-7; sessionid=s-8; Path=/"), "csrftoken=<redacted>; sessionid=<redacted>; Path=/");
}

TEST(RedactionTest, UrlsLoseOnlyTheirCredentials) {
  EXPECT_EQ(redact::url("https://h/p?oauth_token=abc&x=1&oauth_verifier=v#access_token=t&state="),
            "https://h/p?oauth_token=<redacted>&x=1&oauth_verifier=<redacted>#access_token=<redacted>&state=");
  EXPECT_EQ(redact::url("cb://h/p#token=1"), "cb://h/p#token=<redacted>");
  EXPECT_EQ(redact::url("https://h/p"), "https://h/p");
  EXPECT_EQ(redact::url("https://h/p?"), "https://h/p?");
  EXPECT_EQ(redact::url("https://h/p?token&a=b"), "https://h/p?token&a=b");
  // The user info's password, a bare token as user info, and an authorisation code.
  EXPECT_EQ(redact::url("https://ann:pw@1@h:8443/p?code=c-1&error_code=7"),
            "https://ann:<redacted>@h:8443/p?code=<redacted>&error_code=7");
  EXPECT_EQ(redact::url("https://tok-9@h/p"), "https://<redacted>@h/p");
  EXPECT_EQ(redact::url("https://h/p?next=ann@h#x=a:b@c"), "https://h/p?next=ann@h#x=a:b@c");
  EXPECT_EQ(redact::text(R"({"code": 42})"), R"({"code": 42})");
}

TEST(RedactionTest, BodyTextsLoseTheirSecretsWholeOrCut) {
  // Whole JSON: only the secret members' values change, byte for byte around them.
  EXPECT_EQ(redact::text(R"({"token": "t-1", "user_id": 7, "key": {"X-API-Key":"k-2","X-API-PublicId":"p"}})"),
            R"({"token": "<redacted>", "user_id": 7, "key": {"X-API-Key":"<redacted>","X-API-PublicId":"p"}})");
  EXPECT_EQ(redact::text(R"({"password":["a\"b",{"c":1}],"x-csrftoken":12,"detail":"token"})"),
            R"({"password":"<redacted>","x-csrftoken":"<redacted>","detail":"token"})");
  // Cut inside a secret, after its name, or inside its name.
  EXPECT_EQ(redact::text(R"({"user_id":7,"token":"t-12)"), R"({"user_id":7,"token":"<redacted>")");
  EXPECT_EQ(redact::text(R"({"refresh_token": {"a": "b)"), R"({"refresh_token": "<redacted>")");
  EXPECT_EQ(redact::text(R"({"token": )"), R"({"token": )");
  EXPECT_EQ(redact::text(R"({"tok)"), R"({"tok)");
  // Form-encoded replies and URLs in a page, in a JSON text or not.
  EXPECT_EQ(redact::text("oauth_token=abc&oauth_token_secret=def&oauth_callback_confirmed=true\n"),
            "oauth_token=<redacted>&oauth_token_secret=<redacted>&oauth_callback_confirmed=true\n");
  EXPECT_EQ(redact::text(R"(<a href="/cb#access_token=xyz&state=s">go</a> oauth_verifier=v)"),
            R"(<a href="/cb#access_token=<redacted>&state=s">go</a> oauth_verifier=<redacted>)");
  EXPECT_EQ(redact::text(R"({"next":"https://h/?token=abc&page=2"})"), R"({"next":"https://h/?token=<redacted>&page=2"})");
  // Texts without secrets come back unchanged, near misses included.
  for (const char* plain : {"", "<html>maintenance</html>", R"({"detail":"Invalid token."})", "tokens=3 mytoken=4",
                            R"({"Tokens": "kept", "token_type": "bearer"})", "\"", "a\\"}) {
    EXPECT_EQ(redact::text(plain), plain) << plain;
  }
}

TEST(RedactionTest, ANameIsJudgedWithItsJSONEscapesUndone) {
  const std::string refusal =
      R"({"\u0070assword": "pw-1", "access\u005ftoken": "at-2", "nested": {"client\u005Fsecret": "cs-3"}})";
  const std::string shown = R"({"\u0070assword": "<redacted>", "access\u005ftoken": "<redacted>", )"
                            R"("nested": {"client\u005Fsecret": "<redacted>"}})";
  EXPECT_EQ(redact::text(refusal), shown);
  EXPECT_EQ(redact::reply(nlohmann::json::parse(refusal)), nlohmann::json::parse(shown));
  // Quoted once and twice inside a message: the text and the parsed reply agree.
  for (const auto& [echoed, hidden] : std::vector<std::pair<std::string, std::string>>{
           {R"({"detail": "echo {\"refresh\\u005ftoken\": \"rt-4\"}"})",
            R"({"detail": "echo {\"refresh\\u005ftoken\": \"<redacted>\"}"})"},
           {R"({"detail": "proxy: {\"body\": \"{\\\"\\\\u0070assword\\\": \\\"pw-5\\\"}\"}"})",
            R"({"detail": "proxy: {\"body\": \"{\\\"\\\\u0070assword\\\": \\\"<redacted>\\\"}\"}"})"}}) {
    EXPECT_EQ(redact::text(echoed), hidden);
    EXPECT_EQ(redact::reply(nlohmann::json::parse(echoed)), nlohmann::json::parse(hidden));
  }
  // Messages about a field so spelled stay.
  const std::string messages = R"({"\u0070assword1": ["Too short."], "detail": "{\"\\u0074oken\": []}"})";
  EXPECT_EQ(redact::text(messages), messages);
  EXPECT_FALSE(redact::replyHoldsSecrets(nlohmann::json::parse(messages)));
}

TEST(RedactionTest, ANameIsTheSameInAnyLetterCaseAndWithItsPercentEscapesUndone) {
  EXPECT_EQ(redact::text(R"({"Password": "pw-1", "ACCESS_TOKEN": 2, "SessionId": "s-3", "PASSWORD1": ["Too short."]})"),
            R"({"Password": "<redacted>", "ACCESS_TOKEN": "<redacted>", "SessionId": "<redacted>", )"
            R"("PASSWORD1": ["Too short."]})");
  EXPECT_EQ(
      redact::text("PASSWORD=pw-4&CSRFToken=c-5&refresh%5Ftoken=rt-6&%70assword=pw-7&next=%2Fa&100%=1"),
      "PASSWORD=<redacted>&CSRFToken=<redacted>&refresh%5Ftoken=<redacted>&%70assword=<redacted>&next=%2Fa&100%=1");
  EXPECT_EQ(redact::url("https://h/p?Access_Token=a&%63ode=c&CODE=d&Refresh%5fToken=r&Codes=e"),
            "https://h/p?Access_Token=<redacted>&%63ode=<redacted>&CODE=<redacted>&Refresh%5fToken=<redacted>&Codes=e");
  const nlohmann::json sent{{"outer", {{"Password", "pw-8"}, {"APIKEY", {"k-9", 1}}}}, {"Password1", {"Too short."}}};
  const nlohmann::json shown{{"outer", {{"Password", "<redacted>"}, {"APIKEY", "<redacted>"}}},
                             {"Password1", {"Too short."}}};
  EXPECT_EQ(redact::parameters(sent), shown);
  EXPECT_EQ(redact::reply(sent), shown);
  EXPECT_EQ(redact::headers({{"SessionId", "s-10"}, {"accept", "a"}}),
            (std::map<std::string, std::string>{{"SessionId", "<redacted>"}, {"accept", "a"}}));
}

TEST(RedactionTest, AValueInQuotesOrSetOffByBlanksIsHiddenWhole) {
  // Challenges and echoed error pages quote their values; the quotes stay, what they hold goes.
  EXPECT_EQ(redact::text(R"(Bearer realm="api", token="A-1 b", error="invalid_token")"),
            R"(Bearer realm="api", token="<redacted>", error="invalid_token")");
  EXPECT_EQ(redact::text("sessionid='B-2 c'; Path=/"), "sessionid='<redacted>'; Path=/");
  EXPECT_EQ(redact::text("<p>token=&quot;H-9 i&quot; password=&#39;I-10&#39;</p>"),
            "<p>token=&quot;<redacted>&quot; password=&#39;<redacted>&#39;</p>");
  EXPECT_EQ(redact::text(R"(<form csrfmiddlewaretoken = "D-3">)"), R"(<form csrfmiddlewaretoken = "<redacted>">)");
  EXPECT_EQ(redact::text("password= C-4, password =C-5\tnext"), "password= <redacted>, password =<redacted>\tnext");
  EXPECT_EQ(redact::text(R"(token="E-6)"), R"(token="<redacted>)");
  EXPECT_EQ(redact::text(R"(echo token=\"J-11\" end)"), R"(echo token=\"<redacted>\" end)");
  EXPECT_EQ(redact::text(R"(password='pa"ss "x"' "y")"), R"(password='<redacted>' "y")");
  // The same inside a JSON string, once quoted, and in a parsed reply's text.
  const std::string echoed = R"({"detail": "challenge: token=\"F-7\", sessionid='G-8', realm=\"api\""})";
  const std::string hidden = R"({"detail": "challenge: token=\"<redacted>\", sessionid='<redacted>', realm=\"api\""})";
  EXPECT_EQ(redact::text(echoed), hidden);
  EXPECT_EQ(redact::reply(nlohmann::json::parse(echoed)), nlohmann::json::parse(hidden));
  // A comparison sets nothing.
  EXPECT_EQ(redact::text("if token == expected"), "if token == expected");
}

}  // namespace
}  // namespace talvaren
