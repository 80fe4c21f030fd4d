// The Garmin connector against a loopback Health API and OAuth 1.0a provider: signing, refusals and
// re-authorisation, day windows and whole imports.

#include <algorithm>
#include <mutex>
#include <thread>

#include "AuthorizationFixture.hpp"
#include "importers/ConnectorMocks.hpp"
#include "support/GarminHealthAPI.hpp"
#include "support/OAuth1Provider.hpp"
#include "talvaren/platform/Random.hpp"
#include "talvaren/testing/Clock.hpp"
#include "talvaren/testing/Garmin.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using platform::http::HTTPMethod;
using Kind = GarminHealthAPI::Kind;

namespace {

Date localDate(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour, std::int64_t minute) {
  return *Calendar::current().dateFromComponents(
      {.year = year, .month = month, .day = day, .hour = hour, .minute = minute, .second = 0});
}

/// The (start, end) of a day request's upload window.
std::pair<std::int64_t, std::int64_t> window(const std::string& url) {
  const auto start = url.find("uploadStartTimeInSeconds=") + 25;
  const auto end = url.find("&uploadEndTimeInSeconds=");
  return {std::stoll(url.substr(start, end - start)), std::stoll(url.substr(end + 24))};
}

TEST(GarminDayTable, StepsByCalendarDayUpToTodayAndTheMonthLimit) {
  ScopedTimeZone berlin("Europe/Berlin");
  auto connector = std::make_shared<GarminConnectorMock>();
  {
    ScopedFixedClock clock(localDate(2024, 4, 2, 9, 0).timeIntervalSince1970());
    // Across the spring change: 14:30 every day, today's included although it is still ahead.
    const auto table = connector->prepareDateTable(localDate(2024, 3, 30, 14, 30));
    ASSERT_EQ(table.size(), 4u);
    for (std::size_t i = 0; i < table.size(); ++i) {
      EXPECT_EQ(table[i], localDate(2024, 3, 30 + static_cast<std::int64_t>(i), 14, 30)) << i;
    }
    connector->getActivityByDay(table[1], {});
    const auto [start, end] = window(*connector->url());
    EXPECT_EQ(start, localDate(2024, 3, 31, 0, 0).timeIntervalSince1970());
    EXPECT_EQ(end - start, 23 * 3600 - 1);
    connector->getSleepByDay(table[0], {});
    EXPECT_EQ(window(*connector->url()).second - window(*connector->url()).first, 86399);

    EXPECT_EQ(connector->prepareDateTable(localDate(2024, 4, 2, 23, 59)).size(), 1u);
    EXPECT_TRUE(connector->prepareDateTable(localDate(2024, 4, 3, 0, 0)).empty());
  }
  {
    ScopedFixedClock clock(localDate(2024, 10, 28, 12, 0).timeIntervalSince1970());
    const auto table = connector->prepareDateTable(localDate(2024, 10, 26, 2, 30));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1], localDate(2024, 10, 27, 2, 30));
    connector->getCaloriesByDay(table[1], {});
    EXPECT_EQ(window(*connector->url()).second - window(*connector->url()).first, 25 * 3600 - 1);
  }
  {
    ScopedFixedClock clock(localDate(2024, 3, 15, 12, 0).timeIntervalSince1970());
    // The limit is Jan 31 + one month (pinned to Feb 29) - one day: Feb 28 at 00:00.
    EXPECT_EQ(connector->prepareDateTable(localDate(2024, 1, 31, 0, 0)).size(), 29u);
    const auto table = connector->prepareDateTable(localDate(2024, 1, 31, 14, 30));
    ASSERT_EQ(table.size(), 28u);
    EXPECT_EQ(table.back(), localDate(2024, 2, 27, 14, 30));
  }
}

class GarminConnectorTest : public AuthorizationFixture {
 protected:
  struct ImportOutcome {
    int calls = 0;
    bool onMain = true;
    std::optional<Error> error;
    std::optional<GarminConnector::Records> records;
  };
  struct CallOutcome {
    int calls = 0;
    std::optional<Error> error;
    std::optional<JSON> value;
  };

  GarminConnectorTest() {
    setGarminAPIBaseURL(api.baseURL());
    connector->setConsumerKey("garmin-key");
    connector->setConsumerSecret("garmin-secret");
  }
  ~GarminConnectorTest() override {
    time.runUntil([] { return false; }, std::chrono::milliseconds(20));
    for (const auto& outcome : imports_) EXPECT_TRUE(outcome->calls == 1 && outcome->onMain);
    for (const auto& outcome : calls_) EXPECT_EQ(outcome->calls, 1);
    resetGarminConnector();
    resetGarminAPIBaseURL();
  }

