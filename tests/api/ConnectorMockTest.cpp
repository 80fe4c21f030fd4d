#include <gtest/gtest.h>

#include "ConnectorFixture.hpp"
#include "talvaren/api/ConnectorMock.hpp"
#include "talvaren/records/RecoverySDK.hpp"
#include "talvaren/records/WorkoutSDK.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using nlohmann::json;
using platform::http::HTTPMethod;

namespace {

class ConnectorMockTest : public ConnectorFixture {
 protected:
  /// A completion that counts its calls and checks it got (none, none).
  Connector::Completion counting() {
    return [this](std::optional<Error> error, std::optional<ServerReply> reply) {
      ++completions;
      EXPECT_FALSE(error);
      EXPECT_FALSE(reply);
    };
  }

  std::shared_ptr<ConnectorMock> mock = std::make_shared<ConnectorMock>();
  int completions = 0;
};

}  // namespace

TEST_F(ConnectorMockTest, RecordsTheLastRequestAndCompletesBeforeReturning) {
  EXPECT_FALSE(mock->method);
  EXPECT_FALSE(mock->url);
  EXPECT_EQ(mock->parameters, json::object());

  RecoverySDK entry;
  entry.uuid = "r7";
  entry.sleepQuality = 3;
  mock->postRecovery(entry, counting());
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(mock->method, HTTPMethod::POST);
  EXPECT_EQ(mock->url, std::string(baseURL) + "recovery/");
  EXPECT_EQ(mock->parameters, *entry.toJSON());

  mock->getWorkout("u1", counting());
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(mock->method, HTTPMethod::GET);
  EXPECT_EQ(mock->url, std::string(baseURL) + "workouts/u1/");
  EXPECT_EQ(mock->parameters, json::object());

  // A refused record changes nothing and completes nothing.
  mock->putWorkout(WorkoutSDK(), counting());
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(mock->url, std::string(baseURL) + "workouts/u1/");

  // Called through the double's own type, the base's default arguments still apply.
  mock->performAPICallDev(HTTPMethod::GET, "dev-url", json{{"device", "kelo"}});
  EXPECT_EQ(mock->url, "dev-url");
  EXPECT_EQ(mock->parameters, json({{"device", "kelo"}}));
  mock->performAPICall(HTTPMethod::DELETE, "any-url", std::nullopt);
  EXPECT_EQ(mock->method, HTTPMethod::DELETE);

  time.runUntil([] { return false; }, std::chrono::milliseconds(20));
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ConnectorMockTest, CredentialsGoToTheTestKeychainOnly) {
  const platform::Keychain real("SarvikDesign.TalvarenIOS");
  const platform::Keychain tests("SarvikDesign.Tests");
  EXPECT_EQ(Connector::sharedInstance()->keychain().service(), real.service());
  Connector::sharedInstance()->saveApiKeyToKeychain(APIKey("real-key", "real-id"));

  mock->saveTokenToKeychain(APIToken("mock-token"));
  mock->saveLoginDataToKey("a@b.c", "pw");
  EXPECT_TRUE(tests.contains("ConnectorToken"));
  EXPECT_FALSE(real.contains("ConnectorToken"));
  ASSERT_TRUE(mock->token());
  EXPECT_EQ(mock->token()->token(), "mock-token");
  // The login questions ask the shared client, whatever the object.
  EXPECT_FALSE(mock->isLoggedInToken());
  EXPECT_TRUE(mock->isLoggedInAPIKey());

  mock->logout();
  EXPECT_TRUE(tests.allKeys().empty());
  EXPECT_TRUE(real.contains("ConnectorAPI"));
}
