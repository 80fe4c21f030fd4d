#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "ConnectorFixture.hpp"
#include "platform/TextEncoding.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Image.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/http/URLError.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using nlohmann::json;
using platform::http::HTTPMethod;

namespace {

class ConnectorTest : public ConnectorFixture {
 protected:
  void storeCredentials() {
    auto shared = Connector::sharedInstance();
    shared->saveTokenToKeychain(APIToken("t-123"));
    shared->saveApiKeyToKeychain(APIKey("k-456", "p-789"));
    shared->setCSRFToken("c-000");
  }

  RecordedRequest lastRequest() const {
    auto all = server.requests();
    return all.empty() ? RecordedRequest{} : all.back();
  }
};

bool anyLineContains(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const auto& line) { return line.find(text) != std::string::npos; });
}

const std::string fallbackUserAgent = "version: 2.3 build:41;iOS  iPhone X";

}  // namespace

TEST_F(ConnectorTest, EachKindOfRequestCarriesItsHeaderSet) {
  server.reply("GET", "/items/", 200, "[]");
  server.reply("POST", "/auth/login/", 200, "{}");
  server.reply("GET", "/firmwares/", 200, "[]");
  storeCredentials();

  // Full set: both stored credentials, the CSRF token, and a content type even on a GET without a body.
  call(HTTPMethod::GET, std::string(baseURL) + "items/");
  auto full = lastRequest();
  EXPECT_EQ(full.header("Content-Type"), "application/json; charset=UTF-8");
  EXPECT_EQ(full.header("Accept"), "application/json");
  EXPECT_EQ(full.header("User-Agent"), fallbackUserAgent);
  EXPECT_EQ(full.header("X-CSRFToken"), "c-000");
  EXPECT_EQ(full.header("Authorization"), "Token t-123");
  EXPECT_EQ(full.header("X-API-Key"), "k-456");
  EXPECT_EQ(full.header("X-API-PublicId"), "p-789");
  EXPECT_TRUE(full.body.empty());

  // An API key argument replaces both stored credentials.
  call(HTTPMethod::GET, std::string(baseURL) + "items/", std::nullopt, false, std::nullopt, "arg-key");
  auto keyed = lastRequest();
  EXPECT_EQ(keyed.header("X-API-Key"), "arg-key");
  EXPECT_FALSE(keyed.hasHeader("Authorization"));
  EXPECT_FALSE(keyed.hasHeader("X-API-PublicId"));
  EXPECT_EQ(keyed.header("X-CSRFToken"), "c-000");

  // Skipped headers drop the key argument too; the JSON body still gets its content type.
  call(HTTPMethod::POST, std::string(baseURL) + "auth/login/", json{{"email", "a@b.c"}}, true, std::nullopt, "arg-key");
  auto skipped = lastRequest();
  EXPECT_EQ(skipped.header("User-Agent"), fallbackUserAgent);
  for (const char* absent : {"Accept", "X-CSRFToken", "Authorization", "X-API-Key", "X-API-PublicId"}) {
    EXPECT_FALSE(skipped.hasHeader(absent)) << absent;
  }
  EXPECT_EQ(skipped.header("Content-Type"), "application/json");
  EXPECT_EQ(json::parse(skipped.body), json({{"email", "a@b.c"}}));

  // Development requests carry the two fixed development headers and none of the client's own.
  auto [record, completion] = recorder();
  Connector::sharedInstance()->performAPICallDev(HTTPMethod::GET, std::string(baseURL) + "firmwares/", std::nullopt,
                                                 platform::http::JSONEncoding::defaultEncoding(), std::nullopt,
                                                 completion);
  waitFor(record);
  auto dev = lastRequest();
  EXPECT_EQ(dev.header("X-API-Key"), "kqz");
  EXPECT_EQ(dev.header("X-API-PublicId"), "4f1c9a27-6b3e-4d58-9e02-7a3b5c8d1e64");
  for (const char* absent : {"User-Agent", "Accept", "Content-Type", "X-CSRFToken", "Authorization"}) {
    EXPECT_FALSE(dev.hasHeader(absent)) << absent;
  }

  // A release number that is not text counts as missing.
  platform::Bundle::setMain(std::make_shared<platform::Bundle>(
      home.path(), json{{"CFBundleShortVersionString", 2.3}, {"CFBundleVersion", "41"}}));
  call(HTTPMethod::GET, std::string(baseURL) + "items/");
  EXPECT_EQ(lastRequest().header("User-Agent"), "version: Unknown build:41;iOS  iPhone X");
}