  GarminConnector::ImportCompletion recorder(const std::shared_ptr<ImportOutcome>& outcome) {
    imports_.push_back(outcome);
    return [outcome](std::optional<Error> error, std::optional<GarminConnector::Records> records) {
      ++outcome->calls;
      outcome->onMain = outcome->onMain && platform::DispatchQueue::isMainQueueCurrent();
      outcome->error = std::move(error);
      outcome->records = std::move(records);
    };
  }

  std::shared_ptr<ImportOutcome> import(GarminImportKind kind, const Date& start) {
    auto outcome = std::make_shared<ImportOutcome>();
    onMain([this, kind, start, completion = recorder(outcome)] { connector->importData(kind, start, completion); });
    return outcome;
  }

  /// One GET of `url` through the pipeline, waited for.
  std::shared_ptr<CallOutcome> call(const std::string& url, HTTPMethod method = HTTPMethod::GET,
                                    bool skipHeaders = false) {
    auto outcome = std::make_shared<CallOutcome>();
    calls_.push_back(outcome);
    onMain([=, this] {
      connector->performAPICall(method, url, std::nullopt, platform::http::JSONEncoding::defaultEncoding(), skipHeaders,
                                [outcome](std::optional<Error> error, std::optional<JSON> value) {
                                  ++outcome->calls;
                                  outcome->error = std::move(error);
                                  outcome->value = std::move(value);
                                });
    });
    waitFor([&] { return outcome->calls > 0; });
    return outcome;
  }

  void authorizeFirst() {
    auto granted = authorizeGarmin();
    waitFor(granted);
    ASSERT_TRUE(granted->granted);
  }

  std::string dayURL(Kind kind) const {
    const std::string endpoint = kind == Kind::dailies      ? GarminConnector::garminActivityEndpoint()
                                 : kind == Kind::activities ? GarminConnector::garminCaloriesEndpoint()
                                                            : GarminConnector::garminSleepEndpoint();
    return endpoint + "?uploadStartTimeInSeconds=1699920000&uploadEndTimeInSeconds=1700006399";
  }

  GarminHealthAPI api{"garmin-key", "garmin-secret", [this](const std::string& token) -> std::optional<std::string> {
                        const auto tokens = garmin.accessTokens();
                        const auto found = tokens.find(token);
                        return found == tokens.end() ? std::nullopt : std::optional(found->second);
                      }};
  std::shared_ptr<GarminConnector> connector = GarminConnector::sharedInstance();

 private:
  std::vector<std::shared_ptr<ImportOutcome>> imports_;
  std::vector<std::shared_ptr<CallOutcome>> calls_;
};

