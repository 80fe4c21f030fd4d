// The retrieval facade's Garmin road against the loopback Garmin Health API and OAuth 1.0a provider:
// records of each kind through one re-authorisation, failures by class with the latch, overlapping
// imports from several threads, a missing delegate and a released facade.

#include <gtest/gtest.h>

#include <thread>

#include "RetrievalFixture.hpp"
#include "importers/AuthorizationFixture.hpp"
#include "importers/GarminConnector.hpp"
#include "support/GarminHealthAPI.hpp"
#include "talvaren/testing/Garmin.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using Events = std::vector<std::string>;
using Kind = GarminHealthAPI::Kind;

namespace {

// The virtual clock starts at 2023-11-14 22:13:20 UTC.
constexpr double kNov13 = 1699833600;  // UTC midnights
constexpr double kNov14 = 1699920000;
constexpr double kYesterday = kNov13 + 15 * 3600;

class GarminRetrievalTest : public AuthorizationFixture, protected RetrievalSetup {
 protected:
  GarminRetrievalTest() {
    setGarminAPIBaseURL(api.baseURL());
    resetGarminConnector();
    facade_->confgurationGarmin("garmin-key", "garmin-secret");
  }
  ~GarminRetrievalTest() override {
    resetGarminConnector();
    resetGarminAPIBaseURL();
  }

  /// Two days of each kind, uploaded on the day they describe.
  void seedTwoDays() {
    for (double day : {kNov13, kNov14}) {
      const auto upload = static_cast<std::int64_t>(day) + 8 * 3600;
      const std::string date = day == kNov13 ? "2023-11-13" : "2023-11-14";
      const bool first = day == kNov13;
      api.add(Kind::sleeps, upload,
              {{"calendarDate", date},
               {"startTimeInSeconds", upload - 30000},
               {"durationInSeconds", first ? 25200 : 27000}});
      api.add(Kind::dailies, upload,
              {{"calendarDate", date}, {"steps", first ? 8000 : 9000}, {"distanceInMeters", 5000.0}});
      api.add(Kind::activities, upload,
              {{"calendarDate", date}, {"activeKilocalories", first ? 120 : 80}, {"summaryId", date + "-run"}});
    }
  }

  /// Runs the main queue until the trace holds `count` events.
  Events settle(std::size_t count) {
    waitFor([&] { return trace_.events().size() >= count; });
    time.runReady();
    return trace_.events();
  }

  std::size_t served() const { return api.served().size(); }

  ScopedTimeZone zone_{"UTC"};
  GarminHealthAPI api{"garmin-key", "garmin-secret", [this](const std::string& token) -> std::optional<std::string> {
                        const auto tokens = garmin.accessTokens();
                        const auto found = tokens.find(token);
                        if (found == tokens.end()) return std::nullopt;
                        return found->second;
                      }};
};

TEST_F(GarminRetrievalTest, ImportsEachKindDayByDayThroughOneReauthorisation) {
  seedTwoDays();
  facade_->getSleepData(Date(kYesterday), RetrieveDataService::garmin, trace_.complete());
  EXPECT_EQ(settle(2), (Events{"sleep garmin 2 @main", "complete @main"}));
  ASSERT_EQ(delegate_->sleeps.size(), 2u);
  EXPECT_EQ(delegate_->sleeps[0].date, "2023-11-13");
  EXPECT_EQ(delegate_->sleeps[0].value, 25200);
  EXPECT_EQ(delegate_->sleeps[1].value, 27000);
  EXPECT_EQ(delegate_->sleeps[1].externalProvider, "garmin_api");
  EXPECT_EQ(RetrieveDataAttributs::selectProvider(RetrieveDataService::garmin), "garmin_api");
  // Unsigned at first: refused, authorised once, then signed day after day.
  const auto requests = api.served();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].status, 401);
  EXPECT_FALSE(requests[0].token);
  EXPECT_EQ(requests[1].start, static_cast<std::int64_t>(kNov13));
  EXPECT_EQ(requests[2].start, static_cast<std::int64_t>(kNov14));
  EXPECT_TRUE(requests[2].token);
  EXPECT_TRUE(
      linesInOrder(console.lines(), {"RetrieveDataConfiguration getSleepData from date: 2023-11-13 15:00:00 +0000",
                                     "RetrieveDataConfiguration Garmin getGarminSleepData for day: 2023-11-13 "
                                     "15:00:00 +0000"}));

  trace_.clear();
  facade_->getActivityData(Date(kYesterday), RetrieveDataService::garmin, trace_.complete());
  facade_->getCaloriesData(Date(kYesterday), RetrieveDataService::garmin, trace_.complete());
  EXPECT_EQ(settle(4),
            (Events{"activity garmin 2 @main", "complete @main", "calories garmin 2 @main", "complete @main"}));
  EXPECT_EQ(delegate_->activities.at(1).steps, 9000);
  EXPECT_EQ(delegate_->activities.at(1).miles, "3.11");
  EXPECT_EQ(delegate_->calories.at(0).value, 120);
  EXPECT_EQ(delegate_->calories.at(0).externalId, "2023-11-13-run");
  EXPECT_EQ(api.problems(), (Events{"unknown or missing access token"})) << "only the first, unsigned request";
}