// The credentials are read afresh for every request: what another process stored in between, through the
// kit or by rewriting the file in place with the same size, is what the next request sends. Each request
// waits until the file's times have settled, so the kit's memory of the decoded file is what is tested
// (a change within the same clock tick is KeychainTest's).
TEST_F(ConnectorTest, EveryRequestSendsTheCredentialsStoredWhenItStarts) {
  server.reply("GET", "/items/", 200, "[]");
  storeCredentials();
  const auto url = std::string(baseURL) + "items/";
  const auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(60)); };
  settle();
  auto inOtherProcess = [](const std::function<bool()>& change) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(change() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  };

  call(HTTPMethod::GET, url);
  call(HTTPMethod::GET, url);
  EXPECT_EQ(lastRequest().header("Authorization"), "Token t-123");
  ASSERT_NO_FATAL_FAILURE(inOtherProcess([] {
    Connector::sharedInstance()->saveTokenToKeychain(APIToken("t-456"));
    return true;
  }));
  settle();
  call(HTTPMethod::GET, url);
  EXPECT_EQ(lastRequest().header("Authorization"), "Token t-456");

  // The item's bytes replaced where they stand: the same inode and size, most likely the same clock tick.
  const auto file = platform::AppHome::keychainPath(Connector::sharedInstance()->keychain().service());
  ASSERT_NO_FATAL_FAILURE(inOtherProcess([&] {
    std::string text;
    {
      std::ifstream in(file, std::ios::binary);
      text.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto itemText = [](const char* token) {
      const auto bytes = APIToken(token).keychainData();
      return platform::detail::base64Encode(std::string(bytes.begin(), bytes.end()));
    };
    const auto old = itemText("t-456");
    const auto at = text.find(old);
    if (at == std::string::npos) return false;
    text.replace(at, old.size(), itemText("t-789"));
    const int fd = ::open(file.c_str(), O_WRONLY);
    const bool written = fd >= 0 && ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
    if (fd >= 0) ::close(fd);
    return written;
  }));
  settle();
  call(HTTPMethod::GET, url);
  EXPECT_EQ(lastRequest().header("Authorization"), "Token t-789");
  EXPECT_EQ(lastRequest().header("X-API-Key"), "k-456");
}

TEST_F(ConnectorTest, RawBodyReplacesTheEncodedParameters) {
  server.reply("POST", "/heartrate/", 201, "{}");
  server.reply("POST", "/firmwares/", 200, "[]");
  const std::string raw = R"([{"value":72,"timestamp":1}])";

  call(HTTPMethod::POST, std::string(baseURL) + "heartrate/", json::object(), false, Bytes(raw.begin(), raw.end()));
  EXPECT_EQ(lastRequest().body, raw);

  auto [record, completion] = recorder();
  Connector::sharedInstance()->performAPICallDev(HTTPMethod::POST, std::string(baseURL) + "firmwares/",
                                                 json{{"device", "kelo"}, {"limit", 2}},
                                                 platform::http::URLEncoding::queryString(), Bytes{'x'}, completion);
  waitFor(record);
  EXPECT_EQ(lastRequest().target, "/firmwares/?device=kelo&limit=2");
  EXPECT_EQ(lastRequest().body, "x");
}