TEST_F(GarminConnectorTest, ImportsOfEachKindRunSignedThroughOneReauthorisation) {
  ScopedTimeZone utc("UTC");
  // Now is 2023-11-14 22:13:20 UTC; the import starts yesterday at 14:30: two days, two windows.
  const Date start(1699885800);
  const std::pair<std::int64_t, std::int64_t> yesterday{1699833600, 1699919999}, today{1699920000, 1700006399};
  api.add(Kind::dailies, 1699840000, {{"calendarDate", "2023-11-13"}, {"steps", 1000}, {"distanceInMeters", 1609.344}});
  api.add(Kind::dailies, 1699930000, {{"calendarDate", "2023-11-14"}, {"steps", 2000}});
  api.add(Kind::activities, 1699840000,
          {{"summaryId", "a"},
           {"activeKilocalories", 120},
           {"startTimeInSeconds", 1699830000},
           {"startTimeOffsetInSeconds", 0}});
  api.add(Kind::activities, 1699930000,
          {{"summaryId", "b"}, {"activeKilocalories", 80}, {"calendarDate", "2023-11-14"}});
  api.add(Kind::sleeps, 1699850000,
          {{"calendarDate", "2023-11-13"}, {"durationInSeconds", 25000}, {"startTimeInSeconds", 1699830000}});
  api.add(Kind::sleeps, 1700006399, {{"calendarDate", "2023-11-14"}, {"durationInSeconds", 3000}});
  api.add(Kind::sleeps, 1700006400, {{"calendarDate", "2023-11-15"}, {"durationInSeconds", 1}});

  const std::pair<GarminImportKind, Kind> kinds[] = {{GarminImportKind::activity, Kind::dailies},
                                                     {GarminImportKind::calories, Kind::activities},
                                                     {GarminImportKind::sleep, Kind::sleeps}};
  for (const auto& [kind, apiKind] : kinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    GarminManager::sharedInstance()->setOauthCredential(std::nullopt);
    const auto before = api.served().size();
    const auto requestsBefore = api.server().requestCount();
    auto outcome = import(kind, start);
    waitFor([&] { return outcome->calls > 0; });
    ASSERT_FALSE(outcome->error);
    ASSERT_TRUE(outcome->records);

    // Unsigned first: refused, authorised once, repeated signed with the new token.
    const auto served = api.served();
    ASSERT_EQ(served.size(), before + 3);
    EXPECT_EQ(served[before].status, 401);
    EXPECT_FALSE(api.server().requests()[requestsBefore].hasHeader("Authorization"));
    const auto token = GarminManager::sharedInstance()->oauthCredential()->oauthToken;
    for (std::size_t i = 1; i < 3; ++i) {
      EXPECT_EQ(served[before + i].kind, apiKind);
      EXPECT_EQ(served[before + i].status, 200);
      EXPECT_EQ(served[before + i].token, token);
      EXPECT_EQ(std::pair(served[before + i].start, served[before + i].end), i == 1 ? yesterday : today);
    }

    if (kind == GarminImportKind::activity) {
      const auto& days = std::get<std::vector<ActivitySDK>>(*outcome->records);
      ASSERT_EQ(days.size(), 2u);
      EXPECT_EQ(days[0].date, "2023-11-13");
      EXPECT_EQ(days[0].miles, "1.00");
      EXPECT_EQ(days[1].steps, 2000);
      EXPECT_EQ(days[1].externalProvider, "garmin_api");
    } else if (kind == GarminImportKind::calories) {
      const auto& days = std::get<std::vector<CaloriesSDK>>(*outcome->records);
      ASSERT_EQ(days.size(), 2u);
      EXPECT_EQ(days[0].date, "2023-11-12");
      EXPECT_EQ(days[0].value, 120);
      EXPECT_EQ(days[1].externalId, "b");
    } else {
      const auto& days = std::get<std::vector<SleepSDK>>(*outcome->records);
      ASSERT_EQ(days.size(), 2u);
      EXPECT_EQ(days[0].value, 25000);
      EXPECT_EQ(days[1].date, "2023-11-14");
      EXPECT_EQ(days[1].percentage, 0);
    }
  }
  EXPECT_EQ(garmin.accessTokens().size(), 3u);
  EXPECT_EQ(api.problems(), std::vector<std::string>(3, "unknown or missing access token"));

  for (const auto* line :
       {"Garmin need authorization !!!", "Garmin auth: <redacted>", "401", "200", "get",
        "Garmin Connector response.result.value = nil", "Garmin Connector response.result.error = nil"}) {
    EXPECT_TRUE(console.contains(line)) << line;
  }
  for (const auto& line : console.lines()) {
    for (const auto& [token, secret] : garmin.accessTokens()) {
      EXPECT_EQ(line.find(token), std::string::npos) << line;
      EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
    EXPECT_EQ(line.find("garmin-secret"), std::string::npos) << line;
  }
}

TEST_F(GarminConnectorTest, SignsGetsOnlyWithTheOAuthValuesInTheHeader) {
  authorizeFirst();
  api.server().reply("GET", "/plain", 200, "[]");
  api.server().reply("POST", "/plain", 200, "{}");

  const auto url =
      GarminConnector::garminSleepEndpoint() + "?uploadStartTimeInSeconds=1000&uploadEndTimeInSeconds=2000";
  EXPECT_TRUE(call(url)->value);
  EXPECT_TRUE(call(url)->value);
  ASSERT_TRUE(api.problems().empty()) << api.problems().front();
  const auto requests = api.server().requests();
  ASSERT_GE(requests.size(), 2u);
  const auto& signedRequest = requests[requests.size() - 2];
  EXPECT_EQ(signedRequest.target,
            "/wellness-api/rest/sleeps?uploadStartTimeInSeconds=1000&uploadEndTimeInSeconds=2000");
  EXPECT_EQ(signedRequest.header("Content-Type"), "application/json;charset=UTF-8");
  EXPECT_EQ(signedRequest.header("Accept"), "application/json");
  EXPECT_EQ(signedRequest.header("Accept-Language"), "en_US");
  const auto header = signedRequest.header("Authorization");
  EXPECT_NE(header.find("oauth_timestamp=\"1700000000\""), std::string::npos) << header;
  EXPECT_NE(header.find("oauth_version=\"1.0\""), std::string::npos) << header;
  EXPECT_EQ(header.find("upload"), std::string::npos) << header;
  auto nonce = [](const std::string& value) {
    const auto at = value.find("oauth_nonce=\"") + 13;
    return value.substr(at, value.find('"', at) - at);
  };
  EXPECT_EQ(nonce(header).size(), 42u);
  EXPECT_EQ(nonce(header).find_first_not_of(platform::random::alphanumerics), std::string::npos);
  // Same second, same timestamp; a new nonce every call.
  EXPECT_NE(nonce(requests.back().header("Authorization")), nonce(header));
  EXPECT_NE(requests.back().header("Authorization").find("oauth_timestamp=\"1700000000\""), std::string::npos);

  // The query is signed item by item as it is sent: a repeated name, an item without "=", "+" as a blank
  // and an escaped "+" (RFC 5849 3.4.1.3). The provider's own check decides.
  const auto secret = GarminManager::sharedInstance()->oauthCredential()->oauthTokenSecret;
  OAuth1Verifier verifier("garmin-key", "garmin-secret");
  std::mutex verdictMutex;
  std::optional<std::string> verdict;
  api.server().on("GET", "/odd", [&](const httplib::Request& request, httplib::Response& response) {
    std::string problem;
    const bool good = verifier.verify(request, api.server().url(request.path), secret, problem).has_value();
    std::lock_guard lock(verdictMutex);
    verdict = good ? "" : problem;
    response.set_content("[]", "application/json");
  });
  EXPECT_TRUE(call(api.server().url("/odd?b=2&a=3&a=1&flag&q=x+y&p=%2B"))->value);
  {
    std::lock_guard lock(verdictMutex);
    EXPECT_EQ(verdict, "");
  }

  // Other methods and calls without headers go out unsigned; the spare header hook stays empty.
  EXPECT_TRUE(connector->authorizationHeaders().empty());
  EXPECT_TRUE(call(api.server().url("/plain"), HTTPMethod::POST)->value);
  EXPECT_FALSE(api.server().requests().back().hasHeader("Authorization"));
  EXPECT_EQ(api.server().requests().back().header("Accept-Language"), "en_US");
  EXPECT_TRUE(call(api.server().url("/plain"), HTTPMethod::GET, true)->value);
  for (const auto* name : {"Authorization", "Content-Type", "Accept", "Accept-Language"}) {
    EXPECT_FALSE(api.server().requests().back().hasHeader(name)) << name;
  }
}

TEST_F(GarminConnectorTest, RepliesPrintWithoutSecretsAndDeepOnesFailAsNoJSON) {
  api.server().reply("GET", "/secret", 200, R"({"access_token":"g-secret-1","summaries":[]})");
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "[";
  deep.append(100000, ']');
  api.server().reply("GET", "/deep", 200, deep);

  // The caller gets the value as it came; the console shows it redacted, in the four bare lines.
  const auto answer = call(api.server().url("/secret"), HTTPMethod::GET, true);
  ASSERT_TRUE(answer->value);
  EXPECT_EQ((*answer->value)["access_token"], "g-secret-1");
  const auto lines = console.lines();
  const auto status = std::find(lines.rbegin(), lines.rend(), "200");
  ASSERT_NE(status, lines.rend());
  EXPECT_EQ(std::vector<std::string>(status.base() - 1, lines.end()),
            (std::vector<std::string>{"200", R"(["access_token": "<redacted>", "summaries": []])", "get",
                                      "Garmin Connector response.result.error = nil"}));
  for (const auto& line : lines) EXPECT_EQ(line.find("g-secret-1"), std::string::npos) << line;

  // A reply nested 100,000 deep is the HTTP layer's JSON error, not a crash.
  const auto refused = call(api.server().url("/deep"), HTTPMethod::GET, true);
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->domain, "NSCocoaErrorDomain");
  EXPECT_EQ(refused->error->code, 3840);
  EXPECT_FALSE(refused->value);
}

