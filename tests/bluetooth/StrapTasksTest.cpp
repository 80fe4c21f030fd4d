// Whole strap tasks through the facade against the simulated straps: the Kelo and Ravo history
// downloads, the strap clocks, battery and firmware version, and the switch into update mode.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "bluetooth/ConnectorHarness.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/RavoStrap.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using sim::identifierNumber;
using testkit::FacadeWorld;
using testkit::Hosts;
using Lines = std::vector<std::string>;

namespace {

std::size_t count(const Lines& calls, const std::string& call) {
  return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace

TEST(BluetoothStrapTasks, KeloHistoryWaitsForTheStrapsButtonThenEndsWithAPlannedDisconnection) {
  testkit::ScopedTimeZone utc("UTC");
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
  strap->setHistory({{0x21, 1699990000, {70, 71, 72}}, {0x21, 1699995000, {80, 81}}});
  sim::KeloStrap::HistoryOptions options;
  options.needsSelection = true;
  options.clockMessageKey = 0x01;
  options.maxFrameContent = 8;  // packets split over several notifications
  strap->setHistoryOptions(options);
  w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);

  ASSERT_TRUE(w.facade->configSynch());
  w.time.advance(5);  // the strap asks for its button three times
  auto calls = hosts.take("synch.");
  EXPECT_EQ(count(calls, "synch.didSelectSynchKeloDevice"), 2u);
  // the answer to the clock request, and the strap's own clock message the first time
  EXPECT_EQ(count(calls, "synch.didGetTime true"), 2u);

  strap->selectSynchronisation();
  ASSERT_TRUE(w.time.advanceUntil([&] { return strap->historyFinished(); }, 30));
  EXPECT_EQ(hosts.take("synch."), Lines{"synch.didSynchHR 70,71,72,80,81"});
  EXPECT_EQ(strap->packetsAcknowledged(), 3);  // two packets and the end mark

  w.time.advance(2.9);
  EXPECT_TRUE(strap->isConnected());
  w.time.advance(0.2);
  EXPECT_FALSE(strap->isConnected());
  EXPECT_EQ(hosts.take("synch."), Lines{});  // planned: no didDisconnect

  // the strap's own clock message is offered once per installation
  ASSERT_TRUE(w.facade->configSynch());
  w.time.advance(3);
  EXPECT_EQ(count(hosts.take("synch."), "synch.didGetTime true"), 1u);
}

TEST(BluetoothStrapTasks, RavoHistoryReportsTheClockSetsItAndHandsOverTheSamples) {
  testkit::ScopedTimeZone utc("UTC");
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto strap = w.add(std::make_shared<sim::RavoStrap>(identifierNumber(3)));
  strap->setHistory({{1699990000, {70, 71, 72, 73, 74}}, {1699995000, {90}}});
  strap->setClock(static_cast<std::int64_t>(w.time.now()) - 5 * 365 * 86400);  // five years behind
  w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);

  ASSERT_TRUE(w.facade->configSynch());
  ASSERT_TRUE(w.time.advanceUntil([&] { return strap->historyFinished(); }, 30));
  w.time.advance(0.5);
  EXPECT_EQ(hosts.take("synch."), (Lines{"synch.didGetTime false", "synch.didSynchHR 70,71,72,73,74,90"}));
  EXPECT_EQ(strap->clockSettings(), 1);
  EXPECT_FALSE(strap->isConnected());

  // reading the clock ends the task at the clock packet, without setting it
  ASSERT_TRUE(w.facade->getDeviceTime());
  w.time.advance(2);
  EXPECT_EQ(hosts.take("deviceTime."), Lines{"deviceTime.didDeviceTime"});
  EXPECT_EQ(strap->clockSettings(), 1);
  EXPECT_FALSE(strap->isConnected());
  EXPECT_FALSE(w.connector->enableDeviceTime());

  ASSERT_TRUE(w.facade->setTime());
  w.time.advance(2);
  EXPECT_EQ(hosts.take("setTime."), Lines{"setTime.didSetTime"});
  EXPECT_EQ(strap->clockSettings(), 2);
  EXPECT_NEAR(static_cast<double>(strap->clock()), w.time.now(), 3);  // whole seconds, sent a moment ago
}

