// The connector against the simulated straps on virtual time: reconnection and its watchdog,
// disconnections, discovery per strap model, live heart rate, the Kelo replies and command writes.

#include <gtest/gtest.h>

#include "bluetooth/ConnectorHarness.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/sim/ArmBand.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/RavoStrap.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using sim::identifierNumber;
using sim::uuid;
using testkit::Events;
using testkit::World;
using Lines = std::vector<std::string>;

namespace {

std::shared_ptr<sim::HeartRateStrap> hrm(World& w, const char* name = "HRM Strap") {
  return w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), name));
}

std::shared_ptr<sim::KeloStrap> kelo(World& w) { return w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2))); }

using testkit::valueOf;

sim::HeartRateMeasurement measurement(std::uint16_t bpm, std::vector<std::uint16_t> rr, std::uint8_t signalBits = 0) {
  sim::HeartRateMeasurement m;
  m.bpm = bpm;
  m.rrIntervals = std::move(rr);
  m.signalBits = signalBits;
  return m;
}

/// What the delegate hears from one measurement sent now (between two of the strap's own, a second apart).
Lines heard(World& w, sim::HeartRateStrap& strap) {
  w.events->clear();
  strap.sendMeasurement();
  w.time.advance(0.05);
  return w.events->lines();
}

}  // namespace

// Reconnection and the watchdog ---------------------------------------------------------------------------

TEST(BluetoothConnectorReconnect, PowerOnReconnectsTheSavedStrapAndSavesItsName) {
  World w;
  auto strap = hrm(w);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  testkit::ConsoleCapture console;
  w.start();

  EXPECT_TRUE(strap->isConnected());
  EXPECT_TRUE(w.connector->connected());
  EXPECT_EQ(w.events->count("connect"), 1u);
  auto id = strap->identifier().uuidString();
  EXPECT_TRUE(console.contains("CoreBluetooth mobile BLE hardware is powered on and ready"));
  EXPECT_TRUE(console.contains("found saved device: HRM Strap UUID: " + id));
  EXPECT_EQ(platform::UserDefaults::standard()->stringForKey("NameDevice" + id), "HRM Strap");
  EXPECT_EQ(w.connector->lastConnectedDeviceName(), "HRM Strap");
}

TEST(BluetoothConnectorReconnect, NameTestsOfEachTaskDecideWhetherToConnect) {
  {  // recovery tasks want a recovery strap; a nameless one is never connected
    World w;
    auto strap = hrm(w);
    strap->setName(std::nullopt);
    w.save(*strap, BluetoothAttrbutes::RecoveryDeviceKey);
    testkit::ConsoleCapture console;
    w.start();
    EXPECT_FALSE(strap->isConnected());
    EXPECT_EQ(w.events->lines(), Lines{"search"});
    EXPECT_TRUE(console.contains("found saved device: nil UUID: " + strap->identifier().uuidString()));
  }
  {  // the importer task also takes a plain heart-rate strap
    World w;
    auto strap = hrm(w);
    w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);
    w.start();
    EXPECT_TRUE(strap->isConnected());
  }
  {  // the firmware flow never reconnects, and a host-made request answers on the host's thread
    World w;
    auto strap = hrm(w);
    w.save(*strap, BluetoothAttrbutes::FirmwareUpgradeKey);
    w.connector->setEnableFirmware(true);
    w.start();
    w.events->clear();
    w.connector->connectToLastKnownDevice();
    EXPECT_FALSE(strap->isConnected());
    EXPECT_EQ(w.events->queues("search"), Lines{"-"});
  }
  {  // a saved value that is not text is no saved strap
    World w;
    w.connector->setDeviceType(BluetoothAttrbutes::WorkoutDeviceKey);
    platform::UserDefaults::standard()->set(42, BluetoothAttrbutes::WorkoutDeviceKey);
    EXPECT_EQ(w.connector->getLastKnowDevice(), std::nullopt);
  }
}

