#include <gtest/gtest.h>

#include "codecs/Lowercase.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/utilities/TalvarenLocalize.hpp"

using namespace talvaren;

namespace {

class BluetoothAttrbutesTest : public ::testing::Test {
 protected:
  void SetUp() override { testkit::setStandardUserDefaults(defaults_); }
  void TearDown() override { testkit::resetStandardUserDefaults(); }
  void setLanguage(const char* language) { defaults_->set(language, LCLCurrentLanguageKey); }

  std::shared_ptr<platform::UserDefaults> defaults_ = platform::UserDefaults::inMemory();
};

}  // namespace

TEST_F(BluetoothAttrbutesTest, AbsentAndEmptyNamesPassNoTest) {
  setLanguage("ja");
  for (std::optional<std::string_view> name : {std::optional<std::string_view>{}, std::optional<std::string_view>{""}}) {
    EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo(name));
    EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithHrm(name));
    EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDevice(name));
  }
}

TEST_F(BluetoothAttrbutesTest, KeloAndHeartRateStrapTestsLowerCaseFirst) {
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo("KELO-1234"));
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo("Kelo1234"));
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo("My Talvaren-10001 strap"));
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo("Talvaren"));
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo("Talvaren-1000"));
  // KELVIN SIGN lower-cases to "k".
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo("\u212AELO-7"));
  // Look-alikes from other scripts do not: Cyrillic "КЕLО-".
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo("\u041A\u0415L\u041E-7"));

  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithHrm("Strap HRM 2"));
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithHrm("RAVO 3"));
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDeviceWithHrm("H R M"));
}

TEST_F(BluetoothAttrbutesTest, RecoveryTestDependsOnNameAndLanguage) {
  setLanguage("en");
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDevice("LUMO band"));
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDevice("Talvaren"));
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDevice("kelo-55"));
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDevice("Strap HRM 2"));
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDevice("Ravo"));
  setLanguage("ja");
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDevice("Strap HRM 2"));
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDevice("Polar"));
  setLanguage("pl");
  EXPECT_TRUE(BluetoothAttrbutes::isCompatibleRecoveryDevice("Ravo"));
  setLanguage("PL");
  EXPECT_FALSE(BluetoothAttrbutes::isCompatibleRecoveryDevice("Ravo"));
}

TEST_F(BluetoothAttrbutesTest, KeyNamesAndWaitTime) {
  EXPECT_EQ(BluetoothAttrbutes::MAX_DATA_WAIT_TIME, 20);
  EXPECT_STREQ(BluetoothAttrbutes::RecoveryDeviceKey, "LastRecoveryDevice");
  EXPECT_STREQ(BluetoothAttrbutes::WorkoutDeviceKey, "LastWorkoutDevice");
  EXPECT_STREQ(BluetoothAttrbutes::WorkoutImporterDeviceKey, "LastWorkoutImporterDevice");
  EXPECT_STREQ(BluetoothAttrbutes::FirmwareUpgradeKey, "FirmwareUpgradeDevice");
  EXPECT_STREQ(BluetoothAttrbutes::NameDeviceKey, "NameDevice");
  EXPECT_STREQ(BluetoothAttrbutes::VersionDeviceKey, "VersionDevice");
  EXPECT_STREQ(BluetoothAttrbutes::SynchZoneDeviceKey, "SynchZoneDevice");
}

TEST(LowercaseTest, LowerCasesAcrossScriptsTheSameInEveryLocale) {
  using detail::lowercased;
  EXPECT_EQ(lowercased("KELO-1234 Strap"), "kelo-1234 strap");
  EXPECT_EQ(lowercased("ÀÉÎÕÜ ŁŹŸ ẞ"), "àéîõü łźÿ ß");
  EXPECT_EQ(lowercased("ΑΒΓ Ά Ώ"), "αβγ ά ώ");
  EXPECT_EQ(lowercased("ПРИВЕТ ЁЇ"), "привет ёї");
  EXPECT_EQ(lowercased("\u212A\u212B\u2126"), "k\u00E5\u03C9");
  EXPECT_EQ(lowercased("\uFF28\uFF32\uFF2D"), "\uFF48\uFF52\uFF4D");
  // Dotted capital I keeps its dot as a combining mark; dotless i stays as it is.
  EXPECT_EQ(lowercased("\u0130I\u0131"), "i\u0307i\u0131");
  EXPECT_EQ(lowercased("×÷ 123 -_"), "×÷ 123 -_");
  // Malformed UTF-8 is kept byte for byte.
  EXPECT_EQ(lowercased("A\xFF" "B\xC3"), "a\xFF" "b\xC3");
  EXPECT_EQ(lowercased("\xC0\x81Z"), "\xC0\x81z");
}
