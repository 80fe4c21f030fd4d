#pragma once
// The Bluetooth link on virtual time against the simulated radio: a fresh shared connector (and facade),
// a fresh application home, a connector delegate that writes every callback into a list (with the queue
// it ran on), and host delegates that do the same for the facade.

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
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

/// Calls of host delegates, as "<role>.<call>", from any thread.
class CallLog {
 public:
  void add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  /// The calls so far; the log starts again empty.
  std::vector<std::string> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(calls_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

/// One host object that can stand in any of the seven roles; it writes "<role>.<call>" to a shared log.
class Host : public BluetoothTresholdDelegate,
             public BluetoothTestDelegate,
             public BluetoothTrainDelegate,
             public BluetoothSynchDelegate,
             public BluetoothDeviceTimeDelegate,
             public BluetoothSetTimeDelegate,
             public BluetoothFirmwareDelegate {
 public:
  Host(std::string role, std::shared_ptr<CallLog> log) : role_(std::move(role)), log_(std::move(log)) {}

  void retry() override { add("retry"); }
  void didSetRRIntervals() override { add("didSetRRIntervals"); }
  void shouldSearchForDevices() override { add("shouldSearchForDevices"); }
  void handlerError(const Error& e) override { add("handlerError " + std::to_string(e.code)); }
  void didGetStateMode(BluetoothModeKelo, BluetoothStateKelo) override { add("didGetStateMode"); }
  void didUpdateRRIntervals(const std::vector<std::int64_t>&, const std::optional<std::string>& name) override {
    add("didUpdateRRIntervals " + name.value_or("nil"));
  }
  void didUpdateBPM(std::uint16_t bpm, double) override { add("didUpdateBPM " + std::to_string(bpm)); }
  void didUpdateSignalStrength(std::int64_t) override { add("didUpdateSignalStrength"); }
  void willConnectToRRIntervals() override { add("willConnectToRRIntervals"); }
  void didConnect() override { add("didConnect"); }
  void didDisconnect() override { add("didDisconnect"); }
  void didNotEnabled() override { add("didNotEnabled"); }
  void didSetTestMode(bool) override { add("didSetTestMode"); }
  void didSelectSynchKeloDevice() override { add("didSelectSynchKeloDevice"); }
  void didGetTime(bool success, const Date&) override { add(success ? "didGetTime true" : "didGetTime false"); }
  void didSynchHR(const std::vector<HeartRate>& rates) override {
    std::string beats;
    for (auto& rate : rates) beats += (beats.empty() ? " " : ",") + std::to_string(rate.bmp);
    add("didSynchHR" + beats);
  }
  void didDeviceTime(const Date&) override { add("didDeviceTime"); }
  void didSetTime() override { add("didSetTime"); }
  void shouldUpgradeFirmware(const std::shared_ptr<platform::Peripheral>&) override { add("shouldUpgradeFirmware"); }
  void didGetFirmwareVersion(const std::string& version, const std::shared_ptr<platform::Peripheral>&) override {
    add("didGetFirmwareVersion " + version);
  }
  void didSetFirmwareMode() override { add("didSetFirmwareMode"); }
  void didDiscoverFirmwareDevice(const std::shared_ptr<platform::Peripheral>&, const std::string&,
                                 const platform::AdvertisementData&) override {
    add("didDiscoverFirmwareDevice");
  }
  void didUpdateBatteryLevel(std::uint8_t level) override { add("didUpdateBatteryLevel " + std::to_string(level)); }
  void didGetFirmwareBatteryLevelWarning() override { add("didGetFirmwareBatteryLevelWarning"); }

 private:
  void add(const std::string& call) { log_->add(role_ + "." + call); }
  std::string role_;
  std::shared_ptr<CallLog> log_;
};

/// Seven hosts, one in each role of `facade`, writing to one log.
struct Hosts {
  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  std::vector<std::shared_ptr<Host>> all;
  explicit Hosts(BluetoothConfiguration& facade) {
    for (auto role : {"treshold", "test", "train", "synch", "deviceTime", "setTime", "firmware"}) {
      all.push_back(std::make_shared<Host>(role, log));
    }
    facade.setTresholdDelegate(all[0]);
    facade.setTestDelegate(all[1]);
    facade.setTrainDelegate(all[2]);
    facade.setSynchDelegate(all[3]);
    facade.setDeviceTimeDelegate(all[4]);
    facade.setSetTimeDelegate(all[5]);
    facade.setFirmwareDelegate(all[6]);
  }
  std::vector<std::string> take() { return log->take(); }
  /// The calls of one role ("synch."), the others dropped.
  std::vector<std::string> take(const std::string& role) {
    std::vector<std::string> calls;
    for (auto& call : log->take()) {
      if (call.rfind(role, 0) == 0) calls.push_back(call);
    }
    return calls;
  }
};

struct FacadeWorld : World {
  std::shared_ptr<BluetoothConfiguration> facade;
  FacadeWorld() {
    testkit::resetSharedBluetoothConfiguration();
    facade = BluetoothConfiguration::shared();
  }
  ~FacadeWorld() {
    facade.reset();
    testkit::resetSharedBluetoothConfiguration();
  }
};

/// A characteristic outside any link, holding `value`, for feeding a handler directly.
inline std::shared_ptr<platform::Characteristic> valueOf(const char* characteristic, std::optional<Bytes> value) {
  auto c = std::make_shared<platform::Characteristic>(
      sim::uuid(characteristic), platform::CharacteristicProperties::notify, 1, std::weak_ptr<platform::Service>{});
  c->setValue(std::move(value));
  return c;
}

}  // namespace talvaren::testkit
