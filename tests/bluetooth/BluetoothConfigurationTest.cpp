// The facade: modes and their checks against a recording connector, the routing to the seven host
// delegates, and whole tasks through the shared facade against the simulated straps.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>
#include <utility>

#include "bluetooth/ConnectorHarness.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;
using sim::identifierNumber;
using testkit::CallLog;
using testkit::FacadeWorld;
using testkit::Host;
using testkit::Hosts;
using testkit::World;
using Lines = std::vector<std::string>;

namespace {

/// A connector that only writes down what the facade asks of it.
class RecordingConnector : public BluetoothConnectorProtocol {
 public:
  Lines calls;
  std::map<std::string, bool> flags;
  std::optional<std::string> saved, name;
  bool poweredOn = false;
  std::weak_ptr<BluetoothConnectorDelegate> delegate_;

  bool get(const std::string& flag) const { return flags.count(flag) && flags.at(flag); }
  void set(const std::string& flag, bool value) {
    calls.push_back(flag + (value ? " on" : " off"));
    flags[flag] = value;
  }
  /// The flags that are set, in name order.
  Lines setFlags() const {
    Lines set;
    for (auto& [flag, value] : flags) {
      if (value) set.push_back(flag);
    }
    return set;
  }

  std::optional<std::string> lastConnectedDeviceName() const override { return name; }
  bool enableDisconectHRMDevice() const override { return get("enableDisconectHRMDevice"); }
  void setEnableDisconectHRMDevice(bool v) override { set("enableDisconectHRMDevice", v); }
  bool enableTreshold() const override { return get("enableTreshold"); }
  void setEnableTreshold(bool v) override { set("enableTreshold", v); }
  bool enableRRIntervals() const override { return get("enableRRIntervals"); }
  void setEnableRRIntervals(bool v) override { set("enableRRIntervals", v); }
  bool enableSynch() const override { return get("enableSynch"); }
  void setEnableSynch(bool v) override { set("enableSynch", v); }
  bool enableDeviceTime() const override { return get("enableDeviceTime"); }
  void setEnableDeviceTime(bool v) override { set("enableDeviceTime", v); }
  bool enableSetTime() const override { return get("enableSetTime"); }
  void setEnableSetTime(bool v) override { set("enableSetTime", v); }
  bool enableFirmwareUpdate() const override { return get("enableFirmwareUpdate"); }
  void setEnableFirmwareUpdate(bool v) override { set("enableFirmwareUpdate", v); }
  bool enableFirmwareVersion() const override { return get("enableFirmwareVersion"); }
  void setEnableFirmwareVersion(bool v) override { set("enableFirmwareVersion", v); }
  bool enableFirmwareMode() const override { return get("enableFirmwareMode"); }
  void setEnableFirmwareMode(bool v) override { set("enableFirmwareMode", v); }
  bool enableFirmware() const override { return get("enableFirmware"); }
  void setEnableFirmware(bool v) override { set("enableFirmware", v); }
  bool enableTestMode() const override { return get("enableTestMode"); }
  void setEnableTestMode(bool v) override { set("enableTestMode", v); }
  bool enableModeState() const override { return get("enableModeState"); }
  void setEnableModeState(bool v) override { set("enableModeState", v); }
  bool enableGetTime() const override { return get("enableGetTime"); }
  void setEnableGetTime(bool v) override { set("enableGetTime", v); }
  bool connected() const override { return false; }
  std::uint8_t trainingThreshold() const override { return training; }
  std::uint8_t overloadThreshold() const override { return overload; }
  std::shared_ptr<BluetoothConnectorDelegate> delegate() const override { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<BluetoothConnectorDelegate> d) override { delegate_ = std::move(d); }
  void disconnectOnDemand() override { calls.push_back("disconnectOnDemand"); }
  void connectToLastKnownDevice() override { calls.push_back("connectToLastKnownDevice"); }
  void fire() override { calls.push_back("fire"); }
  bool isPowerOn() override { return poweredOn; }
  bool getSynchZoneDevice() override { return synchZone; }
  void setSynchZoneDevice(bool v) override {
    calls.push_back(std::string("setSynchZoneDevice ") + (v ? "true" : "false"));
    synchZone = v;
  }
  std::optional<std::string> getLastKnowDevice() override { return saved; }
  void setDeviceType(const std::string& type) override { calls.push_back("setDeviceType " + type); }
  void shouldConnectToDevice(const std::shared_ptr<platform::Peripheral>& p) override {
    calls.push_back("connect " + p->name().value_or("nil"));
  }
  void sendKeloDeviceRRIntervals(std::uint8_t t, std::uint8_t o) override {
    training = t, overload = o;
    calls.push_back("thresholds " + std::to_string(t) + " " + std::to_string(o));
  }

