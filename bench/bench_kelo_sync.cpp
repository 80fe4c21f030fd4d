// A full day of Kelo history (one sample every 2 s) downloaded from the simulated strap through the
// connector and the facade to the host's didSynchHR, on virtual time with the console captured, beside
// the Kelo parser alone fed the very frames the strap sent. Both report CPU seconds per day of history
// and microseconds per history frame (process CPU time); the download also reports its ratio to the parser, the link's
// overhead over the codec. The download's figure includes the simulated strap's own work, so the
// ratio is an upper bound of what the kit adds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "support/KeloHistoryFixture.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/Bluetooth.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/testing/VirtualTime.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

using namespace talvaren;

namespace {

constexpr std::size_t kSamplesPerDay = 43200;
constexpr std::size_t kSamplesPerRecord = 120;  // one record every four minutes

class SynchCounter : public BluetoothSynchDelegate {
 public:
  std::size_t samples = 0;
  bool done = false;
  void didSynchHR(const std::vector<HeartRate>& hertRates) override {
    samples = hertRates.size();
    done = true;
  }
  void didSelectSynchKeloDevice() override {}
  void didGetTime(bool, const Date&) override {}
  void didDisconnect() override {}
  void shouldSearchForDevices() override {}
  void handlerError(const Error&) override {}
  void didGetStateMode(BluetoothModeKelo, BluetoothStateKelo) override {}
};

std::vector<sim::KeloRecord> dayOfHistory() {
  std::vector<sim::KeloRecord> records;
  for (std::size_t first = 0; first < kSamplesPerDay; first += kSamplesPerRecord) {
    sim::KeloRecord record;
    record.start = static_cast<std::uint32_t>(1700000000 + first * 2);
    for (std::size_t i = 0; i < kSamplesPerRecord; ++i)
      record.samples.push_back(static_cast<std::uint8_t>(60 + i % 90));
    records.push_back(std::move(record));
  }
  return records;
}

/// One download through the facade; gives the samples heard, and when asked the history frames the
/// strap sent (read back from the radio's trace).
std::size_t download(std::vector<Bytes>* frames = nullptr) {
  testkit::TemporaryAppHome home;
  testkit::VirtualTime time;
  testkit::ConsoleCapture console;
  auto radio = std::make_shared<sim::SimulatedRadio>();
  platform::BluetoothRadio::setCurrent(radio);
  testkit::resetSharedBluetoothConnector();
  testkit::resetSharedBluetoothConfiguration();
  auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1)));
  strap->setHistory(dayOfHistory());
  platform::UserDefaults::standard()->set(strap->identifier().uuidString(),
                                          BluetoothAttrbutes::WorkoutImporterDeviceKey);
  auto counter = std::make_shared<SynchCounter>();
  auto facade = BluetoothConfiguration::shared();
  facade->setSynchDelegate(counter);
  facade->configSynch();
  time.advanceUntil([&] { return counter->done; }, 86400);
  const std::string mark = "notify FD19 ";
  for (const auto& line : frames ? radio->trace() : std::vector<std::string>{}) {
    auto at = line.find(mark);
    if (at == std::string::npos) continue;
    if (auto bytes = dataFromHexEncodedString(line.substr(at + mark.size()))) frames->push_back(std::move(*bytes));
  }
  facade.reset();
  testkit::resetSharedBluetoothConfiguration();
  testkit::resetSharedBluetoothConnector();
  platform::BluetoothRadio::setCurrent(nullptr);
  return counter->samples;
}

/// The frames through the parser, as the connector feeds it; gives the samples.
std::size_t parse(const std::vector<Bytes>& frames) {
  testkit::ConsoleCapture console;
  return testkit::parseKeloHistory(frames).size();
}

double cpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

/// CPU seconds per day of history and microseconds per frame, from `spent` CPU seconds in all iterations.
void report(benchmark::State& state, std::size_t frames, double spent) {
  auto perDay = spent / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSamplesPerDay));
  state.counters["cpu_s_per_day"] = perDay;
  state.counters["cpu_us_per_frame"] = perDay / static_cast<double>(frames) * 1e6;
  state.counters["frames"] = static_cast<double>(frames);
}

void BM_KeloSyncThroughFacade(benchmark::State& state) {
  platform::TimeZone::setCurrent("Europe/Berlin");
  std::vector<Bytes> frames;
  download(&frames);
  // The parser alone on the same frames, best of three, for the ratio.
  double parser = 1e9;
  for (int run = 0; run < 3; ++run) {
    auto start = cpuSeconds();
    benchmark::DoNotOptimize(parse(frames));
    parser = std::min(parser, cpuSeconds() - start);
  }
  double spent = 0;
  for (auto _ : state) {
    auto start = cpuSeconds();
    auto samples = download();
    spent += cpuSeconds() - start;
    if (samples != kSamplesPerDay) state.SkipWithError("samples lost");
  }
  platform::TimeZone::resetCurrent();
  report(state, frames.size(), spent);
  state.counters["ratio_to_parser"] = spent / static_cast<double>(state.iterations()) / parser;
}

void BM_KeloParserAlone(benchmark::State& state) {
  platform::TimeZone::setCurrent("Europe/Berlin");
  std::vector<Bytes> frames;
  download(&frames);
  double spent = 0;
  for (auto _ : state) {
    auto start = cpuSeconds();
    if (parse(frames) != kSamplesPerDay) state.SkipWithError("samples lost");
    spent += cpuSeconds() - start;
  }
  platform::TimeZone::resetCurrent();
  report(state, frames.size(), spent);
}

BENCHMARK(BM_KeloSyncThroughFacade)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_KeloParserAlone)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