TEST_F(ConnectorTest, RequestLogAndReplyLinesKeepTheirShapeWithoutSecrets) {
  server.reply("POST", "/auth/login/", 200, R"({"token":"fresh-secret","user_id":7})");
  server.reply("GET", "/items/", 200, "[]");

  call(HTTPMethod::GET, std::string(baseURL) + "items/");
  EXPECT_TRUE(console.contains("CSRF Token = Unknown"));
  EXPECT_EQ(lastRequestLog(), (std::vector<std::string>{
                                  "Request: http://api.talvaren.test/items/", "Method: get",
                                  "Headers: [\"Accept\": \"application/json\", \"Content-Type\": \"application/json; "
                                  "charset=UTF-8\", \"User-Agent\": \"" +
                                      fallbackUserAgent + "\"]"}));
  // The four reply lines: the bare status, value and method; the absent error labelled.
  const auto afterLog = [&] {
    const auto lines = console.lines();
    const auto separator = std::find(lines.rbegin(), lines.rend(), "---------------------").base();
    return std::vector<std::string>(separator, lines.end());
  };
  EXPECT_EQ(afterLog(), (std::vector<std::string>{"200", "[]", "get", "Connector response.result.error = nil"}));

  storeCredentials();
  console.clear();
  const std::string body = "12345";
  call(HTTPMethod::POST, std::string(baseURL) + "auth/login/",
       json{{"email", "a@b.c"}, {"password", "pw-secret"}, {"password1", "pw-secret"}, {"password2", "pw-again"}},
       false, Bytes(body.begin(), body.end()));
  const auto log = lastRequestLog();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[1], "Method: post");
  EXPECT_NE(log[2].find("\"Authorization\": \"<redacted>\""), std::string::npos);
  EXPECT_NE(log[2].find("\"X-API-Key\": \"<redacted>\""), std::string::npos);
  EXPECT_NE(log[2].find("\"X-CSRFToken\": \"<redacted>\""), std::string::npos);
  EXPECT_NE(log[2].find("\"X-API-PublicId\": \"p-789\""), std::string::npos);
  EXPECT_EQ(log[3], "Parameters:");
  EXPECT_EQ(log[4],
            R"(["email": "a@b.c", "password": "<redacted>", "password1": "<redacted>", "password2": "<redacted>"])");
  EXPECT_EQ(log[5], "Body:");
  EXPECT_EQ(log[6], "5 bytes");
  EXPECT_TRUE(console.contains("CSRF Token = <redacted>"));
  EXPECT_EQ(afterLog(), (std::vector<std::string>{"200", R"(["token": "<redacted>", "user_id": 7])", "post",
                                                  "Connector response.result.error = nil"}));
  const auto lines = console.lines();
  for (const char* secret : {"t-123", "k-456", "c-000", "pw-secret", "pw-again", "fresh-secret"}) {
    EXPECT_FALSE(anyLineContains(lines, secret)) << secret;
  }
}

