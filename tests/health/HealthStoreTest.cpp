#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "HealthFixture.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using health::QuantityTypeIdentifier;

namespace {

class HealthStoreTest : public HealthFixture {
 protected:
  HealthStoreTest() : HealthFixture(kBerlinMar30 + 12 * kHour, "Europe/Berlin") {}

  struct SampleAnswer {
    int calls = 0;
    std::optional<std::vector<health::SamplePointer>> samples;
    std::optional<Error> error;
  };
  SampleAnswer runSampleQuery(const health::ObjectType& type, std::optional<health::Predicate> predicate,
                              std::size_t limit, std::optional<std::vector<health::SortDescriptor>> sort) {
    SampleAnswer answer;
    store_.execute(std::make_shared<health::SampleQuery>(
        type, predicate, limit, sort,
        [&](const health::SampleQuery&, std::optional<std::vector<health::SamplePointer>> samples,
            std::optional<Error> error) {
          EXPECT_TRUE(store_.callbackQueue().isCurrent());
          ++answer.calls;
          answer.samples = std::move(samples);
          answer.error = std::move(error);
        }));
    EXPECT_EQ(answer.calls, 0) << "execute answers later, on the store's queue";
    time_.runUntilIdle();
    EXPECT_EQ(answer.calls, 1);
    return answer;
  }

  /// (interval start, interval end, sum or NaN) of each interval enumerated from `from` to `to`.
  struct Row {
    double start, end, sum;
  };
  /// Statistics per `interval` (one day unless given).
  std::vector<Row> runDailySums(QuantityTypeIdentifier type, health::Predicate predicate, double anchor, double from,
                                double to, std::optional<Error>* error = nullptr,
                                DateComponents interval = DateComponents{.day = 1}) {
    std::vector<Row> rows;
    auto query = std::make_shared<health::StatisticsCollectionQuery>(
        quantityType(type), predicate, health::StatisticsOptions::cumulativeSum, Date(anchor), interval);
    query->setInitialResultsHandler([&](const health::StatisticsCollectionQuery&,
                                        std::shared_ptr<const health::StatisticsCollection> collection,
                                        std::optional<Error> e) {
      EXPECT_TRUE(store_.callbackQueue().isCurrent());
      if (error) *error = e;
      if (!collection) return;
      const auto unit = *quantityType(type).canonicalUnit();
      collection->enumerateStatistics(Date(from), Date(to), [&](const health::Statistics& s, bool&) {
        rows.push_back({s.startDate().timeIntervalSince1970(), s.endDate().timeIntervalSince1970(),
                        s.sumQuantity() ? *s.sumQuantity()->doubleValue(unit) : NAN});
      });
    });
    store_.execute(query);
    time_.runUntilIdle();
    return rows;
  }