  bool synchZone = false;
  std::uint8_t training = 0, overload = 0;
};

class FacadeOverFake : public BluetoothConfiguration {
 public:
  std::shared_ptr<RecordingConnector> fake = std::make_shared<RecordingConnector>();
  std::shared_ptr<BluetoothConnectorProtocol> bluetoothConnector() const override { return fake; }
};

std::shared_ptr<platform::Peripheral> peripheralNamed(std::optional<std::string> name) {
  return std::make_shared<platform::Peripheral>(identifierNumber(9), std::move(name),
                                                std::weak_ptr<platform::detail::CentralCore>{});
}

}  // namespace

// Modes ------------------------------------------------------------------------------------------------------

TEST(BluetoothConfigurationModes, EachModeClearsEveryFlagThenSetsItsOwnAndItsKey) {
  auto facade = std::make_shared<FacadeOverFake>();
  facade->configSynch();  // leaves flags behind that no other mode may inherit
  facade->fake->calls.clear();
  facade->configThreshold();
  EXPECT_EQ(facade->fake->calls,
            (Lines{"enableTreshold off", "enableRRIntervals off", "enableTestMode off", "enableSynch off",
                   "enableDeviceTime off", "enableSetTime off", "enableFirmwareVersion off", "enableFirmwareMode off",
                   "enableFirmwareUpdate off", "enableFirmware off", "enableModeState off", "enableGetTime off",
                   "enableModeState on", "enableTreshold on", "setDeviceType LastRecoveryDevice"}));

  struct Row {
    std::function<void(BluetoothConfiguration&)> operation;
    Lines flags;
    std::string key;
  };
  const Row rows[] = {
      {[](auto& f) { f.configThreshold(); }, {"enableModeState", "enableTreshold"}, "LastRecoveryDevice"},
      {[](auto& f) { f.configTest(); }, {"enableModeState", "enableRRIntervals"}, "LastRecoveryDevice"},
      {[](auto& f) { f.configTestMode(); }, {"enableModeState", "enableTestMode"}, "LastRecoveryDevice"},
      {[](auto& f) { f.setTrainMode(); }, {"enableModeState", "enableTestMode"}, "LastRecoveryDevice"},
      {[](auto& f) { f.configTrain(); }, {}, "LastWorkoutDevice"},
      {[](auto& f) { f.configSynch(); },
       {"enableGetTime", "enableModeState", "enableSynch"},
       "LastWorkoutImporterDevice"},
      {[](auto& f) { f.getDeviceTime(); }, {"enableDeviceTime", "enableGetTime"}, "LastWorkoutImporterDevice"},
      {[](auto& f) { f.setTime(); }, {"enableSetTime"}, "LastWorkoutImporterDevice"},
      {[](auto& f) { f.getFirmwareVersion(); }, {"enableFirmwareVersion"}, "FirmwareUpgradeDevice"},
      {[](auto& f) { f.getFirmwareMode(); }, {"enableFirmware", "enableFirmwareMode"}, "FirmwareUpgradeDevice"},
      {[](auto& f) { f.setFirmwareUpdate(); }, {"enableFirmware", "enableFirmwareUpdate"}, "FirmwareUpgradeDevice"},
  };
  for (const auto& row : rows) {
    facade->configSynch();
    facade->fake->calls.clear();
    row.operation(*facade);
    EXPECT_EQ(facade->fake->setFlags(), row.flags) << row.key;
    EXPECT_EQ(facade->fake->calls.at(12 + row.flags.size()), "setDeviceType " + row.key);
  }
}