TEST_F(ConnectorTest, EveryReplyMapsToOneCompletion) {
  server.reply("GET", "/ok/", 200, R"({"a":1})");
  server.reply("GET", "/fragment/", 200, R"("just text")");
  server.reply("GET", "/page/", 200, "<html>maintenance</html>", "text/html");
  server.reply("GET", "/missing/", 404, R"({"detail":"Not found."})");
  server.reply("GET", "/gateway/", 504, "upstream timed out", "text/plain");
  server.reply("GET", "/gateway-empty/", 504, "", "text/plain");
  server.on("DELETE", "/gone/", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
  server.reply("GET", "/expired/", 401, R"({"detail":"Invalid token."})");
  server.reply("POST", "/auth/login/refresh/", 401, "refresh refused", "text/plain");
  server.reply("GET", "/auth/logout/", 403, "");
  server.reply("POST", "/auth/signup/", 403, "no");
  testkit::injectHttpTransportFault("offline.talvaren.test", HttpTransportFault::hostNotFound);
  testkit::injectHttpTransportFault("slow.talvaren.test", HttpTransportFault::timedOut);

  auto at = [](const std::string& path) { return std::string(baseURL) + path; };
  struct Expected {
    std::string domain;
    std::int64_t code;
    std::optional<std::string> description;
  };
  auto expectError = [](const std::shared_ptr<CompletionRecord>& record, const Expected& expected, const char* what) {
    ASSERT_TRUE(record->error) << what;
    EXPECT_FALSE(record->reply) << what;
    EXPECT_EQ(record->error->domain, expected.domain) << what;
    EXPECT_EQ(record->error->code, expected.code) << what;
    if (expected.description) {
      EXPECT_EQ(record->error->userInfo, json({{"NSLocalizedDescription", *expected.description}})) << what;
    } else {
      EXPECT_TRUE(record->error->userInfo.empty()) << what;
    }
  };

  auto ok = call(HTTPMethod::GET, at("ok/"));
  EXPECT_FALSE(ok.get()->error);
  ASSERT_TRUE(ok->json());
  EXPECT_EQ(*ok->json(), json({{"a", 1}}));
  EXPECT_EQ(*call(HTTPMethod::GET, at("fragment/"))->json(), "just text");
  auto deleted = call(HTTPMethod::DELETE, at("gone/"));
  ASSERT_TRUE(deleted->json());
  EXPECT_TRUE(deleted->json()->is_null());

  expectError(call(HTTPMethod::GET, at("page/")), {"", 200, "<html>maintenance</html>"}, "html page");
  expectError(call(HTTPMethod::GET, at("missing/")), {"", 404, R"({"detail":"Not found."})"}, "404");
  expectError(call(HTTPMethod::GET, at("gateway/")), {"NSURLErrorDomain", -1001, std::nullopt}, "504 with text");
  expectError(call(HTTPMethod::GET, at("gateway-empty/")),
              {platform::http::HTTPValidationErrorDomain, 504, "Response status code was unacceptable: 504."},
              "504 without text");
  expectError(call(HTTPMethod::GET, "http://offline.talvaren.test/ok/"), {"NSURLErrorDomain", -1009, std::nullopt},
              "host not found");
  auto slow = call(HTTPMethod::GET, "http://slow.talvaren.test/ok/");
  EXPECT_EQ(slow->error->domain, "NSURLErrorDomain");
  EXPECT_EQ(slow->error->code, -1001);
  EXPECT_EQ(tokenExpiredPosts, 0);

  // Refused credentials: only outside the login and logout endpoints (the refresh lies under login).
  expectError(call(HTTPMethod::GET, at("expired/")), {"", 401, std::nullopt}, "401");
  EXPECT_EQ(tokenExpiredPosts, 1);
  expectError(call(HTTPMethod::POST, at("auth/login/refresh/")), {"", 401, "refresh refused"}, "refresh 401");
  auto logout = call(HTTPMethod::GET, at("auth/logout/"));
  EXPECT_EQ(logout->error->domain, platform::http::HTTPValidationErrorDomain);
  EXPECT_EQ(logout->error->code, 403);
  EXPECT_EQ(tokenExpiredPosts, 1);
  expectError(call(HTTPMethod::POST, at("auth/signup/")), {"", 403, std::nullopt}, "signup 403");
  EXPECT_EQ(tokenExpiredPosts, 2);

  EXPECT_TRUE(console.contains("Failure Response: upstream timed out"));
  EXPECT_TRUE(console.contains("Connector response.response?.statusCode = nil"));
}

TEST_F(ConnectorTest, CutAndRefusedRepliesShowNoSecretButTheServersMessages) {
  // The login reply stops half way through its declared length: the connection was lost, whatever part
  // of the body came.
  server.on("POST", "/auth/login/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(1000, "application/json", [](size_t, size_t, httplib::DataSink& sink) {
      const std::string part = R"({"user_id":7,"token":"cut-secret-1","X-API-Key":"cut-key-2)";
      sink.write(part.data(), part.size());
      return false;
    });
  });
  // A refused login whose body holds a token beside the server's messages, a refused form-encoded reply, and a
  // refused photo.
  const std::string shownRefusal =
      R"({"token": "<redacted>", "password1": ["This password is too short."], "detail": "Bad request"})";
  server.reply(
      "POST", "/auth/login/refresh/", 400,
      R"({"token": "refused-secret-3", "password1": ["This password is too short."], "detail": "Bad request"})");
  server.reply("PUT", "/auth/me/", 400,
               R"({"token": "photo-secret-6", "password1": ["This password is too short."], "detail": "Bad request"})");
  server.reply("GET", "/items/", 500, "oauth_token=form-secret-4&oauth_token_secret=form-secret-5",
               "application/x-www-form-urlencoded");
  storeCredentials();

  auto cut = call(HTTPMethod::POST, std::string(baseURL) + "auth/login/", json{{"email", "a@b.c"}});
  ASSERT_TRUE(cut->error);
  EXPECT_EQ(cut->error->domain, "NSURLErrorDomain");
  EXPECT_EQ(cut->error->code, platform::http::URLError::networkConnectionLost);
  EXPECT_FALSE(console.contains("Connector response.response?.statusCode = nil"));

  auto refused = call(HTTPMethod::POST, std::string(baseURL) + "auth/login/refresh/");
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->domain, "");
  EXPECT_EQ(refused->error->code, 400);
  EXPECT_EQ(refused->error->userInfo, json({{"NSLocalizedDescription", shownRefusal}}));
  EXPECT_TRUE(console.contains("Failure Response: " + shownRefusal));

  auto form = call(HTTPMethod::GET, std::string(baseURL) + "items/");
  ASSERT_TRUE(form->error);
  EXPECT_EQ(form->error->userInfo,
            json({{"NSLocalizedDescription", "oauth_token=<redacted>&oauth_token_secret=<redacted>"}}));

  auto photo = std::make_shared<CompletionRecord>();
  Connector::sharedInstance()->updateMeImage(*platform::Image::blank(1, 1),
                                             [photo](std::optional<Error> error, std::optional<ServerReply> reply) {
                                               if (reply && reply->progress()) return;
                                               ++photo->calls;
                                               photo->error = std::move(error);
                                             });
  waitFor(photo);
  ASSERT_TRUE(photo->error);
  EXPECT_EQ(photo->error->code, 400);
  EXPECT_EQ(photo->error->userInfo, json({{"NSLocalizedDescription", shownRefusal}}));

  const auto lines = console.lines();
  for (const auto& record : {cut, refused, form, photo}) {
    const auto shown = record->error->description() + record->error->userInfo.dump();
    for (const char* secret : {"cut-secret", "cut-key", "refused-secret", "form-secret", "photo-secret"}) {
      EXPECT_EQ(shown.find(secret), std::string::npos) << shown;
      EXPECT_FALSE(anyLineContains(lines, secret)) << secret;
    }
  }
}

