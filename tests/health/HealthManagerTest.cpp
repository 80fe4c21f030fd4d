#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "HealthFixture.hpp"
#include "retrieval/HealthManager.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using health::QuantityTypeIdentifier;

namespace {

const Error kDiskFull = Error::withDescription("seeded", 42, "disk full");
const Error kTypeUnavailable =
    Error::withDescription(HealthKitErrorDomain, static_cast<std::int64_t>(HealthKitErrorCode::typeUnavailable),
                           "HealthKit data type is not available in this Device");

/// A reader that failed: no records, the error, on the main queue.
template <class Records>
void expectFailedOnMain(const Answer<Records>& answer, const Error& error) {
  EXPECT_FALSE(answer.records);
  EXPECT_EQ(answer.error, error);
  EXPECT_TRUE(answer.onMain);
}

class HealthManagerTest : public HealthFixture {
 protected:
  HealthManagerTest(double now, std::string_view zone)
      : HealthFixture(now, zone), manager_(std::make_shared<HealthManager>()) {}

  void authorize() {
    bool granted = false;
    manager_->authorizeHealthKit([&](bool success, std::optional<Error>) { granted = success; });
    time_.runUntilIdle();
    ASSERT_TRUE(granted);
  }

  /// Runs a reader to its completion, noting where it answered.
  template <class Records, class Start>
  Answer<Records> run(Start start) {
    Answer<Records> answer;
    start([&](std::optional<Records> records, std::optional<Error> error) {
      ++answer.calls;
      answer.records = std::move(records);
      answer.error = std::move(error);
      answer.onMain = platform::DispatchQueue::isMainQueueCurrent();
      answer.onStore = manager_->healthKitStore->callbackQueue().isCurrent();
    });
    time_.runUntilIdle();
    EXPECT_EQ(answer.calls, 1);
    return answer;
  }
  Answer<std::vector<CaloriesSDK>> calories(double forDate) {
    return run<std::vector<CaloriesSDK>>([&](auto done) { manager_->getHKCaloriesAnalysis(Date(forDate), done); });
  }
  Answer<std::vector<ActivitySDK>> activities(double forDate) {
    return run<std::vector<ActivitySDK>>([&](auto done) { manager_->getHKActivities(Date(forDate), done); });
  }
  Answer<std::vector<SleepSDK>> sleep(double forDate) {
    return run<std::vector<SleepSDK>>([&](auto done) { manager_->getHKSleepAnalysis(Date(forDate), done); });
  }

  template <class Record>
  void expectImported(const Record& record) {
    EXPECT_EQ(record.externalId, record.date);
    EXPECT_EQ(record.externalProvider, "apple_health_kit");
    EXPECT_EQ(record.createdTimestamp, time_.now());
    EXPECT_EQ(record.timestampTimestamp, time_.now());
  }

  std::shared_ptr<HealthManager> manager_;
};

// ---- authorisation ---------------------------------------------------------------------------------

class HealthAuthorizationTest : public HealthManagerTest {
 protected:
  HealthAuthorizationTest() : HealthManagerTest(kUtcMar30, "UTC") {}
};

TEST_F(HealthAuthorizationTest, AsksToReadTheSevenTypesInOrderEveryTimeAndNeverToWrite) {
  authorize();
  authorize();
  const auto requests = HealthStoreSimulator::authorizationRequests();
  ASSERT_EQ(requests.size(), 2u);
  const std::vector<health::ObjectType> expected = {kSleepType,
                                                    quantityType(QuantityTypeIdentifier::activeEnergyBurned),
                                                    quantityType(QuantityTypeIdentifier::basalEnergyBurned),
                                                    quantityType(QuantityTypeIdentifier::distanceWalkingRunning),
                                                    quantityType(QuantityTypeIdentifier::distanceCycling),
                                                    quantityType(QuantityTypeIdentifier::distanceSwimming),
                                                    quantityType(QuantityTypeIdentifier::stepCount)};
  for (const auto& request : requests) {
    EXPECT_FALSE(request.toShare);
    EXPECT_EQ(request.toRead, expected);
  }

  // A refusal without an error reaches the caller on the store's queue as it came.
  HealthStoreSimulator::setAuthorizationAnswer({false, std::nullopt, {}});
  std::optional<bool> refused;
  manager_->authorizeHealthKit([&](bool success, std::optional<Error> error) {
    EXPECT_TRUE(manager_->healthKitStore->callbackQueue().isCurrent());
    EXPECT_FALSE(error);
    refused = !success;
  });
  time_.runUntilIdle();
  EXPECT_EQ(refused, true);
}

TEST_F(HealthAuthorizationTest, WithoutHealthDataAnswersFalseBeforeReturning) {
  HealthStoreSimulator::setHealthDataAvailable(false);
  std::optional<Error> error;
  int calls = 0;
  manager_->authorizeHealthKit([&](bool success, std::optional<Error> e) {
    EXPECT_FALSE(success);
    error = e;
    ++calls;
  });
  ASSERT_EQ(calls, 1);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, HealthKitErrorDomain);
  EXPECT_EQ(error->code, 2);
  EXPECT_EQ(error->localizedDescription(), "HealthKit is not availale in this Device");
  EXPECT_TRUE(HealthStoreSimulator::authorizationRequests().empty());
  time_.runUntilIdle();
  EXPECT_EQ(calls, 1);
}