  health::HealthStore store_;
};

TEST_F(HealthStoreTest, PredicatesFollowTheirBoundaryRules) {
  using health::QueryOptions;
  auto sample = [](double start, double end) { return health::CategorySample(kSleepType, 1, Date(start), Date(end)); };
  const auto none = health::predicateForSamples(Date(100), Date(200), QueryOptions::none);
  const auto strictStart = health::predicateForSamples(Date(100), Date(200), QueryOptions::strictStartDate);
  const auto strictEnd = health::predicateForSamples(Date(100), Date(200), QueryOptions::strictEndDate);
  const auto both =
      health::predicateForSamples(Date(100), Date(200), QueryOptions::strictStartDate | QueryOptions::strictEndDate);
  struct Case {
    double start, end;
    bool none, strictStart, strictEnd, both;
  };
  for (const auto& c : std::vector<Case>{
           {50, 100, true, false, true, false},     // ends exactly at the window's start
           {50, 99, false, false, false, false},    // ends before it
           {150, 250, true, true, false, false},    // runs past the end
           {200, 210, false, false, false, false},  // starts exactly at the end
           {90, 199, true, false, true, false},
           {100, 199, true, true, true, true},
           {100, 200, true, true, false, false},  // ends exactly at the end
       }) {
    const auto s = sample(c.start, c.end);
    EXPECT_EQ(none.matches(s), c.none) << c.start << "-" << c.end;
    EXPECT_EQ(strictStart.matches(s), c.strictStart) << c.start << "-" << c.end;
    EXPECT_EQ(strictEnd.matches(s), c.strictEnd) << c.start << "-" << c.end;
    EXPECT_EQ(both.matches(s), c.both) << c.start << "-" << c.end;
  }
  EXPECT_TRUE(health::predicateForSamples(std::nullopt, std::nullopt, QueryOptions::none).matches(sample(-1e10, 1e10)));
}

TEST_F(HealthStoreTest, SampleQueriesFilterSortAndLimitOnTheStoreQueue) {
  const double t = kBerlinMar29;
  addSleep(0, t + 1 * kHour, t + 5 * kHour);
  addSleep(1, t + 2 * kHour, t + 6 * kHour);
  addSleep(2, t + 3 * kHour, t + 5 * kHour);  // ends with the first: keeps its place behind it
  addSleep(1, t + 4 * kHour, t + 7 * kHour);
  addSleep(1, t - 5 * kHour, t - 4 * kHour);  // outside the window
  grant(store_, {kSleepType});

  auto window = health::predicateForSamples(Date(t), Date(t + kDay), health::QueryOptions::none);
  auto newestEndFirst =
      runSampleQuery(kSleepType, window, 3, std::vector<health::SortDescriptor>{{health::SortKey::endDate, false}});
  ASSERT_TRUE(newestEndFirst.samples);
  std::vector<double> starts;
  for (const auto& s : *newestEndFirst.samples) starts.push_back(s->startDate().timeIntervalSince1970() - t);
  EXPECT_EQ(starts, (std::vector<double>{4 * kHour, 2 * kHour, 1 * kHour}));

  auto stored = runSampleQuery(kSleepType, window, health::QueryNoLimit, std::nullopt);
  ASSERT_TRUE(stored.samples);
  ASSERT_EQ(stored.samples->size(), 4u);
  EXPECT_EQ(dynamic_cast<const health::CategorySample&>(*stored.samples->at(2)).value(), 2);
}

TEST_F(HealthStoreTest, StatisticsSumWholeSamplesIntoLocalDaysAcrossSummerTime) {
  add(QuantityTypeIdentifier::stepCount, 100, kBerlinMar28 + 10 * kHour, kBerlinMar28 + 11 * kHour);
  // 23:30 on the 28th: a 24-hour step back from the anchor would count it on the 29th.
  add(QuantityTypeIdentifier::stepCount, 7, kBerlinMar29 - 0.5 * kHour, kBerlinMar29 - 0.25 * kHour);
  // Starts on the 23-hour day and runs past midnight: counts whole on the 29th.
  add(QuantityTypeIdentifier::stepCount, 50, kBerlinMar30 - 600, kBerlinMar30 + 600);
  // Starts before the window: the strict-start predicate leaves it out.
  add(QuantityTypeIdentifier::stepCount, 1000, kBerlinMar28 - 600, kBerlinMar28 + 600);
  grant(store_, {quantityType(QuantityTypeIdentifier::stepCount)});

  const auto window =
      health::predicateForSamples(Date(kBerlinMar28), Date(time_.now()), health::QueryOptions::strictStartDate);
  auto rows = runDailySums(QuantityTypeIdentifier::stepCount, window, kBerlinMar30, kBerlinMar28, time_.now());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].start, kBerlinMar28);
  EXPECT_EQ(rows[0].sum, 107);
  EXPECT_EQ(rows[1].start, kBerlinMar29);
  EXPECT_EQ(rows[1].end - rows[1].start, 23 * kHour);
  EXPECT_EQ(rows[1].sum, 50);
  EXPECT_EQ(rows[2].end, kBerlinMar31);
  EXPECT_TRUE(std::isnan(rows[2].sum)) << "an empty day has no sum";

  // The day summer time ends is one 25-hour interval.
  health::StatisticsCollection autumn(Date(1792879200), 1, *TimeZone::named("Europe/Berlin"), health::Unit::count(),
                                      true, {});
  EXPECT_EQ(autumn.intervalStart(1)->timeIntervalSince(*autumn.intervalStart(0)), 25 * kHour);
  EXPECT_EQ(autumn.intervalIndex(Date(1792879200 + 24.5 * kHour)), 0);

  // A year of minutes ahead of the anchor still lands in the right local day.
  EXPECT_EQ(autumn.intervalIndex(Date(1792879200 + 365 * kDay + 30 * kHour)), 366);

  // Only whole days make intervals.
  std::optional<Error> error;
  EXPECT_TRUE(runDailySums(QuantityTypeIdentifier::stepCount, window, kBerlinMar30, kBerlinMar28, time_.now(), &error,
                           DateComponents{.hour = 1})
                  .empty());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, static_cast<std::int64_t>(health::HealthStoreErrorCode::invalidArgument));
}

