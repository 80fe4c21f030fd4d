#include <gtest/gtest.h>

#include <set>
#include <string>

#include "talvaren/codecs/BluetoothCharacteristics.hpp"
#include "talvaren/codecs/BluetoothServices.hpp"

using namespace talvaren;

TEST(GattTablesTest, RawValuesRoundTripAndAreDistinct) {
  std::set<std::string_view> texts;
  for (auto service : BluetoothServicesAllCases) {
    EXPECT_EQ(fromRawValue<BluetoothServices>(rawValue(service)), service);
    texts.insert(rawValue(service));
  }
  EXPECT_EQ(texts.size(), BluetoothServicesAllCases.size());
  texts.clear();
  for (auto characteristic : BluetoothCharacteristicsAllCases) {
    EXPECT_EQ(fromRawValue<BluetoothCharacteristics>(rawValue(characteristic)), characteristic);
    texts.insert(rawValue(characteristic));
  }
  EXPECT_EQ(texts.size(), BluetoothCharacteristicsAllCases.size());
}

TEST(GattTablesTest, TextsAreKeptLetterForLetter) {
  EXPECT_EQ(rawValue(BluetoothServices::Battery), "0000180F-0000-1000-8000-00805F9B34FB");
  EXPECT_EQ(rawValue(BluetoothServices::KeloDevice), "0000fd00-0000-1000-8000-00805f9b34fb");
  EXPECT_EQ(rawValue(BluetoothServices::TurnRR), "EB");
  EXPECT_EQ(rawValue(BluetoothServices::KeloDeviceData), "181C");
  EXPECT_EQ(rawValue(BluetoothCharacteristics::KeloDeviceWrite), "0000fd0a-0000-1000-8000-00805f9b34fb");
  EXPECT_EQ(rawValue(BluetoothCharacteristics::KeloAppModeUUID16), "FD0A");
  EXPECT_EQ(rawValue(BluetoothCharacteristics::KeloDeviceNotifyHistry), "FD19");
}

TEST(GattTablesTest, LookupIsExactAndCaseSensitive) {
  EXPECT_EQ(fromRawValue<BluetoothServices>("EB"), BluetoothServices::TurnRR);
  EXPECT_EQ(fromRawValue<BluetoothServices>("180A"), BluetoothServices::DeviceInfo);
  EXPECT_EQ(fromRawValue<BluetoothServices>("180a"), std::nullopt);
  EXPECT_EQ(fromRawValue<BluetoothServices>("180F"), std::nullopt);
  EXPECT_EQ(fromRawValue<BluetoothServices>("180A "), std::nullopt);
  EXPECT_EQ(fromRawValue<BluetoothServices>(""), std::nullopt);
  EXPECT_EQ(fromRawValue<BluetoothCharacteristics>("fd0a"), std::nullopt);
  EXPECT_EQ(fromRawValue<BluetoothCharacteristics>("0000FD0A-0000-1000-8000-00805F9B34FB"), std::nullopt);
}

TEST(GattTablesTest, UuidsFollowTheBluetoothRules) {
  auto uuid = [](std::string_view text) { return platform::BluetoothUUID::fromString(text); };
  EXPECT_EQ(cbuuid(BluetoothServices::DeviceInfo), uuid("180a"));
  EXPECT_EQ(cbuuid(BluetoothServices::Battery), uuid("180F"));
  EXPECT_EQ(cbuuid(BluetoothServices::KeloDevice), uuid("FD00"));
  EXPECT_EQ(cbuuid(BluetoothCharacteristics::BatteryLevel), uuid("2A19"));
  EXPECT_EQ(cbuuid(BluetoothCharacteristics::KeloAppModeUUID16), cbuuid(BluetoothCharacteristics::KeloDeviceWrite));
  EXPECT_EQ(cbuuid(BluetoothCharacteristics::KeloDeviceNotify), uuid("FD09"));
  EXPECT_EQ(cbuuid(BluetoothServices::RavoDeviceData), uuid("8fc3fd00-f21d-11e3-976c-0002a5d5c51b"));
  EXPECT_NE(cbuuid(BluetoothCharacteristics::KeloAppModeUUID16), cbuuid(BluetoothCharacteristics::KeloAppModeUUID128));
  // "EB" is a command byte, not a UUID.
  EXPECT_EQ(cbuuid(BluetoothServices::TurnRR), std::nullopt);
  for (auto service : BluetoothServicesAllCases) {
    if (service != BluetoothServices::TurnRR) {
      EXPECT_TRUE(cbuuid(service).has_value()) << rawValue(service);
    }
  }
  for (auto characteristic : BluetoothCharacteristicsAllCases) {
    EXPECT_TRUE(cbuuid(characteristic).has_value()) << rawValue(characteristic);
  }
}