TEST_F(ConnectorTest, RequestsQuotedInAServersTextShowNoSecretButItsMessages) {
  // A server, and a proxy in front of it, echo the body they refused inside their message.
  const std::string refusal =
      R"({"detail": "Unable to parse the request body: {\"refresh_token\": \"abc-quoted\", \"password\": \"hunter2\"}"})";
  const std::string shownRefusal =
      R"({"detail": "Unable to parse the request body: {\"refresh_token\": \"<redacted>\", \"password\": \"<redacted>\"}"})";
  server.reply("POST", "/auth/login/refresh/", 400, refusal);
  server.reply("GET", "/items/", 200,
               R"({"log": ["retried {\"token\": \"abc-retried\"}", "next=/items/?token=abc-item&page=2"]})");

  auto refused = call(HTTPMethod::POST, std::string(baseURL) + "auth/login/refresh/");
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->code, 400);
  EXPECT_EQ(refused->error->userInfo, json({{"NSLocalizedDescription", shownRefusal}}));
  EXPECT_TRUE(console.contains("Failure Response: " + shownRefusal));
  call(HTTPMethod::GET, std::string(baseURL) + "items/");
  EXPECT_TRUE(
      console.contains(R"(["log": ["retried {\"token\": \"<redacted>\"}", "next=/items/?token=<redacted>&page=2"]])"));
  const auto lines = console.lines();
  for (const char* secret : {"abc-quoted", "hunter2", "abc-retried", "abc-item"}) {
    EXPECT_FALSE(anyLineContains(lines, secret)) << secret;
  }

  // The same values hidden in the parsed reply, quoted twice, and in a text cut inside the quoted one.
  EXPECT_EQ(redact::reply(json::parse(refusal)), json::parse(shownRefusal));
  EXPECT_TRUE(redact::replyHoldsSecrets(json::parse(refusal)));
  const std::string twice = R"({"detail": "proxy: {\"body\": \"{\\\"password\\\": \\\"hunter2\\\"}\"}"})";
  const std::string shownTwice = R"({"detail": "proxy: {\"body\": \"{\\\"password\\\": \\\"<redacted>\\\"}\"}"})";
  EXPECT_EQ(redact::text(twice), shownTwice);
  EXPECT_EQ(redact::reply(json::parse(twice)), json::parse(shownTwice));
  EXPECT_EQ(redact::text(R"({"detail": "Unable to parse: {\"password\": \"hun)"),
            R"({"detail": "Unable to parse: {\"password\": \"<redacted>\")");

  // Messages about a refused field stay, quoted or not; a text without secrets comes back byte for byte.
  const std::string messages =
      R"({"detail": "Invalid: {\"password1\": [\"Too short.\"], \"email\": \"a\/b \u00e9\"}", "password1": ["x"]})";
  EXPECT_EQ(redact::text(messages), messages);
  EXPECT_FALSE(redact::replyHoldsSecrets(json::parse(messages)));
  EXPECT_EQ(redact::reply(json::parse(messages)), json::parse(messages));
}

