#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/JsonText.hpp"
#include "talvaren/records/CaloriesSDK.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

CaloriesSDK caloriesCreatedAt(std::optional<double> seconds) {
  CaloriesSDK record;
  record.createdTimestamp = seconds;
  return record;
}

}  // namespace

TEST(CaloriesSDK, ReadsEveryKeyAndDerivesCompanionsWithoutSetters) {
  auto record = CaloriesSDK::fromJSON(parsed(R"({"uuid": "a1", "owner": 7, "date": "2020-01-01", "value": 2100,
      "external_id": "x", "external_provider": "garmin_api", "created": "2020-01-01T00:00:00.000000+0000",
      "timestamp": "2020-01-01T00:00:01.500000+0000"})"));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->uuid, "a1");
  EXPECT_EQ(record->owner, 7);
  EXPECT_EQ(record->date, "2020-01-01");
  EXPECT_EQ(record->value, 2100);
  EXPECT_EQ(record->externalId, "x");
  EXPECT_EQ(record->externalProvider, "garmin_api");
  EXPECT_EQ(record->createdTimestamp, 1577836800.0);
  EXPECT_EQ(record->timestampTimestamp, 1577836801.5);
  // Written back: "created" is never sent, "timestamp" is.
  EXPECT_EQ(record->toJSON(), parsed(R"({"uuid": "a1", "owner": 7, "date": "2020-01-01", "value": 2100,
      "external_id": "x", "external_provider": "garmin_api", "timestamp": "2020-01-01T00:00:01.500000+0000"})"));
}

TEST(CaloriesSDK, MistypedOrMissingKeysStayAbsent) {
  auto record = CaloriesSDK::fromJSON(parsed(R"({"owner": "7", "value": "2100", "uuid": "u",
      "created": "2020-01-01T00:00:00.000000+0000", "timestamp": null})"));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->owner, std::nullopt);
  EXPECT_EQ(record->value, std::nullopt);
  EXPECT_EQ(record->uuid, "u");
  EXPECT_EQ(record->createdTimestamp, 1577836800.0);
  EXPECT_EQ(record->timestampTimestamp, std::nullopt);
  auto unparsable = CaloriesSDK::fromJSON(parsed(R"({"created": "2020-01-01T00:00:00+0000"})"));
  EXPECT_EQ(unparsable->created(), "2020-01-01T00:00:00+0000");
  EXPECT_EQ(unparsable->createdTimestamp, std::nullopt);
  EXPECT_FALSE(CaloriesSDK::fromJSON(parsed("[1]")));
  EXPECT_EQ(CaloriesSDK().toJSON(), JSON::object());
}

TEST(CaloriesSDK, DateDerivationRunsOnAssignmentOnly) {
  CaloriesSDK record;
  record.setCreated("2020-01-01T00:00:00.000000+0000");
  EXPECT_EQ(record.createdTimestamp, 1577836800.0);
  record.setCreated("not a date");
  EXPECT_EQ(record.created(), "not a date");
  EXPECT_EQ(record.createdTimestamp, 1577836800.0);
  record.setCreated(std::nullopt);
  EXPECT_EQ(record.createdTimestamp, 1577836800.0);
  record.createdTimestamp = 5.0;
  EXPECT_EQ(record.created(), std::nullopt);
  record.setTimestamp("2020-01-01T00:00:00.250000+0000");
  EXPECT_EQ(record.timestampTimestamp, 1577836800.25);
  EXPECT_EQ(record.createdTimestamp, 5.0);
}

TEST(CaloriesSDK, DescriptionIsOneLine) {
  CaloriesSDK record;
  EXPECT_EQ(record.description(),
            "Calories: uuid = nil, owner = nil, date = nil, value = nil, externalId = nil, externalProvider = nil, "
            "created = nil");
  record.owner = 7;
  record.value = 2100;
  EXPECT_EQ(record.description(),
            "Calories: uuid = nil, owner = Optional(7), date = nil, value = Optional(2100), externalId = nil, "
            "externalProvider = nil, created = nil");
  EXPECT_EQ(record.toJSON(), parsed(R"({"owner": 7, "value": 2100})"));
  record.uuid = "a1";
  record.setCreated("2020-01-01T00:00:00.000000+0000");
  EXPECT_EQ(record.description().substr(0, 42), "Calories: uuid = Optional(\"a1\"), owner = O");
  EXPECT_NE(record.description().find("created = Optional(\"2020-01-01T00:00:00.000000+0000\")"), std::string::npos);
}

TEST(CaloriesSDK, AbsentOrderingValuesCompareFalse) {
  auto none = caloriesCreatedAt(std::nullopt);
  auto other = caloriesCreatedAt(std::nullopt);
  auto ten = caloriesCreatedAt(10.0);
  auto twenty = caloriesCreatedAt(20.0);
  EXPECT_FALSE(none < other);
  EXPECT_FALSE(other < none);
  EXPECT_FALSE(none == other);
  EXPECT_TRUE(none != other);
  EXPECT_TRUE(none <= other);
  EXPECT_TRUE(none >= other);
  EXPECT_FALSE(none > ten);
  EXPECT_FALSE(ten < none);
  EXPECT_TRUE(ten < twenty);
  EXPECT_TRUE(twenty > ten);
  EXPECT_FALSE(twenty <= ten);
  EXPECT_TRUE(ten == caloriesCreatedAt(10.0));
  // Sorting goes through the projection, which places records without the value first.
  std::vector<CaloriesSDK> records{twenty, none, ten};
  std::ranges::sort(records, {}, record::sortKey<CaloriesSDK>);
  EXPECT_EQ(records[0].createdTimestamp, std::nullopt);
  EXPECT_EQ(records[1].createdTimestamp, 10.0);
  EXPECT_EQ(records[2].createdTimestamp, 20.0);

  // A NaN companion (a host's or a damaged archive's) sorts with the absent ones.
  std::vector<CaloriesSDK> mixed{caloriesCreatedAt(3.0), caloriesCreatedAt(std::nan("")), caloriesCreatedAt(1.0), none,
                                 caloriesCreatedAt(2.0)};
  std::ranges::sort(mixed, {}, record::sortKey<CaloriesSDK>);
  EXPECT_FALSE(mixed[0].createdTimestamp && !std::isnan(*mixed[0].createdTimestamp));
  EXPECT_FALSE(mixed[1].createdTimestamp && !std::isnan(*mixed[1].createdTimestamp));
  EXPECT_EQ(mixed[2].createdTimestamp, 1.0);
  EXPECT_EQ(mixed[3].createdTimestamp, 2.0);
  EXPECT_EQ(mixed[4].createdTimestamp, 3.0);
}