TEST(BluetoothConnectorReconnect, ANamelessStrapTheSavedNamesAndTheStoredFirmwareVersion) {
  World w;
  auto strap = hrm(w);
  strap->setName(std::nullopt);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  testkit::ConsoleCapture console;
  w.start();
  // Under the workout key a strap without a name is connected and saved with an empty name.
  ASSERT_TRUE(strap->isConnected());
  const auto id = strap->identifier().uuidString();
  auto defaults = platform::UserDefaults::standard();
  EXPECT_TRUE(console.contains("found saved device: nil UUID: " + id));
  EXPECT_EQ(defaults->stringForKey("NameDevice" + id), "");
  EXPECT_EQ(w.connector->lastConnectedDeviceName(), "");

  // getLastConnectedDeviceName(uuid:) reads the name saved for that identifier into the property.
  defaults->set(std::string("Kelo 7"), "NameDevice" + id);
  EXPECT_EQ(w.connector->getLastConnectedDeviceName(id), "Kelo 7");
  EXPECT_EQ(w.connector->lastConnectedDeviceName(), "Kelo 7");
  EXPECT_EQ(w.connector->getLastConnectedDeviceName("5A5A0000-0000-4000-8000-000000009999"), std::nullopt);
  EXPECT_EQ(w.connector->lastConnectedDeviceName(), std::nullopt);

  // The stored firmware version ("V" dropped, digit runs compared as numbers) against a given one.
  auto compared = [&](const std::string& given, std::optional<std::string> stored) {
    if (stored) w.connector->setDeviceVersion(*stored);
    console.clear();
    const bool result = w.connector->checkDeviceVersion(given);
    std::string said;
    for (const auto& line : console.lines()) {
      if (line == "ask user to update" || line == "don't expect happen...") said = line;
    }
    return std::pair(result, said);
  };
  EXPECT_EQ(compared("1.2.10", std::nullopt), std::pair(false, std::string()));
  EXPECT_EQ(compared("1.2.10", "V1.2.9"), std::pair(false, std::string("ask user to update")));
  EXPECT_EQ(defaults->stringForKey("VersionDevice"), "V1.2.9");
  EXPECT_EQ(compared("1.2.10", "v1.2.10"), std::pair(true, std::string()));
  EXPECT_EQ(compared("1.2.10", "1.3"), std::pair(true, std::string("don't expect happen...")));
}

TEST(BluetoothConnectorReconnect, OtherRadioStatesOnlyLogAndAFailedConnectionWaitsForTheWatchdog) {
  World w;
  auto strap = hrm(w);
  auto faults = strap->faults();
  faults.connect = sim::Faults::Connect::fails;
  strap->setFaults(faults);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  testkit::ConsoleCapture console;
  w.start();
  EXPECT_TRUE(console.contains("didFailToConnect"));
  EXPECT_EQ(w.events->lines(), Lines{});  // no connect, no error: the watchdog recovers
  w.time.advance(20);
  EXPECT_EQ(w.events->lines(), Lines{"search"});

  const std::pair<platform::ManagerState, const char*> states[] = {
      {platform::ManagerState::unknown, "CoreBluetooth mobile BLE state is unknown"},
      {platform::ManagerState::unsupported, "CoreBluetooth mobile BLE hardware is unsupported on this platform"},
      {platform::ManagerState::unauthorized, "CoreBluetooth mobile BLE state is unauthorized"},
      {platform::ManagerState::resetting, "CoreBluetooth mobile BLE default"}};
  for (const auto& [state, line] : states) {
    w.events->clear();
    console.clear();
    w.radio->setState(state);
    w.time.advance(0.5);
    EXPECT_TRUE(console.contains(line)) << line;
    EXPECT_EQ(w.events->lines(), Lines{}) << line;
  }
}

TEST(BluetoothConnectorReconnect, FireReplacesTheCentralAndReconnectsThroughTheNewOne) {
  World w;
  auto strap = hrm(w);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.start();
  auto* first = w.connector->centralManager().get();
  w.connector->fire();
  EXPECT_FALSE(w.connector->connected()) << "the old link is gone";
  w.time.advance(1);

  EXPECT_NE(w.connector->centralManager().get(), first);
  EXPECT_EQ(w.radio->clientCount(), 1u);
  EXPECT_EQ(strap->connectionCount(), 2);
  EXPECT_TRUE(strap->isConnected());
  // the old link went without a word; the new one was reported
  EXPECT_EQ(w.events->count("disconnect"), 0u);
  EXPECT_EQ(w.events->count("connect"), 2u);
}

