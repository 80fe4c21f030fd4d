// An example host program: downloads the heart-rate history of a (simulated) Kelo strap through the
// Bluetooth facade, prints the samples, then sets the strap's clock. The strap was picked in an earlier
// session, so it is saved for these tasks and the facade reconnects it. The strap asks the user to press
// its button before it sends anything; the host's synchronisation screen tells the user so. The program
// runs the main queue in real time while the link works on its own queue.
//
//   kelo_history_sync [--help] [--quiet] [--home FOLDER]

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Example.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"

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
    examples::say("[host] strap clock %s (%s)", date.description().c_str(), success ? "plausible" : "far off");
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
  void didDisconnect() override { examples::say("[host] strap lost"); }
  void shouldSearchForDevices() override { examples::say("[host] no strap: the user should pick one"); }
  void handlerError(const Error& error) override {
    examples::say("[host] error: %s", error.localizedDescription().c_str());
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
  platform::BluetoothRadio::setCurrent(nullptr);
  return examples::fail("%s", message);
}

int run(const examples::Options&) {
  auto radio = std::make_shared<sim::SimulatedRadio>();
  platform::BluetoothRadio::setCurrent(radio);
  auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1)));
  // Two workouts kept on the strap, samples two seconds apart; its clock runs an hour late.
  strap->setHistory({{0x21, 1699990000, {96, 112, 131, 140, 138}}, {0x22, 1699996000, {74, 79, 85}}});
  sim::KeloStrap::HistoryOptions options;
  options.needsSelection = true;
  strap->setHistoryOptions(options);
  strap->setClock(static_cast<std::int64_t>(platform::Date::now().timeIntervalSince1970()) - 3600);
  platform::UserDefaults::standard()->set(strap->identifier().uuidString(),
                                          BluetoothAttrbutes::WorkoutImporterDeviceKey);

  auto bluetooth = BluetoothConfiguration::shared();
  auto screen = std::make_shared<SyncScreen>();
  bluetooth->setSynchDelegate(screen);
  bluetooth->setSetTimeDelegate(screen);

  if (!bluetooth->configSynch()) return fail("no strap saved for synchronisation");
  if (!examples::waitUntil([&] { return screen->asked(); }, 10)) return fail("the strap never asked for its button");
  examples::say("[host] please press the button on your strap");
  strap->selectSynchronisation();
  if (!examples::waitUntil([&] { return screen->synchronised(); }, 20)) return fail("the history never arrived");
  auto samples = screen->samples();
  examples::say("[host] %zu samples:", samples.size());
  for (const auto& sample : samples) {
    examples::say("[host]   %s  %u bpm", sample.date.description().c_str(), static_cast<unsigned>(sample.bmp));
  }
  // The connector ends the link 3 s after the history.
  examples::waitUntil([&] { return !strap->isConnected(); }, 5);

  if (!bluetooth->setTime()) return fail("no strap saved for the clock");
  if (!examples::waitUntil([&] { return screen->clockSet(); }, 10)) return fail("the clock was not set");
  // And 2.5 s after setting the clock.
  examples::waitUntil([&] { return !strap->isConnected(); }, 5);
  platform::BluetoothRadio::setCurrent(nullptr);

  if (samples.size() != 8) return examples::fail("expected the 8 samples kept on the strap, got %zu", samples.size());
  if (strap->isConnected()) return examples::fail("the strap is still linked after both tasks");
  examples::result("%zu samples downloaded, strap clock set %d time(s)", samples.size(), strap->clockSettings());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main(
      {"kelo_history_sync", "A Kelo strap's history download, with the user's button press, then its clock set."},
      argc, argv, run);
}
