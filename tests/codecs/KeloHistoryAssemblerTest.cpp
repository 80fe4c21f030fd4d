#include <gtest/gtest.h>

#include "support/KeloHistoryFixture.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/codecs/KeloHistoryAssembler.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using testkit::ConsoleCapture;
using Lines = std::vector<std::string>;
using Texts = std::vector<std::string>;

namespace {

/// An assembler with the sample list and running time that the Bluetooth link keeps beside it.
struct Download {
  KeloHistoryAssembler assembler;
  std::vector<HeartRate> samples;
  std::int64_t time = 0;

  /// What the frame left behind, all four values.
  BluetoothDeviceKelo::HistoryResult feed(const Bytes& frame) {
    const bool finish = assembler.add(frame, samples, time);
    return {finish, assembler.hexArrayString(), assembler.hexArray(), samples, time};
  }
  const std::vector<std::uint8_t>& bytes() const { return assembler.hexArray(); }
  Texts texts() const { return assembler.hexArrayString(); }
};

// One message in one frame: header 00 01 04 10 00 00 0B, then one record of two samples (72, 73),
// workout byte 0x21, time 0x6553F100 = 1,700,000,000.
const Bytes kSingleFrame{0xFF, 0x00, 0x13, 0x00, 0x01, 0x04, 0x10, 0x00, 0x00, 0x0B,
                         0x02, 0x21, 0x65, 0x53, 0xF1, 0x00, 0x48, 0x49, 0x7E};
const std::vector<std::uint8_t> kSingleMessage{0x00, 0x01, 0x04, 0x10, 0x00, 0x00, 0x0B, 0x02,
                                               0x21, 0x65, 0x53, 0xF1, 0x00, 0x48, 0x49};

/// A complete one-frame message: the 7 header bytes (lengh 11), then `records`, then a checksum byte.
Bytes messageFrame(std::initializer_list<std::uint8_t> records) {
  Bytes frame{0xFF, 0x00, 0x00, 0x00, 0x01, 0x04, 0x10, 0x00, 0x00, 0x0B};
  frame.insert(frame.end(), records);
  frame.push_back(0x00);
  return frame;
}

}  // namespace

TEST(KeloHistoryAssemblerTest, SingleFrameMessageYieldsSamplesTwoSecondsApart) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  Download download;
  const auto result = download.feed(kSingleFrame);

  EXPECT_TRUE(result.finish);
  EXPECT_EQ(result.hexArray, kSingleMessage);
  EXPECT_EQ(result.hexArrayString,
            (Texts{"00", "01", "04", "10", "00", "00", "0B", "02", "21", "65", "53", "F1", "00", "48", "49"}));
  ASSERT_EQ(result.hertRates.size(), 2u);
  EXPECT_EQ(result.hertRates[0], HeartRate(72, Date(1700000000), WorkoutType::cardio));
  EXPECT_EQ(result.hertRates[1], HeartRate(73, Date(1700000002), WorkoutType::cardio));
  EXPECT_EQ(result.timeMinuteBmp, 1700000004);

  EXPECT_EQ(console.lines(),
            (Lines{
                "getKeloDeviceHertRate transportHeader = 255 idetifier = 0 packetDataLength = 19",
                "getKeloDeviceHertRate small packet",
                "getKeloDeviceHertRate finish packet",
                R"(getKeloDeviceHertRate hexArraySring = ["00", "01", "04", "10", "00", "00", "0B", "02", "21", )"
                R"("65", "53", "F1", "00", "48", "49"])",
                "getKeloDeviceHertRate array         = [0, 1, 4, 16, 0, 0, 11, 2, 33, 101, 83, 241, 0, 72, 73]",
                "getKeloDeviceHertRate numberPacketHighHex = 00",
                "getKeloDeviceHertRate numberPacketLowHex = 01",
                "getKeloDeviceHertRate cmdIdHex = 04",
                "getKeloDeviceHertRate commandProtocolHex = 10",
                "getKeloDeviceHertRate keyHex = 00",
                "getKeloDeviceHertRate confirmACKHex = 00",
                "getKeloDeviceHertRate lenghHex = 0B lengh = 11)",
                "getKeloDeviceHertRate lenghHeartRateHex = 02 lenghHeartRate = 2",
                "getKeloDeviceHertRate typeWorkoutHex = 21",
                "getKeloDeviceHertRate timeMinutesSting = 101 83 241 0",
                "getKeloDeviceHertRate timeMinutesSting = 6553f100",
                "getKeloDeviceHertRate time = 2023-11-14 22:13:20 +0000 timestampUTC = 1700000000.0",
                "getKeloDeviceHertRate HeartRate = 72",
                "getKeloDeviceHertRate HeartRate = 73",
                "getHRMUTC offSet = 14",
            }));
}

