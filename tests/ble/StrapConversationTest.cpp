// The simulated straps driven through the central alone, with the kit's side of each protocol written
// out here byte by byte.

#include <gtest/gtest.h>

#include <chrono>

#include "ble/CentralHarness.hpp"
#include "talvaren/sim/ArmBand.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/RavoStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using sim::identifierNumber;

namespace {

/// A connected central with everything discovered, on virtual time.
struct Session {
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
  std::shared_ptr<Characteristic> characteristic(const char* text) {
    auto found = find(peripheral, U(text));
    EXPECT_TRUE(found) << text;
    return found;
  }
  void write(const char* characteristicText, const std::string& hexText, WriteType type = WriteType::withoutResponse) {
    peripheral->writeValue(bytes(hexText), characteristic(characteristicText), type);
  }
  void subscribe(const char* text) { peripheral->setNotifyValue(true, characteristic(text)); }
  /// The values notified on one characteristic, in order.
  std::vector<std::string> values(const char* text) const {
    std::vector<std::string> found;
    auto prefix = std::string("value ") + U(text).uuidString() + " ";
    for (auto& line : recorder->trace()) {
      auto event = line.substr(line.find(' ') + 1);
      if (event.rfind(prefix, 0) == 0) found.push_back(event.substr(prefix.size()));
    }
    return found;
  }
};

std::uint8_t sum(const Bytes& bytes) {
  unsigned total = 0;
  for (auto b : bytes) total += b;
  return static_cast<std::uint8_t>(total);
}

std::string withSum(const std::string& hexText) {
  auto body = bytes(hexText);
  char tail[3];
  std::snprintf(tail, sizeof tail, "%02x", sum(body));
  return hexText + tail;
}

/// The kit's side of the Kelo history channel: answers transport acknowledgements, joins split packets,
/// acknowledges each packet and decodes the records of each message.
struct KeloHistoryReader {
  explicit KeloHistoryReader(Session& s) : session(s) {}
  Session& session;
  Bytes buffer;
  std::uint8_t packetNumber = 0;
  std::vector<sim::KeloRecord> records;
  int selectionRequests = 0;
  bool ended = false;
  std::vector<std::uint8_t> clockKeys;

  void acknowledge(std::uint8_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "ff200600%02x", number);
    session.write("FD1A", withSum(text));
  }
  void decode() {
    if (buffer.size() < 7 || buffer[6] != 0x0B) return;
    std::size_t p = 7;
    while (p + 6 <= buffer.size()) {
      sim::KeloRecord record;
      std::size_t count = buffer[p];
      record.workoutType = buffer[p + 1];
      record.start = static_cast<std::uint32_t>(buffer[p + 2]) << 24 | static_cast<std::uint32_t>(buffer[p + 3]) << 16 |
                     static_cast<std::uint32_t>(buffer[p + 4]) << 8 | buffer[p + 5];
      record.samples.assign(buffer.begin() + static_cast<long>(p + 6),
                            buffer.begin() + static_cast<long>(std::min(buffer.size(), p + 6 + count)));
      records.push_back(record);
      p += 6 + count;
    }
  }
  void onFrame(const Bytes& frame) {
    ASSERT_GE(frame.size(), 5u);
    EXPECT_EQ(frame[0], 0xFF);
    EXPECT_EQ(frame[2], frame.size()) << "length byte counts the whole frame";
    EXPECT_EQ(frame.back(), sum(Bytes(frame.begin(), frame.end() - 1))) << "sum byte";
    auto kind = frame[1] >> 4;
    if (kind == 0x2) {
      if (frame[4] == 1) session.write("FD1A", "ff000b0002041000020022");  // start of history
      if (frame[4] == 2) ++selectionRequests;
    } else if (kind == 0x8 || kind == 0xC) {
      if (frame[1] == 0x80) {
        buffer.clear();
        packetNumber = frame[4];
      }
      buffer.insert(buffer.end(), frame.begin() + 3, frame.end() - 1);
      if (kind == 0xC) {
        decode();
        acknowledge(packetNumber);
      }
    } else if (kind == 0x0) {
      ASSERT_GE(frame.size(), 8u);
      if (frame[5] == 0x04 && frame[7] == 0xFF) {
        ended = true;
        acknowledge(frame[4]);
      } else if (frame[5] == 0x04) {
        buffer.assign(frame.begin() + 3, frame.end() - 1);
        decode();
        acknowledge(frame[4]);
      } else if (frame[5] == 0x05) {
        clockKeys.push_back(frame[7]);
        acknowledge(frame[4]);
        if (frame[7] == 0x01) session.write("FD1A", "ff000f000101100801046553f100d6");  // the clock again
      }
    }
  }
  void attach() {
    session.recorder->onValue = [this](const std::shared_ptr<Peripheral>&, const std::shared_ptr<Characteristic>& c,
                                       const std::optional<Error>&) {
      if (c->uuid() == U("FD19") && c->value()) onFrame(*c->value());
    };
  }
};

