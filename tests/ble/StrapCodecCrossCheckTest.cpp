// The simulated straps against the kit's own frame builders and parsers: each strap is written from the
// strap's side without them, so a download that comes out right here shows that both sides read the
// same bytes. The kit's side below follows the connector's dispatch rules for each strap.

#include <gtest/gtest.h>

#include "ble/CentralHarness.hpp"
#include "talvaren/codecs/BluetoorhHeardRate.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/codecs/BluetoothDeviceRavo.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/RavoStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/TimeZone.hpp"
#include "talvaren/testing/VirtualTime.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using sim::identifierNumber;

namespace {

constexpr double kBerlinWinterOffset = 3600;

/// A connected central on virtual time in a zone one hour east of UTC, with the kit's console captured.
struct Link {
  testkit::ScopedTimeZone zone{"Europe/Berlin"};
  testkit::ConsoleCapture console;
  testkit::VirtualTime time;
  std::shared_ptr<sim::SimulatedRadio> radio = std::make_shared<sim::SimulatedRadio>();
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::shared_ptr<CentralManager> central = CentralManager::make(recorder, DispatchQueue("bluetoothQueue"), radio);
  std::shared_ptr<Peripheral> peripheral;

  void connect(const std::shared_ptr<sim::SimulatedPeripheral>& strap) {
    radio->addPeripheral(strap);
    discoverEverything(recorder);
    time.runReady();
    peripheral = central->retrievePeripherals({strap->identifier()}).at(0);
    central->connect(peripheral);
    time.advance(0.1);
    ASSERT_EQ(peripheral->state(), PeripheralState::connected);
  }
  /// Writes a frame of the kit's builders as the connector does: upper-cased text, one write without
  /// response.
  void send(const std::string& text, const char* characteristic) {
    std::string upper = text;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto data = dataFromHexEncodedString(upper);
    ASSERT_TRUE(data) << text;
    peripheral->writeValue(*data, find(peripheral, U(characteristic)), WriteType::withoutResponse);
  }
};

std::optional<WorkoutType> kind(std::uint8_t code) {
  switch (code) {
    case 0x21: return WorkoutType::cardio;
    case 0x22: return WorkoutType::mixed;
    case 0x23: return WorkoutType::strength;
    default: return std::nullopt;
  }
}

std::vector<sim::KeloRecord> keloHistory() {
  std::vector<std::uint8_t> many;
  for (int i = 0; i < 40; ++i) many.push_back(static_cast<std::uint8_t>(100 + i));
  return {{0x21, 1700000000, {72, 73}}, {0x22, 1700003600, {}}, {0x23, 1700007200, many}, {0x20, 1700010800, {55}}};
}

/// The kit's side of a Kelo synchronisation.
struct KeloKitSide {
  explicit KeloKitSide(Link& l) : link(l) {}
  Link& link;
  std::vector<std::string> hexArrayString;
  std::vector<std::uint8_t> hexArray;
  std::vector<HeartRate> hertRates;
  std::int64_t timeMinuteBmp = 0;
  std::uint8_t numberPacket = 0;
  std::optional<std::vector<HeartRate>> synchronised;

  void parse(const Bytes& frame) {
    auto result = BluetoothDeviceKelo::getKeloDeviceHertRate(frame, std::move(hexArrayString), std::move(hexArray),
                                                             std::move(hertRates), timeMinuteBmp);
    hexArrayString = std::move(result.hexArrayString);
    hexArray = std::move(result.hexArray);
    hertRates = std::move(result.hertRates);
    timeMinuteBmp = result.timeMinuteBmp;
    ASSERT_TRUE(result.finish);
  }
  void onFrame(const Bytes& b) {
    ASSERT_GE(b.size(), 5u);
    switch (b[1] >> 4) {
      case 0x0:
        ASSERT_GE(b.size(), 8u);
        if (b[5] == 0x04 && b[7] == 0xFF) {
          link.send(BluetoothDeviceKelo::sendNextPackietKeloDevice(b[4]), "FD1A");
          synchronised = hertRates;
          hertRates.clear();
        } else if (b[5] == 0x04) {
          parse(b);
          link.send(BluetoothDeviceKelo::sendNextPackietKeloDevice(b[4]), "FD1A");
        } else if (b[5] == 0x05) {
          link.send(BluetoothDeviceKelo::sendNextPackietKeloDevice(b[4]), "FD1A");
          if (BluetoothDeviceKelo::transmissionProtocolVersion(b[7])) {
            link.send(BluetoothDeviceKelo::sendUTCTimeKeloDevice(b[4], Date::now()), "FD1A");
          }
        }
        break;
      case 0x2:
        if (b[4] == 1) link.send(BluetoothDeviceKelo::sendStartHistryKeloDevice(b[4]), "FD1A");
        break;
      case 0x8:
      case 0xC:
        if (b[1] == 0x80) numberPacket = b[4];
        parse(b);
        link.send(BluetoothDeviceKelo::sendNextPackietKeloDevice(numberPacket), "FD1A");
        break;
    }
  }
};

std::vector<HeartRate> keloDownload(sim::KeloStrap::HistoryOptions options) {
  Link link;
  auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
  strap->setHistory(keloHistory());
  strap->setHistoryOptions(options);
  link.connect(strap);
  KeloKitSide kit{link};
  link.recorder->onValue = [&](auto&, const std::shared_ptr<Characteristic>& c, auto&) {
    if (c->uuid() == U("FD19") && c->value()) kit.onFrame(*c->value());
  };
  link.peripheral->setNotifyValue(true, find(link.peripheral, U("FD19")));
  link.send(BluetoothDeviceKelo::sendUTCTimeKeloDevice(0, Date::now()), "FD1A");
  link.time.advanceUntil([&] { return kit.synchronised.has_value(); }, 30);
  link.time.advance(0.1);  // the last acknowledgement reaches the strap
  EXPECT_TRUE(strap->historyFinished());
  EXPECT_EQ(strap->clock(), static_cast<std::int64_t>(Date::now().timeIntervalSince1970() + kBerlinWinterOffset))
      << "the strap keeps the local wall clock the kit set";
  return kit.synchronised.value_or(std::vector<HeartRate>{});
}

}  // namespace

