// An example host program: finds a (simulated) standard heart-rate strap, connects to it and prints a
// few seconds of live heart rate, signal strength and RR intervals. It runs on virtual time, so the
// seconds pass at once, and keeps its state in a temporary application home unless TALVAREN_HOME is set.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace {

using namespace talvaren;

/// The host's side: search when asked, take the first strap found, print what it measures.
class LiveHeartRate : public BluetoothConnectorDelegate {
 public:
  explicit LiveHeartRate(std::shared_ptr<BluetoothConnector> connector) : connector_(std::move(connector)) {}

  void shouldSearchForDevices() override { connector_->searchForDevices(); }
  void didDiscoverDevice(const std::shared_ptr<platform::Peripheral>& device, const std::string& named,
                         const platform::AdvertisementData&) override {
    std::printf("[host] found %s, connecting\n", named.c_str());
    connector_->shouldConnectToDevice(device);
  }
  void didConnect() override { std::printf("[host] connected\n"); }
  void didUpdateBPM(std::uint16_t bpm, double) override {
    std::lock_guard lock(mutex_);
    ++beats_;
    std::printf("[host] %u bpm\n", static_cast<unsigned>(bpm));
  }
  void didUpdateSignalStrength(std::int64_t signal) override {
    std::printf("[host] signal %lld\n", static_cast<long long>(signal));
  }
  void didUpdateRRIntervals(const std::vector<std::int64_t>& rr) override {
    std::string text;
    for (auto ms : rr) text += " " + std::to_string(ms) + " ms";
    std::printf("[host] RR%s\n", text.c_str());
  }
  int beats() const {
    std::lock_guard lock(mutex_);
    return beats_;
  }

 private:
  std::shared_ptr<BluetoothConnector> connector_;
  mutable std::mutex mutex_;
  int beats_ = 0;
};

}  // namespace

int main() {
  std::filesystem::path home;
  if (!std::getenv("TALVAREN_HOME")) {
    home = std::filesystem::temp_directory_path() / ("talvaren-live-heart-rate-" + std::to_string(::getpid()));
    platform::AppHome::setPath(home);
  }

  int beats = 0;
  {
    testkit::VirtualTime time;
    auto radio = std::make_shared<sim::SimulatedRadio>();
    platform::BluetoothRadio::setCurrent(radio);
    auto strap = radio->add(std::make_shared<sim::HeartRateStrap>(sim::identifierNumber(1), "HRM Strap"));
    sim::HeartRateMeasurement measurement;
    measurement.bpm = 68;
    measurement.rrIntervals = {900, 890};
    strap->setMeasurement(measurement);

    auto connector = BluetoothConnector::sharedInstance();
    auto host = std::make_shared<LiveHeartRate>(connector);
    connector->setDelegate(host);
    connector->setDeviceType(BluetoothAttrbutes::WorkoutDeviceKey);
    connector->fire();
    time.advance(5);
    connector->setEnableDisconectHRMDevice(true);
    connector->disconnectOnDemand();
    time.advance(1);
    beats = host->beats();
    connector->setDelegate({});
    platform::BluetoothRadio::setCurrent(nullptr);
  }

  if (!home.empty()) {
    platform::AppHome::setPath({});
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  if (beats < 3) {
    std::fprintf(stderr, "live_heart_rate: expected a few seconds of heart rate, got %d measurements\n", beats);
    return 1;
  }
  std::printf("live_heart_rate: %d measurements\n", beats);
  return 0;
}
