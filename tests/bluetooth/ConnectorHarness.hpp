#pragma once
// The Bluetooth link on virtual time against the simulated radio: a fresh shared connector, a fresh
// application home, and a delegate that writes every callback into a list (with the queue it ran on).

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/ble/BluetoothRadio.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/Bluetooth.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren::testkit {

/// Every connector callback as one line ("bpm 72", "rr 781", "error TalvarenKit.ErrorBluetooth 0").
class Events : public BluetoothConnectorDelegate {
 public:
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  /// The lines that start with `prefix`.
  std::vector<std::string> with(const std::string& prefix) const {
    std::vector<std::string> found;
    for (auto& line : lines()) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  std::size_t count(const std::string& prefix) const { return with(prefix).size(); }
  /// The queue label each line was raised on ("-" outside any queue), in order.
  std::vector<std::string> queues(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].rfind(prefix, 0) == 0) found.push_back(queues_[i]);
    }
    return found;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
    queues_.clear();
  }

  void didUpdateBPM(std::uint16_t bpm, double) override { add("bpm " + std::to_string(bpm)); }
  void didConnect() override { add("connect"); }
  void didDisconnect() override { add("disconnect"); }
  void didDiscoverDevice(const std::shared_ptr<platform::Peripheral>&, const std::string& named,
                         const platform::AdvertisementData&) override {
    add("discover " + named);
  }
  void didUpdateBatteryLevel(std::uint8_t level) override { add("battery " + std::to_string(level)); }
  void didGetError(const Error& error) override { add("error " + error.domain + " " + std::to_string(error.code)); }
  void didUpdateRRIntervals(const std::vector<std::int64_t>& rr) override {
    std::string line = "rr";
    for (auto ms : rr) line += " " + std::to_string(ms);
    add(line);
  }
  void shouldSearchForDevices() override { add("search"); }
  void didNotEnabled() override { add("not enabled"); }
  void didUpdateSignalStrength(std::int64_t signal) override { add("signal " + std::to_string(signal)); }
  void willConnectToRRIntervals() override { add("will connect rr"); }
  void didSynchHR(const std::vector<HeartRate>& rates) override { add("synch " + std::to_string(rates.size())); }
  void didSelectSynchKeloDevice() override { add("select synch"); }
  void didGetTime(bool success, const Date& date) override {
    add(std::string("time ") + (success ? "true " : "false ") + date.description());
  }
  void didSetRRIntervals() override { add("thresholds set"); }
  void didSetTestMode(bool success) override { add(std::string("test mode ") + (success ? "true" : "false")); }
  void didDeviceTime(const Date& date) override { add("device time " + date.description()); }
  void didSetTime() override { add("set time"); }
  void didGetStateMode(BluetoothModeKelo mode, BluetoothStateKelo state) override {
    add("state " + std::string(caseName(mode)) + " " + std::string(caseName(state)));
  }
  void didGetFirmwareBatteryLevelWarning() override { add("battery warning"); }
  void didSetFirmwareMode() override { add("firmware mode"); }
  void didFirmwareVersion(const std::string& version, const std::shared_ptr<platform::Peripheral>&) override {
    add("version " + version);
  }

 private:
  void add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
    queues_.push_back(platform::DispatchQueue::currentLabel().value_or("-"));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<std::string> queues_;
};

/// A fresh world per test: application home, virtual time, a simulated radio as the current one, and
/// a new shared connector reporting to `events`.
struct World {
  testkit::TemporaryAppHome home;
  testkit::VirtualTime time;
  std::shared_ptr<sim::SimulatedRadio> radio = std::make_shared<sim::SimulatedRadio>();
  std::shared_ptr<Events> events = std::make_shared<Events>();
  std::shared_ptr<BluetoothConnector> connector;

  World() {
    platform::BluetoothRadio::setCurrent(radio);
    testkit::resetSharedBluetoothConnector();
    connector = BluetoothConnector::sharedInstance();
    connector->setDelegate(events);
  }
  ~World() {
    connector.reset();
    testkit::resetSharedBluetoothConnector();
    platform::BluetoothRadio::setCurrent(nullptr);
  }

  template <typename Strap>
  std::shared_ptr<Strap> add(std::shared_ptr<Strap> strap) {
    return radio->add(std::move(strap));
  }
  /// Saves `strap` for the task of `key`, as a finished connection would have.
  void save(const sim::SimulatedPeripheral& strap, const std::string& key) {
    connector->setDeviceType(key);
    platform::UserDefaults::standard()->set(strap.identifier().uuidString(), key);
  }
  /// fire() and let the radio power on, reconnect and discover.
  void start(double seconds = 1.0) {
    connector->fire();
    time.advance(seconds);
  }
};

}  // namespace talvaren::testkit
