#include <gtest/gtest.h>

#include "support/JsonText.hpp"
#include "talvaren/records/HRVScore.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

}  // namespace

TEST(HRVScore, BuiltScoreWritesAllSixKeys) {
  HRVScore score(1577836800, 55, "2020-01-01", 7, "Kelo", 61);
  EXPECT_EQ(score.toJSON(), parsed(R"({"score": 55, "timestamp": 1577836800, "device": "Kelo", "owner": 7,
      "average_hr": 61, "date": "2020-01-01"})"));
  score.device = "Ravo";
  EXPECT_EQ((*score.toJSON())["device"], "Ravo");
  EXPECT_EQ(score.score(), 55);
  EXPECT_EQ(score.averageHR(), 61);
  score.device.reset();
  EXPECT_FALSE(score.toJSON()->contains("device"));
}

TEST(HRVScore, ReadsOnlyWellTypedKeys) {
  auto onlyScore = HRVScore::fromJSON(parsed(R"({"score": 55})"));
  ASSERT_TRUE(onlyScore);
  EXPECT_EQ(onlyScore->toJSON(), parsed(R"({"score": 55})"));

  auto json = parsed(R"({"score": 55, "timestamp": 1577836800, "device": "Kelo", "owner": 7, "average_hr": 61,
      "date": "2020-01-01"})");
  EXPECT_EQ(HRVScore::fromJSON(json)->toJSON(), json);

  auto mistyped = HRVScore::fromJSON(parsed(R"({"score": "55", "owner": 7.5, "date": 20200101, "device": null})"));
  ASSERT_TRUE(mistyped);
  EXPECT_EQ(mistyped->toJSON(), JSON::object());
  EXPECT_FALSE(HRVScore::fromJSON(parsed("\"score\"")));
}

TEST(HRVScore, OrderedByTimestamp) {
  HRVScore early(10, 1, "d", 1, "x", 1);
  HRVScore late(20, 1, "d", 1, "x", 1);
  auto none = *HRVScore::fromJSON(parsed(R"({"score": 3})"));
  EXPECT_TRUE(early < late);
  EXPECT_TRUE(late > early);
  EXPECT_FALSE(early == late);
  EXPECT_TRUE(early == HRVScore(10, 99, "other", 2, "y", 3));
  EXPECT_FALSE(none < early);
  EXPECT_FALSE(early < none);
  EXPECT_FALSE(none == none);
  EXPECT_TRUE(none >= early);
}