TEST(StrapCodecCrossCheckTest, KeloHistoryReadsBackThroughTheKitsParser) {
  std::vector<HeartRate> expected;
  for (const auto& record : keloHistory()) {
    for (std::size_t k = 0; k < record.samples.size(); ++k) {
      expected.emplace_back(record.samples[k], Date(record.start + 2.0 * k - kBerlinWinterOffset),
                            kind(record.workoutType));
    }
  }
  sim::KeloStrap::HistoryOptions split;
  EXPECT_EQ(keloDownload(split), expected);
  sim::KeloStrap::HistoryOptions whole;
  whole.framing = sim::KeloStrap::Framing::whole;
  whole.recordsPerPacket = 3;
  whole.clockMessageKey = 0x01;
  EXPECT_EQ(keloDownload(whole), expected);
}

TEST(StrapCodecCrossCheckTest, KeloCommandRepliesAndLiveValuesReadBack) {
  Link link;
  auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
  strap->setClock(1700000000);
  strap->setSignal(77);
  sim::HeartRateMeasurement m;
  m.bpm = 64;
  m.rrIntervals = {1024, 512};
  strap->setMeasurement(m);
  link.connect(strap);
  link.peripheral->setNotifyValue(true, find(link.peripheral, U("0000fd09-0000-1000-8000-00805f9b34fb")));
  link.send(BluetoothDeviceKelo::setKeloDeviceRRIntervals(150, 180), "0000fd0a-0000-1000-8000-00805f9b34fb");
  link.send(BluetoothDeviceKelo::sendTestModeKeloDevice(0), "0000fd0a-0000-1000-8000-00805f9b34fb");
  link.send(BluetoothDeviceKelo::sendUTCQX410(0), "0000fd0a-0000-1000-8000-00805f9b34fb");
  link.time.advance(0.5);
  EXPECT_EQ(strap->thresholds(), (std::pair<std::uint8_t, std::uint8_t>{150, 180}));
  EXPECT_TRUE(strap->inTestMode());
  auto replies = link.recorder->trace();
  std::vector<Bytes> values;
  for (auto& line : replies) {
    auto at = line.find("value FD09 ");
    if (at != std::string::npos) values.push_back(bytes(line.substr(at + 11)));
  }
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0][2], 0x0C) << "zone";
  EXPECT_EQ(values[0][3], 0x10) << "success";
  EXPECT_EQ(values[1][3], 0x01) << "test mode set";
  ASSERT_EQ(values[2].size(), 8u);
  EXPECT_EQ(values[2][2], 0x0F);
  EXPECT_EQ(values[2][3] << 24 | values[2][4] << 16 | values[2][5] << 8 | values[2][6], 1700000000);

  link.peripheral->setNotifyValue(true, find(link.peripheral, U("2A37")));
  link.time.advance(1.05);
  auto measurement = find(link.peripheral, U("2A37"))->value();
  ASSERT_TRUE(measurement);
  EXPECT_EQ(BluetoorhHeardRate::getHeartRateAndSignal(*measurement).bmp, 64);
  EXPECT_EQ((*measurement)[2], 77) << "the Kelo signal byte";
  EXPECT_EQ(BluetoorhHeardRate::updateRRIntervarls(*measurement, 4), (std::vector<std::int64_t>{1000, 500}));
}