TEST_F(GarminRetrievalTest, NoRecordsHandOverAnEmptyListAndADayAfterTodayEndsBeforeTheCallReturns) {
  facade_->getGarminSleepData(Date(kYesterday), trace_.completeWithResult());
  EXPECT_EQ(settle(2), (Events{"sleep garmin 0 @main", "complete(false) @main"}));
  trace_.clear();
  facade_->getGarminCaloriesData(Date(kYesterday), trace_.complete());
  EXPECT_EQ(settle(2), (Events{"calories garmin 0 @main", "complete @main"}));

  trace_.clear();
  const auto before = served();
  onMain([&] {
    facade_->getGarminSleepData(Date(kNov14 + 2 * 86400), trace_.completeWithResult());
    EXPECT_EQ(trace_.events(), (Events{"complete(false) @main"})) << "completed inside the call";
  });
  EXPECT_TRUE(console.contains("RetrieveDataConfiguration Decoding garmin sleep error"));
  EXPECT_EQ(served(), before);
}

TEST_F(GarminRetrievalTest, FailuresByClassLatchOnlyWhatIsNotALostConnection) {
  seedTwoDays();
  // A refusal that survives the re-authorisation: reported with its status, and the provider latched.
  api.refuseNext(401, 2);
  facade_->getGarminSleepData(Date(kNov14), trace_.completeWithResult());
  EXPECT_EQ(settle(2), (Events{"handlerError errorGarminData(401) sleep @main", "complete(false) @main"}));
  EXPECT_TRUE(facade_->garminReturnedErrorCode());

  // Latched: the dispatch ends at once with no request; a direct path call still fetches.
  trace_.clear();
  auto before = served();
  facade_->getSleepData(Date(kNov14), RetrieveDataService::garmin, trace_.complete());
  EXPECT_EQ(trace_.events(), (Events{"complete @caller"}));
  facade_->getGarminSleepData(Date(kNov14), trace_.completeWithResult());
  EXPECT_EQ(settle(3), (Events{"complete @caller", "sleep garmin 1 @main", "complete(true) @main"}));
  EXPECT_EQ(served(), before + 1);

  // A server error latches too; the configuration clears the latch.
  facade_->confgurationGarmin("garmin-key", "garmin-secret");
  trace_.clear();
  api.refuseNext(500);
  facade_->getCaloriesData(Date(kNov14), RetrieveDataService::garmin, trace_.complete());
  EXPECT_EQ(settle(2), (Events{"handlerError errorGarminData(500) calories @main", "complete @main"}));
  facade_->setGarminReturnedErrorCode(false);

  // A time-out is only logged, and the latch stays clear.
  trace_.clear();
  injectHttpTransportFault("127.0.0.1", HttpTransportFault::timedOut);
  facade_->getGarminSleepData(Date(kNov14), trace_.completeWithResult());
  EXPECT_EQ(settle(1), (Events{"complete(false) @main"}));
  EXPECT_TRUE(console.contains("RetrieveDataConfiguration no internet connection"));
  EXPECT_FALSE(facade_->garminReturnedErrorCode());

  // The activity road also tells the delegate, before its console line.
  trace_.clear();
  injectHttpTransportFault("127.0.0.1", HttpTransportFault::notConnectedToInternet);
  console.clear();
  delegate_->whileHandling = [&] {
    EXPECT_FALSE(console.contains("RetrieveDataConfiguration no internet connection"));
  };
  facade_->getActivityData(Date(kNov14), RetrieveDataService::garmin, trace_.complete());
  EXPECT_EQ(settle(2),
            (Events{"handlerError errorGarminData(no internet connection) activity @main", "complete @main"}));
  EXPECT_TRUE(linesInOrder(console.lines(), {"RetrieveDataConfiguration getGarminActivityData error = Error "
                                             "Domain=NSURLErrorDomain Code=-1009 \"The Internet connection appears "
                                             "to be offline.\"",
                                             "RetrieveDataConfiguration no internet connection"}));
  EXPECT_FALSE(facade_->garminReturnedErrorCode());

  // Any other transport failure is an ordinary error.
  trace_.clear();
  delegate_->whileHandling = nullptr;
  injectHttpTransportFault("127.0.0.1", HttpTransportFault::cannotConnect);
  facade_->getGarminActivityData(Date(kNov14), trace_.complete());
  EXPECT_EQ(settle(2), (Events{"handlerError errorGarminData(-1004) activity @main", "complete @main"}));
  EXPECT_TRUE(facade_->garminReturnedErrorCode());
}