TEST_F(ConnectorTest, RequestLogHidesSecretParametersAtAnyDepth) {
  server.reply("POST", "/auth/signup/", 200, "{}");
  call(HTTPMethod::POST, std::string(baseURL) + "auth/signup/",
       json{{"user", {{"password", "pw-nested"}}},
            {"items", json::array({{{"token", "tok-listed"}}})},
            {"outer", {{"Password", "pw-cased"}}},
            {"password1", {"This password is too short."}}});
  const auto log = lastRequestLog();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[3], "Parameters:");
  EXPECT_EQ(log[4], R"(["items": [["token": "<redacted>"]], "outer": ["Password": "<redacted>"], )"
                    R"("password1": ["This password is too short."], "user": ["password": "<redacted>"]])");
  const auto lines = console.lines();
  for (const char* secret : {"pw-nested", "tok-listed", "pw-cased"}) EXPECT_FALSE(anyLineContains(lines, secret));
}

TEST_F(ConnectorTest, ASecretNameInAnySpellingReachesNeitherTheHostNorTheConsole) {
  server.reply(
      "POST", "/auth/login/", 400,
      R"({"\u0070assword": "pw-escaped", "access\u005ftoken": "at-escaped", "SessionId": "s-cased", )"
      R"("detail": "PASSWORD=pw-form&refresh%5Ftoken=rt-form; token=\"t-quoted\"", "Password1": ["Too short."]})");
  auto refused = call(HTTPMethod::POST, std::string(baseURL) + "auth/login/");
  ASSERT_TRUE(refused->error);
  const auto shown = refused->error->description();
  EXPECT_NE(shown.find("Too short."), std::string::npos);
  const auto lines = console.lines();
  for (const char* secret : {"pw-escaped", "at-escaped", "s-cased", "pw-form", "rt-form", "t-quoted"}) {
    EXPECT_EQ(shown.find(secret), std::string::npos) << secret;
    EXPECT_FALSE(anyLineContains(lines, secret)) << secret;
  }
}

TEST_F(ConnectorTest, DeeplyNestedRepliesFailAsBodiesThatAreNoJSON) {
  // 100,000 levels of objects: the reply is refused as JSON before anything recursive meets it.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += R"({"a":)";
  deep += "1";
  deep.append(100000, '}');
  server.reply("GET", "/deep/", 200, deep);
  // At the cap it is still a value.
  std::string capped(512, '[');
  capped.append(512, ']');
  server.reply("GET", "/capped/", 200, capped);

  auto refused = call(HTTPMethod::GET, std::string(baseURL) + "deep/");
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->domain, "");
  EXPECT_EQ(refused->error->code, 200);
  EXPECT_EQ(refused->error->userInfo, json({{"NSLocalizedDescription", deep}}));
  EXPECT_FALSE(refused->reply);

  auto kept = call(HTTPMethod::GET, std::string(baseURL) + "capped/");
  EXPECT_FALSE(kept->error);
  ASSERT_TRUE(kept->json());
  EXPECT_TRUE(kept->json()->is_array());
}

// The reply handler hands the reply over: its value is moved into the mapping, never copied (a copy of
// a large reply costs as much as its parse).
TEST(ServerReplyMappingTest, AReplyHandedOverGivesUpItsValue) {
  using platform::http::DataResponse;
  using platform::http::Result;
  const json value = {{"value", 72}, {"workout", "w1"}};
  DataResponse<json> reply{std::nullopt, std::nullopt, std::nullopt, Result<json>::success(value)};
  EXPECT_EQ(mapServerReply(reply, "/heartrate/", "/auth/login/", "/auth/logout/").value, value);
  ASSERT_EQ(*reply.result.value(), value);
  EXPECT_EQ(mapServerReply(std::move(reply), "/heartrate/", "/auth/login/", "/auth/logout/").value, value);
  EXPECT_TRUE(reply.result.value()->is_null());  // NOLINT(bugprone-use-after-move): what is left is checked
}