TEST_F(HealthStoreTest, UnitsConvertExactlyAndSeedingRefusesBadSamples) {
  const health::Quantity mile(health::Unit::mile(), 1);
  EXPECT_EQ(mile.doubleValue(health::Unit::meter()), 1609.344);
  EXPECT_EQ(health::Quantity(health::Unit::meter(), 1609.344).doubleValue(health::Unit::mile()), 1.0);
  EXPECT_FALSE(mile.doubleValue(health::Unit::count()));
  EXPECT_FALSE(health::Quantity(health::Unit::kilocalorie(), 5).doubleValue(health::Unit::meter()));

  const Date t(kBerlinMar29);
  EXPECT_FALSE(HealthStoreSimulator::addQuantitySample(
      QuantityTypeIdentifier::stepCount, health::Quantity(health::Unit::count(), 1), t, Date(kBerlinMar29 - 1)));
  EXPECT_FALSE(HealthStoreSimulator::addQuantitySample(QuantityTypeIdentifier::stepCount,
                                                       health::Quantity(health::Unit::count(), NAN), t, t));
  EXPECT_FALSE(HealthStoreSimulator::addQuantitySample(
      QuantityTypeIdentifier::basalEnergyBurned,
      health::Quantity(health::Unit::kilocalorie(), std::numeric_limits<double>::infinity()), t, t));
  EXPECT_FALSE(HealthStoreSimulator::addQuantitySample(QuantityTypeIdentifier::stepCount,
                                                       health::Quantity(health::Unit::kilocalorie(), 1), t, t));
  EXPECT_FALSE(HealthStoreSimulator::addCategorySample(health::CategoryTypeIdentifier::sleepAnalysis, 1, Date(NAN), t));
  EXPECT_FALSE(
      HealthStoreSimulator::addCategorySample(health::CategoryTypeIdentifier::sleepAnalysis, 1, t, Date(1e300)));

  // Miles are kept as meters and come back as the same miles.
  addMiles(QuantityTypeIdentifier::distanceCycling, 1.25, kBerlinMar29 + kHour, kBerlinMar29 + 2 * kHour);
  add(QuantityTypeIdentifier::distanceCycling, 1609.344, kBerlinMar29 + 3 * kHour, kBerlinMar29 + 4 * kHour);
  grant(store_, {quantityType(QuantityTypeIdentifier::distanceCycling)});
  auto rows = runDailySums(QuantityTypeIdentifier::distanceCycling,
                           health::predicateForSamples(Date(kBerlinMar29), Date(kBerlinMar30), {}), kBerlinMar30,
                           kBerlinMar29, kBerlinMar29);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_DOUBLE_EQ(rows[0].sum, 2.25 * 1609.344);
}