TEST(BluetoothConfigurationModes, PeripheralNameChecksAndTheSavedStrapDecideWhatStarts) {
  auto facade = std::make_shared<FacadeOverFake>();
  auto& fake = *facade->fake;
  auto started = [&] {
    Lines found;
    for (auto& call : fake.calls) {
      if (call == "fire" || call.rfind("connect ", 0) == 0) found.push_back(call);
    }
    fake.calls.clear();
    return found;
  };

  EXPECT_FALSE(facade->configTest(peripheralNamed(std::nullopt)));
  EXPECT_EQ(started(), Lines{});
  EXPECT_TRUE(fake.enableRRIntervals()) << "the mode is set even when the check fails";
  EXPECT_TRUE(facade->configTrain(peripheralNamed(std::nullopt)));
  EXPECT_EQ(started(), Lines{"connect nil"});
  EXPECT_TRUE(facade->configSynch(peripheralNamed("Chest HRM")));
  EXPECT_TRUE(facade->configSetTime(peripheralNamed("Kelo-0001")));
  EXPECT_FALSE(facade->configDeviceTime(peripheralNamed("Polar H10")));
  EXPECT_FALSE(facade->configThreshold(peripheralNamed("Chest HRM")));
  EXPECT_TRUE(facade->getFirmwareMode(peripheralNamed(std::nullopt)));
  EXPECT_EQ(started(), (Lines{"connect Chest HRM", "connect Kelo-0001", "connect nil"}));

  // without a peripheral: the saved strap, and the firmware check starts the central regardless
  EXPECT_FALSE(facade->configTrain());
  EXPECT_FALSE(facade->getFirmwareMode());
  EXPECT_EQ(started(), Lines{});
  EXPECT_FALSE(facade->configFirmware());
  EXPECT_EQ(started(), Lines{"fire"});
  fake.saved = "5A5A0000-0000-4000-8000-000000000001";
  EXPECT_TRUE(facade->configTrain());
  EXPECT_TRUE(facade->setTestMode());
  EXPECT_EQ(started(), (Lines{"fire", "fire"}));

  // tryReconnec: radio on asks the delegates to search (on this thread), radio off starts the central
  Hosts hosts(*facade);
  fake.poweredOn = true;
  EXPECT_FALSE(facade->tryReconnec());
  EXPECT_EQ(hosts.take().size(), 7u);
  EXPECT_EQ(started(), Lines{});
  fake.poweredOn = false;
  EXPECT_TRUE(facade->tryReconnec());
  EXPECT_EQ(started(), Lines{"fire"});
}

TEST(BluetoothConfigurationModes, ThresholdsSwapIntoPlaceAndOutOfRangeValuesAreRefused) {
  auto facade = std::make_shared<FacadeOverFake>();
  auto& fake = *facade->fake;
  Hosts hosts(*facade);
  fake.name = "Kelo-0001";
  fake.saved = "5A5A0000-0000-4000-8000-000000000002";

  EXPECT_TRUE(facade->updateThreshold(200, 150));
  EXPECT_EQ(fake.calls.back(), "fire");
  EXPECT_TRUE(fake.enableTreshold());
  EXPECT_EQ(fake.training, 150);
  EXPECT_EQ(fake.overload, 200);

  fake.calls.clear();
  testkit::ConsoleCapture console;
  EXPECT_FALSE(facade->updateThreshold(300, 150));
  EXPECT_FALSE(facade->updateThreshold(200, -1));
  EXPECT_EQ(fake.calls, Lines{});
  EXPECT_EQ(console.lines().size(), 2u);
  EXPECT_EQ(fake.training, 150);

  // a strap that is not a Kelo: nothing sent, the saved synchronisation flag answers
  fake.name = "HRM Strap";
  fake.synchZone = true;
  EXPECT_TRUE(facade->updateThreshold(200, 150));
  EXPECT_EQ(fake.calls, Lines{});

  // sending again without a saved strap: only the threshold delegate hears of it
  fake.saved.reset();
  facade->tryRetray(true);
  EXPECT_EQ(fake.calls.back(), "thresholds 150 200");
  EXPECT_EQ(hosts.take(), Lines{"treshold.handlerError 1"});
  facade->tryRetray(false);
  EXPECT_EQ(fake.calls.back(), "setSynchZoneDevice false");
}

// Routing ------------------------------------------------------------------------------------------------------

