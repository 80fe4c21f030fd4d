// Parses a synthetic Kelo history download (one sample every 2 s, in 20-byte notifications) with the
// console captured, as the Bluetooth link does during a synchronisation. Reports the time per day of
// history and fits the cost against the number of samples: it must grow linearly (1 h to 24 h).
#include <benchmark/benchmark.h>

#include "support/KeloHistoryFixture.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;

namespace {

constexpr std::int64_t kSamplesPerHour = 1800;
constexpr double kSamplesPerDay = 43200;

void BM_KeloHistoryDownload(benchmark::State& state) {
  platform::TimeZone::setCurrent("Europe/Berlin");
  const auto samples = static_cast<std::size_t>(state.range(0) * kSamplesPerHour);
  const auto history = testkit::makeKeloHistory(samples, 1700000000, 0x21);
  for (auto _ : state) {
    testkit::ConsoleCapture console;
    auto rates = testkit::parseKeloHistory(history.frames);
    if (rates.size() != samples) state.SkipWithError("samples lost");
    benchmark::DoNotOptimize(rates.data());
  }
  platform::TimeZone::resetCurrent();
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples));
  state.SetComplexityN(static_cast<std::int64_t>(samples));
  // Seconds of parsing per day of history.
  state.counters["s_per_day"] =
      benchmark::Counter(static_cast<double>(samples) / kSamplesPerDay,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["hours"] = static_cast<double>(state.range(0));
}

BENCHMARK(BM_KeloHistoryDownload)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Arg(12)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
