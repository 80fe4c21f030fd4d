#include <gtest/gtest.h>

#include <vector>

#include "talvaren/api/BundleExtensions.hpp"
#include "talvaren/api/UIDevice.hpp"
#include "talvaren/testing/Connector.hpp"

using namespace talvaren;

TEST(UIDeviceTest, NamesTheHardwareIdentifierExactly) {
  EXPECT_EQ(UIDevice::modelName("iPhone10,3"), "iPhone X");
  EXPECT_EQ(UIDevice::modelName("iPhone10,6"), "iPhone X");
  EXPECT_EQ(UIDevice::modelName("iPhone8,4"), "iPhone SE");
  EXPECT_EQ(UIDevice::modelName("iPad7,1"), "iPad Pro 12.9 Inch 2. Generation");
  EXPECT_EQ(UIDevice::modelName("iPad6,12"), "iPad 5");
  EXPECT_EQ(UIDevice::modelName("AudioAccessory1,1"), "HomePod");
  EXPECT_EQ(UIDevice::modelName("AppleTV6,2"), "Apple TV 4K");
  EXPECT_EQ(UIDevice::modelName("i386"), "Simulator");
  EXPECT_EQ(UIDevice::modelName("iphone10,3"), "iphone10,3");
  EXPECT_EQ(UIDevice::modelName("iPhone12,1"), "iPhone12,1");
  EXPECT_EQ(UIDevice::modelName(""), "");
}

TEST(UIDeviceTest, FoldsTheMachineFieldSkippingEveryNul) {
  const std::vector<char> field{'i', 'P', 'a', 'd', '\0', '5', ',', '1', '\0', '\0'};
  EXPECT_EQ(UIDevice::hardwareIdentifier(field), "iPad5,1");
  EXPECT_EQ(UIDevice::hardwareIdentifier(std::vector<char>(65, '\0')), "");
  // A byte of 0x80 or more is the character of that code (U+00E9, U+00FF), written as UTF-8.
  const std::vector<char> high{'x', '\xE9', '\0', '\xFF', '\x80'};
  EXPECT_EQ(UIDevice::hardwareIdentifier(high), "x\xC3\xA9\xC3\xBF\xC2\x80");
  testkit::setMachineField(std::vector<char>{'x', '\xE9', '\0', '\xFF'});
  EXPECT_EQ(UIDevice::current().modelName(), "x\u00e9\u00ff");

  testkit::setMachineField(field);
  EXPECT_EQ(UIDevice::current().modelName(), "iPad Mini 4");
  testkit::setMachineField(std::nullopt);
#if defined(__x86_64__)
  EXPECT_EQ(UIDevice::current().modelName(), "Simulator");
#endif
}

TEST(BundleVersionTest, TextsComeOnlyFromTextEntries) {
  platform::Bundle full({}, nlohmann::json{{"CFBundleShortVersionString", "2.3"}, {"CFBundleVersion", "41"}});
  EXPECT_EQ(versionNumber(full), "2.3 (41)");
  platform::Bundle numeric({}, nlohmann::json{{"CFBundleShortVersionString", 2.3}});
  EXPECT_FALSE(releaseVersionNumber(numeric));
  EXPECT_EQ(versionNumber(numeric), "0.0.0 (0)");
  EXPECT_EQ(versionNumber(platform::Bundle()), "0.0.0 (0)");
}