TEST(BluetoothConfigurationRouting, EachConnectorEventReachesItsDelegatesInFieldOrder) {
  auto facade = std::make_shared<FacadeOverFake>();
  Hosts hosts(*facade);
  auto& c = static_cast<BluetoothConnectorDelegate&>(*facade);

  c.didGetError(Error("X", 5));
  EXPECT_EQ(hosts.take(),
            (Lines{"treshold.handlerError 5", "test.handlerError 5", "train.handlerError 5", "synch.handlerError 5",
                   "deviceTime.handlerError 5", "setTime.handlerError 5", "firmware.handlerError 5"}));
  c.didDisconnect();
  EXPECT_EQ(hosts.take(), (Lines{"test.didDisconnect", "train.didDisconnect", "synch.didDisconnect",
                                 "deviceTime.didDisconnect", "setTime.didDisconnect", "firmware.didDisconnect"}));
  c.didUpdateBPM(70, 0);
  c.didConnect();
  c.didNotEnabled();
  EXPECT_EQ(hosts.take(), (Lines{"test.didUpdateBPM 70", "train.didUpdateBPM 70", "test.didConnect", "train.didConnect",
                                 "test.didNotEnabled", "train.didNotEnabled"}));
  c.didGetStateMode(BluetoothModeKelo::zone, BluetoothStateKelo::success);
  EXPECT_EQ(hosts.take(), (Lines{"treshold.didGetStateMode", "test.didGetStateMode", "synch.didGetStateMode"}));
  c.didUpdateRRIntervals({781});
  facade->fake->name = "Kelo-0001";
  c.didUpdateRRIntervals({781});
  c.didUpdateSignalStrength(30);
  c.willConnectToRRIntervals();
  c.didSetTestMode(true);
  EXPECT_EQ(hosts.take(),
            (Lines{"test.didUpdateRRIntervals nil", "test.didUpdateRRIntervals Kelo-0001",
                   "test.didUpdateSignalStrength", "test.willConnectToRRIntervals", "test.didSetTestMode"}));
  c.didSynchHR({});
  c.didSelectSynchKeloDevice();
  c.didGetTime(true, Date(0));
  c.didDeviceTime(Date(0));
  c.didSetTime();
  EXPECT_EQ(hosts.take(), (Lines{"synch.didSynchHR", "synch.didSelectSynchKeloDevice", "synch.didGetTime true",
                                 "deviceTime.didDeviceTime", "setTime.didSetTime"}));
  auto device = peripheralNamed("Kelo-0001");
  c.didDiscoverDevice(device, "Kelo-0001", {});
  c.didUpdateBatteryLevel(20);
  c.didGetFirmwareBatteryLevelWarning();
  c.didSetFirmwareMode();
  c.didFirmwareVersion("2.1.7", device);
  facade->shouldUpgradeFirmware(device);
  EXPECT_EQ(hosts.take(), (Lines{"firmware.didDiscoverFirmwareDevice", "firmware.didUpdateBatteryLevel 20",
                                 "firmware.didGetFirmwareBatteryLevelWarning", "firmware.didSetFirmwareMode",
                                 "firmware.didGetFirmwareVersion 2.1.7", "firmware.shouldUpgradeFirmware"}));

  // the threshold acknowledgement closes the link first, with or without a delegate to tell
  c.didSetRRIntervals();
  EXPECT_EQ(hosts.take(), Lines{"treshold.didSetRRIntervals"});
  hosts.all.clear();  // the host releases every delegate
  facade->fake->calls.clear();
  c.didSetRRIntervals();
  c.didGetError(Error("X", 5));
  EXPECT_EQ(hosts.take(), Lines{});
  EXPECT_EQ(facade->fake->calls, Lines{"disconnectOnDemand"});
}

// Whole tasks through the shared facade ---------------------------------------------------------------------

TEST(BluetoothConfigurationTasks, TrainingTakesTheEventsBackFromAnotherDelegate) {
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto strap = w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1)));
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  EXPECT_EQ(BluetoothConfiguration::getLastConnectedDeviceName(), "None");

  // another object (the device picker) holds the connector's events until the next facade call
  w.connector->setDelegate(w.events);
  ASSERT_TRUE(w.facade->configTrain());
  w.time.advance(2.5);
  EXPECT_TRUE(BluetoothConfiguration::isConnected());
  EXPECT_EQ(BluetoothConfiguration::getLastConnectedDeviceName(), "HRM Strap");
  EXPECT_EQ(w.events->lines(), Lines{});
  auto calls = hosts.take();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "train.didConnect"), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "train.didUpdateBPM 72"), 2);

  // a training strap that drops its link is heard by every delegate but the threshold one
  strap->dropLink();
  w.time.advance(0.1);
  calls = hosts.take();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "treshold.didDisconnect"), 0);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "firmware.didDisconnect"), 1);
}