TEST(BluetoothConnectorWatchdog, GivesUpAfterTwentySecondsOnTheMainQueue) {
  World w;
  auto strap = hrm(w);
  strap->setInRange(false);
  w.start();  // nothing saved yet: the power-on only asks to search
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.events->clear();
  testkit::ConsoleCapture console;

  w.connector->connectToLastKnownDevice();
  w.time.advance(19.9);
  EXPECT_EQ(w.events->count("search"), 0u);
  w.time.advance(0.1);
  EXPECT_EQ(w.events->queues("search"), Lines{"main"});
  EXPECT_TRUE(console.contains("timer action false"));

  // the attempt was cancelled: the strap coming back is not connected
  strap->setInRange(true);
  w.time.advance(5);
  EXPECT_FALSE(strap->isConnected());
}

TEST(BluetoothConnectorWatchdog, ANewAttemptOrAConnectionDisarmsTheArmedWatchdog) {
  World w;
  auto strap = hrm(w);
  strap->setInRange(false);
  w.start();
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.events->clear();

  w.connector->connectToLastKnownDevice();
  w.time.advance(10);
  w.connector->connectToLastKnownDevice();
  w.time.advance(10.5);  // past the first watchdog's time
  EXPECT_EQ(w.events->count("search"), 0u);
  w.time.advance(9.5);
  EXPECT_EQ(w.events->count("search"), 1u);

  // a stop issued before the arming has run still disarms it: both go through the main queue in order
  w.events->clear();
  w.connector->startTimer();
  w.connector->stopTimer();
  w.time.advance(25);
  EXPECT_EQ(w.events->count("search"), 0u);
}

// Disconnections ------------------------------------------------------------------------------------

TEST(BluetoothConnectorDisconnect, PlannedIsSilentUnplannedIsReportedBothClearConnected) {
  World w;
  auto strap = hrm(w);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.start();

  w.connector->setEnableDisconectHRMDevice(true);
  w.connector->disconnectOnDemand();
  w.time.advance(1);
  EXPECT_FALSE(strap->isConnected());
  EXPECT_EQ(w.events->count("disconnect"), 0u);
  EXPECT_FALSE(w.connector->enableDisconectHRMDevice());
  EXPECT_FALSE(w.connector->connected());

  w.connector->connectToLastKnownDevice();
  w.time.advance(1);
  ASSERT_TRUE(w.connector->connected());
  strap->dropLink();
  w.time.advance(1);
  EXPECT_EQ(w.events->count("disconnect"), 1u);
  EXPECT_FALSE(w.connector->connected());
}

// Discovery and subscriptions -------------------------------------------------------------------------

TEST(BluetoothConnectorDiscovery, StandardStrapSwitchesRROnlyInTheTestMode) {
  for (bool rr : {false, true}) {
    World w;
    auto strap = hrm(w);
    w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
    w.connector->setEnableRRIntervals(rr);
    testkit::ConsoleCapture console;
    w.start();
    EXPECT_EQ(strap->subscriptionRequests(uuid("2A37")), 1);
    EXPECT_EQ(strap->rrReportingRequested(), rr);
    EXPECT_EQ(w.events->count("will connect rr"), rr ? 1u : 0u);
    if (rr) {
      auto writes = strap->writes();
      auto controlPoint =
          std::find_if(writes.begin(), writes.end(), [](auto& w) { return w.characteristic == uuid("2A39"); });
      ASSERT_NE(controlPoint, writes.end());
      EXPECT_EQ(controlPoint->type, platform::WriteType::withResponse);
      EXPECT_TRUE(console.contains("Did write value for characteristic: 2A39, properties: 8"));
    }
  }
}

TEST(BluetoothConnectorDiscovery, KeloSubscriptionsFirstWritesAndClockOnEveryConnection) {
  World w;
  auto strap = kelo(w);
  w.save(*strap, BluetoothAttrbutes::RecoveryDeviceKey);
  w.connector->setEnableTreshold(true);
  w.connector->setEnableTestMode(true);
  w.connector->setEnableModeState(true);
  w.start();

  EXPECT_EQ(strap->subscriptionRequests(uuid("FD09")), 3);
  EXPECT_EQ(strap->subscriptionRequests(uuid("FD19")), 0);
  EXPECT_EQ(strap->clockSettings(), 1);
  ASSERT_FALSE(strap->writes(uuid("FD0A")).empty());
  EXPECT_EQ(strap->writes(uuid("FD0A")).front(), (Bytes{0xB2, 0x04, 0x0D, 0xC3}));
  EXPECT_EQ(w.connector->characteristic()->uuid(), uuid("FD0A"));
  EXPECT_EQ(w.connector->characteristicHistry()->uuid(), uuid("FD1A"));

  // a second link starts its own list of Kelo characteristics and sets the clock again
  auto before = w.connector->characteristicsKelo().size();
  w.connector->disconnectOnDemand();
  w.time.advance(1);
  w.connector->connectToLastKnownDevice();
  w.time.advance(1);
  EXPECT_EQ(w.connector->characteristicsKelo().size(), before);
  EXPECT_EQ(strap->clockSettings(), 2);
  for (auto& c : w.connector->characteristicsKelo()) EXPECT_TRUE(c->service()) << "only objects of the live link";
}