TEST(KeloHistoryAssemblerTest, SampleDatesMoveBackByTheZoneOffset) {
  testkit::ScopedTimeZone zone("Etc/GMT-1");  // +01:00
  ConsoleCapture console;
  Download download;
  download.feed(kSingleFrame);
  ASSERT_EQ(download.samples.size(), 2u);
  EXPECT_EQ(download.samples[0].date, Date(1700000000 - 3600));
  EXPECT_EQ(download.samples[1].date, Date(1700000002 - 3600));
  // The running time stays in the strap's local wall-clock seconds.
  EXPECT_EQ(download.time, 1700000004);
  EXPECT_TRUE(console.contains("getKeloDeviceHertRate time = 2023-11-14 21:13:20 +0000 timestampUTC = 1699996400.0"));
}

TEST(KeloHistoryAssemblerTest, WorkoutByteNamesTheKindOfEverySampleOfItsRecord) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  const std::pair<std::uint8_t, std::optional<WorkoutType>> cases[] = {
      {0x21, WorkoutType::cardio}, {0x22, WorkoutType::mixed}, {0x23, WorkoutType::strength},
      {0x20, std::nullopt},        {0x24, std::nullopt},       {0x00, std::nullopt}};
  for (const auto& [byte, type] : cases) {
    Bytes frame = kSingleFrame;
    frame[11] = byte;
    Download download;
    download.feed(frame);
    ASSERT_EQ(download.samples.size(), 2u);
    EXPECT_EQ(download.samples[0].type, type) << int(byte);
    EXPECT_EQ(download.samples[1].type, type) << int(byte);
  }
}

TEST(KeloHistoryAssemblerTest, MessageInTwoFramesIsJoinedBeforeItIsDecoded) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  Download download;
  download.samples.emplace_back(60, Date(5));  // gathered before: kept at the front
  download.time = 77;

  auto first = download.feed({0xFF, 0x80, 0x0D, 0x00, 0x01, 0x04, 0x10, 0x00, 0x00, 0x0B, 0x02, 0x21, 0x11});
  EXPECT_TRUE(first.finish);
  EXPECT_EQ(first.hexArray.size(), 9u);
  EXPECT_EQ(first.hertRates.size(), 1u);
  EXPECT_EQ(first.timeMinuteBmp, 77);
  EXPECT_FALSE(console.contains("getKeloDeviceHertRate finish packet"));

  auto second = download.feed({0xFF, 0xC1, 0x0A, 0x65, 0x53, 0xF1, 0x00, 0x48, 0x49, 0x22});
  EXPECT_TRUE(second.finish);
  EXPECT_EQ(second.hexArray, kSingleMessage);
  EXPECT_EQ(second.hexArrayString.size(), 15u);
  ASSERT_EQ(second.hertRates.size(), 3u);
  EXPECT_EQ(second.hertRates[0], HeartRate(60, Date(5)));
  EXPECT_EQ(second.hertRates[1], HeartRate(72, Date(1700000000), WorkoutType::cardio));
  EXPECT_EQ(second.hertRates[2], HeartRate(73, Date(1700000002), WorkoutType::cardio));
  EXPECT_EQ(second.timeMinuteBmp, 1700000004);
}

TEST(KeloHistoryAssemblerTest, FinalFrameOfLowNibbleZeroAddsToTheMessageRatherThanStartingAfresh) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  // High nibble 0xC completes whatever its low nibble: 0xC0 and 0xCF both keep the first part.
  for (std::uint8_t last : {0xC0, 0xCF}) {
    Download download;
    download.feed({0xFF, 0x80, 0x0D, 0x00, 0x01, 0x04, 0x10, 0x00, 0x00, 0x0B, 0x02, 0x21, 0x11});
    download.feed({0xFF, last, 0x0A, 0x65, 0x53, 0xF1, 0x00, 0x48, 0x49, 0x00});
    EXPECT_EQ(download.bytes(), kSingleMessage) << int(last);
    ASSERT_EQ(download.samples.size(), 2u) << int(last);
    EXPECT_EQ(download.samples[1], HeartRate(73, Date(1700000002), WorkoutType::cardio));
  }
}

