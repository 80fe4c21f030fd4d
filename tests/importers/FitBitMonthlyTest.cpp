// The manager's monthly activity and calories imports: one record per day from the distance and steps
// series, one per calories point, and the decoding and request failures of each series.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "importers/FitBitFixture.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren::testkit {
namespace {

using nlohmann::json;

FitBitActivity point(std::optional<std::string> dateTime, std::optional<std::string> value) {
  FitBitActivity made;
  made.dateTime = std::move(dateTime);
  made.value = std::move(value);
  return made;
}

class FitBitMonthlyTest : public FitBitFixture {
 protected:
  FitBitMonthlyTest() {
    FitBitManager::sharedInstance()->setOauthToken("t1");
    api.acceptToken("t1");
  }

  template <class Record>
  struct Imported {
    int calls = 0;
    std::optional<std::vector<Record>> records;
    std::optional<Error> error;
  };

  template <class Record, class Start>
  std::shared_ptr<Imported<Record>> import(Start start) {
    auto imported = std::make_shared<Imported<Record>>();
    onMain([&] {
      start([imported](std::optional<std::vector<Record>> records, std::optional<Error> error) {
        ++imported->calls;
        imported->records = std::move(records);
        imported->error = std::move(error);
      });
    });
    waitFor([&] { return imported->calls > 0; });
    time.runUntil([] { return false; }, std::chrono::milliseconds(5));
    EXPECT_EQ(imported->calls, 1);
    return imported;
  }

  std::shared_ptr<Imported<ActivitySDK>> activities() {
    return import <ActivitySDK>(
        [](auto completion) { FitBitManager::sharedInstance()->getMothlyActivities(day(2019, 3, 1), completion); });
  }
  std::shared_ptr<Imported<CaloriesSDK>> calories() {
    return import <CaloriesSDK>(
        [](auto completion) { FitBitManager::sharedInstance()->getMothlyCalories(day(2019, 3, 1), completion); });
  }

  const std::string start = "2019-03-01", end = "2019-03-31";
};

TEST_F(FitBitMonthlyTest, DistanceMakesTheDaysAndStepsFillThemInFirstSeenOrder) {
  api.series("distance", start, end,
             {{{"dateTime", "2019-03-01"}, {"value", "1.234"}}, {{"dateTime", "2019-03-02"}, {"value", "0"}}});
  api.series("steps", start, end,
             {{{"dateTime", "2019-03-02"}, {"value", "+12"}}, {{"dateTime", "2019-03-03"}, {"value", "800"}}});
  const auto imported = activities();
  EXPECT_EQ(imported->error, std::nullopt);
  ASSERT_TRUE(imported->records);
  const auto& records = *imported->records;
  ASSERT_EQ(records.size(), 3u);
  const std::optional<std::string> none;
  const std::optional<std::int64_t> noSteps;
  EXPECT_EQ(records[0].date, "2019-03-01");
  EXPECT_EQ(records[0].miles, "1.23");
  EXPECT_EQ(records[0].steps, noSteps);
  EXPECT_EQ(records[1].miles, "0.00");
  EXPECT_EQ(records[1].steps, 12);
  EXPECT_EQ(records[2].date, "2019-03-03");
  EXPECT_EQ(records[2].miles, none);
  EXPECT_EQ(records[2].steps, 800);
  for (const auto& record : records) {
    EXPECT_EQ(record.externalId, record.date);
    EXPECT_EQ(record.externalProvider, "fit_bit_api");
    EXPECT_EQ(record.created(), none);
  }
}

TEST_F(FitBitMonthlyTest, ValuesThatAreNoNumberLeaveTheFieldEmptyAndKeepTheRecord) {
  // Distance: the whole text, C locale, finite. Steps: an optional sign and digits within int64.
  const auto records = convertFitBitActivities(
      {point("a", std::nullopt), point("b", "abc"), point("c", "inf"), point("d", "1e400"), point("e", " 1.5"),
       point("f", "1,5"), point("g", "2.005e1"), point(std::nullopt, "3")},
      {point("a", " 12"), point("b", "12.5"), point("c", ""), point("d", "9223372036854775808"),
       point("e", "-9223372036854775808"), point("f", std::nullopt), point("g", "-0"), point(std::nullopt, "7")});
  ASSERT_EQ(records.size(), 8u);
  const std::vector<std::optional<std::string>> miles{std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                                      std::nullopt, std::nullopt, "20.05",      "3.00"};
  const std::vector<std::optional<std::int64_t>> steps{
      std::nullopt, std::nullopt, std::nullopt, std::nullopt, INT64_MIN, std::nullopt, 0, 7};
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].miles, miles[i]) << i;
    EXPECT_EQ(records[i].steps, steps[i]) << i;
  }
  // Two missing dates are the same day.
  EXPECT_EQ(records[7].date, std::nullopt);

  const auto calories = convertFitBitCalories({point("2019-03-01", "2100"), point("2019-03-01", "12.5")});
  ASSERT_EQ(calories.size(), 2u);
  EXPECT_EQ(calories[0].value, 2100);
  EXPECT_EQ(calories[1].value, std::nullopt);
  EXPECT_EQ(calories[1].created(), TalvarenDateFormatter::shared()->getCreatedStringFromDate(Date::now()));
  EXPECT_EQ(calories[1].createdTimestamp, std::optional<double>(std::floor(Date::now().timeIntervalSince1970())));
}

