#include <gtest/gtest.h>

#include "support/JsonText.hpp"
#include "talvaren/records/HeartrateSDK.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

std::optional<double> secondsOf(std::string_view text) {
  auto sample = HeartrateSDK::fromJSON(parsed(text));
  if (!sample || !sample->date()) return std::nullopt;
  return sample->date()->timeIntervalSince1970();
}

HeartrateSDK at(std::int64_t timestamp, std::int64_t value = 60) {
  return HeartrateSDK(timestamp, value, Date(0), 1, "strap", std::nullopt);
}

}  // namespace

TEST(HeartrateSDK, ReadsSampleAndDerivesDate) {
  auto sample = HeartrateSDK::fromJSON(parsed(R"({"timestamp": 1577836800, "value": 72})"));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->value(), 72);
  EXPECT_EQ(sample->timestamp(), 1577836800);
  EXPECT_EQ(sample->date(), Date(1577836800));
  EXPECT_EQ(sample->owner(), std::nullopt);
  EXPECT_EQ(sample->workoutId, std::nullopt);
  EXPECT_EQ(sample->device, std::nullopt);

  auto full = HeartrateSDK::fromJSON(parsed(R"({"timestamp": 5, "value": 1, "owner": 9, "workout": "w1",
      "device": "strap"})"));
  EXPECT_EQ(full->owner(), 9);
  EXPECT_EQ(full->workoutId, "w1");
  EXPECT_EQ(full->device, std::nullopt);
  // "owner" and "device" are never written.
  EXPECT_EQ(full->toJSON(), parsed(R"({"timestamp": 5, "value": 1, "workout": "w1"})"));
}

TEST(HeartrateSDK, MicrosecondsWhenTheTimeStampTextIsLongerThanTenCharacters) {
  EXPECT_EQ(secondsOf(R"({"timestamp": 1577836800500000})"), 1577836800.5);
  EXPECT_EQ(secondsOf(R"({"timestamp": 1577836800000})"), 1577836.8);
  EXPECT_EQ(secondsOf(R"({"timestamp": 9999999999})"), 9999999999.0);
  EXPECT_EQ(secondsOf(R"({"timestamp": 10000000000})"), 10000.0);
  // The minus sign counts as a character.
  EXPECT_EQ(secondsOf(R"({"timestamp": -999999999})"), -999999999.0);
  EXPECT_EQ(secondsOf(R"({"timestamp": -1000000000})"), -1000.0);
  EXPECT_EQ(secondsOf(R"({"timestamp": -9223372036854775808})"), -9223372036854.775808);
}

TEST(HeartrateSDK, NoSampleWithoutAnIntegerTimeStamp) {
  EXPECT_FALSE(HeartrateSDK::fromJSON(parsed(R"({"value": 72})")));
  EXPECT_FALSE(HeartrateSDK::fromJSON(parsed(R"({"timestamp": "1577836800"})")));
  EXPECT_FALSE(HeartrateSDK::fromJSON(parsed(R"({"timestamp": 1577836800.5})")));
  EXPECT_FALSE(HeartrateSDK::fromJSON(parsed(R"({"timestamp": null})")));
  EXPECT_FALSE(HeartrateSDK::fromJSON(parsed("[]")));
  auto mistyped = HeartrateSDK::fromJSON(parsed(R"({"timestamp": 1577836800, "workout": 12, "value": "72"})"));
  ASSERT_TRUE(mistyped);
  EXPECT_EQ(mistyped->workoutId, std::nullopt);
  EXPECT_EQ(mistyped->value(), std::nullopt);
}

TEST(HeartrateSDK, BuiltSamplesWriteValueAndTimeStampOnly) {
  HeartrateSDK sample(1577836800, 72, Date(123), 4, "strap", std::nullopt);
  EXPECT_EQ(sample.date(), Date(123));  // stored, not derived
  EXPECT_EQ(sample.device, "strap");
  EXPECT_EQ(sample.toJSON(), parsed(R"({"timestamp": 1577836800, "value": 72})"));
  sample.workoutId = "w";
  EXPECT_EQ(sample.toJSON(), parsed(R"({"timestamp": 1577836800, "value": 72, "workout": "w"})"));
}

TEST(HeartrateSDK, OrderedByTimeStamp) {
  EXPECT_TRUE(at(5) < at(7));
  EXPECT_FALSE(at(7) < at(5));
  EXPECT_FALSE(at(5) == at(7));
  EXPECT_TRUE(at(5, 60) == at(5, 90));
  EXPECT_TRUE(at(-1) < at(0));
  EXPECT_TRUE(at(7) >= at(7));
}

TEST(HeartrateSDK, ListsRoundTripAndFailWhole) {
  auto samples = Json::fromJSONArray<HeartrateSDK>(parsed(R"([{"timestamp": 1, "value": 60}, {"timestamp": 2}])"));
  ASSERT_TRUE(samples);
  EXPECT_EQ(Json::toJSONArray(*samples), parsed(R"([{"timestamp": 1, "value": 60}, {"timestamp": 2}])"));
  EXPECT_FALSE(Json::fromJSONArray<HeartrateSDK>(parsed(R"([{"timestamp": 1}, {"value": 60}])")));
}
