// The strap tasks at their edges: Kelo history frames injected on a live link (acknowledgement numbers,
// the user-selection count, the clock message, short frames), Ravo packets without a date or a body,
// battery bands over several connections, and a second task started inside each delayed disconnection.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "bluetooth/ConnectorHarness.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/codecs/HistoryCapacity.hpp"
#include "talvaren/platform/HexText.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/RavoStrap.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;
using sim::identifierNumber;
using sim::uuid;
using testkit::FacadeWorld;
using testkit::Hosts;
using testkit::World;
using Lines = std::vector<std::string>;

namespace {

using testkit::valueOf;

/// A Kelo strap linked in the synchronisation mode that has asked once for its button and then waits:
/// frames injected on its history channel reach the dispatcher alone.
std::shared_ptr<sim::KeloStrap> waitingKelo(World& w, std::optional<std::uint8_t> clockKey = std::nullopt) {
  auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
  sim::KeloStrap::HistoryOptions options;
  options.needsSelection = true;
  options.selectionPromptInterval = 1000;
  options.clockMessageKey = clockKey;
  strap->setHistoryOptions(options);
  w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);
  w.connector->setEnableSynch(true);
  w.start();
  return strap;
}

/// The packet numbers of the acknowledgements written on the history channel since `from`.
std::vector<int> acknowledgements(const sim::KeloStrap& strap, std::size_t from = 0) {
  std::vector<int> numbers;
  auto writes = strap.writes(uuid("FD1A"));
  for (std::size_t i = from; i < writes.size(); ++i) {
    if (writes[i].size() == 6 && writes[i][1] == 0x20) numbers.push_back(writes[i][4]);
  }
  return numbers;
}

/// A history-channel frame: FF, identifier, length, 00, `number`, `rest`, a sum byte.
Bytes frame(std::uint8_t identifier, std::uint8_t number, Bytes rest = {}) {
  Bytes bytes{0xFF, identifier, 0x00, 0x00, number};
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  bytes[2] = static_cast<std::uint8_t>(bytes.size() + 1);
  bytes.push_back(sim::sum8(bytes));
  return bytes;
}

/// Hands the connector one frame on the Kelo history channel, as the strap notifies it.
void inject(World& w, sim::KeloStrap& strap, const Bytes& bytes) {
  strap.notify(uuid("FD19"), bytes);
  w.time.advance(0.01);
}

}  // namespace

// Kelo history channel ---------------------------------------------------------------------------------

TEST(BluetoothKeloHistoryFrames, DataFramesTakeTheNumberOfTheLast80FrameNoAckFramesTheirOwn) {
  World w;
  auto strap = waitingKelo(w);
  auto before = strap->writes(uuid("FD1A")).size();
  inject(w, *strap, frame(0x80, 7, {0x01, 0x04, 0x10, 0x00}));
  inject(w, *strap, frame(0x81, 0x33, {0x00, 0x0B, 0x02}));
  inject(w, *strap, frame(0xC0, 0x44, {0x21, 0x00}));
  // every frame the parser takes is acknowledged, with the number of the packet's first frame
  EXPECT_EQ(acknowledgements(*strap, before), (std::vector<int>{7, 7, 7}));
  EXPECT_EQ(w.connector->numberPacket(), 7);

  before = strap->writes(uuid("FD1A")).size();
  testkit::ConsoleCapture console;
  inject(w, *strap, frame(0x00, 9, {0x04, 0x10, 0x01, 0x00}));  // a history packet sent whole
  EXPECT_EQ(acknowledgements(*strap, before), std::vector<int>{9});
  EXPECT_TRUE(console.contains("finish packet smoll"));
  EXPECT_EQ(w.connector->numberPacket(), 7);
}