TEST(BluetoothConnectorDiscovery, KeloSetTimeTaskEndsWithAPlannedDisconnection) {
  World w;
  auto strap = kelo(w);
  w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);
  w.connector->setEnableSetTime(true);
  w.start(2.0);
  EXPECT_EQ(w.events->count("set time"), 1u);
  EXPECT_TRUE(strap->isConnected());
  w.time.advance(1.0);
  EXPECT_FALSE(strap->isConnected());
  EXPECT_EQ(w.events->count("disconnect"), 0u);
  EXPECT_FALSE(w.connector->enableDisconectHRMDevice());
}

TEST(BluetoothConnectorDiscovery, RavoAndArmBandChooseTheirCommandCharacteristic) {
  {
    World w;
    auto strap = w.add(std::make_shared<sim::RavoStrap>(identifierNumber(3)));
    w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);
    w.connector->setEnableSynch(true);
    w.start();
    EXPECT_EQ(strap->subscriptionRequests(uuid("FC20")), 1);
    ASSERT_TRUE(w.connector->characteristic());
    EXPECT_EQ(w.connector->characteristic()->uuid(), uuid("FC21"));
  }
  {
    World w;
    auto band = w.add(std::make_shared<sim::ArmBand>(identifierNumber(4)));
    w.save(*band, BluetoothAttrbutes::WorkoutDeviceKey);
    w.start();
    EXPECT_EQ(band->sportMode(), 0);
    ASSERT_TRUE(w.connector->characteristic());
    EXPECT_EQ(w.connector->characteristic()->uuid(), uuid("FCE61001-7802-4392-B6B7-96B18DEAAD22"));
  }
}

TEST(BluetoothConnectorDiscovery, AdvertisementsNeedALocalNameAndInFirmwareModeASignal) {
  World w;
  auto named = hrm(w, "HRM Strap");
  auto nameless = w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(5), "Local"));
  nameless->setAdvertisement({});
  auto weak = w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(6), "Weak"));
  auto edge = w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(7), "Edge"));
  weak->setRSSI(-120);
  edge->setRSSI(-119);
  w.connector->setEnableFirmware(true);
  w.start();
  w.connector->searchForDevices();
  w.time.advance(2);
  auto found = w.events->with("discover");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (Lines{"discover Edge", "discover HRM Strap"}));
}

// Live heart rate -------------------------------------------------------------------------------------------

TEST(BluetoothConnectorLive, StandardStrapGivesBpmSignalAndRRInThatOrder) {
  World w;
  auto strap = hrm(w);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.start(1.5);  // between two of the strap's own measurements
  strap->setMeasurement(measurement(72, {800}));
  EXPECT_EQ(heard(w, *strap), (Lines{"bpm 72", "signal 30", "rr 781"}));
  EXPECT_EQ(w.events->queues("bpm"), Lines{"bluetoothQueue"});

  strap->setMeasurement(measurement(300, {}, 7));
  EXPECT_EQ(heard(w, *strap), (Lines{"bpm 300", "signal 100"}));
}

TEST(BluetoothConnectorLive, SavedKeloReadsSignalAndRRFromFixedPlaces) {
  World w;
  auto strap = kelo(w);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.start(1.5);
  strap->setSignal(77);
  strap->setMeasurement(measurement(65, {1024}));
  EXPECT_EQ(heard(w, *strap), (Lines{"bpm 65", "signal 77", "rr 1000"}));

  // the Kelo layout also counts for a value too short for RR: 4 bytes give BPM and signal only
  w.events->clear();
  auto four = valueOf("2A37", Bytes{0x10, 60, 50, 0});
  w.connector->didUpdateValueFor(nullptr, four, std::nullopt);
  EXPECT_EQ(w.events->lines(), (Lines{"bpm 60", "signal 50"}));
}