std::vector<sim::KeloRecord> sampleHistory() {
  std::vector<sim::KeloRecord> records;
  records.push_back({0x21, 1700000000, {72, 73}});
  records.push_back({0x22, 1700003600, {}});
  std::vector<std::uint8_t> many;
  for (int i = 0; i < 40; ++i) many.push_back(static_cast<std::uint8_t>(100 + i));
  records.push_back({0x23, 1700007200, many});
  return records;
}

bool same(const std::vector<sim::KeloRecord>& a, const std::vector<sim::KeloRecord>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].workoutType != b[i].workoutType || a[i].start != b[i].start || a[i].samples != b[i].samples) return false;
  }
  return true;
}

}  // namespace

TEST(StrapConversationTest, HeartRateStrapSendsItsMeasurementsEverySecond) {
  Session session;
  auto strap = std::make_shared<sim::HeartRateStrap>(identifierNumber(1));
  sim::HeartRateMeasurement m;
  m.bpm = 300;
  m.sensorContact = true;
  m.energyExpended = 10;
  m.rrIntervals = {0x0400, 0x0200};
  m.signalBits = 7;
  strap->setMeasurement(m);
  session.connect(strap);
  session.subscribe("2A37");
  session.time.advance(2.5);
  strap->setMeasurement(sim::HeartRateMeasurement{});
  session.time.advance(1);
  EXPECT_EQ(session.values("2A37"), (std::vector<std::string>{"ff2c010a0000040002", "ff2c010a0000040002", "0048"}))
      << "flags FF: 16-bit rate, contact, energy, RR and signal bits";
}

TEST(StrapConversationTest, KeloAnswersItsCommandFrames) {
  Session session;
  auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
  strap->setClock(0x6553F100);
  sim::HeartRateMeasurement m;
  m.bpm = 65;
  m.rrIntervals = {0x0320};
  strap->setMeasurement(m);
  session.connect(strap);
  session.subscribe("0000fd09-0000-1000-8000-00805f9b34fb");
  session.subscribe("2A37");
  session.write("0000fd0a-0000-1000-8000-00805f9b34fb", "B2040Dc3");      // test mode
  session.write("0000fd0a-0000-1000-8000-00805f9b34fb", "b2060c96b40e");  // thresholds 150 and 180
  session.write("FD0A", "B2040Fc5");                                      // clock request
  session.write("FD0A", "B2040Dc4");                                      // a wrong sum: ignored
  session.time.advance(1.1);
  strap->reportModeState(0x10, 0x03);
  session.time.runReady();
  EXPECT_EQ(session.values("FD09"), (std::vector<std::string>{"b2050d01c5", "b2050c10d3", "b2080f6553f10072",
                                                                "b2051003ca"}));
  EXPECT_TRUE(strap->inTestMode());
  EXPECT_EQ(strap->thresholds(), (std::pair<std::uint8_t, std::uint8_t>{150, 180}));
  // Its own live layout: flags, rate, signal byte, a spare byte, then the RR intervals.
  EXPECT_EQ(session.values("2A37"), (std::vector<std::string>{"104150002003"}));
}

TEST(StrapConversationTest, KeloHistoryDownloadWithSplitPackets) {
  Session session;
  auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
  strap->setHistory(sampleHistory());
  session.connect(strap);
  KeloHistoryReader reader{session};
  reader.attach();
  session.subscribe("FD19");
  session.write("FD1A", "ff000f000101100801046553f100d6");  // clock setting
  session.time.advance(5);
  EXPECT_TRUE(reader.ended);
  EXPECT_TRUE(strap->historyFinished());
  EXPECT_TRUE(same(reader.records, sampleHistory()));
  EXPECT_EQ(strap->packetsAcknowledged(), 4) << "three packets and the end mark";
  EXPECT_EQ(strap->clockSettings(), 1);
  EXPECT_EQ(strap->clock(), 0x6553F100 + 4) << "set at 0.11 s, read at 5.1 s";
  // The first packet, split: 80 then C1, each whole frame with its own length and sum.
  auto frames = session.values("FD19");
  ASSERT_GE(frames.size(), 3u);
  EXPECT_EQ(frames[0], withSum("ff200600" "01"));
  EXPECT_EQ(frames[1].substr(0, 6), "ff800c") << "15 message bytes over two notifications";
  EXPECT_EQ(frames[2].substr(0, 4), "ffc1");
  // Every packet waited for its acknowledgement: acknowledgements and packets alternate.
  auto acks = strap->writes(U("FD1A"));
  ASSERT_EQ(acks.size(), 2u + 4);
  EXPECT_EQ(hex(acks[2]), withSum("ff20060001"));
  EXPECT_EQ(hex(acks[5]), withSum("ff20060004"));
}

