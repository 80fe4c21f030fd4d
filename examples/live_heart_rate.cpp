// An example host program: a training run with live heart rate from a (simulated) standard heart-rate
// strap, driven through the Bluetooth facade with a train delegate as a host application would. The
// strap was picked in an earlier session, so it is saved for training and the facade reconnects it.
// The strap sends one measurement a second, in real time, while the program runs the main queue.
//
//   live_heart_rate [--help] [--quiet] [--home FOLDER]

#include <atomic>
#include <memory>
#include <string>

#include "Example.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"

namespace {

using namespace talvaren;

/// The host's training screen: prints what the strap measures. Called on the link's queue.
class TrainingScreen : public BluetoothTrainDelegate {
 public:
  void didUpdateBPM(std::uint16_t bpm, double) override {
    ++beats;
    examples::say("[host] %u bpm", static_cast<unsigned>(bpm));
  }
  void didConnect() override {
    examples::say("[host] connected to %s", BluetoothConfiguration::getLastConnectedDeviceName().c_str());
  }
  void didDisconnect() override { examples::say("[host] strap lost"); }
  void didNotEnabled() override { examples::say("[host] Bluetooth is off"); }
  void shouldSearchForDevices() override { examples::say("[host] no strap: the user should pick one"); }
  void handlerError(const Error& error) override {
    examples::say("[host] error: %s", error.localizedDescription().c_str());
  }

  std::atomic<int> beats{0};
};

int run(const examples::Options&) {
  auto radio = std::make_shared<sim::SimulatedRadio>();
  platform::BluetoothRadio::setCurrent(radio);
  auto strap = radio->add(std::make_shared<sim::HeartRateStrap>(sim::identifierNumber(1), "HRM Strap"));
  sim::HeartRateMeasurement measurement;
  measurement.bpm = 68;
  strap->setMeasurement(measurement);
  platform::UserDefaults::standard()->set(strap->identifier().uuidString(), BluetoothAttrbutes::WorkoutDeviceKey);

  auto bluetooth = BluetoothConfiguration::shared();
  auto screen = std::make_shared<TrainingScreen>();
  bluetooth->setTrainDelegate(screen);
  if (!bluetooth->configTrain()) return examples::fail("no strap saved for training");
  const bool measured = examples::waitUntil([&] { return screen->beats >= 3; }, 10);
  BluetoothConfiguration::enableDisconect(true);  // the run ends: no "strap lost"
  bluetooth->disconnect();
  examples::waitUntil([&] { return !strap->isConnected(); }, 2);
  platform::BluetoothRadio::setCurrent(nullptr);

  if (!measured) return examples::fail("expected a few seconds of heart rate, got %d measurements", screen->beats.load());
  examples::result("%d measurements from %s", screen->beats.load(), strap->name().value_or("?").c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main({"live_heart_rate", "A training run: live heart rate from the strap saved for training."},
                        argc, argv, run);
}
