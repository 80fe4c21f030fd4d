// A long workout upload: 100,000 server heart-rate samples read from and written to a JSON array,
// through the record layer and through nlohmann-json alone. Each benchmark reports samples per
// second; the record benchmark also reports "vs_raw_json", its time over the raw library's time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "talvaren/platform/Json.hpp"
#include "talvaren/records/HeartrateSDK.hpp"

using namespace talvaren;

namespace {

constexpr std::int64_t sampleCount = 100000;

const std::string& uploadText() {
  static const std::string text = [] {
    JSON array = JSON::array();
    for (std::int64_t i = 0; i < sampleCount; ++i) {
      array.push_back({{"timestamp", 1577836800000000 + i * 1000000},
                       {"value", 60 + i % 120},
                       {"workout", "8f1c2d3e-workout"},
                       {"owner", 42}});
    }
    return array.dump();
  }();
  return text;
}

std::size_t rawRoundTrip(const std::string& text) {
  auto parsed = nlohmann::json::parse(text);
  return parsed.dump().size();
}

std::size_t recordRoundTrip(const std::string& text) {
  auto parsed = Json::parse(text);
  auto samples = Json::fromJSONArray<HeartrateSDK>(*parsed);
  auto written = Json::toJSONArray(*samples);
  return Json::dump(*written).size();
}

template <class RoundTrip>
double secondsPerRun(RoundTrip roundTrip, int runs) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < runs; ++i) benchmark::DoNotOptimize(roundTrip(uploadText()));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / runs;
}

void RawJsonParseAndDump(benchmark::State& state) {
  const std::string& text = uploadText();
  for (auto _ : state) benchmark::DoNotOptimize(rawRoundTrip(text));
  state.SetItemsProcessed(state.iterations() * sampleCount);
}

void HeartrateSDKReadAndWrite(benchmark::State& state) {
  const std::string& text = uploadText();
  if (!Json::fromJSONArray<HeartrateSDK>(*Json::parse(text))) {
    state.SkipWithError("the upload did not read back as samples");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(recordRoundTrip(text));
  state.SetItemsProcessed(state.iterations() * sampleCount);
  double raw = secondsPerRun(rawRoundTrip, 3);
  double records = secondsPerRun(recordRoundTrip, 3);
  state.counters["vs_raw_json"] = records / raw;
}

}  // namespace

BENCHMARK(RawJsonParseAndDump)->Unit(benchmark::kMillisecond);
BENCHMARK(HeartrateSDKReadAndWrite)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
