// Decoding and folding one Garmin day reply of 100 and of 10,000 summaries, each on a day of its own
// (the worst case for the day lookups, which keep an index beside each list). "s_per_summary" stays flat
// from 100 to 10,000: the cost grows linearly with the reply.
#include <benchmark/benchmark.h>

#include <string>

#include "importers/GarminConnector.hpp"
#include "talvaren/platform/Json.hpp"

using namespace talvaren;

namespace {

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
BENCHMARK(DailiesAndActivities)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

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
BENCHMARK(Sleeps)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
