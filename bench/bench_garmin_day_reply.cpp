// Decoding and folding one Garmin day reply of 1,000 and of 100,000 summaries, each on a day of its own
// (the worst case for the day lookups, which keep an index beside each list). The program prints the cost
// per summary at 100,000 over the cost at 1,000 (interleaved rounds) for the dailies (with the activities
// folded from the same reply) and for the sleeps, and exits non-zero when a median exceeds 1.3. The Google
// Benchmark cases ("s_per_summary" at 100, 10,000 and 100,000) run when a "--benchmark_..." argument asks.
#include <benchmark/benchmark.h>

#include <string>

#include "RatioRounds.hpp"
#include "importers/ConnectorMocks.hpp"
#include "talvaren/platform/Json.hpp"

using namespace talvaren;

namespace {

constexpr int smallCount = 1000;
constexpr int largeCount = 100000;
constexpr double goal = 1.3;

JSON reply(int count, bool sleep) {
  JSON summaries = JSON::array();
  for (int i = 0; i < count; ++i) {
    const std::string day = "day-" + std::to_string(i);
    if (sleep) {
      summaries.push_back({{"calendarDate", day},
                           {"durationInSeconds", 20000 + i},
                           {"startTimeInSeconds", 1700000000 + i},
                           {"summaryId", "s" + std::to_string(i)},
                           {"validation", "AUTO"}});
    } else {
      summaries.push_back({{"calendarDate", day},
                           {"steps", 1000 + i},
                           {"distanceInMeters", 1234.5 + i},
                           {"activeKilocalories", 100 + i},
                           {"summaryId", "a" + std::to_string(i)}});
    }
  }
  return summaries;
}

void report(benchmark::State& state, int count) {
  state.counters["s_per_summary"] = benchmark::Counter(
      static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void DailiesAndActivities(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  const JSON json = reply(count, false);
  const auto connector = std::make_shared<GarminConnectorMock>();
  for (auto _ : state) {
    connector->prepareForCall(Date(1700000000));
    auto summaries = Json::fromJSONArray<GarminActivity>(json);
    connector->addDailies(*summaries);
    connector->addActivities(*summaries);
    benchmark::DoNotOptimize(connector->activityData.data());
  }
  report(state, count);
}
BENCHMARK(DailiesAndActivities)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void Sleeps(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  const JSON json = reply(count, true);
  const auto connector = std::make_shared<GarminConnectorMock>();
  for (auto _ : state) {
    connector->prepareForCall(Date(1700000000));
    connector->addSleeps(*Json::fromJSONArray<GarminSleep>(json));
    benchmark::DoNotOptimize(connector->sleepData.data());
  }
  report(state, count);
}
BENCHMARK(Sleeps)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

/// Seconds per summary of `fold` on the reply of `count` summaries, repeated until `largeCount` are done.
template <class Fold>
double costPerSummary(int count, Fold& fold) {
  const int repeats = largeCount / count;
  const double seconds = bench::threadSecondsOf([&] {
    for (int i = 0; i < repeats; ++i) fold(count);
  });
  return seconds / (static_cast<double>(repeats) * count);
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench::runBenchmarksIfAsked(argc, argv)) return 2;
  const int rounds = bench::roundsFromArguments(argc, argv, 15);
  const JSON smallDays = reply(smallCount, false);
  const JSON largeDays = reply(largeCount, false);
  const JSON smallSleeps = reply(smallCount, true);
  const JSON largeSleeps = reply(largeCount, true);
  const auto connector = std::make_shared<GarminConnectorMock>();
  bool ok = true;
  auto dailies = [&](int count) {
    connector->prepareForCall(Date(1700000000));
    auto summaries = Json::fromJSONArray<GarminActivity>(count == smallCount ? smallDays : largeDays);
    connector->addDailies(*summaries);
    connector->addActivities(*summaries);
    if (connector->activityData.size() != static_cast<std::size_t>(count)) ok = false;
    benchmark::DoNotOptimize(connector->activityData.data());
  };
  auto sleeps = [&](int count) {
    connector->prepareForCall(Date(1700000000));
    connector->addSleeps(*Json::fromJSONArray<GarminSleep>(count == smallCount ? smallSleeps : largeSleeps));
    if (connector->sleepData.size() != static_cast<std::size_t>(count)) ok = false;
    benchmark::DoNotOptimize(connector->sleepData.data());
  };
  const auto dailyRatios = bench::interleavedRatios(
      rounds, [&] { return costPerSummary(largeCount, dailies); }, [&] { return costPerSummary(smallCount, dailies); });
  ok = bench::reportRatio("garmin_dailies_per_summary_100000_vs_1000", dailyRatios, goal) && ok;
  const auto sleepRatios = bench::interleavedRatios(
      rounds, [&] { return costPerSummary(largeCount, sleeps); }, [&] { return costPerSummary(smallCount, sleeps); });
  ok = bench::reportRatio("garmin_sleeps_per_summary_100000_vs_1000", sleepRatios, goal) && ok;
  return ok ? 0 : 1;
}