TEST_F(HealthStoreTest, AuthorisationIsRecordedAndRefusedReadsLookEmpty) {
  const auto steps = quantityType(QuantityTypeIdentifier::stepCount);
  const auto active = quantityType(QuantityTypeIdentifier::activeEnergyBurned);
  add(QuantityTypeIdentifier::stepCount, 10, kBerlinMar29, kBerlinMar29 + 60);
  add(QuantityTypeIdentifier::activeEnergyBurned, 10, kBerlinMar29, kBerlinMar29 + 60);
  const auto window = health::predicateForSamples(std::nullopt, std::nullopt, {});

  // Nothing asked yet: queries fail, status is undetermined.
  auto early = runSampleQuery(steps, window, 0, std::nullopt);
  ASSERT_TRUE(early.error);
  EXPECT_EQ(early.error->code, static_cast<std::int64_t>(health::HealthStoreErrorCode::authorizationNotDetermined));
  EXPECT_EQ(store_.authorizationStatus(steps), health::AuthorizationStatus::notDetermined);

  // A failed request determines nothing and hands on the answer's error.
  HealthStoreSimulator::setAuthorizationAnswer({false, Error::withDescription("user", 7, "cancelled"), {}});
  std::optional<bool> success;
  std::optional<Error> error;
  store_.requestAuthorization(std::nullopt, {steps}, [&](bool s, std::optional<Error> e) {
    EXPECT_TRUE(store_.callbackQueue().isCurrent());
    success = s;
    error = e;
  });
  time_.runUntilIdle();
  EXPECT_EQ(success, false);
  EXPECT_EQ(error, Error::withDescription("user", 7, "cancelled"));
  EXPECT_EQ(store_.authorizationStatus(steps), health::AuthorizationStatus::notDetermined);

  // Granted, with reading of active energy refused: that type reads as empty, without an error.
  HealthStoreSimulator::setAuthorizationAnswer({true, std::nullopt, {active}});
  store_.requestAuthorization(std::vector<health::ObjectType>{}, {steps, active},
                              [&](bool s, std::optional<Error>) { success = s; });
  store_.requestAuthorization(std::vector<health::ObjectType>{steps}, {}, nullptr);
  time_.runUntilIdle();
  EXPECT_EQ(success, true);
  EXPECT_EQ(store_.authorizationStatus(steps), health::AuthorizationStatus::sharingAuthorized);
  EXPECT_EQ(store_.authorizationStatus(active), health::AuthorizationStatus::sharingDenied);
  auto refused = runSampleQuery(active, window, 0, std::nullopt);
  EXPECT_FALSE(refused.error);
  ASSERT_TRUE(refused.samples);
  EXPECT_TRUE(refused.samples->empty());
  EXPECT_EQ(runSampleQuery(steps, window, 0, std::nullopt).samples->size(), 1u);

  const auto requests = HealthStoreSimulator::authorizationRequests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_FALSE(requests[0].toShare) << "an absent share set stays absent";
  ASSERT_TRUE(requests[1].toShare);
  EXPECT_TRUE(requests[1].toShare->empty());
  EXPECT_EQ(requests[1].toRead, (std::vector<health::ObjectType>{steps, active}));
}

TEST_F(HealthStoreTest, UnavailableFailingAndRemovedTypesAnswerWithErrors) {
  const auto steps = quantityType(QuantityTypeIdentifier::stepCount);
  grant(store_, {steps, kSleepType});
  const auto window = health::predicateForSamples(std::nullopt, std::nullopt, {});

  HealthStoreSimulator::setQueryError(steps, Error::withDescription("seeded", 42, "disk full"));
  EXPECT_EQ(runSampleQuery(steps, window, 0, std::nullopt).error, Error::withDescription("seeded", 42, "disk full"));
  HealthStoreSimulator::setQueryError(steps, std::nullopt);
  EXPECT_FALSE(runSampleQuery(steps, window, 0, std::nullopt).error);

  HealthStoreSimulator::removeType(kSleepType);
  EXPECT_FALSE(health::ObjectType::categoryType(health::CategoryTypeIdentifier::sleepAnalysis));
  EXPECT_TRUE(health::ObjectType::quantityType(QuantityTypeIdentifier::stepCount));
  EXPECT_EQ(runSampleQuery(kSleepType, window, 0, std::nullopt).error->code,
            static_cast<std::int64_t>(health::HealthStoreErrorCode::typeUnavailable));

  HealthStoreSimulator::setHealthDataAvailable(false);
  EXPECT_FALSE(health::HealthStore::isHealthDataAvailable());
  EXPECT_EQ(runSampleQuery(steps, window, 0, std::nullopt).error->code,
            static_cast<std::int64_t>(health::HealthStoreErrorCode::healthDataUnavailable));

  HealthStoreSimulator::reset();
  EXPECT_TRUE(health::HealthStore::isHealthDataAvailable());
  EXPECT_TRUE(health::ObjectType::categoryType(health::CategoryTypeIdentifier::sleepAnalysis));
}

}  // namespace
