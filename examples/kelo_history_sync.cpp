// An example host program: downloads the heart-rate history of a (simulated) Kelo strap through the
// Bluetooth facade, prints the samples, then sets the strap's clock. The strap was picked in an earlier
// session, so it is saved for these tasks and the facade reconnects it. The strap asks the user to press
// its button before it sends anything; the host's synchronisation screen tells the user so.
// It runs on virtual time, so the seconds pass at once, and keeps its state in a temporary application
// home unless TALVAREN_HOME is set.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ExampleHome.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace {

using namespace talvaren;

/// The host's synchronisation and clock screens. Called on the connector's queue: it only records.
class SyncScreen : public BluetoothSynchDelegate, public BluetoothSetTimeDelegate {
 public:
  void didSelectSynchKeloDevice() override {
    std::lock_guard lock(mutex_);
    asked_ = true;
  }
  void didGetTime(bool success, const Date& date) override {
    std::printf("[host] strap clock %s (%s)\n", date.description().c_str(), success ? "plausible" : "far off");
  }
  void didSynchHR(const std::vector<HeartRate>& hertRates) override {
    std::lock_guard lock(mutex_);
    samples_ = hertRates;
    synchronised_ = true;
  }
  void didSetTime() override {
    std::lock_guard lock(mutex_);
    clockSet_ = true;
  }
  void didDisconnect() override { std::printf("[host] strap lost\n"); }
  void shouldSearchForDevices() override { std::printf("[host] no strap: the user should pick one\n"); }
  void handlerError(const Error& error) override {
    std::printf("[host] error: %s\n", error.localizedDescription().c_str());
  }
  void didGetStateMode(BluetoothModeKelo, BluetoothStateKelo) override {}

  bool asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
  }
  bool synchronised() const {
    std::lock_guard lock(mutex_);
    return synchronised_;
  }
  std::vector<HeartRate> samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
  }
  bool clockSet() const {
    std::lock_guard lock(mutex_);
    return clockSet_;
  }

 private:
  mutable std::mutex mutex_;
  bool asked_ = false;
  bool synchronised_ = false;
  bool clockSet_ = false;
  std::vector<HeartRate> samples_;
};

int fail(const char* message) {
  std::fprintf(stderr, "kelo_history_sync: %s\n", message);
  return 1;
}

int run() {
  testkit::VirtualTime time;
  auto radio = std::make_shared<sim::SimulatedRadio>();
  platform::BluetoothRadio::setCurrent(radio);
  auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1)));
  // Two workouts kept on the strap, samples two seconds apart; its clock runs an hour late.
  strap->setHistory({{0x21, 1699990000, {96, 112, 131, 140, 138}}, {0x22, 1699996000, {74, 79, 85}}});
  sim::KeloStrap::HistoryOptions options;
  options.needsSelection = true;
  strap->setHistoryOptions(options);
  strap->setClock(static_cast<std::int64_t>(time.now()) - 3600);
  platform::UserDefaults::standard()->set(strap->identifier().uuidString(),
                                          BluetoothAttrbutes::WorkoutImporterDeviceKey);

  auto bluetooth = BluetoothConfiguration::shared();
  auto screen = std::make_shared<SyncScreen>();
  bluetooth->setSynchDelegate(screen);
  bluetooth->setSetTimeDelegate(screen);

  if (!bluetooth->configSynch()) return fail("no strap saved for synchronisation");
  if (!time.advanceUntil([&] { return screen->asked(); }, 30)) return fail("the strap never asked for its button");
  std::printf("[host] please press the button on your strap\n");
  strap->selectSynchronisation();
  if (!time.advanceUntil([&] { return screen->synchronised(); }, 60)) return fail("the history never arrived");
  auto samples = screen->samples();
  std::printf("[host] %zu samples:\n", samples.size());
  for (const auto& sample : samples) {
    std::printf("[host]   %s  %u bpm\n", sample.date.description().c_str(), static_cast<unsigned>(sample.bmp));
  }
  time.advance(4);  // the connector ends the link 3 s after the history

  if (!bluetooth->setTime()) return fail("no strap saved for the clock");
  if (!time.advanceUntil([&] { return screen->clockSet(); }, 30)) return fail("the clock was not set");
  time.advance(3);  // and 2.5 s after setting the clock
  platform::BluetoothRadio::setCurrent(nullptr);

  if (samples.size() != 8) return fail("expected the 8 samples kept on the strap");
  if (strap->isConnected()) return fail("the strap is still linked after both tasks");
  std::printf("kelo_history_sync: %zu samples, strap clock set %d times\n", samples.size(), strap->clockSettings());
  return 0;
}

}  // namespace

int main() { return examples::runInApplicationHome("kelo-history-sync", run); }
