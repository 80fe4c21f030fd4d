// The retrieval facade's Fitbit road against the loopback Fitbit Web API and OAuth 2.0 page: sleep logs
// made into records, monthly activity and calories, the one re-authorisation, failures by class with the
// latch, a missing delegate and a released facade.

#include <gtest/gtest.h>

#include <limits>

#include "RetrievalFixture.hpp"
#include "importers/AuthorizationFixture.hpp"
#include "importers/FitBitConnector.hpp"
#include "support/FitBitWebAPI.hpp"
#include "talvaren/testing/FitBit.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using Events = std::vector<std::string>;
using nlohmann::json;

namespace {

// The virtual clock starts at 2023-11-14 22:13:20 UTC; imports start on the 13th.
constexpr double kNov13Afternoon = 1699833600 + 15 * 3600;
constexpr auto kMax = std::numeric_limits<std::int64_t>::max();

class FitBitRetrievalTest : public AuthorizationFixture, protected RetrievalSetup {
 protected:
  FitBitRetrievalTest() {
    setFitBitAPIBaseURL(api.baseURL());
    resetFitBitConnector();
    facade_->confgurationFitbit("fitbit-id", "fitbit-secret");
  }
  ~FitBitRetrievalTest() override {
    resetFitBitConnector();
    setFitBitAPIBaseURL(std::nullopt);
  }

  void seedSeries() {
    api.series(
        "distance", "2023-11-13", "2023-11-14",
        json::array({{{"dateTime", "2023-11-13"}, {"value", "3.5"}}, {{"dateTime", "2023-11-14"}, {"value", "1"}}}));
    api.series("steps", "2023-11-13", "2023-11-14",
               json::array(
                   {{{"dateTime", "2023-11-13"}, {"value", "7000"}}, {{"dateTime", "2023-11-14"}, {"value", "2000"}}}));
    api.series("calories", "2023-11-13", "2023-11-14", json::array({{{"dateTime", "2023-11-14"}, {"value", "2100"}}}));
  }

  /// A token the API accepts, stored as the authorisation stores it.
  void useToken(const std::string& token) {
    api.acceptToken(token);
    FitBitManager::sharedInstance()->setOauthToken(token);
  }

  /// The connector has re-authorised once in this process: every later refusal is an error.
  static void spendTheReauthorisation() { FitBitConnector::sharedInstance()->setAuthorizationWasNeeded(true); }

  Events settle(std::size_t count) {
    waitFor([&] { return trace_.events().size() >= count; });
    time.runReady();
    return trace_.events();
  }

