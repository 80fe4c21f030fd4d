#include <gtest/gtest.h>

#include <algorithm>

#include "support/JsonText.hpp"
#include "talvaren/records/RecoverySDK.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

bool hasLine(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

}  // namespace

TEST(RecoverySDK, NewEntryWritesItsFiveStartingValues) {
  RecoverySDK entry;
  EXPECT_EQ(entry.toJSON(), parsed(R"({"percentage": 0, "hr_recovery": [], "stress_level": 1, "s3_key": "",
      "device_string": ""})"));
}

TEST(RecoverySDK, EntryFromJSONHasNoStartingValues) {
  auto entry = RecoverySDK::fromJSON(JSON::object());
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->percentage, std::nullopt);
  EXPECT_EQ(entry->stressLevel, std::nullopt);
  EXPECT_EQ(entry->hrRecovery, std::nullopt);
  EXPECT_EQ(entry->s3Key, std::nullopt);
  EXPECT_EQ(entry->deviceString, std::nullopt);
  EXPECT_EQ(entry->toJSON(), JSON::object());
  EXPECT_FALSE(RecoverySDK::fromJSON(parsed("[]")));
}

TEST(RecoverySDK, ReadsTwentyThreeKeysAndWritesTwentyTwo) {
  auto json = parsed(R"({"uuid": "r1", "owner": 7, "hours_slept": 7, "date": "2020-01-01", "percentage": 80,
      "hr_recovery": [{"value": 120, "timestamp": 2}, {"value": 110, "rr": [800]}], "hrv_reported": 60,
      "alarm_set_time": "06:00", "alarm_wake_time": "06:10", "stress_level": 3, "number_of_drinks": 2,
      "nutrition_amount": 4, "general_feeling": 5, "sleep_quality": 6, "soreness": 1, "s3_key": "k",
      "external_id": "e", "external_provider": "garmin_api", "created": "2020-01-01T00:00:00.000000+0000",
      "modified": "2020-01-02T00:00:00.000000+0000", "timestamp": "2020-01-03T00:00:00.000000+0000",
      "average_hr": 58, "fatigue_level": 2, "device_string": "Kelo"})");
  auto entry = RecoverySDK::fromJSON(json);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->hoursSlept, std::nullopt);
  ASSERT_TRUE(entry->hrRecovery);
  ASSERT_EQ(entry->hrRecovery->size(), 2u);
  EXPECT_EQ((*entry->hrRecovery)[0].value, 120);
  EXPECT_EQ((*entry->hrRecovery)[1].rr, std::vector<std::int64_t>{800});
  EXPECT_EQ(entry->createdTimestamp, 1577836800.0);
  EXPECT_EQ(entry->modifiedTimestamp, 1577923200.0);
  EXPECT_EQ(entry->timestampTimestamp, 1578009600.0);
  EXPECT_EQ(entry->deviceString, "Kelo");

  auto expected = json;
  expected.erase("hours_slept");
  expected.erase("created");
  expected.erase("modified");
  EXPECT_EQ(entry->toJSON(), expected);

  entry->hoursSlept = 7;
  EXPECT_EQ((*entry->toJSON())["hours_slept"], 7);
}

TEST(RecoverySDK, MistypedValuesStayAbsentAndTheRestIsRead) {
  auto entry = RecoverySDK::fromJSON(parsed(R"({"stress_level": "3", "created": "yesterday",
      "hr_recovery": [{"value": 1}, 5], "soreness": 2})"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->stressLevel, std::nullopt);
  EXPECT_EQ(entry->created(), "yesterday");
  EXPECT_EQ(entry->createdTimestamp, std::nullopt);
  EXPECT_EQ(entry->hrRecovery, std::nullopt);
  EXPECT_EQ(entry->soreness, 2);
}

TEST(RecoverySDK, SettersDeriveCompanions) {
  RecoverySDK entry;
  entry.setModified("2020-01-01T00:00:00.000000+0000");
  EXPECT_EQ(entry.modifiedTimestamp, 1577836800.0);
  entry.setModified("garbage");
  EXPECT_EQ(entry.modifiedTimestamp, 1577836800.0);
  entry.setTimestamp("2020-01-01T00:00:01.000000+0000");
  EXPECT_EQ(entry.timestampTimestamp, 1577836801.0);
  EXPECT_EQ(entry.createdTimestamp, std::nullopt);
  entry.setCreated("2020-01-01T00:00:02.000000+0000");
  EXPECT_EQ(entry.createdTimestamp, 1577836802.0);
  // Neither "created" nor "modified" is ever written.
  EXPECT_FALSE(entry.toJSON()->contains("created"));
  EXPECT_FALSE(entry.toJSON()->contains("modified"));
}