TEST(StrapConversationTest, KeloHistoryWithWholePacketsSelectionAndClockMessage) {
  Session session;
  auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
  strap->setHistory(sampleHistory());
  sim::KeloStrap::HistoryOptions options;
  options.framing = sim::KeloStrap::Framing::whole;
  options.recordsPerPacket = 2;
  options.needsSelection = true;
  options.clockMessageKey = 0x02;
  strap->setHistoryOptions(options);
  session.connect(strap);
  KeloHistoryReader reader{session};
  reader.attach();
  session.subscribe("FD19");
  session.write("FD1A", "ff000f000101100801046553f100d6");
  session.time.advance(5);
  EXPECT_EQ(reader.selectionRequests, 3) << "status 2 at once, then every two seconds";
  EXPECT_EQ(reader.clockKeys, (std::vector<std::uint8_t>{0x02}));
  EXPECT_TRUE(reader.records.empty());
  strap->selectSynchronisation();
  session.time.advance(5);
  EXPECT_EQ(reader.selectionRequests, 3);
  EXPECT_TRUE(reader.ended);
  EXPECT_TRUE(same(reader.records, sampleHistory()));
  EXPECT_EQ(strap->packetsAcknowledged(), 3) << "two packets and the end mark";
  EXPECT_EQ(session.values("FD19").back(), withSum("ff000b000304" "10ff0000"));
}

TEST(StrapConversationTest, KeloClockMessageAnsweredWithTheClockAgainDoesNotStartOver) {
  Session session;
  auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
  strap->setHistory(sampleHistory());
  sim::KeloStrap::HistoryOptions options;
  options.clockMessageKey = 0x01;
  strap->setHistoryOptions(options);
  session.connect(strap);
  KeloHistoryReader reader{session};
  reader.attach();
  session.subscribe("FD19");
  session.write("FD1A", "ff000f000101100801046553f100d6");
  session.time.advance(5);
  EXPECT_EQ(reader.clockKeys, (std::vector<std::uint8_t>{0x01}));
  EXPECT_EQ(strap->clockSettings(), 2);
  EXPECT_TRUE(reader.ended);
  EXPECT_TRUE(same(reader.records, sampleHistory()));
  EXPECT_EQ(strap->packetsAcknowledged(), 4);

  // A new connection opens a new conversation.
  session.central->cancelPeripheralConnection(session.peripheral);
  session.time.advance(1);
  session.central->connect(session.peripheral);
  session.time.advance(1);
  KeloHistoryReader again{session};
  again.attach();
  session.subscribe("FD19");
  session.write("FD1A", "ff000f000101100801046553f100d6");
  session.time.advance(5);
  EXPECT_EQ(again.clockKeys, (std::vector<std::uint8_t>{0x01}));
  EXPECT_TRUE(same(again.records, sampleHistory()));
}

TEST(StrapConversationTest, KeloWithNoRecordsPerPacketAskedForSendsOneAPacket) {
  Session session;
  auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
  strap->setHistory(sampleHistory());
  sim::KeloStrap::HistoryOptions options;
  options.recordsPerPacket = 0;
  strap->setHistoryOptions(options);
  session.connect(strap);
  KeloHistoryReader reader{session};
  reader.attach();
  session.subscribe("FD19");
  session.write("FD1A", "ff000f000101100801046553f100d6");
  session.time.advance(5);
  EXPECT_TRUE(same(reader.records, sampleHistory()));
  EXPECT_EQ(strap->packetsAcknowledged(), 4);
}

TEST(StrapConversationTest, KeloSwitchesToUpdateModeAndAdvertisesAgain) {
  Session session;
  auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
  session.connect(strap);
  session.write("FD0A", "a20401a7");
  session.time.advance(0.5);
  EXPECT_EQ(session.recorder->trace().back(), "0.210000 disconnect Kelo-0001 7") << "dropped by the strap";
  EXPECT_TRUE(strap->inUpdateMode());
  session.central->scanForPeripherals(std::nullopt);
  session.time.advance(1);
  EXPECT_TRUE(session.recorder->has("discover Kelo-Update -60"));
}