TEST(KeloHistoryAssemblerTest, IdentifierNibblesSteerTheReassembly) {
  ConsoleCapture console;
  Download download;
  download.feed({0xFF, 0x80, 0x06, 0x01, 0x02, 0x00});  // low nibble 0: starts afresh
  download.feed({0xFF, 0x86, 0x06, 0x03, 0x04, 0x00});  // low nibble 6: appended
  EXPECT_EQ(download.bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(download.texts(), (Texts{"01", "02", "03", "04"}));

  console.clear();
  download.feed({0xFF, 0x87, 0x06, 0x05, 0x06, 0x00});  // low nibble 7: dropped
  EXPECT_EQ(download.bytes().size(), 4u);
  EXPECT_TRUE(console.contains("getKeloDeviceHertRate of default"));

  download.feed({0xFF, 0xA0, 0x05, 0x09, 0x00});  // any other high nibble with low 0 empties too
  EXPECT_EQ(download.bytes(), std::vector<std::uint8_t>{9});

  // High nibble 0 with a low nibble other than 0 completes the message without emptying it first.
  console.clear();
  download.feed({0xFF, 0x03, 0x05, 0x0A, 0x00});
  EXPECT_EQ(download.bytes(), (std::vector<std::uint8_t>{9, 10}));
  EXPECT_TRUE(console.contains("getKeloDeviceHertRate finish packet"));
  EXPECT_FALSE(console.contains("getKeloDeviceHertRate small packet"));
}

TEST(KeloHistoryAssemblerTest, DecodedMessageStaysInTheBufferAndAFollowingFinalFrameDecodesItAgain) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  Download download;
  download.feed(kSingleFrame);
  download.feed({0xFF, 0xC2, 0x04, 0x00});  // completes nothing new: the old message is decoded again
  EXPECT_EQ(download.samples.size(), 4u);
  EXPECT_EQ(download.samples[2], download.samples[0]);
}

TEST(KeloHistoryAssemblerTest, LengthOtherThanElevenReadsNoRecord) {
  ConsoleCapture console;
  Download download;
  download.time = 42;
  Bytes frame = kSingleFrame;
  frame[9] = 0x0A;
  const auto result = download.feed(frame);
  EXPECT_TRUE(result.finish);
  EXPECT_TRUE(result.hertRates.empty());
  EXPECT_EQ(result.timeMinuteBmp, 42);
  EXPECT_EQ(result.hexArray.size(), 15u);
  EXPECT_TRUE(console.contains("getKeloDeviceHertRate lenghHex = 0A lengh = 10)"));
  EXPECT_EQ(console.lines().back(), "kiled 11");
}

TEST(KeloHistoryAssemblerTest, RecordsFollowEachOtherAndAnEmptyRecordTakesOnlyItsHeader) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  Download download;
  download.feed(messageFrame({0x00, 0x22, 0x00, 0x00, 0x00, 0x64,      // no samples, time 100
                              0x01, 0x23, 0x00, 0x00, 0x01, 0x00, 90,  // one sample, time 256
                              0x02, 0x99, 0x00, 0x00, 0x02, 0x00, 91, 92}));
  ASSERT_EQ(download.samples.size(), 3u);
  EXPECT_EQ(download.samples[0], HeartRate(90, Date(256), WorkoutType::strength));
  EXPECT_EQ(download.samples[1], HeartRate(91, Date(512)));
  EXPECT_EQ(download.samples[2], HeartRate(92, Date(514)));
  EXPECT_EQ(download.time, 516);
  EXPECT_TRUE(console.contains("getHRMUTC offSet = 12"));
  EXPECT_TRUE(console.contains("getHRMUTC offSet = 19"));
  EXPECT_TRUE(console.contains("getHRMUTC offSet = 27"));
}

TEST(KeloHistoryAssemblerTest, CutRecordsYieldWhatIsThere) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  {
    // Five samples announced, two present.
    Download download;
    download.feed(messageFrame({0x05, 0x21, 0x00, 0x00, 0x00, 0x0A, 70, 71}));
    ASSERT_EQ(download.samples.size(), 2u);
    EXPECT_EQ(download.samples[1], HeartRate(71, Date(12), WorkoutType::cardio));
    EXPECT_EQ(download.time, 14);
  }
  {
    // The second record ends inside its time field: the first record's samples and time stand.
    Download download;
    download.time = 999;
    download.feed(messageFrame({0x01, 0x21, 0x00, 0x00, 0x00, 0x0A, 70, 0x03, 0x21, 0x00, 0x00}));
    ASSERT_EQ(download.samples.size(), 1u);
    EXPECT_EQ(download.time, 12);
  }
  {
    // A whole header and no sample byte: the record's time is taken, nothing is appended.
    Download download;
    download.feed(messageFrame({0x03, 0x21, 0x00, 0x00, 0x00, 0x0A}));
    EXPECT_TRUE(download.samples.empty());
    EXPECT_EQ(download.time, 10);
  }
  {
    // Only the first header byte: nothing read, time as passed in.
    Download download;
    download.time = 7;
    download.feed(messageFrame({0x03}));
    EXPECT_TRUE(download.samples.empty());
    EXPECT_EQ(download.time, 7);
  }
}

