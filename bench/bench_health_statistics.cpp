// A daily statistics-collection query of the health store over minute-level samples (one sample a minute,
// as a watch records them), enumerated day by day as the readers do. Samples stored in order of time (as
// they arrive) cost the same per sample however many there are, and stay so as the data outgrows the
// caches; samples stored out of order need sorting, and grow no faster than n log n. The program prints
// (interleaved rounds, both sides warmed before the first):
//   - the cost per sample of three years of samples in order over that of one year (goal 1.3),
//   - the same over that of one month, which fits the caches (goal 1.5),
//   - the cost / (n log n) of three years of samples stored in random order over one year's (goal 1.3),
// and exits non-zero when a median misses its goal or a sum misses samples. "--once=statistics:DAYS" runs
// one query over DAYS days of samples in order for bench/growth. The Google Benchmark case (a month to
// three years, fitted as n log n) runs when a "--benchmark_..." argument asks for it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <random>

#include "RatioRounds.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/platform/health/HealthStore.hpp"
#include "talvaren/sim/HealthStoreSimulator.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;
namespace health = platform::health;

namespace {

constexpr double kStart = 1767222000;  // 2026-01-01 00:00 in Berlin; a year spans both changes of summer time
constexpr std::int64_t kMinutesPerDay = 1440;
constexpr std::int64_t kMonth = 30;
constexpr std::int64_t kYear = 365;
constexpr std::int64_t kThreeYears = 1096;
constexpr double goal = 1.3;
constexpr double goalAgainstMonth = 1.5;

/// One sample a minute of `type` over `days` days from kStart, 10 units each; stored in order of time, or
/// in a random order (the same every run) when `shuffled`.
void seed(health::QuantityTypeIdentifier type, std::int64_t days, bool shuffled = false) {
  const auto unit = *health::ObjectType(type).canonicalUnit();
  std::vector<std::int64_t> minutes(static_cast<std::size_t>(days * kMinutesPerDay));
  std::iota(minutes.begin(), minutes.end(), 0);
  if (shuffled) std::shuffle(minutes.begin(), minutes.end(), std::mt19937_64(20260101));
  for (const auto minute : minutes) {
    const double start = kStart + static_cast<double>(minute) * 60;
    sim::HealthStoreSimulator::addQuantitySample(type, health::Quantity(unit, 10), Date(start), Date(start + 60));
  }
}

/// Runs one daily statistics query of `type` over `days` days; false when the sum misses samples.
bool dailyStatistics(health::HealthStore& store, testkit::VirtualTime& time, health::QuantityTypeIdentifier type,
                     std::int64_t days) {
  const health::ObjectType objectType(type);
  const auto unit = *objectType.canonicalUnit();
  DateComponents oneDay;
  oneDay.day = 1;
  const Date end(kStart + static_cast<double>(days) * 86400);
  double total = 0;
  auto query = std::make_shared<health::StatisticsCollectionQuery>(
      objectType, health::predicateForSamples(Date(kStart), end, health::QueryOptions::strictStartDate),
      health::StatisticsOptions::cumulativeSum, Date(kStart), oneDay);
  query->setInitialResultsHandler([&](const health::StatisticsCollectionQuery&,
                                      std::shared_ptr<const health::StatisticsCollection> collection,
                                      std::optional<Error>) {
    if (!collection) return;
    collection->enumerateStatistics(Date(kStart), end, [&](const health::Statistics& statistics, bool&) {
      if (statistics.sumQuantity()) total += *statistics.sumQuantity()->doubleValue(unit);
    });
  });
  store.execute(query);
  time.runReady();
  return total == static_cast<double>(days * kMinutesPerDay) * 10;
}

/// Store, clock and zone of a run: Berlin, the clock at the end of the longest series.
struct Setting {
  Setting() : time(kStart + static_cast<double>(kThreeYears) * 86400) {
    platform::TimeZone::setCurrent("Europe/Berlin");
    sim::HealthStoreSimulator::reset();
  }
  ~Setting() {
    sim::HealthStoreSimulator::reset();
    platform::TimeZone::resetCurrent();
  }
  void authorize(std::vector<health::ObjectType> types) {
    store.requestAuthorization(std::nullopt, std::move(types), nullptr);
    time.runReady();
  }