  ScopedTimeZone zone_{"UTC"};
  FitBitWebAPI api{&fitbit};
};

TEST_F(FitBitRetrievalTest, ImportsSleepLogsAndMonthlySeriesThroughTheOneReauthorisation) {
  api.sleepLogs(json::array({{{"dateOfSleep", "2023-11-14"}, {"minutesAsleep", 420}, {"logId", 7}},
                             {{"dateOfSleep", "2023-11-14"}, {"type", "classic"}},
                             {{"dateOfSleep", "2023-11-14"}, {"minutesAsleep", kMax}, {"logId", 9}}}));
  facade_->getFitBitSleepData(Date(kNov13Afternoon), trace_.completeWithResult());
  EXPECT_EQ(settle(2), (Events{"sleep fitbit 3 @main", "complete(true) @main"}));
  EXPECT_EQ(api.refusals(), 1u) << "no token at first: refused, authorised, repeated";
  const auto& sleeps = delegate_->sleeps;
  ASSERT_EQ(sleeps.size(), 3u) << "logs of one day stay apart";
  EXPECT_EQ(sleeps[0].value, 25200);
  EXPECT_EQ(sleeps[0].externalId, "7");
  EXPECT_EQ(sleeps[0].percentage, 0);
  EXPECT_EQ(sleeps[0].date, "2023-11-14");
  EXPECT_EQ(sleeps[0].externalProvider, "fit_bit_api");
  EXPECT_EQ(RetrieveDataAttributs::selectProvider(RetrieveDataService::fitbit), "fit_bit_api");
  EXPECT_EQ(sleeps[1].value, 0) << "no minutesAsleep is 0 seconds";
  EXPECT_EQ(sleeps[1].externalId, "2023-11-14") << "no logId: today's day text";
  EXPECT_EQ(sleeps[2].value, kMax) << "seconds held at Int64's bound";
  EXPECT_FALSE(sleeps[0].created());
  EXPECT_TRUE(linesInOrder(
      console.lines(), {"RetrieveDataConfiguration FitBit getFitBitSleepData for day: 2023-11-13 15:00:00 +0000",
                        "FitBit sleep: FitBit sleep data - date of sleep = Optional(\"2023-11-14\"), duration = nil, "
                        "minutesAsleep = Optional(420), type = nil, logId = Optional(7)"}));

  seedSeries();
  trace_.clear();
  facade_->getActivityData(Date(kNov13Afternoon), RetrieveDataService::fitbit, trace_.complete());
  EXPECT_EQ(settle(2), (Events{"activity fitbit 2 @main", "complete @main"}));
  facade_->getCaloriesData(Date(kNov13Afternoon), RetrieveDataService::fitbit, trace_.complete());
  EXPECT_EQ(settle(4),
            (Events{"activity fitbit 2 @main", "complete @main", "calories fitbit 1 @main", "complete @main"}));
  EXPECT_EQ(delegate_->activities.at(0).steps, 7000);
  EXPECT_EQ(delegate_->calories.at(0).value, 2100);
  EXPECT_TRUE(console.contains("RetrieveDataConfiguration getActivityData from date: 2023-11-13 15:00:00 +0000"));
  EXPECT_TRUE(
      console.contains("RetrieveDataConfiguration FitBit getFitBitCaloriesData for day: 2023-11-13 15:00:00 +0000"));
  EXPECT_TRUE(api.problems().empty()) << api.problems().front();
}

TEST_F(FitBitRetrievalTest, FailuresByClassLatchOnlyWhatIsNotALostConnection) {
  seedSeries();
  spendTheReauthorisation();
  // A refusal after the process's one re-authorisation: reported with its status, the provider latched.
  facade_->getActivityData(Date(kNov13Afternoon), RetrieveDataService::fitbit, trace_.complete());
  EXPECT_EQ(settle(2), (Events{"handlerError errorFitbitData(401) activity @main", "complete @main"}));
  EXPECT_TRUE(facade_->fitBitReturnedErrorCode());
  EXPECT_TRUE(
      console.contains("RetrieveDataConfiguration FitBit getFitBitActivityData error: The operation couldn\u2019t "
                       "be completed. (FitBit.TalvarenIOS.error error 401.)"));

  // Latched: the dispatch ends at once with no request; a direct path call still asks.
  trace_.clear();
  const auto refused = api.refusals();
  facade_->getExternalSleepData(Date(kNov13Afternoon), RetrieveDataService::fitbit, trace_.complete());
  EXPECT_EQ(trace_.events(), (Events{"complete @caller"}));
  facade_->getFitBitSleepData(Date(kNov13Afternoon), trace_.completeWithResult());
  EXPECT_EQ(settle(3),
            (Events{"complete @caller", "handlerError errorFitbitData(401) sleep @main", "complete(false) @main"}));
  EXPECT_EQ(api.refusals(), refused + 1);

  // The configuration clears the latch and leaves the connector's flag alone.
  facade_->confgurationFitbit("fitbit-id", "fitbit-secret");
  EXPECT_FALSE(facade_->fitBitReturnedErrorCode());
  EXPECT_TRUE(FitBitConnector::sharedInstance()->authorizationWasNeeded());

  // A server error on calories prints its error in its optional form first.
  useToken("t1");
  api.seriesReply("calories", "2023-11-13", "2023-11-14", 500, R"({"errors":[]})");
  trace_.clear();
  facade_->getFitBitCaloriesData(Date(kNov13Afternoon), trace_.complete());
  EXPECT_EQ(settle(2), (Events{"handlerError errorFitbitData(500) calories @main", "complete @main"}));
  EXPECT_TRUE(
      linesInOrder(console.lines(), {"RetrieveDataConfiguration getFitBitCaloriesData error = Optional(Error "
                                     "Domain=TalvarenKit.HTTPValidationError Code=500 \"Response status code was "
                                     "unacceptable: 500.\")",
                                     "RetrieveDataConfiguration FitBit getFitBitCaloriesData error: Response "
                                     "status code was unacceptable: 500."}));
  facade_->setFitBitReturnedErrorCode(false);

  // Lost or timed-out connections are only logged, on every road; the latch stays clear.
  trace_.clear();
  console.clear();
  injectHttpTransportFault("127.0.0.1", HttpTransportFault::timedOut);
  facade_->getFitBitSleepData(Date(kNov13Afternoon), trace_.completeWithResult());
  EXPECT_EQ(settle(1), (Events{"complete(false) @main"}));
  injectHttpTransportFault("127.0.0.1", HttpTransportFault::notConnectedToInternet);
  facade_->getFitBitActivityData(Date(kNov13Afternoon), trace_.complete());
  EXPECT_EQ(settle(2), (Events{"complete(false) @main", "complete @main"}));
  EXPECT_TRUE(linesInOrder(console.lines(), {"RetrieveDataConfiguration getFitBitSleepData error = Error "
                                             "Domain=NSURLErrorDomain Code=-1001 \"The request timed out.\"",
                                             "RetrieveDataConfiguration no internet connection",
                                             "RetrieveDataConfiguration no internet connection"}));
  for (const auto& line : console.lines()) EXPECT_EQ(line.find("getFitBitActivityData error"), std::string::npos);
  EXPECT_FALSE(facade_->fitBitReturnedErrorCode());
}

TEST_F(FitBitRetrievalTest, EmptyAnswersNoDelegateAndAReleasedFacade) {
  useToken("t1");
  api.series("distance", "2023-11-13", "2023-11-14", json::array());
  api.series("steps", "2023-11-13", "2023-11-14", json::array());
  facade_->getFitBitSleepData(Date(kNov13Afternoon), trace_.completeWithResult());
  EXPECT_EQ(settle(2), (Events{"sleep fitbit 0 @main", "complete(false) @main"}));
  facade_->getFitBitActivityData(Date(kNov13Afternoon), trace_.complete());
  EXPECT_EQ(settle(4),
            (Events{"sleep fitbit 0 @main", "complete(false) @main", "activity fitbit 0 @main", "complete @main"}));

  // Without a delegate the records are dropped and `complete` says the same.
  trace_.clear();
  api.sleepLogs(json::array({{{"dateOfSleep", "2023-11-14"}, {"minutesAsleep", 400}}}));
  facade_->setDelegate({});
  facade_->getFitBitSleepData(Date(kNov13Afternoon), trace_.completeWithResult());
  EXPECT_EQ(settle(1), (Events{"complete(true) @main"}));

  trace_.clear();
  spendTheReauthorisation();
  FitBitManager::sharedInstance()->setOauthToken("stale");
  auto own = RetrieveDataConfiguration::make();
  own->setDelegate(delegate_);
  own->getFitBitCaloriesData(Date(kNov13Afternoon), trace_.complete());
  own.reset();
  EXPECT_EQ(settle(1), (Events{"complete @main"})) << "no delegate call and no latch without the facade";
}

}  // namespace
