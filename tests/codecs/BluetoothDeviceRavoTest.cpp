#include <gtest/gtest.h>

#include <cmath>

#include "talvaren/testing/TimeZone.hpp"
#include "talvaren/codecs/BluetoothDeviceRavo.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;
using testkit::ConsoleCapture;
using Lines = std::vector<std::string>;

TEST(RavoFrameTest, AcknowledgementsAndTheFixedFrames) {
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceRavo::sendNextPacketRavoDevice(0), "e00000e0");
  EXPECT_EQ(BluetoothDeviceRavo::sendNextPacketRavoDevice(3), "e00300e3");
  EXPECT_EQ(BluetoothDeviceRavo::sendNextPacketRavoDevice(15), "e00f00ef");
  EXPECT_EQ(BluetoothDeviceRavo::sendNextPacketRavoDevice(255), "e0ff00df");
  EXPECT_EQ(console.lines().front(), R"(sendNextPacket3Device = ["e0", "00", "00", "e0"])");

  console.clear();
  EXPECT_EQ(BluetoothDeviceRavo::sendNextRavoDevice(), "e00000e0");
  EXPECT_EQ(console.lines(), Lines{"sendNextRavoDevice = e00000e0"});

  console.clear();
  EXPECT_EQ(BluetoothDeviceRavo::sendUserInfoRavoDevice(), "e100025828aa4601001770db");
  EXPECT_TRUE(console.lines().empty());
}

TEST(RavoFrameTest, ClockFrameAnswersThePacketWithLocalWallClockSeconds) {
  testkit::ScopedTimeZone zone("Etc/GMT-2");  // +02:00
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceRavo::sendUTCTimeRavoDevice(2, Date(1700000000.5 - 7200)), "e2026553f1008d");
  EXPECT_EQ(console.lines(), (Lines{"sendUTCTimeRavoDevice UTC + zone = 2023-11-14 22:13:20 +0000",
                                    R"(sendUTCTimeRavoDevice = ["e2", "02", "65", "53", "f1", "00", "8d"])"}));
}

TEST(RavoFrameTest, ClockOutsideFourBytesIsPinned) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceRavo::sendUTCTimeRavoDevice(1, Date(-1e12)), "e20100000000e3");
  EXPECT_EQ(BluetoothDeviceRavo::sendUTCTimeRavoDevice(1, Date(1e12)), "e201ffffffffdf");
  EXPECT_EQ(BluetoothDeviceRavo::sendUTCTimeRavoDevice(1, Date(std::nan(""))), "e20100000000e3");
}

TEST(RavoClockPacketTest, ReadsBytesOneToFourAndShiftsBackToARealInstant) {
  ConsoleCapture console;
  {
    testkit::ScopedTimeZone zone("Etc/GMT-1");  // +01:00
    EXPECT_EQ(BluetoothDeviceRavo::getUTCRavoDevice({0x12, 0x65, 0x53, 0xF1, 0x00, 0xBB}), Date(1700000000 - 3600));
    EXPECT_EQ(console.lines(), (Lines{"getUTCRavoDevice Int = [18, 101, 83, 241, 0, 187]",
                                      "getUTCRavoDevice UTC = 2023-11-14 21:13:20 +0000"}));
  }
  testkit::ScopedTimeZone zone("UTC");
  // Unsigned: the top bit set is a time after 2038, not before 1970.
  EXPECT_EQ(BluetoothDeviceRavo::getUTCRavoDevice({0x12, 0xFF, 0xFF, 0xFF, 0xFF}), Date(4294967295.0));
}

TEST(RavoClockPacketTest, ShortPacketGivesNoDate) {
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceRavo::getUTCRavoDevice({0x12, 0x65, 0x53, 0xF1}), std::nullopt);
  EXPECT_EQ(BluetoothDeviceRavo::getUTCRavoDevice({}), std::nullopt);
  EXPECT_EQ(console.lines(), (Lines{"getUTCRavoDevice Int = [18, 101, 83, 241]", "getUTCRavoDevice Int = []"}));
}

TEST(RavoUserInfoTest, OneLabelledLinePerByte) {
  ConsoleCapture console;
  Bytes packet(18);
  for (std::size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<std::uint8_t>(i * 10);
  BluetoothDeviceRavo::getUserInfoRavoDevice(packet);
  const auto lines = console.lines();
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0],
            "getUserInfoRavoDevice Int = [0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170]");
  EXPECT_EQ(lines[1], "getUserInfoRavoDevice 1-High 4 bit | 1-Low 4 bit  = 0");
  EXPECT_EQ(lines[7], "getUserInfoRavoDevice Reserved byte               = 60");
  EXPECT_EQ(lines[8], "getUserInfoRavoDevice Weight (Unit:0.1Kg)         = 70");
  EXPECT_EQ(lines[9], "getUserInfoRavoDevice Weight (Unit:0.1Kg)         = 80");
  EXPECT_EQ(lines[10], "getUserInfoRavoDevice Age                         = 90");
  EXPECT_EQ(lines[11], "getUserInfoRavoDevice Height (Unit:1cm)           = 100");
  EXPECT_EQ(lines[12], "getUserInfoRavoDevice Step stride (unit:1cm)      = 110");
  EXPECT_EQ(lines[13], "getUserInfoRavoDevice 0x00:Female 0x01: male      = 120");
  EXPECT_EQ(lines[16], "getUserInfoRavoDevice Current target steps        = 150");
  EXPECT_EQ(lines[17], "getUserInfoRavoDevice Check sum                   = 160");
  EXPECT_EQ(lines[18], "getUserInfoRavoDevice index:17 error        = 170 ");
}

