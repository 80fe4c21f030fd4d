// The retrieval facade over the seeded health store: records, refusals, failed reads, the queue of every
// callback, a missing delegate and a released facade.

#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "RetrievalFixture.hpp"
#include "health/HealthFixture.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using health::QuantityTypeIdentifier;
using Events = std::vector<std::string>;

namespace {

class HealthKitRetrievalTest : public HealthFixture, protected RetrievalSetup {
 protected:
  // Noon of 2026-03-30 (UTC); imports start in the morning of the 28th.
  HealthKitRetrievalTest() : HealthFixture(kUtcMar30 + 12 * kHour) {}
  static constexpr double kForDate = kUtcMar28 + 10 * kHour;

  static void seedThreeDays() {
    add(QuantityTypeIdentifier::stepCount, 1000, kUtcMar28 + 9 * kHour, kUtcMar28 + 10 * kHour);
    add(QuantityTypeIdentifier::stepCount, 2000, kUtcMar29 + 9 * kHour, kUtcMar29 + 10 * kHour);
    add(QuantityTypeIdentifier::stepCount, 500, kUtcMar30 + 9 * kHour, kUtcMar30 + 10 * kHour);
    add(QuantityTypeIdentifier::activeEnergyBurned, 300, kUtcMar29 + 9 * kHour, kUtcMar29 + 10 * kHour);
    add(QuantityTypeIdentifier::basalEnergyBurned, 1500, kUtcMar29 + 1 * kHour, kUtcMar29 + 2 * kHour);
    addSleep(1, kUtcMar29 - kHour, kUtcMar29 + 6 * kHour);
  }