TEST(BluetoothConnectorLive, ErrorsAndShortValues) {
  World w;
  auto strap = hrm(w);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.start(1.5);
  auto faults = strap->faults();
  faults.updateErrors[uuid("2A37")] = Error("BluetoothATTErrorDomain", 14);
  strap->setFaults(faults);
  EXPECT_EQ(heard(w, *strap), (Lines{"error BluetoothATTErrorDomain 14", "error BluetoothATTErrorDomain 14"}));

  auto feed = [&](std::optional<Bytes> value, const char* characteristic = "2A37") {
    w.events->clear();
    w.connector->didUpdateValueFor(nullptr, valueOf(characteristic, std::move(value)), std::nullopt);
    return w.events->lines();
  };
  EXPECT_EQ(feed(std::nullopt), (Lines{"error TalvarenKit.ErrorBluetooth 0", "error TalvarenKit.ErrorBluetooth 0"}));
  EXPECT_EQ(feed(Bytes{0x00}), Lines{});
  EXPECT_EQ(feed(Bytes{0x01, 0x48}), Lines{});                               // 16-bit rate cut short
  EXPECT_EQ(feed(Bytes{0x10, 0x48, 0x20}), (Lines{"bpm 72", "signal 30"}));  // RR announced, not there
  EXPECT_EQ(feed(Bytes{0x18, 0x48, 0x00, 0x00}), (Lines{"bpm 72", "signal 30"}));
  EXPECT_EQ(feed(Bytes{0x10, 0x48, 0x00, 0x04}, "2A39"), Lines{"rr 1000"});  // control point: RR only
}

// Kelo replies -----------------------------------------------------------------------------------------------

TEST(BluetoothConnectorKelo, ThresholdsGoOutAfterTheBatteryValueAndTheStrapReportsItsState) {
  World w;
  auto strap = kelo(w);
  w.save(*strap, BluetoothAttrbutes::RecoveryDeviceKey);
  w.connector->setEnableTreshold(true);
  w.connector->setEnableModeState(true);
  w.connector->sendKeloDeviceRRIntervals(120, 200);
  w.connector->sendKeloDeviceRRIntervals(150, 180);  // only the later pair is written
  w.start();
  EXPECT_EQ(strap->thresholds(), (std::pair<std::uint8_t, std::uint8_t>{150, 180}));
  EXPECT_EQ(w.events->with("state"), Lines{"state zone success"});
  EXPECT_EQ(w.events->count("thresholds set"), 0u);  // acknowledged only in the test mode
  EXPECT_TRUE(w.connector->enableTreshold());
}

TEST(BluetoothConnectorKelo, TestModeAnswerAndAcknowledgementInTheTestMode) {
  for (bool accepts : {true, false}) {
    World w;
    auto strap = kelo(w);
    strap->setAcceptsTestMode(accepts);
    w.save(*strap, BluetoothAttrbutes::RecoveryDeviceKey);
    w.connector->setEnableTestMode(true);
    w.connector->setEnableRRIntervals(true);
    w.start();
    EXPECT_EQ(w.events->with("test mode"), Lines{accepts ? "test mode true" : "test mode false"});
    // in the test mode every value of the command channel counts as the thresholds' acknowledgement
    EXPECT_EQ(w.events->count("thresholds set"), 1u);
  }
}