TEST(RavoHistoryTest, RecordStartAndContinuationPacketsRunTwoSecondsApart) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  auto first = BluetoothDeviceRavo::getHertRateRavoDevice(
      {0x38, 0x01, 0x65, 0x53, 0xF1, 0x00, 0x48, 0x4A, 0x4C, 0xC0}, 123, {});
  EXPECT_FALSE(first.update);
  EXPECT_EQ(first.timeMinuteBmp, 1700000006);
  ASSERT_EQ(first.hertRates.size(), 3u);
  EXPECT_EQ(first.hertRates[0], HeartRate(72, Date(1700000002)));
  EXPECT_EQ(first.hertRates[1], HeartRate(74, Date(1700000004)));
  EXPECT_EQ(first.hertRates[2], HeartRate(76, Date(1700000006)));
  EXPECT_EQ(console.lines(),
            (Lines{"getHRMHertRate info = [56, 1, 101, 83, 241, 0, 72, 74, 76, 192] markLongNum = 1",
                   "getHRMUTC timeMinutesSting = 101 83 241 0", "getHRMHertRate timeMinutesSting = 6553f100",
                   "getHRMHertRate time = 2023-11-14 22:13:20 +0000 timestampUTC = 1700000000.0"}));

  console.clear();
  auto second = BluetoothDeviceRavo::getHertRateRavoDevice({0x48, 0x02, 0x50, 0x52, 0xEC}, first.timeMinuteBmp,
                                                           std::move(first.hertRates));
  EXPECT_FALSE(second.update);
  EXPECT_EQ(second.timeMinuteBmp, 1700000010);
  ASSERT_EQ(second.hertRates.size(), 5u);
  EXPECT_EQ(second.hertRates[3], HeartRate(80, Date(1700000008)));
  EXPECT_EQ(second.hertRates[4], HeartRate(82, Date(1700000010)));
  EXPECT_EQ(console.lines(), Lines{"getHRMHertRate info = [72, 2, 80, 82, 236] markLongNum = 2"});
}

TEST(RavoHistoryTest, SampleDatesAreRealInstants) {
  testkit::ScopedTimeZone zone("Etc/GMT-1");  // +01:00
  ConsoleCapture console;
  auto result = BluetoothDeviceRavo::getHertRateRavoDevice({0x38, 0x01, 0x65, 0x53, 0xF1, 0x00, 0x48, 0xC0}, 0, {});
  ASSERT_EQ(result.hertRates.size(), 1u);
  EXPECT_EQ(result.hertRates[0].date, Date(1700000002 - 3600));
  EXPECT_EQ(result.timeMinuteBmp, 1700000002);
}

TEST(RavoHistoryTest, ClosingAndUnknownKindsLeaveEverythingAsItWas) {
  ConsoleCapture console;
  const std::vector<HeartRate> gathered{HeartRate(70, Date(10))};
  auto closing = BluetoothDeviceRavo::getHertRateRavoDevice({0x58, 0x05, 0x5D}, 99, gathered);
  EXPECT_TRUE(closing.update);
  EXPECT_EQ(closing.timeMinuteBmp, 99);
  EXPECT_EQ(closing.hertRates, gathered);
  EXPECT_EQ(console.lines().back(), "getHRMHertRate finish");

  for (std::uint8_t kind : {0, 6}) {
    auto other = BluetoothDeviceRavo::getHertRateRavoDevice({0x58, kind, 0x40, 0x41, 0x5D}, 99, gathered);
    EXPECT_FALSE(other.update);
    EXPECT_EQ(other.timeMinuteBmp, 99);
    EXPECT_EQ(other.hertRates, gathered);
    EXPECT_EQ(console.lines().back(), "getHRMHertRate of default");
  }
}

TEST(RavoHistoryTest, PacketsTooShortForTheirKindGiveNoSamples) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  const std::vector<HeartRate> gathered{HeartRate(70, Date(10))};
  const Bytes tooShort[] = {{}, {0x38}, {0x38, 0x01}, {0x38, 0x01, 0x65, 0x53, 0xF1, 0x00}, {0x48, 0x02},
                            {0x48, 0x03}, {0x48, 0x04}};
  for (const auto& packet : tooShort) {
    auto result = BluetoothDeviceRavo::getHertRateRavoDevice(packet, 1000, gathered);
    EXPECT_FALSE(result.update);
    EXPECT_EQ(result.timeMinuteBmp, 1000) << packet.size();
    EXPECT_EQ(result.hertRates, gathered) << packet.size();
  }
  // Exactly long enough for the header: the start time is taken, no sample.
  auto start = BluetoothDeviceRavo::getHertRateRavoDevice({0x38, 0x01, 0x00, 0x00, 0x01, 0x00, 0xAA}, 1000, {});
  EXPECT_EQ(start.timeMinuteBmp, 256);
  EXPECT_TRUE(start.hertRates.empty());
  auto continuation = BluetoothDeviceRavo::getHertRateRavoDevice({0x48, 0x03, 0xAA}, 1000, {});
  EXPECT_EQ(continuation.timeMinuteBmp, 1000);
  EXPECT_TRUE(continuation.hertRates.empty());
}

TEST(RavoHistoryTest, RunningTimeFromTheCallerNeverOverflows) {
  ConsoleCapture console;
  const auto top = std::numeric_limits<std::int64_t>::max();
  auto result = BluetoothDeviceRavo::getHertRateRavoDevice({0x48, 0x02, 0x50, 0x52, 0xEC}, top - 2, {});
  EXPECT_EQ(result.timeMinuteBmp, top);
  EXPECT_EQ(result.hertRates.size(), 1u);
}