  /// Runs everything and gives the trace.
  Events settle() {
    time_.runUntilIdle();
    return trace_.events();
  }
};

TEST_F(HealthKitRetrievalTest, ImportsEachKindHandingRecordsOverOnTheReadersQueueThenCompletingOnMain) {
  seedThreeDays();

  facade_->getSleepData(Date(kForDate), RetrieveDataService::healthkit, trace_.complete());
  EXPECT_TRUE(trace_.events().empty()) << "nothing before the store answers";
  EXPECT_EQ(settle(), (Events{"sleep healthkit 1 @main", "complete @main"}));
  ASSERT_EQ(delegate_->sleeps.size(), 1u);
  EXPECT_EQ(delegate_->sleeps[0].value, 7 * 3600);
  EXPECT_EQ(delegate_->sleeps[0].externalProvider, "apple_health_kit");
  EXPECT_EQ(RetrieveDataAttributs::selectProvider(RetrieveDataService::healthkit), "apple_health_kit");

  facade_->getActivityData(Date(kForDate), RetrieveDataService::healthkit, trace_.complete());
  facade_->getCaloriesData(Date(kForDate), RetrieveDataService::healthkit, trace_.complete());
  EXPECT_EQ(settle(), (Events{"sleep healthkit 1 @main", "complete @main", "calories healthkit 1 @healthStore",
                              "complete @main", "activity healthkit 3 @healthStore", "complete @main"}));
  EXPECT_EQ(delegate_->activities.at(1).steps, 2000);
  EXPECT_EQ(delegate_->calories.at(0).value, 1800);
  const std::string day = "2026-03-28 10:00:00 +0000";
  EXPECT_TRUE(
      linesInOrder(console_.lines(), {"RetrieveDataConfiguration getSleepData from date: " + day,
                                      "RetrieveDataConfiguration HK getHealthKitSleepData for day: " + day,
                                      "HK granted", "RetrieveDataConfiguration getActivityData from date: " + day,
                                      "RetrieveDataConfiguration HK getHealthKitActivityData for day: " + day,
                                      "RetrieveDataConfiguration getCaloriesData from date: " + day,
                                      "RetrieveDataConfiguration HK getHealthKitCaloriesData for day: " + day,
                                      "HK granted", "RetrieveDataConfiguration HK granted"}));

  // Without a date the dispatch reads from the start of today.
  trace_.clear();
  facade_->getExternalActivityData(RetrieveDataService::healthkit, trace_.complete());
  EXPECT_EQ(settle(), (Events{"activity healthkit 1 @healthStore", "complete @main"}));
  EXPECT_EQ(delegate_->activities.at(0).date, "2026-03-30");
}

TEST_F(HealthKitRetrievalTest, CompleteIsQueuedOnMainAfterTheDelegateCallEvenWhenItRunsThere) {
  // The sleep records come on main: whatever the delegate queues there runs before `complete`.
  seedThreeDays();
  delegate_->whileHandling = [this] { platform::DispatchQueue::main().async([this] { trace_.add("queued"); }); };
  platform::DispatchQueue::main().async(
      [this] { facade_->getHealthKitSleepData(Date(kForDate), trace_.completeWithResult()); });
  EXPECT_EQ(settle(), (Events{"sleep healthkit 1 @main", "queued @main", "complete(true) @main"}));
}

TEST_F(HealthKitRetrievalTest, RefusalsReachHandlerErrorAndCompleteInOneMainQueueBlockWithoutReading) {
  delegate_->whileHandling = [this] { platform::DispatchQueue::main().async([this] { trace_.add("queued"); }); };

  HealthStoreSimulator::setHealthDataAvailable(false);
  facade_->getHealthKitSleepData(Date(kForDate), trace_.completeWithResult());
  EXPECT_EQ(settle(), (Events{"handlerError errorHealthKit(HealthKit is not availale in this Device) sleep @main",
                              "complete(false) @main", "queued @main"}));
  EXPECT_TRUE(HealthStoreSimulator::authorizationRequests().empty());

  HealthStoreSimulator::setHealthDataAvailable(true);
  HealthStoreSimulator::setAuthorizationAnswer({false, Error::withDescription("seeded", 5, "user said no"), {}});
  trace_.clear();
  facade_->getHealthKitActivityData(Date(kForDate), trace_.complete());
  EXPECT_EQ(settle(),
            (Events{"handlerError errorHealthKit(user said no) activity @main", "complete @main", "queued @main"}));

  HealthStoreSimulator::setAuthorizationAnswer({false, std::nullopt, {}});
  trace_.clear();
  facade_->getHealthKitCaloriesData(Date(kForDate), trace_.complete());
  EXPECT_EQ(settle(),
            (Events{"handlerError errorHealthKitAuthorization calories @main", "complete @main", "queued @main"}));

  for (const auto& line : console_.lines()) {
    EXPECT_EQ(line.find("granted"), std::string::npos) << "no reader runs after a refusal: " << line;
  }
}

TEST_F(HealthKitRetrievalTest, AFailedReadHandsOverAnEmptyListAndSleepCompletesFalse) {
  seedThreeDays();
  HealthStoreSimulator::setQueryError(kSleepType, Error::withDescription("seeded", 42, "disk full"));
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::stepCount),
                                      Error::withDescription("seeded", 42, "disk full"));
  facade_->getHealthKitSleepData(Date(kForDate), trace_.completeWithResult());
  facade_->getHealthKitActivityData(Date(kForDate), trace_.complete());
  EXPECT_EQ(settle(), (Events{"sleep healthkit 0 @main", "activity healthkit 0 @main", "complete(false) @main",
                              "complete @main"}));
}

TEST_F(HealthKitRetrievalTest, WithoutADelegateImportsCompleteOnMainAndAReleasedFacadeDropsThem) {
  seedThreeDays();
  facade_->setDelegate({});
  facade_->getSleepData(Date(kForDate), RetrieveDataService::healthkit, trace_.complete());
  facade_->getCaloriesData(Date(kForDate), RetrieveDataService::healthkit, trace_.complete());
  EXPECT_EQ(settle(), (Events{"complete @main", "complete @main"}));

  // A facade released before the store answers: no delegate call, no `complete`.
  trace_.clear();
  auto own = RetrieveDataConfiguration::make();
  own->setDelegate(delegate_);
  own->getSleepData(Date(kForDate), RetrieveDataService::healthkit, trace_.complete());
  own->getActivityData(Date(kForDate), RetrieveDataService::healthkit, trace_.complete());
  own->getCaloriesData(Date(kForDate), RetrieveDataService::healthkit, trace_.complete());
  own.reset();
  EXPECT_TRUE(settle().empty());
  EXPECT_TRUE(console_.contains("RetrieveDataConfiguration HK getHealthKitSleepData nil self"));
  EXPECT_TRUE(console_.contains("RetrieveDataConfiguration HK getHealthKitActivityData nil self"));
  for (const auto& line : console_.lines()) EXPECT_EQ(line.find("getHealthKitCaloriesData nil"), std::string::npos);
}