TEST(BluetoothKeloHistoryFrames, AMessageLongerThanAStrapCanSendEndsTheDownloadWithAnError) {
  World w;
  auto strap = waitingKelo(w);
  // the longest message a strap can send: eight frames that each state a length of 255
  auto before = strap->writes(uuid("FD1A")).size();
  const Bytes full(249, 0x00);
  for (std::uint8_t identifier : {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0xC0})
    inject(w, *strap, frame(identifier, 4, full));
  EXPECT_EQ(acknowledgements(*strap, before).size(), 8u);
  EXPECT_EQ(w.events->count("error"), 0u);

  // a flood of continuation frames while the strap waits for its button: every frame that still fits in
  // one message is taken, the first that does not ends the download
  before = strap->writes(uuid("FD1A")).size();
  const Bytes rest(14, 0x46);  // 16 message bytes a frame
  inject(w, *strap, frame(0x80, 5, rest));
  int sent = 1;
  while (w.events->count("error") == 0 && strap->isConnected() && sent < 1000) {
    inject(w, *strap, frame(0x81, 5, rest));
    ++sent;
  }
  EXPECT_EQ(sent, static_cast<int>(HistoryCapacity::maximumMessageBytes / 16) + 1);
  EXPECT_EQ(acknowledgements(*strap, before).size(), static_cast<std::size_t>(sent - 1));
  EXPECT_EQ(w.events->lines().back(), "error TalvarenKit.ErrorBluetooth 2");
  w.time.advance(1);
  EXPECT_FALSE(strap->isConnected());
  EXPECT_EQ(w.events->count("disconnect"), 0u);  // ended by the kit, as planned
  EXPECT_TRUE(w.connector->hertRates().empty());
}

TEST(BluetoothKeloHistoryFrames, WholeAndTwoFramePacketsThroughTheFacadeThenTheStrapsClock) {
  for (auto framing : {sim::KeloStrap::Framing::whole, sim::KeloStrap::Framing::split}) {
    SCOPED_TRACE(static_cast<int>(framing));
    FacadeWorld w;
    Hosts hosts(*w.facade);
    auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
    strap->setHistory({{0x21, 1699990000, {60, 61, 62}}, {0x22, 1699991000, {63}}, {0x21, 1699992000, {64, 65}}});
    sim::KeloStrap::HistoryOptions options;
    options.framing = framing;
    options.recordsPerPacket = 2;
    options.maxFrameContent = 64;  // a split packet goes in exactly two notifications
    strap->setHistoryOptions(options);
    w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);

    ASSERT_TRUE(w.facade->configSynch());
    ASSERT_TRUE(w.time.advanceUntil([&] { return strap->historyFinished(); }, 10));
    EXPECT_EQ(hosts.take("synch.didSynchHR"), Lines{"synch.didSynchHR 60,61,62,63,64,65"});
    EXPECT_EQ(strap->packetsAcknowledged(), 3);
    EXPECT_TRUE(w.connector->hertRates().empty());
    w.time.advance(3);
    ASSERT_FALSE(strap->isConnected());

    ASSERT_TRUE(w.facade->getDeviceTime());
    w.time.advance(1);
    auto calls = hosts.take();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "deviceTime.didDeviceTime"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "synch.didGetTime true"), 1);
    w.facade->disconnect();
    w.time.advance(1);

    strap->setClock(1000);
    hosts.take();
    ASSERT_TRUE(w.facade->setTime());
    w.time.advance(3);
    EXPECT_EQ(hosts.take("setTime."), Lines{"setTime.didSetTime"});
    EXPECT_NEAR(static_cast<double>(strap->clock()), w.time.now() + platform::TimeZone::current().secondsFromGMT(), 5);
    EXPECT_FALSE(strap->isConnected());
  }
}