TEST_F(FitBitMonthlyTest, DaysAreFoundByTheirWholeText) {
  // "2019-01-32" and "2019-02-01" are the same count of days but two texts, so two days; "2019-2-01" is a
  // third; a day repeated within a series keeps its first record, which takes the later value.
  const auto records =
      convertFitBitActivities({point("2019-01-32", "1"), point("2019-02-01", "2"), point("2019-02-01", "3")},
                              {point("2019-02-01", "5"), point("2019-01-32", "6"), point("2019-2-01", "7")});
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].date, "2019-01-32");
  EXPECT_EQ(records[0].miles, "1.00");
  EXPECT_EQ(records[0].steps, 6);
  EXPECT_EQ(records[1].date, "2019-02-01");
  EXPECT_EQ(records[1].miles, "3.00");
  EXPECT_EQ(records[1].steps, 5);
  EXPECT_EQ(records[2].date, "2019-2-01");
  EXPECT_EQ(records[2].miles, std::nullopt);
  EXPECT_EQ(records[2].steps, 7);
}

TEST_F(FitBitMonthlyTest, EachSeriesFailsOnItsOwnTerms) {
  api.series("distance", start, end, {{{"dateTime", "2019-03-01"}, {"value", "2.5"}}});
  // Steps points that are no objects: the distance records go through alone.
  api.seriesReply("steps", start, end, 200, R"({"activities-steps":[1,2]})");
  auto imported = activities();
  EXPECT_EQ(imported->error, std::nullopt);
  ASSERT_TRUE(imported->records);
  ASSERT_EQ(imported->records->size(), 1u);
  EXPECT_EQ(imported->records->front().miles, "2.50");
  EXPECT_TRUE(console.contains("Decoding fitbit activities-steps error"));

  // A failed steps request drops the distance records.
  api.seriesReply("steps", start, end, 500, "{}");
  imported = activities();
  EXPECT_EQ(imported->records, std::nullopt);
  ASSERT_TRUE(imported->error);
  EXPECT_EQ(imported->error->code, 500);

  // A distance reply without its key ends the import with nothing.
  api.seriesReply("distance", start, end, 200, R"({"activities-steps":[]})");
  imported = activities();
  EXPECT_EQ(imported->records, std::nullopt);
  EXPECT_EQ(imported->error, std::nullopt);
  EXPECT_TRUE(console.contains("Decoding fitbit activities-distance error"));

  api.series("calories", start, end, {{{"dateTime", "2019-03-01"}, {"value", "1800"}}});
  auto made = calories();
  ASSERT_TRUE(made->records);
  EXPECT_EQ(made->records->front().value, 1800);
  api.seriesReply("calories", start, end, 200, R"({"activities-calories":{"dateTime":"2019-03-01"}})");
  made = calories();
  EXPECT_EQ(made->records, std::nullopt);
  EXPECT_EQ(made->error, std::nullopt);
  EXPECT_TRUE(console.contains("Decoding fitbit activities-calories error"));
}

TEST_F(FitBitMonthlyTest, RefusedAuthorisationIsADecodingFailure) {
  FitBitManager::sharedInstance()->setOauthToken("revoked");
  fitbit.deny(true);
  api.series("distance", start, end, json::array());
  const auto imported = activities();
  EXPECT_EQ(imported->records, std::nullopt);
  EXPECT_EQ(imported->error, std::nullopt);
  EXPECT_TRUE(console.contains("Decoding fitbit activities-distance error"));
  EXPECT_EQ(api.refusals(), 1u);
}

}  // namespace
}  // namespace talvaren::testkit
