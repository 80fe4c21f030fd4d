#include <gtest/gtest.h>

#include <concepts>

#include "support/JsonText.hpp"
#include "talvaren/records/SleepSDK.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

}  // namespace

// The record has no ordering and no equality of its own.
static_assert(!std::equality_comparable<SleepSDK>);
static_assert(!std::totally_ordered<SleepSDK>);

TEST(SleepSDK, OnlyTheCommonValuesTravelAsJSON) {
  auto record = SleepSDK::fromJSON(parsed(R"({"uuid": "s1", "owner": 7, "date": "2020-01-01", "value": 28800,
      "external_id": "e", "external_provider": "fit_bit_api", "created": "2020-01-01T00:00:00.000000+0000",
      "timestamp": "2020-01-01T00:00:00.500000+0000", "modified": "2020-01-01T00:00:00.000000+0000",
      "percentage": 90})"));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->value, 28800);
  EXPECT_EQ(record->createdTimestamp, 1577836800.0);
  EXPECT_EQ(record->timestampTimestamp, 1577836800.5);
  EXPECT_EQ(record->modified(), std::nullopt);
  EXPECT_EQ(record->modifiedTimestamp, std::nullopt);
  EXPECT_EQ(record->percentage, std::nullopt);
  EXPECT_EQ(record->toJSON(), parsed(R"({"uuid": "s1", "owner": 7, "date": "2020-01-01", "value": 28800,
      "external_id": "e", "external_provider": "fit_bit_api", "timestamp": "2020-01-01T00:00:00.500000+0000"})"));
  EXPECT_FALSE(SleepSDK::fromJSON(parsed("null")));
}

TEST(SleepSDK, ObjectOnlyValuesAreNeverWritten) {
  SleepSDK record;
  record.percentage = 80;
  record.hrvList = std::vector<std::int64_t>{1, 2};
  record.stressLevel = 2;
  record.recordId = 9;
  record.startTimeInSeconds = 100;
  EXPECT_EQ(record.toJSON(), JSON::object());
  record.value = 3600;
  record.externalProvider = "apple_health_kit";
  EXPECT_EQ(record.toJSON(), parsed(R"({"value": 3600, "external_provider": "apple_health_kit"})"));
}

TEST(SleepSDK, ModifiedDerivesItsCompanionOnlyThroughTheSetter) {
  SleepSDK record;
  record.setModified("2020-01-01T00:00:00.000000+0000");
  EXPECT_EQ(record.modifiedTimestamp, 1577836800.0);
  record.setModified("later");
  EXPECT_EQ(record.modified(), "later");
  EXPECT_EQ(record.modifiedTimestamp, 1577836800.0);
  record.setCreated("2020-01-01T00:00:01.000000+0000");
  record.setTimestamp("2020-01-01T00:00:02.000000+0000");
  EXPECT_EQ(record.createdTimestamp, 1577836801.0);
  EXPECT_EQ(record.timestampTimestamp, 1577836802.0);
}

TEST(SleepSDK, DescriptionIsOneLine) {
  SleepSDK record;
  EXPECT_EQ(record.description(),
            "Sleep: uuid = nil, owner = nil, date = nil, value = nil, externalId = nil, externalProvider = nil, "
            "created = nil");
  record.value = 60;
  record.externalProvider = "garmin_api";
  record.setCreated("c\"1");
  record.percentage = 4;
  EXPECT_EQ(record.description(),
            "Sleep: uuid = nil, owner = nil, date = nil, value = Optional(60), externalId = nil, "
            "externalProvider = Optional(\"garmin_api\"), created = Optional(\"c\\\"1\")");
}
