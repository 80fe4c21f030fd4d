// A daily statistics-collection query of the health store over minute-level samples (one sample a minute,
// as a watch records them), enumerated day by day as the readers do. The cost of a query over n samples
// must grow no faster than n log n and stay there as the data outgrows the caches: the program prints the
// cost / (n log n) over three years of samples against the same over one month (interleaved rounds) and
// exits non-zero when its median exceeds 1.5. The Google Benchmark case (a month to three years, fitted as
// n log n) runs when a "--benchmark_..." argument asks for it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>

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
constexpr std::int64_t kThreeYears = 1096;
constexpr double goal = 1.5;

/// One sample a minute of `type` over `days` days from kStart, 10 units each.
void seed(health::QuantityTypeIdentifier type, std::int64_t days) {
  const auto unit = *health::ObjectType(type).canonicalUnit();
  for (std::int64_t minute = 0; minute < days * kMinutesPerDay; ++minute) {
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

int main(int argc, char** argv) {
  if (!bench::runBenchmarksIfAsked(argc, argv)) return 2;
  // Two types of one unit hold the two series side by side: a month of cycling, three years of walking.
  const auto month = health::QuantityTypeIdentifier::distanceCycling;
  const auto years = health::QuantityTypeIdentifier::distanceWalkingRunning;
  Setting setting;
  seed(month, kMonth);
  seed(years, kThreeYears);
  setting.authorize({health::ObjectType(month), health::ObjectType(years)});
  bool ok = true;
  const auto costPerNLogN = [&](health::QuantityTypeIdentifier type, std::int64_t days) {
    const auto n = static_cast<double>(days * kMinutesPerDay);
    // The month is repeated to take about as long as the three years do.
    const int repeats = type == month ? static_cast<int>(kThreeYears / kMonth) : 1;
    const double seconds = bench::threadSecondsOf([&] {
      for (int i = 0; i < repeats; ++i) ok = dailyStatistics(setting.store, setting.time, type, days) && ok;
    });
    return seconds / repeats / (n * std::log2(n));
  };
  const auto ratios = bench::interleavedRatios(
      bench::roundsFromArguments(argc, argv, 7), [&] { return costPerNLogN(years, kThreeYears); },
      [&] { return costPerNLogN(month, kMonth); });
  ok = bench::reportRatio("health_statistics_nlogn_three_years_vs_month", ratios, goal) && ok;
  if (!ok) std::printf("health statistics: out of limits or samples lost\n");
  return ok ? 0 : 1;
}