TEST(BluetoothKeloHistoryFrames, OnlyARepeatedSelectionRequestReachesTheHostAndShortFramesAreDropped) {
  World w;
  auto strap = waitingKelo(w);
  ASSERT_TRUE(w.connector->selectSynch());  // the strap asked once on its own
  auto prompt = [&] {
    strap->sendTransportAcknowledgement(2);
    w.time.advance(0.01);
  };
  prompt();
  prompt();
  EXPECT_EQ(w.events->count("select synch"), 2u);

  // frames too short for what is read from them change nothing
  auto writes = strap->writes(uuid("FD1A")).size();
  testkit::ConsoleCapture console;
  strap->notify(uuid("FD19"), Bytes{0xFF, 0x80, 0x05, 0x00});
  strap->notify(uuid("FD19"), Bytes{0xFF, 0x00, 0x08, 0x00, 0x01, 0x04, 0x10});
  w.time.advance(0.01);
  EXPECT_FALSE(console.contains("getKeloDeviceTypePacket no ack"));
  EXPECT_TRUE(w.connector->selectSynch());
  EXPECT_EQ(strap->writes(uuid("FD1A")).size(), writes);

  // a data frame in between starts the count again
  strap->notify(uuid("FD19"), frame(0x80, 1, {0x00}));
  prompt();
  EXPECT_EQ(w.events->count("select synch"), 2u);
  prompt();
  EXPECT_EQ(w.events->count("select synch"), 3u);
}

TEST(BluetoothKeloHistoryFrames, ClockMessageIsAnsweredByItsKeyAndOfferedOncePerInstallation) {
  World w;
  auto strap = waitingKelo(w, 0x01);
  // acknowledged, clock set again, offered to the host and remembered
  EXPECT_EQ(strap->clockSettings(), 2);
  EXPECT_EQ(w.events->count("time true"), 1u);
  EXPECT_TRUE(platform::UserDefaults::standard()->boolForKey(BluetoothConnector::KeloShowSetTimeSynchKey));

  auto writes = strap->writes(uuid("FD1A")).size();
  strap->sendClockMessage(0x02);  // another key: acknowledged only
  w.time.advance(0.01);
  EXPECT_EQ(strap->writes(uuid("FD1A")).size(), writes + 1);
  strap->sendClockMessage(0x01);
  w.time.advance(0.01);
  EXPECT_EQ(strap->clockSettings(), 3);
  EXPECT_EQ(w.events->count("time true"), 1u);
  EXPECT_TRUE(strap->isConnected());
}

TEST(BluetoothKeloHistoryFrames, ClockMessageUnderTheSetTimeTaskEndsTheLinkAtOnceAndSilently) {
  World w;
  auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
  sim::KeloStrap::HistoryOptions options;
  options.clockMessageKey = 0x01;
  strap->setHistoryOptions(options);
  w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);
  w.connector->setEnableSynch(true);
  w.connector->setEnableSetTime(true);
  w.start(0.5);
  // the discovery step reports the clock set, and so does the strap's clock message, which drops the link
  EXPECT_EQ(w.events->count("set time"), 2u);
  EXPECT_FALSE(strap->isConnected());
  w.time.advance(3);
  EXPECT_EQ(w.events->count("disconnect"), 0u);
  EXPECT_EQ(w.events->count("time"), 0u);
}

// Ravo packets ------------------------------------------------------------------------------------------

TEST(BluetoothRavoPackets, EmptyPacketsAndClockPacketsWithoutADateRaiseNoClockCallback) {
  World w;
  auto feed = [&](Bytes packet) {
    w.events->clear();
    w.connector->getRavoDeviceTypePacket(valueOf("FC20", std::move(packet)), std::nullopt);
    return w.events->lines();
  };
  EXPECT_EQ(feed({}), Lines{});
  EXPECT_EQ(feed({0x32, 0x01, 0x02}), Lines{});  // a synchronisation: no clock to judge

  // the clock-read task still ends, with an error instead of a date
  w.connector->setEnableDeviceTime(true);
  EXPECT_EQ(feed({0x32, 0x01, 0x02}), Lines{"error TalvarenKit.ErrorBluetooth 0"});
  EXPECT_FALSE(w.connector->enableDeviceTime());
  EXPECT_TRUE(w.connector->enableDisconectHRMDevice());
}

