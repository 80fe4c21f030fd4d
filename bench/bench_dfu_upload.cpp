// Uploads a 256 KiB image to the simulated Kelo bootloader on virtual time. The CPU time per KiB is the
// engine's (with the simulated radio and target, which share the thread); the "sim_KiB_per_s" counter is
// the throughput on the simulated link's clock, which shows what the receipt-notification count and the
// packet size (20 bytes at the default MTU, 244 at the largest) do to an update.
#include <benchmark/benchmark.h>

#include "talvaren/platform/ble/CentralManager.hpp"
#include "talvaren/platform/dfu/DFUServiceInitiator.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;
using namespace talvaren::platform;

namespace {

constexpr std::size_t kImageSize = 256 * 1024;

struct Outcome : dfu::DFUServiceDelegate {
  bool completed = false;
  bool failed = false;
  void dfuStateDidChange(dfu::DFUState state) override { completed = completed || state == dfu::DFUState::completed; }
  void dfuError(dfu::DFUError, const std::string&) override { failed = true; }
};

struct Idle : CentralManagerDelegate {
  void centralManagerDidUpdateState(CentralManager&) override {}
};

void BM_DfuUpload(benchmark::State& state) {
  const auto prn = static_cast<std::uint16_t>(state.range(0));
  const auto packetSize = static_cast<std::uint16_t>(state.range(1));
  Bytes image(kImageSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
  auto firmware = std::make_shared<dfu::DFUFirmware>(std::vector<dfu::DFUFirmware::Part>{
      {"application", sim::DfuBootloader::initPacket(sim::DfuBootloader::typeApplication, image), image}});
  testkit::ConsoleCapture console;
  double simulatedSeconds = 0;
  for (auto _ : state) {
    testkit::VirtualTime time;
    auto radio = std::make_shared<sim::SimulatedRadio>();
    auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1)));
    strap->enterUpdateMode();
    auto idle = std::make_shared<Idle>();
    auto central = CentralManager::make(idle, std::nullopt, radio);
    time.advance(0.1);
    auto target = central->retrievePeripherals({strap->identifier()}).front();
    auto outcome = std::make_shared<Outcome>();
    BluetoothRadio::setCurrent(radio);
    dfu::DFUServiceInitiator initiator;
    initiator.packetReceiptNotificationParameter = prn;
    initiator.packetSize = packetSize;
    initiator.delegate = outcome;
    const double start = time.now();
    auto controller = initiator.with(firmware).start(target);
    time.advanceUntil([&] { return outcome->completed || outcome->failed; }, 3600);
    simulatedSeconds += time.now() - start;
    BluetoothRadio::setCurrent(nullptr);
    if (!outcome->completed || strap->bootloader().activated()->bytes != image) {
      state.SkipWithError("the update did not complete");
      break;
    }
    console.clear();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
  state.counters["sim_KiB_per_s"] =
      simulatedSeconds > 0 ? static_cast<double>(state.iterations()) * (kImageSize / 1024.0) / simulatedSeconds : 0;
  state.counters["cpu_us_per_KiB"] =
      benchmark::Counter(static_cast<double>(kImageSize / 1024) * 1e-6,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_DfuUpload)
    ->ArgNames({"prn", "packet"})
    ->ArgsProduct({{0, 12, 100}, {20, 244}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

BENCHMARK_MAIN();
