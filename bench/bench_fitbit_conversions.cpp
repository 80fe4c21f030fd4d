// The Fitbit monthly conversions on long series: a distance and a steps series of N points each (the
// steps series shifted by half, so half its days are found again and half are new), and a calories series
// of N points. Find-or-create must stay linear, and must stay so once the records outgrow the caches: the
// program prints the cost per point at 1,000,000 points over the cost per point at 100,000 (interleaved
// rounds, both sizes well beyond the caches, both warmed before the first round) for both conversions and
// exits non-zero when a median exceeds 1.3. "--once=activities:N" and "--once=calories:N" run one
// conversion of N points for bench/growth. The Google Benchmark cases (100 to 100,000 points, fitted as
// O(N)) run when a "--benchmark_..." argument asks for them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "RatioRounds.hpp"
#include "talvaren/testing/FitBit.hpp"

using namespace talvaren;

namespace {

constexpr std::int64_t smallCount = 100000;
constexpr std::int64_t largeCount = 1000000;
constexpr double goal = 1.3;

std::vector<FitBitActivity> series(std::int64_t count, std::int64_t firstDay) {
  std::vector<FitBitActivity> points;
  points.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t day = firstDay + i;
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", static_cast<long long>(2000 + day / 372),
                  static_cast<long long>(1 + day / 31 % 12), static_cast<long long>(1 + day % 31));
    FitBitActivity point;
    point.dateTime = text;
    point.value = std::to_string(1000 + i % 9000) + ".25";
    points.push_back(std::move(point));
  }
  return points;
}

void ActivitiesFromDistanceAndSteps(benchmark::State& state) {
  const auto count = state.range(0);
  const auto distance = series(count, 0);
  const auto steps = series(count, count / 2);
  std::size_t made = 0;
  for (auto _ : state) {
    auto records = testkit::convertFitBitActivities(distance, steps);
    made = records.size();
    benchmark::DoNotOptimize(records);
  }
  if (made != static_cast<std::size_t>(count + count - count / 2)) state.SkipWithError("wrong record count");
  state.SetItemsProcessed(state.iterations() * count * 2);
  state.SetComplexityN(count);
}

void CaloriesFromSeries(benchmark::State& state) {
  const auto count = state.range(0);
  const auto calories = series(count, 0);
  for (auto _ : state) benchmark::DoNotOptimize(testkit::convertFitBitCalories(calories));
  state.SetItemsProcessed(state.iterations() * count);
  state.SetComplexityN(count);
}

/// Seconds per point of `convert` on series of `count` points, repeated until `largeCount` points are done.
template <class Convert>
double costPerPoint(std::int64_t count, Convert& convert) {
  const auto repeats = largeCount / count;
  const double seconds = bench::threadSecondsOf([&] {
    for (std::int64_t i = 0; i < repeats; ++i) convert(count);
  });
  return seconds / static_cast<double>(repeats * count);
}

BENCHMARK(ActivitiesFromDistanceAndSteps)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN);
BENCHMARK(CaloriesFromSeries)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN);

/// One conversion of `once.size` points, counted by callgrind; false for an unknown case or wrong records.
bool convertOnce(const bench::Once& once) {
  const auto first = series(once.size, 0);
  if (once.name == "calories") {
    return bench::countedOnce(
        [&] { return testkit::convertFitBitCalories(first).size() == static_cast<std::size_t>(once.size); });
  }
  if (once.name != "activities") return false;
  const auto second = series(once.size, once.size / 2);
  return bench::countedOnce([&] {
    return testkit::convertFitBitActivities(first, second).size() ==
           static_cast<std::size_t>(once.size + once.size - once.size / 2);
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench::runBenchmarksIfAsked(argc, argv)) return 2;
  bench::keepFreedMemory();
  if (const auto once = bench::onceFromArguments(argc, argv)) return convertOnce(*once) ? 0 : 1;
  const int rounds = bench::roundsFromArguments(argc, argv, 15);
  const auto small = std::pair(series(smallCount, 0), series(smallCount, smallCount / 2));
  const auto large = std::pair(series(largeCount, 0), series(largeCount, largeCount / 2));
  const auto seriesOf = [&](std::int64_t count) -> const auto& { return count == smallCount ? small : large; };
  bool ok = true;
  auto activities = [&](std::int64_t count) {
    auto records = testkit::convertFitBitActivities(seriesOf(count).first, seriesOf(count).second);
    if (records.size() != static_cast<std::size_t>(count + count - count / 2)) ok = false;
    benchmark::DoNotOptimize(records.data());
  };
  auto calories = [&](std::int64_t count) {
    auto records = testkit::convertFitBitCalories(seriesOf(count).first);
    if (records.size() != static_cast<std::size_t>(count)) ok = false;
    benchmark::DoNotOptimize(records.data());
  };
  const auto activityRatios = bench::warmedInterleavedRatios(
      rounds, [&] { return costPerPoint(largeCount, activities); },
      [&] { return costPerPoint(smallCount, activities); });
  ok = bench::reportRatio("fitbit_activities_per_point_1000000_vs_100000", activityRatios, goal) && ok;
  const auto calorieRatios = bench::warmedInterleavedRatios(
      rounds, [&] { return costPerPoint(largeCount, calories); }, [&] { return costPerPoint(smallCount, calories); });
  ok = bench::reportRatio("fitbit_calories_per_point_1000000_vs_100000", calorieRatios, goal) && ok;
  return ok ? 0 : 1;
}