TEST(BluetoothRavoPackets, AHistoryLongerThanAStrapCanStoreEndsTheDownloadWithAnError) {
  World w;
  // continuation packets of 252 samples each, before any record has begun
  Bytes packet(255, 70);
  packet[0] = 0x08;
  packet[1] = 0x02;
  const auto characteristic = valueOf("FC20", packet);
  std::size_t fed = 0;
  while (w.events->count("error") == 0 && fed < 5000) {
    w.connector->getRavoDeviceTypePacket(characteristic, std::nullopt);
    ++fed;
  }
  // the packet that takes the download past the bound is the one that ends it
  EXPECT_LE((fed - 1) * 252, HistoryCapacity::maximumSamples);
  EXPECT_GT(fed * 252, HistoryCapacity::maximumSamples);
  EXPECT_EQ(w.events->lines(), Lines{"error TalvarenKit.ErrorBluetooth 2"});
  EXPECT_TRUE(w.connector->hertRates().empty());
  EXPECT_EQ(w.connector->timeMinuteBmp(), 0);
  EXPECT_TRUE(w.connector->enableDisconectHRMDevice());
}

// Battery -------------------------------------------------------------------------------------------------

TEST(BluetoothBatteryBands, EachBandIsReportedOncePerFamilyAcrossConnectionsAndGuardsTheSwitch) {
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto strap = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
  w.save(*strap, BluetoothAttrbutes::FirmwareUpgradeKey);
  auto connectWith = [&](std::uint8_t level) {
    strap->setBatteryLevel(level);
    w.facade->disconnect();
    w.time.advance(0.5);
    hosts.take();
    EXPECT_TRUE(w.facade->configFirmware());
    w.time.advance(1);
    Lines levels;
    for (auto& call : hosts.take("firmware.didUpdateBatteryLevel")) levels.push_back(call.substr(31));
    return levels;
  };
  EXPECT_EQ(connectWith(40), Lines{"40"});
  EXPECT_EQ(connectWith(40), Lines{});
  EXPECT_FALSE(w.connector->firmwareBatteryLevelWarning());
  EXPECT_EQ(connectWith(20), Lines{"20"});
  EXPECT_TRUE(w.connector->firmwareBatteryLevelWarning());
  EXPECT_EQ(connectWith(60), Lines{});  // above every band: all flags cleared
  EXPECT_FALSE(w.connector->firmwareBatteryLevelWarning());
  EXPECT_EQ(connectWith(40), Lines{"40"});

  // readings during a synchronisation have flags of their own and never block the switch
  strap->setBatteryLevel(5);
  w.save(*strap, BluetoothAttrbutes::WorkoutImporterDeviceKey);
  ASSERT_TRUE(w.facade->configSynch());
  w.time.advance(1);
  EXPECT_TRUE(platform::UserDefaults::standard()->boolForKey("BatteryLevelSynch10"));
  EXPECT_FALSE(w.connector->firmwareBatteryLevelWarning());

  // an empty value is no level
  w.connector->getBatteryLevel(valueOf("2A19", Bytes{}), std::nullopt);
  EXPECT_EQ(hosts.take("firmware.handlerError"), Lines{"firmware.handlerError 0"});
}

TEST(BluetoothBatteryBands, FirmwareSwitchWithoutAStrapToWriteToIsNotReported) {
  World w;
  auto ota = valueOf("FD0A", std::nullopt);
  w.connector->setFimwareMode(nullptr, {ota});
  w.time.advance(3);
  EXPECT_EQ(w.events->lines(), Lines{});
}

// Delayed disconnections and the next task -----------------------------------------------------------------

