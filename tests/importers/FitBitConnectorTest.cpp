// The Fitbit request pipeline and endpoints against a loopback Web API: URLs, headers, the request log,
// the one re-authorisation of the process, and the failures that must not start one.
#include <gtest/gtest.h>

#include "importers/ConnectorMocks.hpp"
#include "importers/FitBitFixture.hpp"
#include "talvaren/importers/FitBitSleep.hpp"

namespace talvaren::testkit {
namespace {

using nlohmann::json;

/// Keeps the headers of the latest request as the pipeline hands them to its log.
class CapturingConnector : public FitBitConnector {
 public:
  void verboseRequest(const std::string& url, const std::optional<Parameters>& parameters, const HTTPHeaders& headers,
                      HTTPMethod method) const override {
    seen = headers;
    FitBitConnector::verboseRequest(url, parameters, headers, method);
  }
  mutable HTTPHeaders seen;
};

class FitBitConnectorTest : public FitBitFixture {
 protected:
  std::shared_ptr<FitBitConnector> connector() { return FitBitConnector::sharedInstance(); }

  std::size_t requestsTo(const std::string& path) const {
    std::size_t count = 0;
    for (const auto& request : const_cast<FitBitWebAPI&>(api).server().requests()) count += request.path == path;
    return count;
  }
};

TEST_F(FitBitConnectorTest, SleepRequestCarriesFixedHeadersBearerTokenAndRedactedLog) {
  FitBitManager::sharedInstance()->setOauthToken("t1");
  api.acceptToken("t1");
  api.sleepLogs({{{"dateOfSleep", "2019-03-05"}, {"logId", 1}},
                 {{"dateOfSleep", "2019-03-07"}, {"logId", 3}},
                 {{"dateOfSleep", "2019-03-06"}, {"logId", 2}}});

  const auto answer = send([&](auto completion) { connector()->getSleepByDate(day(2019, 3, 5, 23), completion); });
  EXPECT_EQ(answer->error, std::nullopt);
  ASSERT_TRUE(answer->value);
  const auto logs = FitBitSleep::parserSleep(answer->value);
  ASSERT_TRUE(logs);
  ASSERT_EQ(logs->size(), 2u);
  EXPECT_EQ((*logs)[0].logId, 2);

  const auto request = api.server().requests().back();
  EXPECT_EQ(request.target, "/1.2/user/-/sleep/list.json?afterDate=2019-03-05&sort=asc&limit=60&offset=0");
  EXPECT_EQ(request.header("Authorization"), "Bearer t1");
  EXPECT_EQ(request.header("Content-Type"), "application/json; charset=UTF-8");
  EXPECT_EQ(request.header("Accept-Language"), "en_US");
  EXPECT_FALSE(connector()->authorizationWasNeeded());

  EXPECT_TRUE(console.contains("Request: " + api.baseURL() +
                               "1.2/user/-/sleep/list.json?afterDate=2019-03-05&sort=asc&limit=60&offset=0"));
  EXPECT_TRUE(console.contains("Method: get"));
  EXPECT_TRUE(consoleShows("\"Authorization\": \"<redacted>\""));
  for (const auto& line : console.lines()) EXPECT_EQ(line.find("t1\""), std::string::npos) << line;
  // The four reply lines: bare status and value, the method, the absent error.
  EXPECT_TRUE(console.contains("200"));
  EXPECT_TRUE(console.contains("get"));
  EXPECT_TRUE(console.contains("FitBit response.result.error = nil"));
}

TEST_F(FitBitConnectorTest, EndpointUrlsAndMonthlyRanges) {
  // Virtual now is 2023-11-14 22:13:20 UTC. The mock records the request and answers before returning.
  auto mock = std::make_shared<FitBitConnectorMock>();
  const std::string base = api.baseURL() + "1.2/user/-/activities/";
  struct Case {
    Date date;
    const char* range;
  };
  for (const auto& c :
       {Case{day(2019, 3, 5), "2019-03-05/2019-03-31"}, Case{day(2019, 3, 31, 23), "2019-03-31/2019-03-31"},
        Case{day(2023, 11, 2), "2023-11-02/2023-11-14"},
        // After now the range ends before it starts and is sent as built.
        Case{day(2023, 12, 5), "2023-12-05/2023-11-14"}}) {
    bool answered = false;
    mock->getMothlyDistance(c.date, [&](auto error, auto value) { answered = !error && !value; });
    EXPECT_TRUE(answered);
    EXPECT_EQ(mock->url(), base + "distance/date/" + c.range + ".json");
    EXPECT_EQ(mock->method(), platform::http::HTTPMethod::GET);
  }
  mock->getMothlySteps(day(2019, 2, 10), {});
  EXPECT_EQ(mock->url(), base + "steps/date/2019-02-10/2019-02-28.json");
  mock->getMothlyCalories(day(2019, 2, 10), {});
  EXPECT_EQ(mock->url(), base + "calories/date/2019-02-10/2019-02-28.json");
  {
    // Day texts follow the device zone: 2019-03-31 12:00 UTC is already 1 April at UTC+14.
    ScopedTimeZone kiritimati("Pacific/Kiritimati");
    mock->getMothlyCalories(day(2019, 3, 31), {});
    EXPECT_EQ(mock->url(), base + "calories/date/2019-04-01/2019-04-30.json");
    mock->getSleepByDate(day(2019, 3, 31), {});
    EXPECT_EQ(mock->url(),
              api.baseURL() + "1.2/user/-/sleep/list.json?afterDate=2019-04-01&sort=asc&limit=60&offset=0");
  }
  EXPECT_TRUE(console.lines().empty());

  // The real provider's address unless a test replaced it.
  setFitBitAPIBaseURL(std::nullopt);
  mock->getSleepByDate(day(2019, 3, 31), {});
  EXPECT_EQ(mock->url(),
            "https://api.fitbit.com/1.2/user/-/sleep/list.json?afterDate=2019-03-31&sort=asc&limit=60&offset=0");
}

TEST_F(FitBitConnectorTest, FirstRefusalAuthorisesOnceAndRepeatsLaterOnesFail) {
  api.series("distance", "2019-03-05", "2019-03-31", {{{"dateTime", "2019-03-05"}, {"value", "1.2"}}});
  const std::string path = "/1.2/user/-/activities/distance/date/2019-03-05/2019-03-31.json";

  // No token stored: refused, authorised through the sign-in page, repeated with the new token.
  const auto granted = send([&](auto completion) { connector()->getMothlyDistance(day(2019, 3, 5), completion); });
  EXPECT_EQ(granted->error, std::nullopt);
  ASSERT_TRUE(granted->value);
  EXPECT_EQ((*granted->value)["activities-distance"][0]["value"], "1.2");
  EXPECT_TRUE(connector()->authorizationWasNeeded());
  EXPECT_TRUE(console.contains("FitBit need authorization !!!"));
  const auto token = FitBitManager::sharedInstance()->oauthToken();
  ASSERT_TRUE(token);
  EXPECT_EQ(api.server().requests().back().header("Authorization"), "Bearer " + *token);
  EXPECT_EQ(requestsTo(path), 2u);
  EXPECT_EQ(api.refusals(), 1u);
  const auto tokensHandedOut = fitbit.tokens().size();

  // The flag lives for the process: a later refusal ends with the connector's error, even with new keys.
  FitBitManager::sharedInstance()->setOauthToken("revoked");
  connector()->setConsumerKey("fitbit-id");
  const auto refused = send([&](auto completion) { connector()->getMothlyDistance(day(2019, 3, 5), completion); });
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->domain, "FitBit.TalvarenIOS.error");
  EXPECT_EQ(refused->error->code, 401);
  EXPECT_EQ(refused->value, std::nullopt);
  EXPECT_EQ(fitbit.tokens().size(), tokensHandedOut);
  EXPECT_EQ(requestsTo(path), 3u);
}

TEST_F(FitBitConnectorTest, RefusedAuthorisationCompletesWithNeitherErrorNorData) {
  fitbit.deny(true);
  const auto answer = send([&](auto completion) { connector()->getSleepByDate(day(2019, 3, 5), completion); });
  EXPECT_EQ(answer->error, std::nullopt);
  EXPECT_EQ(answer->value, std::nullopt);
  EXPECT_TRUE(connector()->authorizationWasNeeded());
  EXPECT_EQ(api.refusals(), 1u);
}

TEST_F(FitBitConnectorTest, FailuresOtherThanRefusalsStartNoAuthorisation) {
  FitBitManager::sharedInstance()->setOauthToken("t1");
  api.acceptToken("t1");
  const std::string start = "2019-03-05", end = "2019-03-31";

  // A 400 and a 2xx body that is no JSON are the HTTP layer's errors.
  api.seriesReply("steps", start, end, 400, R"({"errors":[{"errorType":"validation"}]})");
  api.seriesReply("calories", start, end, 200, "<html>maintenance</html>");
  for (const auto* resource : {"steps", "calories"}) {
    const auto answer = send([&](auto completion) {
      resource == std::string("steps") ? connector()->getMothlySteps(day(2019, 3, 5), completion)
                                       : connector()->getMothlyCalories(day(2019, 3, 5), completion);
    });
    ASSERT_TRUE(answer->error) << resource;
    EXPECT_NE(answer->error->domain, "FitBit.TalvarenIOS.error");
    EXPECT_FALSE(connector()->authorizationWasNeeded());
  }
  EXPECT_TRUE(consoleShows("FitBit need authorization error: "));
  EXPECT_FALSE(console.contains("FitBit need authorization !!!"));

  // A 401 without a body takes the refusal road, tested by status first.
  connector()->setAuthorizationWasNeeded(true);
  api.seriesReply("distance", start, end, 401, "");
  auto refused = send([&](auto completion) { connector()->getMothlyDistance(day(2019, 3, 5), completion); });
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->code, 401);
  EXPECT_EQ(refused->error->domain, "FitBit.TalvarenIOS.error");