TEST(KeloHistoryAssemblerTest, StrapTimeIsUnsignedThirtyTwoBits) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  Download download;
  download.feed(messageFrame({0x01, 0x21, 0xFF, 0xFF, 0xFF, 0xFE, 80}));
  ASSERT_EQ(download.samples.size(), 1u);
  EXPECT_EQ(download.samples[0].date, Date(4294967294.0));
  EXPECT_EQ(download.time, 4294967296);
  EXPECT_TRUE(console.contains("getKeloDeviceHertRate timeMinutesSting = fffffffe"));
}

TEST(KeloHistoryAssemblerTest, ShortFramesAndMessagesAreNeverReadPastTheirEnd) {
  ConsoleCapture console;
  Download download;
  download.assembler = KeloHistoryAssembler(std::vector<std::uint8_t>{0xAA});
  download.time = 5;
  for (const Bytes& frame : {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0x00}}) {
    const auto result = download.feed(frame);
    EXPECT_TRUE(result.finish);
    EXPECT_EQ(result.hexArray, std::vector<std::uint8_t>{0xAA});
    EXPECT_EQ(result.timeMinuteBmp, 5);
  }
  EXPECT_TRUE(console.lines().empty());

  // Three bytes: a header with nothing to contribute; the empty message holds no record.
  auto three = download.feed({0xFF, 0x00, 0x03});
  EXPECT_TRUE(three.finish);
  EXPECT_TRUE(three.hexArray.empty());
  EXPECT_EQ(console.lines().back(), "kiled 11");

  // Four bytes contribute nothing either (offset 3 is the checksum).
  download.feed({0xFF, 0x80, 0x04, 0x77});
  EXPECT_TRUE(download.bytes().empty());

  // A complete message of four bytes: its bytes are printed, no length or record is read.
  console.clear();
  auto shortMessage = download.feed({0xFF, 0x00, 0x08, 0x00, 0x01, 0x04, 0x10, 0x15});
  EXPECT_EQ(shortMessage.hexArray.size(), 4u);
  EXPECT_TRUE(shortMessage.hertRates.empty());
  EXPECT_TRUE(console.contains("getKeloDeviceHertRate commandProtocolHex = 10"));
  EXPECT_FALSE(console.contains("getKeloDeviceHertRate keyHex = 00"));
  EXPECT_EQ(console.lines().back(), "kiled 11");
}

TEST(KeloHistoryAssemblerTest, FullDayDownloadYieldsEverySampleInOrder) {
  testkit::ScopedTimeZone zone("UTC");
  ConsoleCapture console;
  const std::uint32_t start = 1700000000;
  const auto history = testkit::makeKeloHistory(43200, start, 0x22);
  Download download;
  for (const auto& frame : history.frames) ASSERT_TRUE(download.assembler.add(frame, download.samples, download.time));
  ASSERT_EQ(download.samples.size(), 43200u);
  for (std::size_t i = 0; i < download.samples.size(); ++i) {
    const auto& sample = download.samples[i];
    ASSERT_EQ(sample.bmp, history.beats[i]) << i;
    ASSERT_EQ(sample.date, Date(start + 2.0 * static_cast<double>(i))) << i;
    ASSERT_EQ(sample.type, WorkoutType::mixed) << i;
  }
  EXPECT_EQ(download.time, start + 86400);
}

TEST(KeloHistoryAssemblerTest, FrameHeaderReadsTheFixedBytesAndTheNoAckCommandWhenPresent) {
  EXPECT_FALSE(KeloFrameHeader::read({0xFF, 0x20, 0x06, 0x00}));

  const auto ack = KeloFrameHeader::read({0xFF, 0x2C, 0x06, 0x01, 0x02, 0x33});
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->transportHeader, 0xFF);
  EXPECT_EQ(ack->idetifier, 0x2C);
  EXPECT_EQ(ack->idetifierHeight(), 0x2);
  EXPECT_EQ(ack->length, 0x06);
  EXPECT_EQ(ack->quaeueData, 0x01);
  EXPECT_EQ(ack->numberPacket, 0x02);
  EXPECT_EQ(ack->checksum, 0x33);
  EXPECT_FALSE(ack->cmdId);
  EXPECT_FALSE(ack->keyMark);

  // A no-ack message: command at byte 5, key at byte 7 (byte 6 is not read).
  const auto clock = KeloFrameHeader::read({0xFF, 0x00, 0x09, 0x00, 0x04, 0x05, 0x10, 0x01, 0x7A});
  ASSERT_TRUE(clock);
  EXPECT_EQ(clock->idetifierHeight(), 0x0);
  EXPECT_EQ(clock->cmdId, 0x05);
  EXPECT_EQ(clock->keyMark, 0x01);
  EXPECT_EQ(clock->checksum, 0x7A);
}