TEST(StrapConversationTest, RavoHistoryDownload) {
  Session session;
  auto strap = std::make_shared<sim::RavoStrap>(identifierNumber(3));
  std::vector<std::uint8_t> samples;
  for (int i = 0; i < 60; ++i) samples.push_back(static_cast<std::uint8_t>(60 + i));
  strap->setHistory({{0x6553F100, samples}, {0x6553F200, {90}}});
  strap->setClock(0x10000000);
  session.connect(strap);
  // The kit's side: acknowledge user information, set the clock, acknowledge record ends and the end.
  std::vector<Bytes> packets;
  session.recorder->onValue = [&](auto&, const std::shared_ptr<Characteristic>& c, auto&) {
    if (c->uuid() != U("FC20") || !c->value()) return;
    auto packet = *c->value();
    packets.push_back(packet);
    auto number = packet[0] >> 4;
    auto type = packet[0] & 0x0F;
    char text[32];
    if (type == 1 || type == 6 || (type == 8 && packet[1] == 5)) {
      std::snprintf(text, sizeof text, "e0%02x00", number);
      session.write("FC21", withSum(text));
    } else if (type == 2) {
      std::snprintf(text, sizeof text, "e2%02x6553f100", number);
      session.write("FC21", withSum(text));
    }
  };
  session.subscribe("FC20");
  session.time.advance(5);
  EXPECT_TRUE(strap->historyFinished());
  EXPECT_EQ(strap->clockSettings(), 1);
  ASSERT_EQ(packets.size(), 2u + 5 + 2 + 1);
  EXPECT_EQ(packets[0].size(), 17u);
  EXPECT_EQ(hex(packets[1]), withSum("1210000000")) << "clock packet, number 1";
  EXPECT_EQ(hex(packets[2]).substr(0, 12), "28016553f100") << "kind 1 with the start time";
  EXPECT_EQ(packets[2].size(), 20u);
  EXPECT_EQ(packets[3][1], 2);
  EXPECT_EQ(packets[4][1], 3);
  EXPECT_EQ(packets[5][1], 4);
  EXPECT_EQ(hex(packets[6]), withSum("6805")) << "record end, acknowledged before the next record";
  EXPECT_EQ(packets[7][1], 1);
  EXPECT_EQ(hex(packets.back()), withSum("96")) << "the end, number 9";
  std::size_t carried = 0;
  for (int i = 2; i <= 5; ++i) carried += packets[i].size() - (i == 2 ? 7 : 3);
  EXPECT_EQ(carried, 60u);
  for (auto& packet : packets) EXPECT_EQ(packet.back(), sum(Bytes(packet.begin(), packet.end() - 1)));
}

TEST(StrapConversationTest, RavoClockReadEndsWithoutHistory) {
  Session session;
  auto strap = std::make_shared<sim::RavoStrap>(identifierNumber(3));
  strap->setHistory({{0x6553F100, {70}}});
  session.connect(strap);
  session.recorder->onValue = [&](auto&, const std::shared_ptr<Characteristic>& c, auto&) {
    if (c->uuid() == U("FC20") && c->value() && ((*c->value())[0] & 0x0F) == 1) session.write("FC21", "e00000e0");
  };
  session.subscribe("FC20");
  session.time.advance(5);
  EXPECT_EQ(strap->packetsSent().size(), 2u) << "user information and clock only";
  EXPECT_FALSE(strap->historyFinished());
}

TEST(StrapConversationTest, ArmBandTakesItsSportModeWithResponse) {
  Session session;
  auto band = std::make_shared<sim::ArmBand>(identifierNumber(4));
  session.connect(band);
  session.write("FCE61001-7802-4392-B6B7-96B18DEAAD22", "00", WriteType::withResponse);
  session.write("FCE61001-7802-4392-B6B7-96B18DEAAD22", "0001", WriteType::withResponse);
  session.time.advance(1);
  EXPECT_EQ(band->sportMode(), 0);
  EXPECT_TRUE(session.recorder->has("written FCE61001-7802-4392-B6B7-96B18DEAAD22"));
  EXPECT_TRUE(session.recorder->has("written FCE61001-7802-4392-B6B7-96B18DEAAD22 error 13"));
}

TEST(StrapConversationTest, SameConversationGivesTheSameTraceToTheMicrosecond) {
  auto run = [] {
    Session session;
    auto strap = std::make_shared<sim::KeloStrap>(identifierNumber(2));
    strap->setHistory(sampleHistory());
    session.connect(strap);
    KeloHistoryReader reader{session};
    reader.attach();
    session.subscribe("FD19");
    session.subscribe("2A37");
    session.write("FD1A", "ff000f000101100801046553f100d6");
    session.time.advance(4);
    strap->dropLink();
    session.time.advance(1);
    auto trace = session.radio->trace();
    auto central = session.recorder->trace();
    trace.insert(trace.end(), central.begin(), central.end());
    return trace;
  };
  auto started = std::chrono::steady_clock::now();
  auto first = run();
  auto second = run();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
  EXPECT_GT(first.size(), 30u);
  EXPECT_EQ(first, second);
}
