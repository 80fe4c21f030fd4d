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
