#include <gtest/gtest.h>

#include <bit>
#include <limits>

#include "talvaren/codecs/BluetoothUtils.hpp"
#include "talvaren/codecs/HexExtensions.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

using namespace talvaren;

TEST(CountChecksumTest, KeepsTheLastTwoLowerCaseDigitsOfTheSum) {
  EXPECT_EQ(BluetoothUtils::countChecksum({"b2", "04", "0d"}), "c3");
  EXPECT_EQ(dataFromHexEncodedString("b2040d" + BluetoothUtils::countChecksum({"b2", "04", "0d"})),
            (Bytes{0xB2, 0x04, 0x0D, 0xC3}));
  EXPECT_EQ(BluetoothUtils::countChecksum({"ff", "00", "0f", "00", "01"}), "0f");
  EXPECT_EQ(BluetoothUtils::countChecksum({"01", "02"}), "3");
  EXPECT_EQ(BluetoothUtils::countChecksum({}), "0");
  EXPECT_EQ(BluetoothUtils::countChecksum({"B2", "0D"}), "bf");
  EXPECT_EQ(BluetoothUtils::countChecksum({"-1"}), "-1");
  EXPECT_EQ(BluetoothUtils::countChecksum({"-1f"}), "1f");
  EXPECT_EQ(BluetoothUtils::countChecksum({"+a", "5"}), "f");
}

TEST(CountChecksumTest, ReadsEachTextWholeAndStrictly) {
  // Anything that is not sign-and-hex-digits adds 0.
  for (const char* bad : {"zz", "", " 10", "10 ", "0x10", "+", "-", "+-1", "1.0", "１０"}) {
    EXPECT_EQ(BluetoothUtils::countChecksum({"b2", bad}), "b2") << bad;
  }
  // Beyond 64 bits is no number; the extremes of the signed range are.
  EXPECT_EQ(BluetoothUtils::countChecksum({"10000000000000000", "b2"}), "b2");
  EXPECT_EQ(BluetoothUtils::countChecksum({"8000000000000000", "b2"}), "b2");
  EXPECT_EQ(BluetoothUtils::countChecksum({"7fffffffffffffff"}), "ff");
  EXPECT_EQ(BluetoothUtils::countChecksum({"-8000000000000000"}), "00");
  // A sum past the top wraps around instead of overflowing.
  EXPECT_EQ(BluetoothUtils::countChecksum({"7fffffffffffffff", "1"}), "00");
  EXPECT_EQ(BluetoothUtils::countChecksum({"7fffffffffffffff", "7fffffffffffffff", "3"}), "1");
}

TEST(CheckNumberTest, SumsModulo256WithTheSignOfTheSum) {
  EXPECT_EQ(BluetoothUtils::getCheckNumber({200, 100}), 44);
  EXPECT_EQ(BluetoothUtils::getCheckNumber({}), 0);
  EXPECT_EQ(BluetoothUtils::getCheckNumber({0xA2, 0x04, 0x01}), 0xA7);
  EXPECT_EQ(BluetoothUtils::getCheckNumber({-300}), -44);
  const auto max = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(BluetoothUtils::getCheckNumber({max, 1}), std::numeric_limits<std::int64_t>::min() % 256);
}

TEST(WriteDataTest, BuildsBytesAndTheUpdateModeCommand) {
  EXPECT_EQ(BluetoothUtils::getWriteData({0, 0x7F, 0xFF}), (Bytes{0x00, 0x7F, 0xFF}));
  EXPECT_EQ(BluetoothUtils::getWriteData({}), Bytes{});
  EXPECT_EQ(BluetoothUtils::getWriteData({0x1A5, -1, 256}), (Bytes{0xA5, 0xFF, 0x00}));
  EXPECT_EQ(BluetoothUtils::getOTAData(), (Bytes{0xA2, 0x04, 0x01, 0xA7}));
  EXPECT_EQ(checksum({0xA2, 0x04, 0x01}), 0xA7);
}

TEST(ReadIntegerTest, ReadsInHostOrderWithinTheBuffer) {
  EXPECT_EQ(BluetoothUtils::readInteger<std::uint8_t>({0x4B}, 0), 75);
  EXPECT_EQ(BluetoothUtils::readInteger<std::uint8_t>({0x00, 0x4B}, 1), 75);
  EXPECT_EQ(BluetoothUtils::readInteger<std::int8_t>({0xFF}, 0), -1);
  const Bytes bytes{0x01, 0x02, 0x03, 0x04, 0x05};
  const auto value = BluetoothUtils::readInteger<std::uint32_t>(bytes, 1);
  if constexpr (std::endian::native == std::endian::little) {
    EXPECT_EQ(value, 0x05040302u);
    EXPECT_EQ(BluetoothUtils::readInteger<std::uint16_t>(bytes, 0), 0x0201);
  } else {
    EXPECT_EQ(value, 0x02030405u);
    EXPECT_EQ(BluetoothUtils::readInteger<std::uint16_t>(bytes, 0), 0x0102);
  }
}

