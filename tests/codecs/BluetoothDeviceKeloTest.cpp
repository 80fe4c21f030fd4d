#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "talvaren/testing/TimeZone.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;
using testkit::ConsoleCapture;
using Lines = std::vector<std::string>;

namespace {

constexpr double kSeventeenHundredMillion = 1700000000.0;

}  // namespace

TEST(KeloCommandFrameTest, CommandFramesKeepTheirLiteralCaseAndIgnoreTheArgument) {
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceKelo::sendTestModeKeloDevice(0), "B2040Dc3");
  EXPECT_EQ(BluetoothDeviceKelo::sendTestModeKeloDevice(0xFF), "B2040Dc3");
  EXPECT_EQ(BluetoothDeviceKelo::sendUTCQX410(7), "B2040Fc5");
  EXPECT_EQ(console.lines(), (Lines{R"(setTestMode = ["B2", "04", "0D", "c3"])",
                                    R"(setTestMode = ["B2", "04", "0D", "c3"])",
                                    R"(sendUTCQX410 = ["B2", "04", "0F", "c5"])"}));
}

TEST(KeloCommandFrameTest, ThresholdFrameWritesBothThresholdsAndKeepsTheLastTwoChecksumDigits) {
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceKelo::setKeloDeviceRRIntervals(150, 180), "b2060c96b40e");
  EXPECT_EQ(console.lines(), (Lines{"setKeloDeviceRRIntervals trainingThreshold = 150, overloadThreshold = 180",
                                    R"(setKeloDeviceRRIntervals = ["b2", "06", "0c", "96", "b4", "0e"])"}));
  EXPECT_EQ(BluetoothDeviceKelo::setKeloDeviceRRIntervals(0, 0), "b2060c0000c4");
  EXPECT_EQ(BluetoothDeviceKelo::setKeloDeviceRRIntervals(255, 255), "b2060cffffc2");
  EXPECT_EQ(BluetoothDeviceKelo::setKeloDeviceRRIntervals(1, 10), "b2060c010acf");
}

TEST(KeloTransportFrameTest, StartHistoryFrameAndItsLogLines) {
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceKelo::sendStartHistryKeloDevice(3), "ff000b0002041000020022");
  EXPECT_EQ(console.lines(),
            (Lines{R"(totalHistString = ["04", "10", "00", "02", "00"])",
                   R"(dataString = ["ff", "00", "0b", "00", "02", "04", "10", "00", "02", "00"])",
                   R"(dataStringCheck = ["ff", "00", "0b", "00", "02", "04", "10", "00", "02", "00", "22"])"}));
}

TEST(KeloTransportFrameTest, AcknowledgementNamesThePacketUnderAZeroHighByte) {
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceKelo::sendNextPackietKeloDevice(1), "ff2006000126");
  EXPECT_EQ(BluetoothDeviceKelo::sendNextPackietKeloDevice(5), "ff200600052a");
  EXPECT_EQ(BluetoothDeviceKelo::sendNextPackietKeloDevice(255), "ff200600ff24");
  EXPECT_EQ(BluetoothDeviceKelo::sendNextPackietKeloDevice(0), "ff2006000025");
  EXPECT_EQ(console.lines().front(), R"(getHRMNext = ["ff", "20", "06", "00", "01", "26"])");
}

TEST(KeloTransportFrameTest, ClockFrameCarriesLocalWallClockSecondsMostSignificantFirst) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  // A fractional second is dropped; the argument does not change the frame.
  EXPECT_EQ(BluetoothDeviceKelo::sendUTCTimeKeloDevice(9, Date(kSeventeenHundredMillion + 0.9)),
            "ff000f000101100801046553f100d6");
  EXPECT_EQ(console.lines(),
            (Lines{"sendUTCTimeKeloDevice date = 2023-11-14 22:13:20 +0000",
                   "sendUTCTimeKeloDevice UTC + zone = 2023-11-14 22:13:20 +0000",
                   R"(sendUTCTimeKeloDevice dataCode = ["01", "10", "08", "01", "04", "65", "53", "f1", "00"])",
                   R"(sendUTCTimeKeloDevice dataString = ["ff", "00", "0f", "00", "01", "01", "10", "08", "01", )"
                   R"("04", "65", "53", "f1", "00"])",
                   R"(sendUTCTimeKeloDevice dataStringCheck = ["ff", "00", "0f", "00", "01", "01", "10", "08", )"
                   R"("01", "04", "65", "53", "f1", "00", "d6"])"}));
}

TEST(KeloTransportFrameTest, ClockFrameShiftsByTheZoneOffset) {
  testkit::ScopedTimeZone zone("Etc/GMT-1");  // +01:00
  ConsoleCapture console;
  EXPECT_EQ(BluetoothDeviceKelo::sendUTCTimeKeloDevice(0, Date(0)), "ff000f0001011008010400000e104b");
  EXPECT_TRUE(console.contains("sendUTCTimeKeloDevice UTC + zone = 1970-01-01 01:00:00 +0000"));

  // The same local wall-clock reading from a real instant an hour earlier.
  EXPECT_EQ(BluetoothDeviceKelo::sendUTCTimeKeloDevice(0, Date(kSeventeenHundredMillion - 3600)),
            "ff000f000101100801046553f100d6");
}

TEST(KeloTransportFrameTest, ClockOutsideFourBytesIsPinnedSoTheFrameKeepsItsLength) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  // 0 and 0xFFFFFFFF at the time bytes; checksums 0x12D and 0x529.
  EXPECT_EQ(BluetoothDeviceKelo::sendUTCTimeKeloDevice(0, Date(-5)), "ff000f0001011008010400000000" "2d");
  EXPECT_EQ(BluetoothDeviceKelo::sendUTCTimeKeloDevice(0, Date(5e9)), "ff000f000101100801" "04ffffffff" "29");
  EXPECT_EQ(BluetoothDeviceKelo::sendUTCTimeKeloDevice(0, Date(std::nan(""))), "ff000f0001011008010400000000" "2d");
  EXPECT_EQ(BluetoothDeviceKelo::sendUTCTimeKeloDevice(0, Date(std::numeric_limits<double>::infinity())).size(),
            30u);
}

TEST(KeloReplyTest, OnlyKeyOneMeansTheStrapTookTheTime) {
  ConsoleCapture console;
  EXPECT_TRUE(BluetoothDeviceKelo::transmissionProtocolVersion(0x01));
  EXPECT_EQ(console.lines(), Lines{"getKeloDeviceTypePacket: sendUTCTimeKeloDevice set time UTC"});
  console.clear();
  for (std::uint8_t key : {0x02, 0x0A, 0x0B}) EXPECT_FALSE(BluetoothDeviceKelo::transmissionProtocolVersion(key));
  EXPECT_TRUE(console.lines().empty());
  for (std::uint8_t key : {0x00, 0x0C, 0xFF}) EXPECT_FALSE(BluetoothDeviceKelo::transmissionProtocolVersion(key));
  EXPECT_EQ(console.lines(), Lines(3, "getKeloDeviceTypePacket no keyMark protocole veseion"));
}
