// The Fitbit monthly conversions on long series: a distance and a steps series of N points each (the
// steps series shifted by half, so half its days are found again and half are new), and a calories series
// of N points. Runs at 100, 1,000 and 10,000 points and fits the growth: find-or-create must stay linear
// (the fitted complexity is reported as O(N); a quadratic search shows up as O(N^2) and a time per point
// that grows a hundredfold from 100 to 10,000).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "talvaren/testing/FitBit.hpp"

using namespace talvaren;

namespace {

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

}  // namespace

BENCHMARK(ActivitiesFromDistanceAndSteps)->RangeMultiplier(10)->Range(100, 10000)->Complexity(benchmark::oN);
BENCHMARK(CaloriesFromSeries)->RangeMultiplier(10)->Range(100, 10000)->Complexity(benchmark::oN);

BENCHMARK_MAIN();