TEST(BluetoothDelayedDisconnection, ASecondTaskInsideTheDelayKeepsItsLinkAndHearsItsDisconnection) {
  enum class First { synch, setTime, firmwareMode };
  for (auto first : {First::synch, First::setTime, First::firmwareMode}) {
    SCOPED_TRACE(static_cast<int>(first));
    FacadeWorld w;
    Hosts hosts(*w.facade);
    auto kelo = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
    kelo->setHistory({{0x21, 1699990000, {70, 71}}});
    auto hrm = w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1)));
    platform::UserDefaults::standard()->set(hrm->identifier().uuidString(), BluetoothAttrbutes::WorkoutDeviceKey);
    platform::UserDefaults::standard()->set(kelo->identifier().uuidString(), BluetoothAttrbutes::FirmwareUpgradeKey);
    w.save(*kelo, BluetoothAttrbutes::WorkoutImporterDeviceKey);

    // the first task reaches the point where it schedules its disconnection
    if (first == First::synch) {
      ASSERT_TRUE(w.facade->configSynch());
      ASSERT_TRUE(w.time.advanceUntil([&] { return kelo->historyFinished(); }, 10));
    } else if (first == First::setTime) {
      ASSERT_TRUE(w.facade->setTime());
      w.time.advance(0.5);
      ASSERT_EQ(hosts.take("setTime."), Lines{"setTime.didSetTime"});
    } else {
      ASSERT_TRUE(w.facade->configFirmware());
      w.time.advance(0.5);
      auto device = w.connector->centralManager()->retrievePeripherals({kelo->identifier()}).at(0);
      w.facade->disconnect();
      w.time.advance(0.5);
      ASSERT_TRUE(w.facade->getFirmwareMode(device));
      ASSERT_TRUE(w.time.advanceUntil([&] { return kelo->inUpdateMode(); }, 1));
    }
    hosts.take();

    // a training run starts before the delay is over, and outlives it
    ASSERT_TRUE(w.facade->configTrain());
    w.time.advance(4);
    EXPECT_TRUE(hrm->isConnected());
    // the switch into update mode is still reported, without ending the new link
    EXPECT_EQ(hosts.take("firmware.didSetFirmwareMode"),
              first == First::firmwareMode ? Lines{"firmware.didSetFirmwareMode"} : Lines{});

    // the first task's planned disconnection does not swallow this unplanned one
    hosts.take();
    hrm->dropLink();
    w.time.advance(0.1);
    EXPECT_EQ(hosts.take("train.didDisconnect"), Lines{"train.didDisconnect"});
  }
}

TEST(BluetoothDelayedDisconnection, TheNextTasksOwnPlannedDisconnectionIsKept) {
  FacadeWorld w;
  Hosts hosts(*w.facade);
  auto kelo = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
  kelo->setHistory({{0x21, 1699990000, {70}}});
  w.save(*kelo, BluetoothAttrbutes::WorkoutImporterDeviceKey);
  ASSERT_TRUE(w.facade->configSynch());
  ASSERT_TRUE(w.time.advanceUntil([&] { return kelo->historyFinished(); }, 10));
  auto finished = w.time.now();

  // the clock is set a second after the download: the download's delay must not cut this link
  w.time.advance(1);
  ASSERT_TRUE(w.facade->setTime());
  w.time.advance(0.5);
  EXPECT_EQ(kelo->clockSettings(), 2);
  w.time.advanceUntil([&] { return w.time.now() > finished + 3.1; }, 5);
  EXPECT_TRUE(kelo->isConnected());
  w.time.advance(1);
  EXPECT_FALSE(kelo->isConnected());
  auto calls = hosts.take();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "setTime.didSetTime"), 1);
  EXPECT_TRUE(std::none_of(calls.begin(), calls.end(),
                           [](const std::string& call) { return call.ends_with(".didDisconnect"); }));
}

namespace {

/// A synch host that starts the next task from inside `didSynchHR`, as a host may.
class ChainingHost : public testkit::Host {
 public:
  using Host::Host;
  std::function<void()> next;
  void didSynchHR(const std::vector<HeartRate>& rates) override {
    Host::didSynchHR(rates);
    if (auto run = std::exchange(next, nullptr)) run();
  }
};

}  // namespace

