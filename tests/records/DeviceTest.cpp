#include <gtest/gtest.h>

#include <concepts>

#include "support/JsonText.hpp"
#include "talvaren/platform/Screen.hpp"
#include "talvaren/records/Device.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

}  // namespace

// The record has no ordering and no equality of its own.
static_assert(!std::equality_comparable<Device>);
static_assert(!std::totally_ordered<Device>);

TEST(Device, DefaultsWhenKeysAreMissingOrMistyped) {
  auto empty = Device::fromJSON(JSON::object());
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->owner(), 0);
  EXPECT_EQ(empty->devicesId(), std::nullopt);
  EXPECT_FALSE(empty->isDefault());
  EXPECT_EQ(empty->toJSON(), parsed(R"({"owner": 0, "is_default": false})"));

  auto mistyped = Device::fromJSON(parsed(R"({"owner": "7", "device_id": 12, "is_default": "yes"})"));
  ASSERT_TRUE(mistyped);
  EXPECT_EQ(mistyped->toJSON(), parsed(R"({"owner": 0, "is_default": false})"));
  EXPECT_FALSE(Device::fromJSON(parsed("7")));
}

TEST(Device, RoundTrip) {
  auto json = parsed(R"({"owner": 7, "device_id": "A1B2", "is_default": true})");
  auto device = Device::fromJSON(json);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->owner(), 7);
  EXPECT_EQ(device->devicesId(), "A1B2");
  EXPECT_TRUE(device->isDefault());
  EXPECT_EQ(device->toJSON(), json);
}

TEST(Device, ScreenLengthsComeFromTheMainScreenOnceAndThenKeepTheirValue) {
  platform::Screen::setMainBounds({0, 0, 390, 844});
  EXPECT_EQ(Device::screenHeight(), 844);
  EXPECT_EQ(Device::screenWidth(), 390);
  platform::Screen::setMainBounds({0, 0, 100, 200});
  EXPECT_EQ(Device::screenHeight(), 844);
  Device::setScreenWidth(320);
  EXPECT_EQ(Device::screenWidth(), 320);
  EXPECT_EQ(Device::screenHeight(), 844);
}