// ---- the facade itself ---------------------------------------------------------------------------------

TEST_F(HealthKitRetrievalTest, ALatchedProviderCompletesBeforeTheEntryReturnsUntilItsConfigurationClearsIt) {
  EXPECT_TRUE(facade_->lastHistoryDataSuccess());
  facade_->setGarminReturnedErrorCode(true);
  facade_->setFitBitReturnedErrorCode(true);
  console_.clear();

  facade_->getSleepData(Date(kForDate), RetrieveDataService::garmin, trace_.complete());
  facade_->getActivityData(Date(kForDate), RetrieveDataService::fitbit, trace_.complete());
  facade_->getExternalCaloriesData(RetrieveDataService::garmin, trace_.complete());
  EXPECT_EQ(trace_.events(), (Events{"complete @caller", "complete @caller", "complete @caller"}));
  EXPECT_EQ(console_.lines(),
            (Events{"RetrieveDataConfiguration getSleepData from date: 2026-03-28 10:00:00 +0000",
                    "RetrieveDataConfiguration getActivityData from date: 2026-03-28 10:00:00 +0000"}));
  EXPECT_EQ(time_.pendingCount(), 0u) << "no request was started";

  facade_->confgurationFitbit("key", "secret");
  EXPECT_FALSE(facade_->fitBitReturnedErrorCode());
  EXPECT_TRUE(facade_->garminReturnedErrorCode());
  facade_->confgurationGarmin("key", "secret");
  EXPECT_FALSE(facade_->garminReturnedErrorCode());
  EXPECT_TRUE(facade_->lastHistoryDataSuccess());
}

// ---- real threads ----------------------------------------------------------------------------------------

TEST(RetrieveDataThreadsTest, ImportsRaceDelegateAndLatchWritesFromOtherThreadsSafely) {
  HealthStoreSimulator::reset();
  ConsoleCapture console;
  resetSharedRetrieveDataConfiguration();
  std::thread mainQueue([] { platform::runMainQueue(); });

  Trace trace;
  auto delegate = std::make_shared<RecordingDelegate>(trace);
  auto facade = RetrieveDataConfiguration::shared();
  std::mutex mutex;
  std::condition_variable done;
  int completes = 0;
  auto complete = [&] {
    EXPECT_TRUE(platform::DispatchQueue::isMainQueueCurrent());
    std::lock_guard lock(mutex);
    ++completes;
    done.notify_all();
  };
  constexpr int kImports = 20;
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) {
      facade->setDelegate(i % 2 ? std::weak_ptr<RetrieveDataDelegate>(delegate)
                                : std::weak_ptr<RetrieveDataDelegate>());
      facade->setFitBitReturnedErrorCode(i % 3 == 0);
      facade->setLastHistoryDataSuccess(i % 5 == 0);
    }
  });
  for (int i = 0; i < kImports; ++i) {
    facade->getSleepData(Date::now(), RetrieveDataService::healthkit, complete);
    facade->getActivityData(Date::now(), RetrieveDataService::healthkit, complete);
    facade->getCaloriesData(Date::now(), RetrieveDataService::healthkit, complete);
  }
  writer.join();
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(done.wait_for(lock, std::chrono::seconds(20), [&] { return completes == 3 * kImports; }));
  }
  platform::stopMainQueue();
  mainQueue.join();
  EXPECT_EQ(completes, 3 * kImports);
  resetSharedRetrieveDataConfiguration();
  HealthStoreSimulator::reset();
}

}  // namespace
