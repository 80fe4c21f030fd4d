#include <gtest/gtest.h>

#include "talvaren/api/Connector.hpp"
#include "talvaren/testing/Connector.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
using nlohmann::json;

namespace {

class CredentialsTest : public ::testing::Test {
 protected:
  CredentialsTest() { testkit::resetConnector(); }
  ~CredentialsTest() override { testkit::resetConnector(); }

  platform::Keychain keychain() const { return connector->keychain(); }
  static Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

  testkit::TemporaryAppHome home;
  std::shared_ptr<Connector> connector = Connector::sharedInstance();
};

}  // namespace

TEST_F(CredentialsTest, RecordsReadTheServersRepliesStrictly) {
  auto token = APIToken::fromJSON(
      json{{"token", "t1"}, {"user_id", 7}, {"email", {"Enter a valid e-mail."}}, {"password1", {"Too short."}}});
  ASSERT_TRUE(token);
  EXPECT_EQ(token->userId(), 7);
  EXPECT_EQ(token->email(), std::vector<std::string>{"Enter a valid e-mail."});
  EXPECT_EQ(token->password(), std::vector<std::string>{"Too short."});
  EXPECT_EQ(token->header(), (platform::http::HTTPHeaders{{"Authorization", "Token t1"}}));
  EXPECT_EQ(token->toJSON(), json({{"token", "t1"}}));
  EXPECT_FALSE(APIToken::fromJSON(json{{"token", 42}}));
  EXPECT_FALSE(APIToken::fromJSON(json{{"email", {"Enter a valid e-mail."}}}));

  auto key = APIKey::fromJSON(json{{"X-API-Key", "k"}, {"X-API-PublicId", "p"}, {"user_id", 3}});
  ASSERT_TRUE(key);
  EXPECT_EQ(key->header(), (platform::http::HTTPHeaders{{"X-API-Key", "k"}, {"X-API-PublicId", "p"}}));
  EXPECT_EQ(key->toJSON(), json({{"X-API-Key", "k"}, {"X-API-PublicId", "p"}}));
  EXPECT_FALSE(APIKey::fromJSON(json{{"X-API-Key", "k"}}));
}

TEST_F(CredentialsTest, StoredCredentialsRoundTripAndAreRemovedIndependently) {
  connector->saveTokenToKeychain(*APIToken::fromJSON(json{{"token", "t1"}, {"user_id", 7}}));
  connector->saveApiKeyToKeychain(APIKey("k", "p", 3));
  EXPECT_EQ(keychain().getString("ConnectorToken"), R"({"token":"t1"})");

  auto token = connector->token();
  ASSERT_TRUE(token);
  EXPECT_EQ(token->token(), "t1");
  EXPECT_FALSE(token->userId());
  ASSERT_TRUE(connector->apiKey());
  EXPECT_EQ(connector->apiKey()->header(), (platform::http::HTTPHeaders{{"X-API-Key", "k"}, {"X-API-PublicId", "p"}}));
  EXPECT_FALSE(connector->apiKey()->userId());

  connector->removeApiKeyFromKeyChain();
  EXPECT_FALSE(connector->isLoggedInAPIKey());
  EXPECT_TRUE(connector->isLoggedInToken());

  // Assigning a token, even a new one, deletes the stored one.
  connector->setToken(APIToken("t2"));
  EXPECT_FALSE(connector->token());

  connector->saveLoginDataToKey("a@b.c", "");
  EXPECT_EQ(connector->getLoginDataFromKeychain(), (std::pair<std::string, std::string>("a@b.c", "")));
  (void)keychain().remove("UserPassword");
  EXPECT_FALSE(connector->getLoginDataFromKeychain());
}

TEST_F(CredentialsTest, DamagedItemsReadAsAbsent) {
  for (std::string_view damaged :
       {"", "not json", "[1,2]", "null", R"({"token":5})", "{\"token\":\"t\"", R"({"X-API-Key":"k"})", "\xFF\xFE{}"}) {
    (void)keychain().set(bytes(damaged), "ConnectorToken");
    (void)keychain().set(bytes(damaged), "ConnectorAPI");
    EXPECT_FALSE(connector->token()) << damaged;
    EXPECT_FALSE(connector->apiKey()) << damaged;
    EXPECT_FALSE(connector->isLoggedInToken()) << damaged;
    EXPECT_FALSE(connector->isLoggedInAPIKey()) << damaged;
  }
  // Each read decodes what the item holds now: a valid item after damaged ones, and the other way round.
  for (const char* token : {"t1", "t2", "", "t1"}) {
    if (*token != '\0') {
      connector->saveTokenToKeychain(APIToken(token));
    } else {
      (void)keychain().set(bytes("{}"), "ConnectorToken");
    }
    auto stored = connector->token();
    EXPECT_EQ(stored ? stored->token() : "", token);
  }
}

namespace {

/// Records the steps of logout; its own keychain is the test service, while the login state is the
/// shared client's.
class RecordingConnector : public Connector {
 public:
  platform::Keychain keychain() const override { return platform::Keychain("SarvikDesign.Tests"); }
  void setToken(const std::optional<APIToken>& token) override {
    steps.push_back("setToken");
    Connector::setToken(token);
  }
  void setApiKey(const std::optional<APIKey>& key) override {
    steps.push_back("setApiKey");
    Connector::setApiKey(key);
  }
  void removeTokenFromKeyChain() const override {
    steps.push_back("removeTokenFromKeyChain");
    Connector::removeTokenFromKeyChain();
  }
  void removeApiKeyFromKeyChain() const override {
    steps.push_back("removeApiKeyFromKeyChain");
    Connector::removeApiKeyFromKeyChain();
  }
  void removeLoginDataFromKeychain() const override {
    steps.push_back("removeLoginDataFromKeychain");
    Connector::removeLoginDataFromKeychain();
  }

  mutable std::vector<std::string> steps;
};

}  // namespace

TEST_F(CredentialsTest, LogoutForgetsEveryCredentialInOrderAndKeepsTheCSRFToken) {
  auto recording = std::make_shared<RecordingConnector>();
  recording->saveTokenToKeychain(APIToken("t"));
  recording->saveApiKeyToKeychain(APIKey("k", "p"));
  recording->saveLoginDataToKey("a@b.c", "pw");
  connector->saveTokenToKeychain(APIToken("shared"));
  connector->setCSRFToken("c");

  // The login state is always the shared client's.
  EXPECT_TRUE(recording->isLoggedInToken());
  EXPECT_FALSE(recording->isLoggedInAPIKey());

  recording->logout();
  EXPECT_EQ(recording->steps,
            (std::vector<std::string>{"setToken", "removeTokenFromKeyChain", "removeLoginDataFromKeychain",
                                      "removeTokenFromKeyChain", "setApiKey", "removeApiKeyFromKeyChain",
                                      "removeApiKeyFromKeyChain"}));
  EXPECT_TRUE(recording->keychain().allKeys().empty());
  EXPECT_TRUE(connector->token());

  connector->logout();
  EXPECT_FALSE(connector->isLoggedInToken());
  EXPECT_FALSE(connector->isLoggedInAPIKey());
  EXPECT_EQ(connector->CSRFToken(), "c");
}