TEST(ReadIntegerTest, OutsideTheBufferGivesZero) {
  EXPECT_EQ(BluetoothUtils::readInteger<std::uint8_t>({}, 0), 0);
  EXPECT_EQ(BluetoothUtils::readInteger<std::uint8_t>({0x4B}, 1), 0);
  EXPECT_EQ(BluetoothUtils::readInteger<std::uint8_t>({0x4B}, -1), 0);
  EXPECT_EQ(BluetoothUtils::readInteger<std::uint32_t>({0x01, 0x02, 0x03}, 0), 0u);
  EXPECT_EQ(BluetoothUtils::readInteger<std::uint16_t>({0x01, 0x02, 0x03}, 2), 0);
  EXPECT_EQ(BluetoothUtils::readInteger<std::uint64_t>({0x01}, std::numeric_limits<std::int64_t>::max()), 0u);
}

TEST(ByteToStringTest, EachByteIsOneCharacter) {
  EXPECT_EQ(BluetoothUtils::byteToString({0x31, 0x2E, 0x30}), "1.0");
  EXPECT_EQ(BluetoothUtils::byteToString({}), "");
  EXPECT_EQ(BluetoothUtils::byteToString({0x41, 0x80, 0xE9, 0xFF}), "A\u0080\u00E9\u00FF");
  EXPECT_EQ(BluetoothUtils::byteToString({0x31, 0x2E, 0x30, 0x00}), "1.0");
}

TEST(BitNumberTest, ExtractsAFieldOfTheLowByte) {
  EXPECT_EQ(BluetoothUtils::getBitNumber(0xB6, 1, 3), 3);
  EXPECT_EQ(BluetoothUtils::getBitNumber(0xB6, 0, 7), 0xB6);
  EXPECT_EQ(BluetoothUtils::getBitNumber(0x1B6, 0, 7), 0xB6);
  EXPECT_EQ(BluetoothUtils::getBitNumber(0xB6, 7, 7), 1);
  EXPECT_EQ(BluetoothUtils::getBitNumber(-1, 4, 7), 0x0F);
  EXPECT_EQ(BluetoothUtils::getBitNumber(0xB6, 3, 2), 0);
  EXPECT_EQ(BluetoothUtils::getBitNumber(0xB6, 0, 8), 0);
  EXPECT_EQ(BluetoothUtils::getBitNumber(0xB6, -1, 3), 0);
  EXPECT_EQ(BluetoothUtils::getBitNumber(0xB6, 8, 8), 0);
  EXPECT_EQ(BluetoothUtils::getBitNumber(0xB6, 0, -1), 0);
}

TEST(HexExtensionsTest, IntegersAndBytesToHexText) {
  EXPECT_EQ(toHex("255"), "ff");
  EXPECT_EQ(toHex("abc"), "0");
  EXPECT_EQ(toHex("+16"), "10");
  EXPECT_EQ(toHex("-255"), "-ff");
  EXPECT_EQ(toHex(""), "0");
  EXPECT_EQ(toHex("0x10"), "0");
  EXPECT_EQ(toHex("9223372036854775807"), "7fffffffffffffff");
  EXPECT_EQ(toHex("9223372036854775808"), "0");

  EXPECT_EQ(checksum({}), 0);
  EXPECT_EQ(checksum({0xFF, 0xFF, 0x03}), 0x01);

  EXPECT_EQ(hexEncodedString({0x0A, 0xFF}), "0aff");
  EXPECT_EQ(hexEncodedString({0x0A, 0xFF}, HexEncodingOptions::upperCase), "0AFF");
  EXPECT_EQ(hexEncodedString({}), "");
  EXPECT_EQ(hexEncodedString({0x00, 0x05}, HexEncodingOptions{}), "0005");

  EXPECT_EQ(hex(std::uint16_t{0xABC}), "0ABC");
  EXPECT_EQ(hex(std::uint8_t{5}), "05");
  EXPECT_EQ(hex(std::uint8_t{0}), "00");
  EXPECT_EQ(hex(std::uint32_t{0xDEADBEEF}), "DEADBEEF");
  EXPECT_EQ(hex(std::uint64_t{1}), "0000000000000001");
  EXPECT_EQ(hex(std::numeric_limits<std::uint64_t>::max()), "FFFFFFFFFFFFFFFF");
}