TEST(BluetoothStrapTasks, ADownloadCutByALostLinkNeverLeaksIntoTheNextOne) {
  for (bool kelo : {true, false}) {
    SCOPED_TRACE(kelo ? "Kelo" : "Ravo");
    FacadeWorld w;
    Hosts hosts(*w.facade);
    std::vector<std::uint8_t> samples;
    std::shared_ptr<sim::SimulatedPeripheral> strap;
    std::function<bool()> finished;
    if (kelo) {
      auto keloStrap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
      std::vector<sim::KeloRecord> records;
      for (std::uint32_t r = 0; r < 3; ++r) {
        records.push_back({0x21, 1699990000 + 1000 * r, {}});
        for (int i = 0; i < 32; ++i) records.back().samples.push_back(static_cast<std::uint8_t>(60 + 32 * r + i));
      }
      for (auto& record : records) samples.insert(samples.end(), record.samples.begin(), record.samples.end());
      keloStrap->setHistory(records);
      finished = [keloStrap] { return keloStrap->historyFinished(); };
      strap = keloStrap;
    } else {
      auto ravoStrap = w.add(std::make_shared<sim::RavoStrap>(identifierNumber(3)));
      std::vector<sim::RavoRecord> records{{1699990000, {}}, {1699995000, {}}};
      for (auto& record : records) {
        for (int i = 0; i < 200; ++i) record.samples.push_back(static_cast<std::uint8_t>(50 + i % 150));
        samples.insert(samples.end(), record.samples.begin(), record.samples.end());
      }
      ravoStrap->setHistory(records);
      finished = [ravoStrap] { return ravoStrap->historyFinished(); };
      strap = ravoStrap;
    }
    w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);

    // twice the link is lost halfway through the download, and the host starts it again
    for (int cut = 0; cut < 2; ++cut) {
      ASSERT_TRUE(w.facade->configSynch());
      ASSERT_TRUE(w.time.advanceUntil([&] { return w.connector->hertRates().size() >= 40; }, 30));
      strap->dropLink();
      w.time.advance(0.5);
      EXPECT_EQ(hosts.take("synch.didDisconnect"), Lines{"synch.didDisconnect"});
    }
    ASSERT_TRUE(w.facade->configSynch());
    ASSERT_TRUE(w.time.advanceUntil(finished, 60));
    std::string expected = "synch.didSynchHR";
    for (auto beat : samples) expected += (expected.size() == 16 ? " " : ",") + std::to_string(beat);
    EXPECT_EQ(hosts.take("synch.didSynchHR"), Lines{expected});
  }
}

TEST(BluetoothStrapTasks, FirmwareVersionThenUpdateModeUnlessTheBatteryIsLow) {
  for (bool low : {false, true}) {
    FacadeWorld w;
    Hosts hosts(*w.facade);
    auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
    strap->setBatteryLevel(low ? 20 : 90);
    w.save(*strap, BluetoothAttrbutes::FirmwareUpgradeKey);

    ASSERT_TRUE(w.facade->configFirmware());
    w.time.advance(2);
    auto expected = low ? Lines{"firmware.didUpdateBatteryLevel 20", "firmware.didGetFirmwareVersion 2.1.7"}
                        : Lines{"firmware.didGetFirmwareVersion 2.1.7"};
    EXPECT_EQ(hosts.take("firmware."), expected);

    auto device = w.connector->centralManager()->retrievePeripherals({strap->identifier()}).at(0);
    w.facade->disconnect();
    w.time.advance(1);
    hosts.take();
    testkit::ConsoleCapture console;
    ASSERT_TRUE(w.facade->getFirmwareMode(device));
    w.time.advance(3);
    std::size_t otaLines = 0;
    for (const auto& line : console.lines()) otaLines += line.rfind("Found OTA16-128: ", 0) == 0 ? 1 : 0;
    if (low) {  // the band was reported already: only the refusal
      EXPECT_EQ(hosts.take("firmware."), Lines{"firmware.didGetFirmwareBatteryLevelWarning"});
      EXPECT_FALSE(strap->inUpdateMode());
      EXPECT_EQ(otaLines, 0u);
    } else {  // the strap drops the link for its update mode; the host hears both
      EXPECT_EQ(hosts.take("firmware."), (Lines{"firmware.didDisconnect", "firmware.didSetFirmwareMode"}));
      EXPECT_TRUE(strap->inUpdateMode());
      EXPECT_EQ(otaLines, 1u);
    }
  }
}