// ---- calories and activity, in a zone with summer time -----------------------------------------------

class HealthDailySumsTest : public HealthManagerTest {
 protected:
  // Noon on 2026-03-30 in Berlin; the import starts on the afternoon of the 28th.
  HealthDailySumsTest() : HealthManagerTest(kBerlinMar30 + 12 * kHour, "Europe/Berlin") {}
  static constexpr double kForDate = kBerlinMar28 + 15 * kHour;
};

TEST_F(HealthDailySumsTest, CaloriesJoinTruncatedSidesPerLocalDayActiveDaysFirst) {
  add(QuantityTypeIdentifier::activeEnergyBurned, 200.5, kBerlinMar28 + 9 * kHour, kBerlinMar28 + 10 * kHour);
  add(QuantityTypeIdentifier::activeEnergyBurned, 100.4, kBerlinMar28 + 18 * kHour, kBerlinMar28 + 19 * kHour);
  add(QuantityTypeIdentifier::activeEnergyBurned, 10.7, kBerlinMar29 + 22.5 * kHour, kBerlinMar29 + 22.9 * kHour);
  add(QuantityTypeIdentifier::basalEnergyBurned, 1500.9, kBerlinMar28 + 1 * kHour, kBerlinMar28 + 2 * kHour);
  add(QuantityTypeIdentifier::basalEnergyBurned, 800.2, kBerlinMar30 + 1 * kHour, kBerlinMar30 + 2 * kHour);
  authorize();

  auto answer = calories(kForDate);
  EXPECT_TRUE(answer.onStore) << "records come on the store's queue";
  EXPECT_FALSE(answer.error);
  ASSERT_TRUE(answer.records);
  ASSERT_EQ(answer.records->size(), 3u);
  const auto& r = *answer.records;
  EXPECT_EQ(r[0].date, "2026-03-28");
  EXPECT_EQ(r[0].value, 1800) << "300.9 and 1500.9 are truncated before they are added";
  EXPECT_EQ(r[1].date, "2026-03-29");  // the 23-hour day, late in the evening
  EXPECT_EQ(r[1].value, 10);
  EXPECT_EQ(r[2].date, "2026-03-30");  // basal only: after every active day
  EXPECT_EQ(r[2].value, 800);
  for (const auto& record : r) expectImported(record);
  EXPECT_TRUE(console_.contains("HealthKit getHKCaloriesAnalysis 2026-03-28 14:00:00 +0000"));

  // An import from the distant past (before the first local midnight of year 1) finds the same days.
  auto sincePast = calories(-62135769600.0);
  ASSERT_TRUE(sincePast.records);
  ASSERT_EQ(sincePast.records->size(), 3u);
  EXPECT_EQ(sincePast.records->at(0).value, 1800);
}