  // A stored empty token sends "Bearer " with nothing after it (the server trims the blank away, so the
  // headers are taken where a subclass sees them).
  FitBitManager::sharedInstance()->setOauthToken("");
  auto capturing = std::make_shared<CapturingConnector>();
  capturing->setAuthorizationWasNeeded(true);
  refused = send([&](auto completion) { capturing->getSleepByDate(day(2019, 3, 5), completion); });
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->code, 401);
  EXPECT_EQ(capturing->seen["Authorization"], "Bearer ");

  // skipHeaders sends no header of the kit's at all, the token neither.
  FitBitManager::sharedInstance()->setOauthToken("t1");
  console.clear();
  refused = send([&](auto completion) {
    connector()->performAPICall(platform::http::HTTPMethod::GET, api.baseURL() + "1.2/user/-/sleep/list.json",
                                std::nullopt, platform::http::JSONEncoding::defaultEncoding(), true, completion);
  });
  ASSERT_TRUE(refused->error);
  const auto bare = api.server().requests().back();
  EXPECT_FALSE(bare.hasHeader("Authorization"));
  EXPECT_FALSE(bare.hasHeader("Accept-Language"));
  EXPECT_TRUE(console.contains("Headers: [:]"));
  EXPECT_EQ(fitbit.tokens().size(), 0u);
}

}  // namespace
}  // namespace talvaren::testkit
