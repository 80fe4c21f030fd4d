// Login, signup, token refresh, logout and the account operations against the loopback service.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "ServiceFixture.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using nlohmann::json;

namespace {

class ConnectorAccountTest : public ServiceFixture {};

platform::Image smallImage() {
  auto image = platform::Image::blank(4, 3);
  image->setPixel(1, 1, {255, 0, 0, 255});
  return *image;
}

}  // namespace

TEST_F(ConnectorAccountTest, LoginToLogoutSession) {
  // The login data are stored when the request leaves, the token before the host hears of the reply.
  auto [login, loginDone] = recorder();
  std::optional<APIToken> tokenSeenByHost;
  client().postLoginUser({{"email", email}, {"password", password}, {"device", "x"}},
                         [&, loginDone = loginDone](std::optional<Error> error, std::optional<ServerReply> reply) {
                           tokenSeenByHost = client().token();
                           loginDone(std::move(error), std::move(reply));
                         });
  EXPECT_EQ(client().getLoginDataFromKeychain(), std::pair(std::string(email), std::string(password)));
  waitFor(login);
  ASSERT_FALSE(login->error);
  ASSERT_TRUE(tokenSeenByHost);
  EXPECT_EQ(tokenSeenByHost->token(), (*login->json())["token"]);
  EXPECT_FALSE(requests().back().hasHeader("Authorization"));
  EXPECT_EQ(client().CSRFToken(), "csrf-" + std::to_string(pk));

  // The account under the token: read, change, e-mail, preferences.
  console.clear();
  auto me = run([&](auto done) { client().getMe(done); });
  EXPECT_TRUE(logged(std::string(baseURL) + "auth/me/"));
  ASSERT_TRUE(me->json());
  auto user = User::fromJSON(*me->json());
  ASSERT_TRUE(user);
  EXPECT_EQ(user->pk, pk);
  EXPECT_EQ(user->profile->hasBand, false);  // a JSON false, not a number
  Connector::saveOwnerToDefaults(*user);
  EXPECT_EQ(Connector::getOwnerId(), pk);

  user->lastName = "Berg";
  user->profile->weight = "72,5";
  auto updated = run([&](auto done) { client().updateMe(*user, done); });
  EXPECT_FALSE(updated->error);
  EXPECT_TRUE(logged("user json: " + dictionaryDescription(*user->toJSON())));
  EXPECT_EQ(lastRequest().method, "PUT");
  EXPECT_EQ(service.user(pk)["last_name"], "Berg");
  EXPECT_EQ(service.user(pk)["profile"]["body_weight"], "72.5");

  user->email = "ann.berg@example.test";
  run([&](auto done) { client().updateEmail(*user, done); });
  EXPECT_TRUE(logged("user email json: " + dictionaryDescription(*user->toJSON())));
  EXPECT_EQ(json::parse(lastRequest().body)["first_name"], "Ann");  // the whole record goes
  EXPECT_EQ(service.user(pk)["email"], "ann.berg@example.test");

  service.addPreference(pk, json{{"section", "ui"},
                                 {"name", "units"},
                                 {"identifier", "pref/1"},
                                 {"defaultValue", "metric"},
                                 {"value", "metric"}});
  auto preferences = run([&](auto done) { client().getUserPreferences(done); });
  EXPECT_TRUE(logged(std::string(baseURL) + "auth/me/preferences/"));
  auto preference = PreferencesData::fromJSON((*preferences->json())[0]);
  ASSERT_TRUE(preference);
  preference->value = "imperial";
  auto patched = run([&](auto done) { client().patchUserPreferences(*preference, done); });
  EXPECT_FALSE(patched->error);
  EXPECT_EQ(lastRequest().target, "/auth/me/preferences/pref%2F1/");

  // Logout: the host's completion still sees the CSRF token; afterwards it is gone, the token stays.
  std::optional<std::string> csrfSeenByHost;
  auto [logout, logoutDone] = recorder();
  client().postLogoutUser([&, logoutDone = logoutDone](std::optional<Error> error, std::optional<ServerReply> reply) {
    csrfSeenByHost = client().CSRFToken();
    logoutDone(std::move(error), std::move(reply));
  });
  waitFor(logout);
  EXPECT_FALSE(logout->error);
  EXPECT_TRUE(lastRequest().hasHeader("Authorization"));
  EXPECT_TRUE(csrfSeenByHost);
  EXPECT_FALSE(client().CSRFToken());
  EXPECT_TRUE(client().token());

  // The service dropped the token: the next request is refused and the host is told.
  auto refused = run([&](auto done) { client().getMe(done); });
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->code, 401);
  EXPECT_EQ(tokenExpiredPosts, 1);
}

