// A long workout upload: 100,000 server heart-rate samples read from and written to a JSON array,
// through the record layer (decoded element by element, written record by record) and through
// nlohmann-json alone (the same decode and encode). Prints the time
// ratio records / raw over interleaved rounds and exits non-zero when its median exceeds 1.3.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "RatioRounds.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/records/HeartrateSDK.hpp"

using namespace talvaren;

namespace {

constexpr std::int64_t sampleCount = 100000;
constexpr double goal = 1.3;

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

/// The record layer's road for a long array: each element decoded as soon as it is read, each record
/// written straight into the text.
std::size_t recordRoundTrip(const std::string& text) {
  auto samples = Json::decodeArray<HeartrateSDK>(text);
  return Json::dumpArray(*samples)->size();
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

int main(int argc, char** argv) {
  if (!bench::runBenchmarksIfAsked(argc, argv)) return 2;
  const std::string& text = uploadText();
  if (!Json::fromJSONArray<HeartrateSDK>(*Json::parse(text))) {
    std::printf("the upload did not read back as samples\n");
    return 1;
  }
  const auto ratios = bench::interleavedRatios(
      bench::roundsFromArguments(argc, argv, 15),
      [&] { return bench::threadSecondsOf([&] { benchmark::DoNotOptimize(recordRoundTrip(text)); }); },
      [&] { return bench::threadSecondsOf([&] { benchmark::DoNotOptimize(rawRoundTrip(text)); }); });
  return bench::reportRatio("heartrate_json", ratios, goal) ? 0 : 1;
}