TEST(BluetoothStrapTasks, UpdateModeIsReportedTwoSecondsAfterTheCommandWhenTheHostTurnsToTheUpdateAtOnce) {
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
  w.save(*strap, BluetoothAttrbutes::FirmwareUpgradeKey);
  ASSERT_TRUE(w.facade->configFirmware());
  w.time.advance(2);
  auto device = w.connector->centralManager()->retrievePeripherals({strap->identifier()}).at(0);
  w.facade->disconnect();
  w.time.advance(1);
  hosts.take();

  ASSERT_TRUE(w.facade->getFirmwareMode(device));
  const double sent = w.time.now();
  // the strap drops the link for its update mode, and the host starts the update scan as soon as it hears
  ASSERT_TRUE(w.time.advanceUntil([&] { return !hosts.take("firmware.didDisconnect").empty(); }, 1));
  w.facade->setFirmwareUpdate();
  w.time.advance(sent + 1.9 - w.time.now());
  EXPECT_EQ(hosts.take("firmware.didSetFirmwareMode"), Lines{});
  w.time.advance(0.2);
  EXPECT_EQ(hosts.take("firmware.didSetFirmwareMode"), Lines{"firmware.didSetFirmwareMode"});
}

TEST(BluetoothStrapTasks, HostConnectionCallsAndStaticsActOnTheSharedConnector) {
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
  w.save(*strap, BluetoothAttrbutes::WorkoutDeviceKey);
  w.start();
  ASSERT_TRUE(strap->isConnected());
  ASSERT_FALSE(w.connector->characteristicsKelo().empty());

  // turnSynchThresholdDevice is the saved "SynchZoneDevice" flag.
  auto defaults = platform::UserDefaults::standard();
  w.facade->turnSynchThresholdDevice(true);
  EXPECT_TRUE(defaults->boolForKey("SynchZoneDevice"));
  w.facade->turnSynchThresholdDevice(false);
  EXPECT_FALSE(defaults->boolForKey("SynchZoneDevice"));

  // enableDisconect(true) makes the next disconnection a planned one; resetConnection drops the link,
  // the peripheral and the Kelo characteristics at once, and the host hears no disconnection.
  BluetoothConfiguration::enableDisconect(true);
  EXPECT_TRUE(w.connector->enableDisconectHRMDevice());
  hosts.take();
  w.facade->resetConnection();
  EXPECT_EQ(w.connector->peripheral(), nullptr);
  EXPECT_TRUE(w.connector->characteristicsKelo().empty());
  w.time.advance(1);
  EXPECT_FALSE(strap->isConnected());
  EXPECT_FALSE(w.connector->enableDisconectHRMDevice());
  EXPECT_EQ(count(hosts.take(), "train.didDisconnect"), 0u);

  // The static reconnection finds the saved strap again.
  BluetoothConfiguration::connectToLastKnownDevice();
  w.time.advance(1);
  EXPECT_TRUE(strap->isConnected());
  EXPECT_TRUE(BluetoothConfiguration::isConnected());

  // Searching lets the strap go and scans for every peripheral; stopping ends the scan.
  testkit::ConsoleCapture console;
  w.facade->searchForDevices();
  w.time.advance(1);
  EXPECT_TRUE(w.radio->isScanning());
  EXPECT_FALSE(strap->isConnected());
  w.facade->stopSearchingForDevices();
  w.time.advance(0.1);
  EXPECT_FALSE(w.radio->isScanning());
  const auto lines = console.lines();
  const auto at = [&](const char* line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
  EXPECT_LT(at("searchForDevices"), at("disconnectOnDemand"));
  EXPECT_LT(at("disconnectOnDemand"), at("stopSearchingForDevices"));
  EXPECT_LT(at("stopSearchingForDevices"), static_cast<std::ptrdiff_t>(lines.size()));
}
