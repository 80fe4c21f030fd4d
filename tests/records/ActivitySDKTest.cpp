#include <gtest/gtest.h>

#include "support/JsonText.hpp"
#include "talvaren/records/ActivitySDK.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

}  // namespace

TEST(ActivitySDK, MilesIsAText) {
  auto record = ActivitySDK::fromJSON(parsed(R"({"steps": 8500, "miles": "3.9"})"));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->steps, 8500);
  EXPECT_EQ(record->miles, "3.9");
  auto number = ActivitySDK::fromJSON(parsed(R"({"steps": 8500, "miles": 3.9, "date": "2020-01-01"})"));
  ASSERT_TRUE(number);
  EXPECT_EQ(number->miles, std::nullopt);
  EXPECT_EQ(number->steps, 8500);
  EXPECT_EQ(number->date, "2020-01-01");
}

TEST(ActivitySDK, ReadsCompanionsAndWritesTimestampButNotCreated) {
  auto json = parsed(R"({"uuid": "a", "owner": 3, "date": "2020-01-01", "steps": 1, "miles": "0.1",
      "external_id": "x", "external_provider": "garmin_api", "created": "2020-01-01T00:00:00.000000+0000",
      "timestamp": "2020-01-01T00:00:00.250000+0000"})");
  auto record = ActivitySDK::fromJSON(json);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->createdTimestamp, 1577836800.0);
  EXPECT_EQ(record->timestampTimestamp, 1577836800.25);
  json.erase("created");
  EXPECT_EQ(record->toJSON(), json);

  ActivitySDK imported;
  imported.date = "2020-01-01";
  imported.steps = 10;
  imported.miles = "0.01";
  imported.externalProvider = "apple_health_kit";
  EXPECT_EQ(imported.toJSON(), parsed(R"({"date": "2020-01-01", "steps": 10, "miles": "0.01",
      "external_provider": "apple_health_kit"})"));
  imported.setCreated("2020-01-01T00:00:00.000000+0000");
  EXPECT_EQ(imported.createdTimestamp, 1577836800.0);
}

TEST(ActivitySDK, DescriptionAndOrdering) {
  ActivitySDK record;
  EXPECT_EQ(record.description(),
            "Activity: uuid = nil, owner = nil, date = nil, steps = nil, miles = nil, externalId = nil, "
            "externalProvider = nil, created = nil");
  record.miles = "3.9";
  record.steps = 12;
  EXPECT_NE(record.description().find("steps = Optional(12), miles = Optional(\"3.9\")"), std::string::npos);

  ActivitySDK ten;
  ten.createdTimestamp = 10.0;
  ActivitySDK twenty;
  twenty.createdTimestamp = 20.0;
  auto unread = *ActivitySDK::fromJSON(JSON::object());
  EXPECT_TRUE(ten < twenty);
  EXPECT_FALSE(unread < ten);
  EXPECT_FALSE(unread > ten);
  EXPECT_FALSE(unread == ten);
  EXPECT_FALSE(unread == unread);
}