TEST(BluetoothConnectorKelo, ClockReplyIsReadAsLocalTimeAndJudgedInWholeYears) {
  testkit::ScopedTimeZone berlin("Europe/Berlin");
  {
    World w;
    auto strap = kelo(w);
    w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);
    w.connector->setEnableGetTime(true);
    auto now = w.time.now();
    strap->setClock(static_cast<std::int64_t>(now) + 3600);  // Berlin wall clock in November
    w.start();
    auto date = Date(now).description();
    EXPECT_EQ(w.events->with("time"), Lines{"time true " + date});
    EXPECT_EQ(w.events->with("device time"), Lines{"device time " + date});
  }
  testkit::ScopedTimeZone utc("UTC");
  World w;  // now is 2023-11-14 22:13:20 UTC
  w.connector->setEnableGetTime(true);
  auto clock = [&](std::uint32_t seconds) {
    w.events->clear();
    Bytes value{0xB2,
                0x08,
                0x0F,
                static_cast<std::uint8_t>(seconds >> 24),
                static_cast<std::uint8_t>(seconds >> 16),
                static_cast<std::uint8_t>(seconds >> 8),
                static_cast<std::uint8_t>(seconds),
                0x00};
    w.connector->getKeloUTC(valueOf("FD09", value), std::nullopt);
    return w.events->lines();
  };
  EXPECT_EQ(clock(1608422400), (Lines{"time true 2020-12-20 00:00:00 +0000", "device time 2020-12-20 00:00:00 +0000"}));
  EXPECT_EQ(clock(1604188800), Lines{"time false 2020-11-01 00:00:00 +0000"});
  EXPECT_EQ(clock(0), Lines{"time false 1970-01-01 00:00:00 +0000"});
}

// Command writes -----------------------------------------------------------------------------------------------

TEST(BluetoothConnectorWrites, HexTextIsWrittenAsBytesAndBadTextNotAtAll) {
  World w;
  w.connector->sendHRMValue("b2040d");  // nothing discovered yet: nothing at all
  auto strap = kelo(w);
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.start();
  auto written = strap->writes(uuid("FD0A")).size();
  EXPECT_EQ(written, 0u);

  testkit::ConsoleCapture console;
  w.connector->sendHRMValue("b20c5");
  w.connector->sendHRMValue("b2 04");
  w.time.advance(0.1);
  ASSERT_EQ(strap->writes(uuid("FD0A")).size(), 1u);
  EXPECT_EQ(strap->writes(uuid("FD0A")).back(), (Bytes{0x0B, 0x20, 0xC5}));
  Lines frames;
  for (auto& line : console.lines()) {
    if (line.rfind("-----------> sendHRUValue", 0) == 0) frames.push_back(line);
  }
  EXPECT_EQ(frames, Lines{"-----------> sendHRUValue characteristic = " + w.connector->characteristic()->description() +
                          "  value = B20C5 checkDate = 0b20c5)"});
}

TEST(BluetoothConnectorWrites, AFailedAcknowledgementAValuelessVersionAndNoOTACharacteristicOnlyLog) {
  World w;
  testkit::ConsoleCapture console;
  auto said = [&](const std::string& prefix) {
    Lines found;
    for (auto& line : console.lines()) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  };
  // A write acknowledged with an error: the two log lines, no subscription and no read.
  auto control = std::make_shared<platform::Characteristic>(
      uuid("2A39"), platform::CharacteristicProperties::notify | platform::CharacteristicProperties::read, 1,
      std::weak_ptr<platform::Service>{});
  w.connector->didWriteValueFor(nullptr, control, Error("CBATTErrorDomain", 3));
  EXPECT_EQ(said("Did write value for characteristic: "),
            Lines{"Did write value for characteristic: 2A39, properties: 18"});
  ASSERT_EQ(said("Error: ").size(), 1u);
  EXPECT_NE(said("Error: ")[0].find("CBATTErrorDomain"), std::string::npos) << said("Error: ")[0];
  EXPECT_EQ(said("Notify for characteristic").size() + said("Read for characteristic").size(), 0u);

  // A version characteristic without a value is logged, and the host is not told.
  w.connector->getSoftwareVersion(nullptr, valueOf("2A28", std::nullopt), std::nullopt);
  EXPECT_TRUE(console.contains("BluetoothConnector: getSoftwareVersion: no value"));

  // No OTA characteristic among the Kelo ones: no line, no write, no callback.
  w.connector->setFimwareMode(nullptr, {valueOf("FD09", std::nullopt), valueOf("2A37", std::nullopt)});
  EXPECT_EQ(said("Found OTA16-128: "), Lines{});
  // The 128-bit form is found as well (only the line, as there is no strap to write to).
  auto ota = valueOf("8FC3FD0A-F21D-11E3-976C-0002A5D5C51B", std::nullopt);
  w.connector->setFimwareMode(nullptr, {valueOf("FD09", std::nullopt), ota, valueOf("FD0A", std::nullopt)});
  EXPECT_EQ(said("Found OTA16-128: "), Lines{"Found OTA16-128: " + ota->description()});
  w.time.advance(3);
  EXPECT_EQ(w.events->lines(), Lines{});
}