TEST_F(ConnectorTest, CapturesTheCSRFCookieOnlyWhileNoneIsStored) {
  server.on("GET", "/first/", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "sessionid=s1; Expires=Wed, 09 Jun 2027 10:18:14 GMT; Path=/");
    res.set_header("Set-Cookie", "csrftoken=one; Expires=Wed, 09 Jun 2027 10:18:14 GMT; Path=/");
    res.set_header("Set-Cookie", "csrftoken=two; expires=Thu, 10 Jun 2027 10:18:14 GMT; Path=/");
    res.set_header("Set-Cookie", "CSRFtoken=case; Path=/");
    res.set_content("{}", "application/json");
  });
  server.on("GET", "/second/", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "csrftoken=three; Path=/");
    res.set_content("{}", "application/json");
  });

  call(HTTPMethod::GET, std::string(baseURL) + "first/");
  EXPECT_EQ(Connector::sharedInstance()->CSRFToken(), "two");

  call(HTTPMethod::GET, std::string(baseURL) + "second/");
  EXPECT_EQ(Connector::sharedInstance()->CSRFToken(), "two");
  EXPECT_EQ(server.requests().back().header("X-CSRFToken"), "two");

  // Cleared (as the server logout does), the next cookie is captured again.
  Connector::sharedInstance()->setCSRFToken(std::nullopt);
  call(HTTPMethod::GET, std::string(baseURL) + "second/");
  EXPECT_EQ(Connector::sharedInstance()->CSRFToken(), "three");
}

TEST_F(ConnectorTest, AnotherHostARequestIsRedirectedToGetsNoCredentialAndSetsNoCookieOfTheAPIHost) {
  LoopbackServer elsewhere;
  // The API host's `path` redirects to `landing` on the other host, which sets a CSRF token and a session.
  auto redirectToCookies = [&](const std::string& path, const std::string& landing, const std::string& cookie) {
    server.on("GET", path,
              [landing](const httplib::Request&, httplib::Response& res) { res.set_redirect(landing, 302); });
    elsewhere.on("GET", platform::http::URL::fromString(landing)->path(),
                 [cookie](const httplib::Request&, httplib::Response& res) {
                   res.set_header("Set-Cookie", "csrftoken=" + cookie);
                   res.set_header("Set-Cookie", "sessionid=" + cookie);
                   res.set_content("{}", "application/json");
                 });
  };
  routeHttpHost("elsewhere.test", "127.0.0.1", elsewhere.port());
  redirectToCookies("/moved/", "http://elsewhere.test/landing/", "foreign; Path=/");
  storeCredentials();
  Connector::sharedInstance()->setCSRFToken(std::nullopt);
  EXPECT_FALSE(call(HTTPMethod::GET, std::string(baseURL) + "moved/")->error);

  // The other host's cookies are its own: none is the API host's, nor its CSRF token.
  EXPECT_EQ(Connector::sharedInstance()->CSRFToken(), std::nullopt);
  const auto cookies = Connector::sharedInstance()->manager()->configuration().httpCookieStorage;
  EXPECT_TRUE(cookies->cookies(*platform::http::URL::fromString(baseURL)).empty());
  EXPECT_EQ(cookies->cookies(*platform::http::URL::fromString("http://elsewhere.test/")).size(), 2u);

  Connector::sharedInstance()->setCSRFToken("c-000");
  call(HTTPMethod::GET, std::string(baseURL) + "moved/");
  ASSERT_EQ(elsewhere.requestCount(), 2u);
  EXPECT_EQ(server.requests().back().header("X-API-Key"), "k-456");
  for (const auto& abroad : elsewhere.requests()) {
    for (const char* name : {"Authorization", "X-API-Key", "X-API-PublicId", "X-CSRFToken"}) {
      EXPECT_FALSE(abroad.hasHeader(name)) << name;
    }
    EXPECT_EQ(abroad.header("User-Agent"), server.requests().back().header("User-Agent"));
  }

  // Nor does a cookie the other host sets for a whole public suffix that the API host shares ("com").
  routeHttpHost("api.talvaren.com", "127.0.0.1", server.port());
  routeHttpHost("landing.elsewhere.com", "127.0.0.1", elsewhere.port());
  redirectToCookies("/wide/", "http://landing.elsewhere.com/wide/", "wide; Domain=com; Path=/");
  server.reply("GET", "/items/", 200, "[]");
  Connector::sharedInstance()->setCSRFToken(std::nullopt);
  EXPECT_FALSE(call(HTTPMethod::GET, "http://api.talvaren.com/wide/")->error);
  EXPECT_EQ(Connector::sharedInstance()->CSRFToken(), std::nullopt);
  EXPECT_TRUE(cookies->cookies(*platform::http::URL::fromString("http://api.talvaren.com/")).empty());
  call(HTTPMethod::GET, "http://api.talvaren.com/items/");
  EXPECT_EQ(server.requests().back().path, "/items/");
  EXPECT_FALSE(server.requests().back().hasHeader("Cookie"));
  EXPECT_FALSE(server.requests().back().hasHeader("X-CSRFToken"));
}

