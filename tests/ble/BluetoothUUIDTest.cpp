#include <gtest/gtest.h>

#include <unordered_set>

#include "talvaren/platform/ble/BluetoothUUID.hpp"

using talvaren::Bytes;
using talvaren::platform::BluetoothUUID;
using talvaren::platform::PeripheralIdentifier;

namespace {
BluetoothUUID uuid(const char* text) {
  auto value = BluetoothUUID::fromString(text);
  EXPECT_TRUE(value) << text;
  return value.value_or(BluetoothUUID());
}
}  // namespace

TEST(BluetoothUUIDTest, ShortFormsEqualTheirExpansionOnTheBaseUuid) {
  EXPECT_EQ(uuid("180F"), uuid("0000180F-0000-1000-8000-00805F9B34FB"));
  EXPECT_EQ(uuid("180a"), uuid("180A"));
  EXPECT_EQ(uuid("FD0A"), uuid("0000fd0a-0000-1000-8000-00805f9b34fb"));
  EXPECT_EQ(uuid("0000180D"), uuid("180D"));
  EXPECT_EQ(uuid("12345678"), uuid("12345678-0000-1000-8000-00805F9B34FB"));
  EXPECT_EQ(uuid("2A19"), BluetoothUUID::fromUInt16(0x2A19));
  EXPECT_NE(uuid("FD0A"), uuid("8FC3FD0A-F21D-11E3-976C-0002A5D5C51B"));
  EXPECT_NE(uuid("180D"), uuid("180F"));
  EXPECT_NE(uuid("0001180D"), uuid("180D"));
  // Off the base, the short value means nothing: only the full text compares.
  EXPECT_NE(uuid("0000180D-0000-1000-8000-00805F9B34FC"), uuid("180D"));

  std::unordered_set<BluetoothUUID> set{uuid("180d"), uuid("0000180D-0000-1000-8000-00805F9B34FB")};
  EXPECT_EQ(set.size(), 1u);
}

TEST(BluetoothUUIDTest, TextsGiveTheShortestUpperCaseForm) {
  EXPECT_EQ(uuid("0000180f-0000-1000-8000-00805f9b34fb").uuidString(), "180F");
  EXPECT_EQ(uuid("fd19").uuidString(), "FD19");
  EXPECT_EQ(uuid("12345678").uuidString(), "12345678");
  EXPECT_EQ(uuid("0000ABCD").uuidString(), "ABCD");
  EXPECT_EQ(uuid("8fc3fd00-f21d-11e3-976c-0002a5d5c51b").uuidString(), "8FC3FD00-F21D-11E3-976C-0002A5D5C51B");
  EXPECT_EQ(uuid("2A37").fullString(), "00002A37-0000-1000-8000-00805F9B34FB");
  EXPECT_EQ(uuid("2A37").data(), (Bytes{0x2A, 0x37}));
  EXPECT_EQ(uuid("12345678").data(), (Bytes{0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(uuid("8FC3FD00-F21D-11E3-976C-0002A5D5C51B").data().size(), 16u);
  EXPECT_EQ(BluetoothUUID::fromData(Bytes{0x18, 0x0D}), uuid("180D"));
  EXPECT_EQ(BluetoothUUID::fromData(uuid("FCE61000-7802-4392-B6B7-96B18DEAAD22").data()),
            uuid("FCE61000-7802-4392-B6B7-96B18DEAAD22"));
  EXPECT_FALSE(BluetoothUUID::fromData(Bytes{0x18}));
  EXPECT_EQ(uuid("2A37").shortValue(), 0x2A37);
  EXPECT_FALSE(uuid("12345678").shortValue());
}

TEST(BluetoothUUIDTest, TextsThatAreNoUuidGiveNothing) {
  for (const char* text : {"EB", "", "180", "18000", "180G", "+180", "0000180F-0000-1000-8000-00805F9B34F",
                           "0000180F00000-1000-8000-00805F9B34FB", "0000180F-0000-1000-8000-00805F9B34FBA",
                           "0000180F-0000-1000-8000_00805F9B34FB", "0x180D", " 180D", "0000180F-0000-1000-8000-00805F9B34G0"}) {
    EXPECT_FALSE(BluetoothUUID::fromString(text)) << text;
  }
}

TEST(BluetoothUUIDTest, PeripheralIdentifiersTakeOnlyTheFullForm) {
  auto id = PeripheralIdentifier::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(id);
  EXPECT_EQ(id->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(id, PeripheralIdentifier::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
  EXPECT_FALSE(PeripheralIdentifier::fromString("180D"));
  EXPECT_FALSE(PeripheralIdentifier::fromString("not a uuid"));
  EXPECT_FALSE(PeripheralIdentifier::fromString("E621E1F8C36C495A93FC0C247A3E6E5F"));
}
