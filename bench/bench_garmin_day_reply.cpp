// Decoding and folding one Garmin day reply of 100,000 and of 1,000,000 summaries, each on a day of its own
// (the worst case for the day lookups, which keep an index beside each list), each call starting a new
// import (prepareForCall) on a connector that still holds the previous call's lists. The program prints
// the cost per summary at 1,000,000 over the cost at 100,000 (interleaved rounds; each size has its own
// connector, and both are warmed before the first round) for the dailies (with the activities folded from
// the same reply) and for the sleeps, and exits non-zero when a median exceeds 1.3. "--once=dailies:N" and
// "--once=sleeps:N" run one call of N summaries for bench/growth. The Google Benchmark cases
// ("s_per_summary" at 100, 10,000 and 100,000) run when a "--benchmark_..." argument asks.
#include <benchmark/benchmark.h>

#include <string>

#include "RatioRounds.hpp"
#include "importers/ConnectorMocks.hpp"
#include "talvaren/platform/Json.hpp"

using namespace talvaren;

namespace {

constexpr int smallCount = 100000;
constexpr int largeCount = 1000000;
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

/// One call's work on `connector`: a new import, the reply of `json` decoded and folded; false when a
/// summary went missing.
bool dailies(GarminConnector& connector, const JSON& json) {
  connector.prepareForCall(Date(1700000000));
  auto summaries = Json::fromJSONArray<GarminActivity>(json);
  if (!summaries) return false;
  connector.addDailies(*summaries);
  connector.addActivities(*summaries);
  benchmark::DoNotOptimize(connector.activityData.data());
  return connector.activityData.size() == json.size() && connector.caloriesData.size() == json.size();
}

bool sleeps(GarminConnector& connector, const JSON& json) {
  connector.prepareForCall(Date(1700000000));
  auto summaries = Json::fromJSONArray<GarminSleep>(json);
  if (!summaries) return false;
  connector.addSleeps(*summaries);
  benchmark::DoNotOptimize(connector.sleepData.data());
  return connector.sleepData.size() == json.size();
}

/// The cost per summary at the large size over the small one, for `fold` (dailies or sleeps) on replies of
/// sleeps or not; each size has a connector of its own, so that neither frees the other's lists.
bool ratioOf(const char* name, bool sleep, bool (*fold)(GarminConnector&, const JSON&), int rounds) {
  const JSON small = reply(smallCount, sleep);
  const JSON large = reply(largeCount, sleep);
  const auto smallConnector = std::make_shared<GarminConnectorMock>();
  const auto largeConnector = std::make_shared<GarminConnectorMock>();
  bool ok = true;
  // Seconds per summary, the small reply repeated until as many summaries are done as in the large one.
  const auto costPerSummary = [&](GarminConnector& connector, const JSON& json) {
    const auto repeats = largeCount / static_cast<int>(json.size());
    const double seconds = bench::threadSecondsOf([&] {
      for (int i = 0; i < repeats; ++i) ok = fold(connector, json) && ok;
    });
    return seconds / (static_cast<double>(repeats) * static_cast<double>(json.size()));
  };
  const auto ratios = bench::warmedInterleavedRatios(
      rounds, [&] { return costPerSummary(*largeConnector, large); },
      [&] { return costPerSummary(*smallConnector, small); });
  const bool met = bench::reportRatio(name, ratios, goal);
  if (!ok) std::printf("%s: summaries lost\n", name);
  return met && ok;
}

/// One call of `once.size` summaries after a first, counted by callgrind.
bool foldOnce(const bench::Once& once) {
  const bool sleep = once.name == "sleeps";
  if (!sleep && once.name != "dailies") return false;
  const JSON json = reply(static_cast<int>(once.size), sleep);
  const auto connector = std::make_shared<GarminConnectorMock>();
  return bench::countedOnce([&] { return sleep ? sleeps(*connector, json) : dailies(*connector, json); });
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench::runBenchmarksIfAsked(argc, argv)) return 2;
  bench::keepFreedMemory();
  if (const auto once = bench::onceFromArguments(argc, argv)) return foldOnce(*once) ? 0 : 1;
  const int rounds = bench::roundsFromArguments(argc, argv, 15);
  // One road at a time: the trees of a million summaries take hundreds of MB each.
  bool ok = ratioOf("garmin_dailies_per_summary_1000000_vs_100000", false, &dailies, rounds);
  ok = ratioOf("garmin_sleeps_per_summary_1000000_vs_100000", true, &sleeps, rounds) && ok;
  return ok ? 0 : 1;
}