TEST_F(GarminConnectorTest, ASecondRefusalInARowFailsAndOnlyAnOrdinaryReplyRearms) {
  authorizeFirst();
  const auto url = dayURL(Kind::dailies);
  auto expectConnectorError = [](const CallOutcome& outcome, std::int64_t code) {
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, "SarvikDesing.TalvarenIOS.error");
    EXPECT_EQ(outcome.error->code, code);
    EXPECT_EQ(outcome.error->userInfo, nlohmann::json::object());
    EXPECT_FALSE(outcome.value);
  };

  // Refused, authorised, refused again: the second status, one authorisation.
  api.refuseNext(401);
  api.refuseNext(403);
  expectConnectorError(*call(url), 403);
  EXPECT_EQ(garmin.accessTokens().size(), 2u);
  EXPECT_TRUE(connector->authorizationWasNeeded());
  // While the flag holds, a refusal fails at once.
  api.refuseNext(400);
  expectConnectorError(*call(url), 400);
  EXPECT_EQ(garmin.accessTokens().size(), 2u);

  // A success clears it; the next refusal authorises again and the repeat succeeds.
  EXPECT_TRUE(call(url)->value);
  EXPECT_FALSE(connector->authorizationWasNeeded());
  api.refuseNext(401);
  EXPECT_TRUE(call(url)->value);
  EXPECT_EQ(garmin.accessTokens().size(), 3u);

  // A refused authorisation completes with neither error nor data, and the flag stays.
  GarminManager::sharedInstance()->disableApiConnection();
  api.refuseNext(401);
  const auto refused = call(url);
  EXPECT_FALSE(refused->error || refused->value);
  EXPECT_TRUE(connector->authorizationWasNeeded());

  // Any other status clears the flag too; a failed day ends the import with its error.
  api.refuseNext(500);
  auto outcome = import(GarminImportKind::calories, Date::now());
  waitFor([&] { return outcome->calls > 0; });
  ASSERT_TRUE(outcome->error);
  EXPECT_EQ(outcome->error->code, 500);
  EXPECT_FALSE(outcome->records);
  EXPECT_FALSE(connector->authorizationWasNeeded());
}

