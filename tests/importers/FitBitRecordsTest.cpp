// Decoding, writing and printing of the Fitbit reply records, on hostile JSON too.
#include <gtest/gtest.h>

#include "talvaren/importers/FitBitActivity.hpp"
#include "talvaren/importers/FitBitSleep.hpp"

namespace talvaren {
namespace {

using nlohmann::json;

TEST(FitBitRecordsTest, MistypedValuesLeaveFieldsEmptyAndNeverThrow) {
  // A number where a text is expected, a float that is not whole, an unsigned beyond int64, null.
  const auto point = FitBitActivity::fromJSON(json{{"dateTime", 20190305}, {"value", 12}});
  ASSERT_TRUE(point);
  EXPECT_EQ(point->dateTime, std::nullopt);
  EXPECT_EQ(point->value, std::nullopt);

  const auto log = FitBitSleep::fromJSON(json{{"dateOfSleep", nullptr},
                                              {"duration", 28800000.5},
                                              {"minutesAsleep", 420.0},
                                              {"type", json::array({"stages"})},
                                              {"logId", 18446744073709551615ULL}});
  ASSERT_TRUE(log);
  EXPECT_EQ(log->dateOfSleep, std::nullopt);
  EXPECT_EQ(log->duration, std::nullopt);
  EXPECT_EQ(log->minutesAsleep, 420);  // a whole float is a whole number
  EXPECT_EQ(log->type, std::nullopt);
  EXPECT_EQ(log->logId, std::nullopt);

  const auto empty = FitBitSleep::fromJSON(json::object());
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->description(),
            "FitBit sleep data - date of sleep = nil, duration = nil, minutesAsleep = nil, type = nil, logId = nil");
}

TEST(FitBitRecordsTest, WritesBackOnlyThePresentKeysAndDescribesThem) {
  const json reply{
      {"dateOfSleep", "2019-03-06"}, {"minutesAsleep", 420}, {"logId", 9223372036854775807LL}, {"efficiency", 93}};
  const auto log = FitBitSleep::fromJSON(reply);
  ASSERT_TRUE(log);
  EXPECT_EQ(log->toJSON(),
            (json{{"dateOfSleep", "2019-03-06"}, {"minutesAsleep", 420}, {"logId", 9223372036854775807LL}}));
  EXPECT_EQ(log->description(),
            "FitBit sleep data - date of sleep = Optional(\"2019-03-06\"), duration = nil, minutesAsleep = "
            "Optional(420), type = nil, logId = Optional(9223372036854775807)");

  FitBitActivity point;
  point.value = "1.5";
  EXPECT_EQ(point.toJSON(), (json{{"value", "1.5"}}));
  EXPECT_EQ(point.description(), "FitBit activity data - dateTime = nil, value = Optional(\"1.5\")");
}

TEST(FitBitRecordsTest, ParserSleepNeedsAnArrayOfObjectsUnderSleep) {
  const auto list = FitBitSleep::parserSleep(json{{"sleep", {{{"logId", 1}}, json::object()}}});
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ((*list)[0].logId, 1);

  const auto empty = FitBitSleep::parserSleep(json{{"sleep", json::array()}});
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());

  for (const auto& reply : {json{{"summary", {}}}, json::array({json{{"sleep", json::array()}}}),
                            json{{"sleep", {{{"logId", 1}}, 2}}}, json{{"sleep", json::object()}}, json("sleep")}) {
    EXPECT_EQ(FitBitSleep::parserSleep(reply), std::nullopt) << reply.dump();
  }
  EXPECT_EQ(FitBitSleep::parserSleep(std::nullopt), std::nullopt);
}

}  // namespace
}  // namespace talvaren