TEST_F(ConnectorAccountTest, CredentialsFromEachScheme) {
  // Incomplete login data are not stored; a refused login stores no token and posts no expiry.
  auto refused = run([&](auto done) { client().postLoginUser({{"email", email}}, done); });
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->code, 400);
  EXPECT_FALSE(client().getLoginDataFromKeychain());
  EXPECT_FALSE(client().token());

  // The API-key login sends only what is stored, and keeps the host's key with the reply's public id.
  auto keyed = run([&](auto done) {
    client().postLoginUserAPIKey("host-key", {{"email", email}, {"password", password}}, done);
  });
  ASSERT_FALSE(keyed->error);
  EXPECT_FALSE(lastRequest().hasHeader("X-API-Key"));
  ASSERT_TRUE(client().apiKey());
  EXPECT_EQ(client().apiKey()->apiKey, "host-key");
  EXPECT_EQ(client().apiKey()->publicId(), "public-" + std::to_string(pk));
  EXPECT_FALSE(client().token());

  // Signup with a key sends it; signup with "password" alone stores no login data.
  client().logout();
  auto signup = run([&](auto done) {
    client().postSignupUserAPIKey("signup-key", {{"email", "bo@example.test"}, {"password1", "pw"}}, done);
  });
  EXPECT_EQ(signup->error, std::nullopt);
  EXPECT_EQ(lastRequest().header("X-API-Key"), "signup-key");
  EXPECT_EQ(client().getLoginDataFromKeychain(), std::pair(std::string("bo@example.test"), std::string("pw")));
  client().logout();
  auto noPassword1 = run([&](auto done) {
    client().postSignupUser({{"email", "cy@example.test"}, {"password", "pw"}}, done);
  });
  EXPECT_TRUE(noPassword1->error);
  EXPECT_FALSE(client().getLoginDataFromKeychain());
  EXPECT_EQ(tokenExpiredPosts, 0);

  // An expired token is refused with 401; refreshing it (a login URL: no expiry notice) restores access.
  login();
  const auto old = client().token()->token();
  service.expireTokens();
  auto expired = run([&](auto done) { client().getTracking(done); });
  EXPECT_EQ(expired->error->code, 401);
  EXPECT_EQ(tokenExpiredPosts, 1);
  auto refreshed = run([&](auto done) { client().refreshToken(old, done); });
  ASSERT_FALSE(refreshed->error);
  EXPECT_NE(client().token()->token(), old);
  auto reset = run([&](auto done) { client().postPasswordReset(email, done); });
  EXPECT_FALSE(reset->error);
  EXPECT_EQ(json::parse(lastRequest().body), json({{"email", email}}));
  EXPECT_FALSE(lastRequest().hasHeader("Authorization"));

  // deleteMe: DELETE of the account URL under the token, nothing logged before it; the account is gone.
  console.clear();
  auto deleted = run([&](auto done) { client().deleteMe(done); });
  EXPECT_FALSE(deleted->error);
  EXPECT_EQ(lastRequest().method, "DELETE");
  EXPECT_EQ(lastRequest().target, "/auth/me/");
  EXPECT_TRUE(lastRequest().hasHeader("Authorization"));
  EXPECT_FALSE(logged(std::string(baseURL) + "auth/me/"));
  EXPECT_EQ(run([&](auto done) { client().getMe(done); })->error->code, 401);

  client().saveAPIKey("k", "p");
  EXPECT_EQ(client().apiKey()->apiKey, "k");
  Connector::saveOwnerToDefaults(User());
  EXPECT_EQ(Connector::getOwnerId(), 0);
}

