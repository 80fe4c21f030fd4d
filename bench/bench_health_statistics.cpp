// A daily statistics-collection query of the health store over minute-level step samples (one sample a
// minute, as a watch records them), from a month to a year of them, enumerated day by day as the
// readers do. Fits the cost against the number of samples: it must grow no faster than n log n.
#include <benchmark/benchmark.h>

#include <memory>

#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/platform/health/HealthStore.hpp"
#include "talvaren/sim/HealthStoreSimulator.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;
namespace health = platform::health;

namespace {

constexpr double kStart = 1767222000;  // 2026-01-01 00:00 in Berlin; a year spans both changes of summer time
constexpr std::int64_t kMinutesPerDay = 1440;

void BM_DailyStepStatistics(benchmark::State& state) {
  platform::TimeZone::setCurrent("Europe/Berlin");
  testkit::VirtualTime time(kStart + static_cast<double>(state.range(0)) * 86400);
  sim::HealthStoreSimulator::reset();
  const std::int64_t samples = state.range(0) * kMinutesPerDay;
  for (std::int64_t minute = 0; minute < samples; ++minute) {
    const double start = kStart + static_cast<double>(minute) * 60;
    sim::HealthStoreSimulator::addQuantitySample(health::QuantityTypeIdentifier::stepCount,
                                                 health::Quantity(health::Unit::count(), 10), Date(start),
                                                 Date(start + 60));
  }
  const health::ObjectType steps(health::QuantityTypeIdentifier::stepCount);
  health::HealthStore store;
  store.requestAuthorization(std::nullopt, {steps}, nullptr);
  time.runReady();

  DateComponents oneDay;
  oneDay.day = 1;
  const Date end(time.now());
  for (auto _ : state) {
    double total = 0;
    auto query = std::make_shared<health::StatisticsCollectionQuery>(
        steps, health::predicateForSamples(Date(kStart), end, health::QueryOptions::strictStartDate),
        health::StatisticsOptions::cumulativeSum, Date(kStart), oneDay);
    query->setInitialResultsHandler([&](const health::StatisticsCollectionQuery&,
                                        std::shared_ptr<const health::StatisticsCollection> collection,
                                        std::optional<Error>) {
      if (!collection) return;
      collection->enumerateStatistics(Date(kStart), end, [&](const health::Statistics& statistics, bool&) {
        if (statistics.sumQuantity()) total += *statistics.sumQuantity()->doubleValue(health::Unit::count());
      });
    });
    store.execute(query);
    time.runReady();
    if (total != static_cast<double>(samples) * 10) state.SkipWithError("samples lost");
  }
  sim::HealthStoreSimulator::reset();
  platform::TimeZone::resetCurrent();
  state.SetItemsProcessed(state.iterations() * samples);
  state.SetComplexityN(samples);
  state.counters["days"] = static_cast<double>(state.range(0));
}

BENCHMARK(BM_DailyStepStatistics)
    ->Arg(30)
    ->Arg(91)
    ->Arg(182)
    ->Arg(365)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

}  // namespace

BENCHMARK_MAIN();