TEST(BluetoothDelayedDisconnection, ATrainingRunStartedAsTheDownloadEndsOwnsTheLinkAndTheOldStrapIsLetGo) {
  // from the download's callback through a new central (Ravo, whose link ends at once) or through the
  // chosen strap (Kelo, 3 s later); or from the host's thread while the Ravo link's planned end is still
  // to be reported, through a new central or the chosen strap
  enum class Start { callbackNewCentral, callbackChosenStrap, beforeLinkEnds, beforeLinkEndsChosenStrap };
  for (auto start : {Start::callbackNewCentral, Start::callbackChosenStrap, Start::beforeLinkEnds,
                     Start::beforeLinkEndsChosenStrap}) {
    SCOPED_TRACE(static_cast<int>(start));
    FacadeWorld w;
    Hosts hosts(*w.facade);
    auto synch = std::make_shared<ChainingHost>("synch", hosts.log);
    w.facade->setSynchDelegate(synch);
    auto hrm = w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1)));
    platform::UserDefaults::standard()->set(hrm->identifier().uuidString(), BluetoothAttrbutes::WorkoutDeviceKey);
    auto chosenHrm = [&] {
      return w.facade->configTrain(w.connector->centralManager()->retrievePeripherals({hrm->identifier()}).at(0));
    };
    std::shared_ptr<sim::SimulatedPeripheral> first;
    if (start == Start::callbackChosenStrap) {
      auto kelo = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(2)));
      kelo->setHistory({{0x21, 1699990000, {70}}});
      w.save(*kelo, BluetoothAttrbutes::WorkoutImporterDeviceKey);
      synch->next = [&] { chosenHrm(); };
      first = kelo;
    } else {
      auto ravo = w.add(std::make_shared<sim::RavoStrap>(identifierNumber(3)));
      ravo->setHistory({{1699990000, {70}}});
      w.save(*ravo, BluetoothAttrbutes::WorkoutImporterDeviceKey);
      if (start == Start::callbackNewCentral) synch->next = [&] { w.facade->configTrain(); };
      first = ravo;
    }

    ASSERT_TRUE(w.facade->configSynch());
    if (start == Start::beforeLinkEnds || start == Start::beforeLinkEndsChosenStrap) {
      ASSERT_TRUE(w.time.advanceUntil([&] { return w.connector->enableDisconectHRMDevice(); }, 30));
      ASSERT_TRUE(start == Start::beforeLinkEnds ? w.facade->configTrain() : chosenHrm());
      // the Ravo strap's link is no longer the connector's
      EXPECT_FALSE(w.connector->connected());
    } else {
      ASSERT_TRUE(w.time.advanceUntil([&] { return !synch->next; }, 30));
    }
    w.time.advance(4);
    // the first strap's end, when it is reported, is not this link's: the run stays connected, unheard of
    // ending, and the first strap is let go by exactly one cancel
    EXPECT_TRUE(hrm->isConnected());
    EXPECT_TRUE(w.connector->connected());
    EXPECT_FALSE(first->isConnected());
    auto calls = hosts.take();
    EXPECT_TRUE(std::none_of(calls.begin(), calls.end(),
                             [](const std::string& call) { return call.ends_with(".didDisconnect"); }));
    if (start == Start::callbackChosenStrap || start == Start::beforeLinkEndsChosenStrap) {
      auto trace = w.radio->trace();
      auto cancel = " cancel " + first->identifier().uuidString();
      EXPECT_EQ(
          std::count_if(trace.begin(), trace.end(), [&](const std::string& line) { return line.ends_with(cancel); }),
          1);
    }

    hrm->dropLink();
    w.time.advance(0.1);
    EXPECT_EQ(hosts.take("train.didDisconnect"), Lines{"train.didDisconnect"});
  }
}