TEST_F(ConnectorAccountTest, ALoginWhoseTokenCannotBeStoredCompletesAndSaysWhy) {
  // A file where the keychains folder belongs: the keychain refuses every change.
  const auto blocked = platform::AppHome::keychainsPath();
  { std::ofstream(blocked) << "in the way"; }
  console.clear();
  auto login = run([&](auto done) { client().postLoginUser({{"email", email}, {"password", password}}, done); });
  EXPECT_FALSE(login->error);
  ASSERT_TRUE(login->json());
  const std::string token = (*login->json())["token"];
  EXPECT_FALSE(client().token());

  const auto lines = console.lines();
  std::vector<std::string> refusals;
  std::copy_if(lines.begin(), lines.end(), std::back_inserter(refusals),
               [](const std::string& line) { return line.find("could not be stored") != std::string::npos; });
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_EQ(refusals[0].rfind("Connector: the token could not be stored in the keychain: ", 0), 0u) << refusals[0];
  EXPECT_NE(refusals[0].find("a file with the same name already exists"), std::string::npos) << refusals[0];
  for (const auto& line : lines) {
    EXPECT_EQ(line.find(token), std::string::npos) << line;
    EXPECT_EQ(line.find(password), std::string::npos) << line;
  }
}

TEST_F(ConnectorAccountTest, PhotoUploadReportsProgressAndOutcome) {
  struct Calls {
    int progress = 0;
    int finals = 0;
    std::optional<Error> error;
    std::optional<UploadOutcome> outcome;
  };
  auto upload = [&](Calls& calls) {
    client().updateMeImage(smallImage(), [&calls](std::optional<Error> error, std::optional<ServerReply> reply) {
      if (reply && reply->progress()) {
        EXPECT_FALSE(error);
        ++calls.progress;
        return;
      }
      ++calls.finals;
      calls.error = error;
      if (reply && reply->uploadOutcome()) calls.outcome = *reply->uploadOutcome();
    });
    ASSERT_TRUE(time.runUntil([&] { return calls.finals > 0; }, std::chrono::seconds(60)));
    time.runUntil([] { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(calls.finals, 1);
  };

  // Without an API key the service refuses the form: the JSON refusal is the outcome, and the error says so.
  login();
  Calls refused;
  upload(refused);
  ASSERT_TRUE(refused.error);
  EXPECT_EQ(refused.error->domain, "");
  EXPECT_EQ(refused.error->code, 401);
  EXPECT_NE(refused.error->localizedDescription().find("credentials were not provided"), std::string::npos);
  ASSERT_TRUE(refused.outcome && refused.outcome->value());
  EXPECT_FALSE(lastRequest().hasHeader("Authorization"));

  // With the API key: one multipart content type, the key pair, the PNG part, progress then the outcome.
  auto keyed = run([&](auto done) {
    client().postLoginUserAPIKey("", {{"email", email}, {"password", password}}, done);
  });
  client().saveAPIKey((*keyed->json())["X-API-Key"], (*keyed->json())["X-API-PublicId"]);
  Calls accepted;
  upload(accepted);
  EXPECT_FALSE(accepted.error);
  EXPECT_GE(accepted.progress, 1);
  ASSERT_TRUE(accepted.outcome && accepted.outcome->value());
  EXPECT_EQ((*accepted.outcome->value())["profile"]["mugshot"], "/media/mugshots/" + std::to_string(pk) + ".png");
  const auto sent = lastRequest();
  EXPECT_EQ(sent.headerCount("Content-Type"), 1u);
  EXPECT_EQ(sent.header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);
  EXPECT_EQ(sent.header("X-API-PublicId"), "public-" + std::to_string(pk));
  const auto photo = service.photo(pk);
  ASSERT_TRUE(photo);
  EXPECT_EQ(photo->fileName, "ic_user_photo.png");
  EXPECT_EQ(platform::Image::fromPNG(Bytes(photo->content.begin(), photo->content.end())), smallImage());

  // A transport failure reaches the error argument too.
  injectHttpTransportFault(host, HttpTransportFault::cannotConnect);
  Calls failed;
  upload(failed);
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(failed.error->code, -1004);
  EXPECT_TRUE(failed.outcome && failed.outcome->isFailure());
}