TEST_F(HealthDailySumsTest, CaloriesFailuresStillAnswerOnce) {
  add(QuantityTypeIdentifier::activeEnergyBurned, 42, kBerlinMar30 + kHour, kBerlinMar30 + 2 * kHour);
  add(QuantityTypeIdentifier::basalEnergyBurned, 1000, kBerlinMar30 + kHour, kBerlinMar30 + 2 * kHour);
  authorize();

  // A failed basal query keeps the active records, with its error, on the store's queue.
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::basalEnergyBurned), kDiskFull);
  auto basalFailed = calories(kForDate);
  ASSERT_TRUE(basalFailed.records);
  ASSERT_EQ(basalFailed.records->size(), 1u);
  EXPECT_EQ(basalFailed.records->at(0).value, 42);
  EXPECT_EQ(basalFailed.error, kDiskFull);
  EXPECT_TRUE(basalFailed.onStore);
  EXPECT_TRUE(
      console_.contains("getMothlyCaloriesRestAnalysis error:Optional(Error Domain=seeded Code=42 \"disk full\")"));

  // A failed active query answers on main without records and never asks for basal energy.
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::basalEnergyBurned), std::nullopt);
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::activeEnergyBurned), kDiskFull);
  console_.clear();
  auto activeFailed = calories(kForDate);
  expectFailedOnMain(activeFailed, kDiskFull);
  EXPECT_TRUE(console_.contains("getMothlyCaloriesAnalysis error:Optional(Error Domain=seeded Code=42 \"disk full\")"));
  for (const auto& line : console_.lines()) EXPECT_EQ(line.find("getHKCaloriesRestingAnalysis"), std::string::npos);

  // A type the store does not offer fails like its query, with the reader's own error.
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::activeEnergyBurned), std::nullopt);
  HealthStoreSimulator::removeType(quantityType(QuantityTypeIdentifier::basalEnergyBurned));
  auto noBasal = calories(kForDate);
  ASSERT_TRUE(noBasal.records);
  EXPECT_EQ(noBasal.records->at(0).value, 42);
  EXPECT_EQ(noBasal.error, kTypeUnavailable);
  HealthStoreSimulator::removeType(quantityType(QuantityTypeIdentifier::activeEnergyBurned));
  auto noActive = calories(kForDate);
  expectFailedOnMain(noActive, kTypeUnavailable);
}

TEST_F(HealthDailySumsTest, SumsOutsideInt64AreSkippedOrHeldNeverConverted) {
  const double huge = 9.2e18;
  auto records = manager_->createCalories(
      {{"2026-03-28", 1e300, 0}, {"2026-03-29", huge, 0}, {"2026-03-30", 7.9, 0}},
      {{"2026-03-28", 5.5, 0}, {"2026-03-29", huge, 0}, {"2026-03-30", std::numeric_limits<double>::infinity(), 0}});
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].date, "2026-03-29");
  EXPECT_EQ(records[0].value, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(records[1].value, 7);
  EXPECT_EQ(records[2].date, "2026-03-28") << "the active side was skipped, so the day is basal-only";
  EXPECT_EQ(records[2].value, 5);

  std::vector<HealthDaySum> distance;
  EXPECT_TRUE(manager_->createActivities({{"2026-03-28", NAN, 0}, {"2026-03-29", -1e19, 0}}, distance).empty());
  EXPECT_TRUE(manager_->createRecoveries({{"2026-03-28", 1e19, 0}}).empty());
}

TEST_F(HealthDailySumsTest, ActivityJoinsStepsAndMilesPerLocalDayStepDaysFirst) {
  add(QuantityTypeIdentifier::stepCount, 800, kBerlinMar30 + 8 * kHour, kBerlinMar30 + 9 * kHour);
  add(QuantityTypeIdentifier::stepCount, 12.7, kBerlinMar30 + 10 * kHour, kBerlinMar30 + 11 * kHour);
  addMiles(QuantityTypeIdentifier::distanceWalkingRunning, 3.456, kBerlinMar30 + 8 * kHour, kBerlinMar30 + 9 * kHour);
  addMiles(QuantityTypeIdentifier::distanceCycling, 1.2, kBerlinMar30 + 10 * kHour, kBerlinMar30 + 11 * kHour);
  add(QuantityTypeIdentifier::stepCount, 100, kBerlinMar29 + 22.5 * kHour, kBerlinMar29 + 22.6 * kHour);
  addMiles(QuantityTypeIdentifier::distanceCycling, 0.25, kBerlinMar29 + 9 * kHour, kBerlinMar29 + 10 * kHour);
  addMiles(QuantityTypeIdentifier::distanceSwimming, 0.1, kBerlinMar29 + 11 * kHour, kBerlinMar29 + 12 * kHour);
  addMiles(QuantityTypeIdentifier::distanceSwimming, 0.5, kBerlinMar28 + 11 * kHour, kBerlinMar28 + 12 * kHour);
  authorize();

  auto answer = activities(kForDate);
  EXPECT_TRUE(answer.onStore);
  EXPECT_FALSE(answer.error);
  ASSERT_TRUE(answer.records);
  ASSERT_EQ(answer.records->size(), 3u);
  const auto& r = *answer.records;
  EXPECT_EQ(r[0].date, "2026-03-29");
  EXPECT_EQ(r[0].steps, 100);
  EXPECT_EQ(r[0].miles, "0.35");
  EXPECT_EQ(r[1].date, "2026-03-30");
  EXPECT_EQ(r[1].steps, 812);
  EXPECT_EQ(r[1].miles, "4.66");
  EXPECT_EQ(r[2].date, "2026-03-28") << "a swimming-only day follows the step days";
  EXPECT_EQ(r[2].steps, 0);
  EXPECT_EQ(r[2].miles, "0.50");
  for (const auto& record : r) expectImported(record);
  EXPECT_TRUE(console_.contains("HealthKit getHKActivities dateString = 2026-03-30 steps: 812.7"));
  EXPECT_TRUE(console_.contains(
      "HealthKit getHKActivities step = 800.0 device = nil startDate = 2026-03-30 06:00:00 +0000 endDate = "
      "2026-03-30 07:00:00 +0000"));
}