TEST(BluetoothConfigurationTasks, OneErroredMeasurementReachesEveryDelegateTwice) {
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto strap = w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1)));
  w.save(*strap, BluetoothAttrbutes::RecoveryDeviceKey);
  strap->setName("Talvaren HRM");
  ASSERT_TRUE(w.facade->configTest());
  w.time.advance(1.5);
  auto faults = strap->faults();
  faults.updateErrors[sim::uuid("2A37")] = Error("BluetoothATTErrorDomain", 14);
  strap->setFaults(faults);
  hosts.take();
  strap->sendMeasurement();
  w.time.advance(0.05);
  auto calls = hosts.take();
  EXPECT_EQ(calls.size(), 14u);
  EXPECT_EQ(calls.front(), "treshold.handlerError 14");
  EXPECT_EQ(calls.back(), "firmware.handlerError 14");
}

TEST(BluetoothConfigurationTasks, ThresholdTaskOnAKeloEndsWhenTheStrapAcknowledges) {
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
  w.save(*strap, BluetoothAttrbutes::RecoveryDeviceKey);
  ASSERT_TRUE(w.facade->configThreshold());
  w.time.advance(2);
  ASSERT_EQ(BluetoothConfiguration::getLastConnectedDeviceName(), "Kelo-0001");
  hosts.take();

  ASSERT_TRUE(w.facade->updateThreshold(190, 140));
  w.time.advance(2);
  EXPECT_EQ(strap->thresholds(), (std::pair<std::uint8_t, std::uint8_t>{140, 190}));
  auto calls = hosts.take();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "treshold.didGetStateMode"), calls.end());
}

// Threads ------------------------------------------------------------------------------------------------

TEST(BluetoothConfigurationThreads, HostCallsRaceTheLinkTheWatchdogAndDelegateReads) {
  testkit::TemporaryAppHome home;
  auto radio = std::make_shared<sim::SimulatedRadio>(sim::SimulatedRadio::Options{.latency = 0.001});
  platform::BluetoothRadio::setCurrent(radio);
  testkit::resetSharedBluetoothConnector();
  testkit::resetSharedBluetoothConfiguration();
  auto facade = BluetoothConfiguration::shared();
  auto connector = BluetoothConnector::sharedInstance();
  auto strap = radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1)));
  platform::UserDefaults::standard()->set(strap->identifier().uuidString(), BluetoothAttrbutes::WorkoutDeviceKey);
  auto log = std::make_shared<CallLog>();
  std::thread mainQueue([] { platform::runMainQueue(); });
  auto waitConnected = [] {
    for (int i = 0; i < 500 && !BluetoothConfiguration::isConnected(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return BluetoothConfiguration::isConnected();
  };

  ASSERT_TRUE(facade->configTrain());
  ASSERT_TRUE(waitConnected());
  std::atomic<bool> stop{false};
  std::thread host([&] {
    for (int i = 0; !stop; ++i) {
      auto train = std::make_shared<Host>("train", log);
      facade->setTrainDelegate(train);
      facade->setTestDelegate(train);
      connector->setEnableRRIntervals(i % 3 == 0);
      connector->sendKeloDeviceRRIntervals(static_cast<std::uint8_t>(i), 200);
      connector->startTimer();
      connector->stopTimer();
      (void)BluetoothConfiguration::getLastConnectedDeviceName();
      std::this_thread::yield();
    }  // each host object is released while notifications may be reading it
  });
  for (int i = 0; i < 100; ++i) {
    strap->sendMeasurement();
    if (i == 50) BluetoothConfiguration::connect();  // a new central while values flow
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(waitConnected());
  stop = true;
  host.join();
  platform::stopMainQueue();
  mainQueue.join();
  EXPECT_FALSE(log->take().empty());
  EXPECT_EQ(facade->trainDelegate(), nullptr) << "the last host object is gone";

  facade.reset();
  connector.reset();
  testkit::resetSharedBluetoothConfiguration();
  testkit::resetSharedBluetoothConnector();
  platform::BluetoothRadio::setCurrent(nullptr);
}