TEST(RecoverySDK, DescriptionHasTwentyThreePaddedLines) {
  RecoverySDK entry;
  auto text = entry.description();
  EXPECT_EQ(text.rfind("recovery: \n", 0), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 24);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_TRUE(hasLine(text, "uuid                   = nil"));
  EXPECT_TRUE(hasLine(text, "percentage             = Optional(0)"));
  EXPECT_TRUE(hasLine(text, "hrRecovery             = Optional([])"));
  EXPECT_TRUE(hasLine(text, "stressLevel            = Optional(1)"));
  EXPECT_TRUE(hasLine(text, "s3Key                  = Optional(\"\")"));
  EXPECT_TRUE(hasLine(text, "deviceString           = Optional(\"\")"));
  EXPECT_EQ(text.substr(text.size() - 30), "\nrecordId               = nil\n");
  // Not shown: the provider, the modification text, the start time and the companions.
  EXPECT_EQ(text.find("externalProvider"), std::string::npos);
  EXPECT_EQ(text.find("modified"), std::string::npos);
  EXPECT_EQ(text.find("Timestamp"), std::string::npos);

  entry.hrRecovery->resize(2);
  entry.setTimestamp("t");
  text = entry.description();
  EXPECT_TRUE(hasLine(text, "hrRecovery             = Optional([TalvarenKit.HRRecovery, TalvarenKit.HRRecovery])"));
  EXPECT_TRUE(hasLine(text, "timestamp              = Optional(\"t\")"));
  entry.hrRecovery.reset();
  EXPECT_TRUE(hasLine(entry.description(), "hrRecovery             = nil"));
}

TEST(RecoverySDK, DescriptionShowsTheValuesInItsOwnOrder) {
  RecoverySDK entry;
  entry.uuid = "r1";
  entry.owner = 7;
  entry.hoursSlept = 8;
  entry.date = "2020-01-01";
  entry.setTimestamp("t");
  entry.setCreated("2020-01-01T00:00:00.000000+0000");
  entry.setModified("2020-01-02T00:00:00.000000+0000");
  entry.percentage = 80;
  entry.hrRecovery->emplace_back();
  entry.hrvReported = 60;
  entry.alarmSetTime = "06:00";
  entry.stressLevel = 3;
  entry.numberOfDrinks = 2;
  entry.nutritionAmount = 4;
  entry.generalFeeling = 5;
  entry.sleepQuality = 6;
  entry.soreness = 1;
  entry.s3Key = "k";
  entry.externalId = "e";
  entry.externalProvider = "garmin_api";
  entry.averageHr = 58;
  entry.fatigueLevel = 2;
  entry.deviceString = "Kelo";
  entry.recordId = 9;
  entry.startTimeInSeconds = 100;
  EXPECT_EQ(entry.description(),
            "recovery: \n"
            "uuid                   = Optional(\"r1\")\n"
            "owner                  = Optional(7)\n"
            "hoursSlept             = Optional(8)\n"
            "date                   = Optional(\"2020-01-01\")\n"
            "timestamp              = Optional(\"t\")\n"
            "created                = Optional(\"2020-01-01T00:00:00.000000+0000\")\n"
            "percentage             = Optional(80)\n"
            "hrRecovery             = Optional([TalvarenKit.HRRecovery])\n"
            "hrvReported            = Optional(60)\n"
            "alarmSetTime           = Optional(\"06:00\")\n"
            "alarmWakeTime          = nil\n"
            "stressLevel            = Optional(3)\n"
            "numberOfDrinks         = Optional(2)\n"
            "nutritionAmount        = Optional(4)\n"
            "generalFeeling         = Optional(5)\n"
            "sleepQuality           = Optional(6)\n"
            "soreness               = Optional(1)\n"
            "s3Key                  = Optional(\"k\")\n"
            "externalId             = Optional(\"e\")\n"
            "averageHr              = Optional(58)\n"
            "fatigueLevel           = Optional(2)\n"
            "deviceString           = Optional(\"Kelo\")\n"
            "recordId               = Optional(9)\n");
}

TEST(RecoverySDK, OrderedByCreatedTimestamp) {
  RecoverySDK a;
  RecoverySDK b;
  EXPECT_FALSE(a < b);
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a <= b);
  EXPECT_TRUE(a >= b);
  a.createdTimestamp = 1.0;
  b.createdTimestamp = 2.0;
  EXPECT_TRUE(a < b);
  EXPECT_TRUE(b > a);
}