TEST_F(HealthDailySumsTest, ActivityFailuresStillAnswerOnce) {
  add(QuantityTypeIdentifier::stepCount, 500, kBerlinMar30 + kHour, kBerlinMar30 + 2 * kHour);
  addMiles(QuantityTypeIdentifier::distanceWalkingRunning, 1, kBerlinMar30 + kHour, kBerlinMar30 + 2 * kHour);
  addMiles(QuantityTypeIdentifier::distanceCycling, 2, kBerlinMar30 + kHour, kBerlinMar30 + 2 * kHour);
  authorize();

  // A failed or missing distance query only leaves its miles out; the swimming error rides along.
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::distanceCycling), kDiskFull);
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::distanceSwimming), kDiskFull);
  auto partial = activities(kForDate);
  ASSERT_TRUE(partial.records);
  EXPECT_EQ(partial.records->at(0).miles, "1.00");
  EXPECT_EQ(partial.error, kDiskFull);
  EXPECT_TRUE(partial.onStore);
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::distanceCycling), std::nullopt);
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::distanceSwimming), std::nullopt);
  HealthStoreSimulator::removeType(quantityType(QuantityTypeIdentifier::distanceWalkingRunning));
  auto noWalking = activities(kForDate);
  ASSERT_TRUE(noWalking.records);
  EXPECT_EQ(noWalking.records->at(0).miles, "2.00");
  EXPECT_FALSE(noWalking.error);

  // A failed step query answers on main without records and builds none.
  HealthStoreSimulator::setQueryError(quantityType(QuantityTypeIdentifier::stepCount), kDiskFull);
  console_.clear();
  auto stepsFailed = activities(kForDate);
  expectFailedOnMain(stepsFailed, kDiskFull);
  for (const auto& line : console_.lines()) EXPECT_EQ(line.find("getHKActivities result"), std::string::npos);

  HealthStoreSimulator::removeType(quantityType(QuantityTypeIdentifier::stepCount));
  auto noSteps = activities(kForDate);
  expectFailedOnMain(noSteps, kTypeUnavailable);
}

// ---- sleep -----------------------------------------------------------------------------------------

class HealthSleepTest : public HealthManagerTest {
 protected:
  // 09:00 UTC on 2026-03-30; the import starts on the 28th.
  HealthSleepTest() : HealthManagerTest(kUtcMar30 + 9 * kHour, "UTC") {}
};