TEST_F(ConnectorTest, RequestsThatCannotBeBuiltSendNothing) {
  server.reply("GET", "/", 200, "{}");
  server.reply("PUT", "/workouts/my id/", 200, "{}");

  auto badURL = call(HTTPMethod::PUT, std::string(baseURL) + "workouts/my id/", json{{"notes", "x"}});
  ASSERT_TRUE(badURL->error);
  EXPECT_EQ(badURL->error->domain, "NSURLErrorDomain");
  EXPECT_EQ(badURL->error->code, -1000);
  EXPECT_TRUE(anyLineContains(console.lines(), "Error Domain=NSURLErrorDomain Code=-1000"));

  auto badParameters = call(HTTPMethod::POST, std::string(baseURL) + "items/", json{{"name", "\xFF\xFE"}});
  ASSERT_TRUE(badParameters->error);
  EXPECT_EQ(badParameters->error->domain, platform::http::HTTPRequestErrorDomain);
  EXPECT_EQ(badParameters->error->code, 1);

  Connector::setAPIBaseURL("");
  testkit::resetConnectorEndpoints();
  auto unset = call(HTTPMethod::DELETE, Connector::APIBaseURL() + "auth/me/");
  ASSERT_TRUE(unset->error);
  EXPECT_EQ(unset->error->code, -1000);

  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ConnectorTest, EndpointTextsAreFixedAtFirstUse) {
  const std::string first = Connector::loginEndpoint();
  EXPECT_EQ(first, std::string(baseURL) + "auth/login/");
  testkit::routeHttpHost("other.talvaren.test", "127.0.0.1", server.port());
  Connector::setAPIBaseURL("http://other.talvaren.test/");
  EXPECT_EQ(Connector::loginEndpoint(), first);
  EXPECT_EQ(Connector::logoutEndpoint(), "http://other.talvaren.test/auth/logout/");

  // A refusal at the new base's login path is not the login endpoint as fixed: the token has expired.
  server.reply("POST", "/auth/login/", 401, "");
  call(HTTPMethod::POST, "http://other.talvaren.test/auth/login/");
  EXPECT_EQ(tokenExpiredPosts, 1);
  call(HTTPMethod::POST, first);
  EXPECT_EQ(tokenExpiredPosts, 1);
}

namespace {

/// A subclass that changes what the pipeline asks of the receiver.
class ReceiverConnector : public Connector {
 public:
  explicit ReceiverConnector(std::shared_ptr<platform::http::SessionManager> session) : session_(std::move(session)) {}

  platform::Keychain keychain() const override { return platform::Keychain("SarvikDesign.Tests"); }
  std::shared_ptr<platform::http::SessionManager> manager() const override { return session_; }
  bool isLoggedInToken() const override { return false; }
  void verboseRequest(const std::string& url, const std::optional<Parameters>&, const HTTPHeaders&, HTTPMethod,
                      const std::optional<Bytes>&) const override {
    logged.push_back(url);
  }

  mutable std::vector<std::string> logged;

 private:
  std::shared_ptr<platform::http::SessionManager> session_;
};

}  // namespace

TEST_F(ConnectorTest, ReceiverAnswersForItsOwnStepsWhileCredentialsComeFromTheSharedClient) {
  server.reply("GET", "/items/", 200, "{}");
  storeCredentials();
  auto configuration = platform::http::SessionConfiguration::defaultConfiguration();
  configuration.httpAdditionalHeaders = {{"X-Session", "receiver"}};
  auto receiver = std::make_shared<ReceiverConnector>(std::make_shared<platform::http::SessionManager>(configuration));

  call(HTTPMethod::GET, std::string(baseURL) + "items/", std::nullopt, false, std::nullopt, std::nullopt, receiver);
  auto sent = server.requests().back();
  EXPECT_EQ(sent.header("X-Session"), "receiver");
  EXPECT_FALSE(sent.hasHeader("Authorization"));
  EXPECT_EQ(sent.header("X-API-Key"), "k-456");
  EXPECT_EQ(sent.header("X-CSRFToken"), "c-000");
  EXPECT_EQ(receiver->logged, std::vector<std::string>{std::string(baseURL) + "items/"});
  EXPECT_TRUE(receiver->isLoggedInAPIKey());
}
