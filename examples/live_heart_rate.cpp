// An example host program: a training run with live heart rate from a (simulated) standard heart-rate
// strap, driven through the Bluetooth facade with a train delegate as a host application would. The
// strap was picked in an earlier session, so it is saved for training and the facade reconnects it.
// It runs on virtual time, so the seconds pass at once, and keeps its state in a temporary
// application home unless TALVAREN_HOME is set.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "ExampleHome.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace {

using namespace talvaren;

/// The host's training screen: prints what the strap measures.
class TrainingScreen : public BluetoothTrainDelegate {
 public:
  void didUpdateBPM(std::uint16_t bpm, double) override {
    std::lock_guard lock(mutex_);
    ++beats_;
    std::printf("[host] %u bpm\n", static_cast<unsigned>(bpm));
  }
  void didConnect() override {
    std::printf("[host] connected to %s\n", BluetoothConfiguration::getLastConnectedDeviceName().c_str());
  }
  void didDisconnect() override { std::printf("[host] strap lost\n"); }
  void didNotEnabled() override { std::printf("[host] Bluetooth is off\n"); }
  void shouldSearchForDevices() override { std::printf("[host] no strap: the user should pick one\n"); }
  void handlerError(const Error& error) override {
    std::printf("[host] error: %s\n", error.localizedDescription().c_str());
  }
  int beats() const {
    std::lock_guard lock(mutex_);
    return beats_;
  }

 private:
  mutable std::mutex mutex_;
  int beats_ = 0;
};

int run() {
  testkit::VirtualTime time;
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
  if (!bluetooth->configTrain()) {
    std::fprintf(stderr, "live_heart_rate: no strap saved for training\n");
    return 1;
  }
  time.advance(5);
  BluetoothConfiguration::enableDisconect(true);  // the run ends: no "strap lost"
  bluetooth->disconnect();
  time.advance(1);
  platform::BluetoothRadio::setCurrent(nullptr);

  if (screen->beats() < 3) {
    std::fprintf(stderr, "live_heart_rate: expected a few seconds of heart rate, got %d measurements\n",
                 screen->beats());
    return 1;
  }
  std::printf("live_heart_rate: %d measurements\n", screen->beats());
  return 0;
}

}  // namespace

int main() { return examples::runInApplicationHome("live-heart-rate", run); }