TEST_F(HealthSleepTest, NightsSumAsleepTimeWithTheInBedFallbackInAscendingDays) {
  // Night to the 30th: in bed 22:00-06:30, asleep 22:30-06:00: the asleep time counts.
  addSleep(0, kUtcMar29 + 22 * kHour, kUtcMar30 + 6.5 * kHour);
  addSleep(1, kUtcMar29 + 22.5 * kHour, kUtcMar30 + 6 * kHour);
  // Night to the 29th: 23:00-06:00 asleep, a contained 01:00-02:00 asleep dropped, awake never counts.
  addSleep(1, kUtcMar29 + 1 * kHour, kUtcMar29 + 2 * kHour);
  addSleep(1, kUtcMar28 + 23 * kHour, kUtcMar29 + 6 * kHour);
  addSleep(2, kUtcMar29 + 3 * kHour, kUtcMar29 + 3.5 * kHour);
  // A nap on the 28th with only in-bed time (1234.9 s) and an awake stretch.
  addSleep(0, kUtcMar28 + 13 * kHour, kUtcMar28 + 13 * kHour + 1234.9);
  addSleep(2, kUtcMar28 + 14 * kHour, kUtcMar28 + 14.2 * kHour);
  authorize();

  auto answer = sleep(kUtcMar28 + 8 * kHour);
  EXPECT_TRUE(answer.onMain);
  EXPECT_FALSE(answer.error);
  ASSERT_TRUE(answer.records);
  ASSERT_EQ(answer.records->size(), 3u);
  const auto& r = *answer.records;
  EXPECT_EQ(r[0].date, "2026-03-28");
  EXPECT_EQ(r[0].value, 1234);
  EXPECT_EQ(r[1].date, "2026-03-29");
  EXPECT_EQ(r[1].value, 25200);
  EXPECT_EQ(r[2].date, "2026-03-30");
  EXPECT_EQ(r[2].value, 27000);
  for (const auto& record : r) expectImported(record);
  EXPECT_TRUE(console_.contains(
      "removerd duplication HKCategorySample value = 1 startDate = 2026-03-29 01:00:00 +0000 endDate = 2026-03-29 "
      "02:00:00 +0000"));
  const auto lines = console_.lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("HealthKit sleep sample sum inbet = 1234.9");
  }));
  EXPECT_TRUE(console_.contains("HealthKit sleep data count 7"));
}

TEST_F(HealthSleepTest, ReadsOnlyTheThirtyLatestEndingSamples) {
  addSleep(1, kUtcMar28 + 1 * kHour, kUtcMar28 + 2 * kHour);
  for (int i = 0; i < 30; ++i) addSleep(1, kUtcMar29 + i * 600, kUtcMar29 + i * 600 + 60);
  authorize();
  auto answer = sleep(kUtcMar28);
  ASSERT_TRUE(answer.records);
  ASSERT_EQ(answer.records->size(), 1u);
  EXPECT_EQ(answer.records->at(0).date, "2026-03-29");
  EXPECT_EQ(answer.records->at(0).value, 1800);
}

TEST_F(HealthSleepTest, EmptyFailingAndMissingReadsAnswerOnMain) {
  authorize();
  auto none = sleep(kUtcMar28);
  EXPECT_FALSE(none.records);
  EXPECT_FALSE(none.error);
  EXPECT_TRUE(none.onMain);
  EXPECT_TRUE(console_.contains("HealthKit sleep data count 0"));

  addSleep(2, kUtcMar29, kUtcMar29 + kHour);
  auto awakeOnly = sleep(kUtcMar28);
  ASSERT_TRUE(awakeOnly.records);
  EXPECT_TRUE(awakeOnly.records->empty());

  HealthStoreSimulator::setQueryError(kSleepType, kDiskFull);
  auto failed = sleep(kUtcMar28);
  expectFailedOnMain(failed, kDiskFull);

  HealthStoreSimulator::removeType(kSleepType);
  auto missing = sleep(kUtcMar28);
  expectFailedOnMain(missing, kTypeUnavailable);
}

class HealthSleepOffUtcTest : public HealthManagerTest {
 protected:
  // 08:00 on 2026-03-31 in New York (UTC-4).
  HealthSleepOffUtcTest() : HealthManagerTest(kUtcMar30 + 36 * kHour, "America/New_York") {}
};

TEST_F(HealthSleepOffUtcTest, ANightAndAnEveningNapMakeOneRecordOfTheirLocalDay) {
  // Asleep 23:00-06:00 local (ends 10:00 UTC on the 30th) and 20:30-21:30 local (ends 01:30 UTC on the 31st):
  // both end on the local 30th.
  addSleep(1, kUtcMar30 + 3 * kHour, kUtcMar30 + 10 * kHour);
  addSleep(1, kUtcMar30 + 24.5 * kHour, kUtcMar30 + 25.5 * kHour);
  // A night ending on the local 31st.
  addSleep(1, kUtcMar30 + 27 * kHour, kUtcMar30 + 33 * kHour);
  authorize();

  auto answer = sleep(kUtcMar29 + 16 * kHour);
  ASSERT_TRUE(answer.records);
  ASSERT_EQ(answer.records->size(), 2u);
  EXPECT_EQ(answer.records->at(0).date, "2026-03-30");
  EXPECT_EQ(answer.records->at(0).value, 8 * 3600);
  EXPECT_EQ(answer.records->at(1).date, "2026-03-31");
  EXPECT_EQ(answer.records->at(1).value, 6 * 3600);
}

}  // namespace