  testkit::VirtualTime time;
  health::HealthStore store;
};

void BM_DailyStepStatistics(benchmark::State& state) {
  Setting setting;
  const auto type = health::QuantityTypeIdentifier::stepCount;
  seed(type, state.range(0));
  setting.authorize({health::ObjectType(type)});
  for (auto _ : state) {
    if (!dailyStatistics(setting.store, setting.time, type, state.range(0))) state.SkipWithError("samples lost");
  }
  const std::int64_t samples = state.range(0) * kMinutesPerDay;
  state.SetItemsProcessed(state.iterations() * samples);
  state.SetComplexityN(samples);
  state.counters["days"] = static_cast<double>(state.range(0));
}

BENCHMARK(BM_DailyStepStatistics)
    ->Arg(kMonth)
    ->Arg(91)
    ->Arg(182)
    ->Arg(365)
    ->Arg(kThreeYears)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

}  // namespace

namespace {

/// One query over `once.size` days of samples in order, counted by callgrind.
bool queryOnce(const bench::Once& once) {
  if (once.name != "statistics" || once.size > kThreeYears) return false;
  const auto type = health::QuantityTypeIdentifier::distanceWalkingRunning;
  Setting setting;
  seed(type, once.size);
  setting.authorize({health::ObjectType(type)});
  return bench::countedOnce([&] { return dailyStatistics(setting.store, setting.time, type, once.size); });
}

/// Seconds of one query over `days` days of `type`, repeated to take about as long as three years do; false
/// in `ok` when a sum misses samples.
double secondsPerQuery(Setting& setting, health::QuantityTypeIdentifier type, std::int64_t days, bool& ok) {
  const auto repeats = std::max<std::int64_t>(1, kThreeYears / days);
  const double seconds = bench::threadSecondsOf([&] {
    for (std::int64_t i = 0; i < repeats; ++i) ok = dailyStatistics(setting.store, setting.time, type, days) && ok;
  });
  return seconds / static_cast<double>(repeats);
}

double samplesOf(std::int64_t days) { return static_cast<double>(days * kMinutesPerDay); }

}  // namespace

int main(int argc, char** argv) {
  if (!bench::runBenchmarksIfAsked(argc, argv)) return 2;
  bench::keepFreedMemory();
  if (const auto once = bench::onceFromArguments(argc, argv)) return queryOnce(*once) ? 0 : 1;
  const int rounds = bench::roundsFromArguments(argc, argv, 7);
  bool ok = true;
  bool met = true;
  {
    // Types of one unit hold the series side by side: a month of cycling, a year of swimming, three years
    // of walking, each stored in order of time.
    const auto month = health::QuantityTypeIdentifier::distanceCycling;
    const auto year = health::QuantityTypeIdentifier::distanceSwimming;
    const auto years = health::QuantityTypeIdentifier::distanceWalkingRunning;
    Setting setting;
    seed(month, kMonth);
    seed(year, kYear);
    seed(years, kThreeYears);
    setting.authorize({health::ObjectType(month), health::ObjectType(year), health::ObjectType(years)});
    const auto perSample = [&](health::QuantityTypeIdentifier type, std::int64_t days) {
      return secondsPerQuery(setting, type, days, ok) / samplesOf(days);
    };
    met = bench::reportRatio(
        "health_statistics_per_sample_three_years_vs_year",
        bench::warmedInterleavedRatios(
            rounds, [&] { return perSample(years, kThreeYears); }, [&] { return perSample(year, kYear); }),
        goal);
    met = bench::reportRatio(
              "health_statistics_per_sample_three_years_vs_month",
              bench::warmedInterleavedRatios(
                  rounds, [&] { return perSample(years, kThreeYears); }, [&] { return perSample(month, kMonth); }),
              goalAgainstMonth) &&
          met;
  }
  {
    // Stored out of order, the samples are sorted by each query: a year and three years of energy.
    const auto year = health::QuantityTypeIdentifier::activeEnergyBurned;
    const auto years = health::QuantityTypeIdentifier::basalEnergyBurned;
    Setting setting;
    seed(year, kYear, true);
    seed(years, kThreeYears, true);
    setting.authorize({health::ObjectType(year), health::ObjectType(years)});
    const auto perNLogN = [&](health::QuantityTypeIdentifier type, std::int64_t days) {
      const double n = samplesOf(days);
      return secondsPerQuery(setting, type, days, ok) / (n * std::log2(n));
    };
    met = bench::reportRatio(
              "health_statistics_unsorted_nlogn_three_years_vs_year",
              bench::warmedInterleavedRatios(
                  rounds, [&] { return perNLogN(years, kThreeYears); }, [&] { return perNLogN(year, kYear); }),
              goal) &&
          met;
  }
  if (!ok) std::printf("health statistics: samples lost\n");
  return met && ok ? 0 : 1;
}