TEST_F(GarminConnectorTest, OverlappingImportsRunOneAfterTheOtherAndEachCompletesOnce) {
  ScopedTimeZone utc("UTC");
  authorizeFirst();
  const Date start(1699885800);
  api.add(Kind::sleeps, 1699850000, {{"calendarDate", "2023-11-13"}, {"durationInSeconds", 25000}});
  api.add(Kind::activities, 1699930000,
          {{"summaryId", "b"}, {"activeKilocalories", 80}, {"calendarDate", "2023-11-14"}});

  auto sleep = std::make_shared<ImportOutcome>();
  auto calories = std::make_shared<ImportOutcome>();
  auto later = std::make_shared<ImportOutcome>();
  std::vector<std::string> order;
  auto noting = [&order](std::string name, GarminConnector::ImportCompletion completion) {
    return [&order, name, completion](std::optional<Error> error, std::optional<GarminConnector::Records> records) {
      order.push_back(name);
      completion(std::move(error), std::move(records));
    };
  };
  onMain([&] {
    connector->importData(GarminImportKind::sleep, start, noting("sleep", recorder(sleep)));
    connector->importData(GarminImportKind::calories, start, noting("calories", recorder(calories)));
  });
  // From another thread: started on the main queue, behind the two.
  std::thread([&, completion = noting("later", recorder(later))] {
    connector->importData(GarminImportKind::sleep, Date::now().addingTimeInterval(86400), completion);
  }).join();
  waitFor([&] { return later->calls > 0; });

  EXPECT_EQ(order, (std::vector<std::string>{"sleep", "calories", "later"}));
  const auto& sleeps = std::get<std::vector<SleepSDK>>(*sleep->records);
  ASSERT_EQ(sleeps.size(), 1u);
  EXPECT_EQ(sleeps[0].value, 25000);
  const auto& days = std::get<std::vector<CaloriesSDK>>(*calories->records);
  ASSERT_EQ(days.size(), 1u);
  EXPECT_EQ(days[0].value, 80);
  // A start after today: an empty table, (none, none).
  EXPECT_FALSE(later->records || later->error);
  const auto served = api.served();
  ASSERT_EQ(served.size(), 4u);
  EXPECT_EQ(served[1].kind, Kind::sleeps);
  EXPECT_EQ(served[2].kind, Kind::activities);
}

}  // namespace
