#include <gtest/gtest.h>

#include "talvaren/codecs/BluetoothBattery.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;

namespace {

class BluetoothBatteryTest : public ::testing::Test {
 protected:
  BatteryLevelReport level(std::uint8_t value, bool synch = false) {
    return BluetoothBattery(defaults_).getLevel({value}, synch);
  }
  /// What the Bluetooth link does with an answer: store yes under the key after reporting.
  BatteryLevelReport reportAndRemember(std::uint8_t value, bool synch = false) {
    auto report = level(value, synch);
    if (report.sendNotfication) defaults_->set(true, report.batteryLevelKey);
    return report;
  }
  std::optional<bool> flag(const char* key) {
    auto value = defaults_->objectForKey(key);
    if (!value) return std::nullopt;
    return value->get<bool>();
  }

  std::shared_ptr<platform::UserDefaults> defaults_ = platform::UserDefaults::inMemory();
};

}  // namespace

TEST_F(BluetoothBatteryTest, EnteringABandReportsOnceAndClearsTheLowerFlags) {
  testkit::ConsoleCapture console;
  EXPECT_EQ(level(40), (BatteryLevelReport{true, 40, "BatteryLevel50"}));
  EXPECT_EQ(console.lines(), std::vector<std::string>{"battery level = 40"});
  EXPECT_EQ(flag("BatteryLevel25"), false);
  EXPECT_EQ(flag("BatteryLevel10"), false);
  EXPECT_EQ(flag("BatteryLevel50"), std::nullopt);

  defaults_->set(true, BluetoothBattery::BatteryLevel50Key);
  EXPECT_EQ(level(45), (BatteryLevelReport{false, 45, ""}));

  EXPECT_EQ(level(60), (BatteryLevelReport{false, 60, ""}));
  EXPECT_EQ(flag("BatteryLevel50"), false);
  EXPECT_EQ(flag("BatteryLevel25"), false);
  EXPECT_EQ(flag("BatteryLevel10"), false);
}

TEST_F(BluetoothBatteryTest, BandEdges) {
  const std::pair<std::uint8_t, const char*> cases[] = {
      {50, "BatteryLevel50"}, {26, "BatteryLevel50"}, {25, "BatteryLevel25"}, {11, "BatteryLevel25"},
      {10, "BatteryLevel10"}, {0, "BatteryLevel10"}, {51, ""}, {255, ""}};
  for (auto [value, key] : cases) {
    auto fresh = platform::UserDefaults::inMemory();
    EXPECT_EQ(BluetoothBattery(fresh).getLevel({value, 0x99}, false).batteryLevelKey, key) << int(value);
  }
}

TEST_F(BluetoothBatteryTest, FallingReportsEachLowerBandAndRisingRearmsThem) {
  EXPECT_TRUE(reportAndRemember(45).sendNotfication);
  EXPECT_FALSE(reportAndRemember(30).sendNotfication);
  EXPECT_EQ(reportAndRemember(20), (BatteryLevelReport{true, 20, "BatteryLevel25"}));
  EXPECT_EQ(reportAndRemember(8), (BatteryLevelReport{true, 8, "BatteryLevel10"}));
  EXPECT_EQ(flag("BatteryLevel25"), true);
  EXPECT_FALSE(reportAndRemember(5).sendNotfication);
  // Back up into 11 to 25: the 0 to 10 flag is cleared, so a later fall reports again.
  EXPECT_FALSE(reportAndRemember(15).sendNotfication);
  EXPECT_TRUE(reportAndRemember(9).sendNotfication);
  // The 50 flag is cleared only above 50.
  EXPECT_FALSE(reportAndRemember(35).sendNotfication);
  EXPECT_FALSE(reportAndRemember(51).sendNotfication);
  EXPECT_TRUE(reportAndRemember(35).sendNotfication);
}

TEST_F(BluetoothBatteryTest, SynchronisationUsesItsOwnKeys) {
  defaults_->set(true, BluetoothBattery::BatteryLevel25Key);
  EXPECT_EQ(level(20, true), (BatteryLevelReport{true, 20, "BatteryLevelSynch25"}));
  EXPECT_EQ(flag("BatteryLevelSynch10"), false);
  EXPECT_EQ(flag("BatteryLevel25"), true);
  EXPECT_EQ(flag("BatteryLevel10"), std::nullopt);
  level(70, true);
  EXPECT_EQ(flag("BatteryLevel25"), true);
  EXPECT_EQ(flag("BatteryLevelSynch50"), false);
}

TEST_F(BluetoothBatteryTest, EmptyValueReportsNothingAndStoresNothing) {
  testkit::ConsoleCapture console;
  EXPECT_EQ(BluetoothBattery(defaults_).getLevel({}, false), (BatteryLevelReport{false, 0, ""}));
  EXPECT_EQ(defaults_->dictionaryRepresentation(), nlohmann::json::object());
  EXPECT_TRUE(console.lines().empty());
}

TEST_F(BluetoothBatteryTest, DefaultsToTheStandardUserDefaults) {
  testkit::setStandardUserDefaults(defaults_);
  BluetoothBattery battery;
  EXPECT_EQ(battery.defaults, defaults_);
  EXPECT_EQ(battery.getLevel({9}, false).batteryLevelKey, "BatteryLevel10");
  battery.defaults = nullptr;
  EXPECT_EQ(battery.getLevel({30}, false).batteryLevelKey, "BatteryLevel50");
  EXPECT_EQ(flag("BatteryLevel10"), false);
  testkit::resetStandardUserDefaults();
}