TEST(StrapCodecCrossCheckTest, StandardMeasurementsDecodeWithTheKitsDecoder) {
  Link link;
  auto strap = std::make_shared<sim::HeartRateStrap>(identifierNumber(1));
  link.connect(strap);
  std::vector<Bytes> seen;
  link.recorder->onValue = [&](auto&, const std::shared_ptr<Characteristic>& c, auto&) {
    if (c->value()) seen.push_back(*c->value());
  };
  link.peripheral->setNotifyValue(true, find(link.peripheral, U("2A37")));
  link.time.advance(0.5);
  sim::HeartRateMeasurement wide;
  wide.bpm = 300;
  wide.energyExpended = 12;
  wide.rrIntervals = {1024, 512, 1};
  wide.signalBits = 5;
  sim::HeartRateMeasurement narrow;
  narrow.bpm = 72;
  narrow.sixteenBit = true;
  narrow.rrIntervals = {800};
  for (const auto& m : {wide, narrow, sim::HeartRateMeasurement{}}) {
    strap->setMeasurement(m);
    link.time.advance(1);
  }
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(BluetoorhHeardRate::getHeartRateAndSignal(seen[0]), (HeartRateAndSignal{300, 80}));
  EXPECT_EQ(BluetoorhHeardRate::updateRRIntervarls(seen[0], BluetoorhHeardRate::getOffset(seen[0])),
            (std::vector<std::int64_t>{1000, 500, 0}));
  EXPECT_EQ(BluetoorhHeardRate::getHeartRateAndSignal(seen[1]), (HeartRateAndSignal{72, 30}));
  EXPECT_EQ(BluetoorhHeardRate::updateRRIntervarls(seen[1], BluetoorhHeardRate::getOffset(seen[1])),
            (std::vector<std::int64_t>{781}));
  EXPECT_EQ(BluetoorhHeardRate::getOffset(seen[2]), 2u);
  EXPECT_EQ(seen[2][0] & 0x10, 0) << "no RR flag without intervals";
}

TEST(StrapCodecCrossCheckTest, RavoHistoryReadsBackThroughTheKitsParser) {
  Link link;
  auto strap = std::make_shared<sim::RavoStrap>(identifierNumber(3));
  std::vector<std::uint8_t> samples;
  for (int i = 0; i < 45; ++i) samples.push_back(static_cast<std::uint8_t>(70 + i));
  std::vector<sim::RavoRecord> history{{1700000000, samples}, {1700009000, {}}, {1700010000, {99, 98}}};
  strap->setHistory(history);
  strap->setClock(1580000000);  // a winter date, one hour east of UTC
  link.connect(strap);

  std::int64_t timeMinuteBmp = 0;
  std::vector<HeartRate> hertRates;
  std::optional<std::vector<HeartRate>> synchronised;
  std::optional<Date> strapTime;
  link.recorder->onValue = [&](auto&, const std::shared_ptr<Characteristic>& c, auto&) {
    if (c->uuid() != U("FC20") || !c->value() || c->value()->empty()) return;
    auto packet = *c->value();
    auto number = static_cast<std::uint8_t>(packet[0] >> 4);
    switch (packet[0] & 0x0F) {
      case 1:
        BluetoothDeviceRavo::getUserInfoRavoDevice(packet);
        link.send(BluetoothDeviceRavo::sendNextPacketRavoDevice(number), "FC21");
        break;
      case 2:
        strapTime = BluetoothDeviceRavo::getUTCRavoDevice(packet);
        link.send(BluetoothDeviceRavo::sendUTCTimeRavoDevice(number, Date::now()), "FC21");
        break;
      case 6:
        link.send(BluetoothDeviceRavo::sendNextPacketRavoDevice(number), "FC21");
        synchronised = hertRates;
        hertRates.clear();
        break;
      case 8: {
        auto result = BluetoothDeviceRavo::getHertRateRavoDevice(packet, timeMinuteBmp, std::move(hertRates));
        timeMinuteBmp = result.timeMinuteBmp;
        hertRates = std::move(result.hertRates);
        if (result.update) link.send(BluetoothDeviceRavo::sendNextPacketRavoDevice(number), "FC21");
        break;
      }
    }
  };
  link.peripheral->setNotifyValue(true, find(link.peripheral, U("FC20")));
  link.time.advanceUntil([&] { return synchronised.has_value(); }, 30);
  link.time.advance(0.1);
  ASSERT_TRUE(synchronised);
  EXPECT_TRUE(strap->historyFinished());
  ASSERT_TRUE(strapTime);
  EXPECT_NEAR(strapTime->timeIntervalSince1970(), 1580000000 - kBerlinWinterOffset, 1);
  EXPECT_EQ(strap->clock(), static_cast<std::int64_t>(Date::now().timeIntervalSince1970() + kBerlinWinterOffset));
  EXPECT_TRUE(link.console.contains("getUserInfoRavoDevice Age                         = 30"));

  std::vector<HeartRate> expected;
  for (const auto& record : history) {
    for (std::size_t k = 0; k < record.samples.size(); ++k) {
      expected.emplace_back(record.samples[k], Date(record.start + 2.0 * (k + 1) - kBerlinWinterOffset));
    }
  }
  EXPECT_EQ(*synchronised, expected);
}