TEST_F(GarminRetrievalTest, OverlappingImportsFromSeveralThreadsEachGetTheirOwnRecords) {
  seedTwoDays();
  std::vector<std::thread> hosts;
  hosts.emplace_back([&] { facade_->getSleepData(Date(kYesterday), RetrieveDataService::garmin, trace_.complete()); });
  hosts.emplace_back([&] { facade_->getActivityData(Date(kNov14), RetrieveDataService::garmin, trace_.complete()); });
  hosts.emplace_back(
      [&] { facade_->getCaloriesData(Date(kYesterday), RetrieveDataService::garmin, trace_.complete()); });
  hosts.emplace_back([&] { facade_->setDelegate(delegate_); });
  for (auto& host : hosts) host.join();
  auto events = settle(6);
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events, (Events{"activity garmin 1 @main", "calories garmin 2 @main", "complete @main", "complete @main",
                            "complete @main", "sleep garmin 2 @main"}));
  EXPECT_EQ(delegate_->activities.at(0).date, "2023-11-14");
  EXPECT_EQ(delegate_->calories.at(1).value, 80);
  EXPECT_EQ(delegate_->sleeps.at(0).value, 25200);
}

TEST_F(GarminRetrievalTest, WithoutADelegateOrAFacadeTheImportStillCompletesAsItWould) {
  seedTwoDays();
  facade_->setDelegate({});
  facade_->getGarminSleepData(Date(kNov14), trace_.completeWithResult());
  EXPECT_EQ(settle(1), (Events{"complete(true) @main"}));

  // A released facade: nothing reaches the delegate, nothing is latched, `complete` runs.
  trace_.clear();
  auto own = RetrieveDataConfiguration::make();
  own->setDelegate(delegate_);
  api.refuseNext(403, 2);
  own->getGarminActivityData(Date(kNov14), trace_.complete());
  own.reset();
  EXPECT_EQ(settle(1), (Events{"complete @main"}));
  EXPECT_FALSE(facade_->garminReturnedErrorCode());
}

}  // namespace
