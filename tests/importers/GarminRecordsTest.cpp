// Garmin summaries: decoding, writing, descriptions, and their folds into one record per day.

#include <gtest/gtest.h>

#include <limits>

#include "importers/ConnectorMocks.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using namespace talvaren::testkit;

namespace {

constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();

TEST(GarminRecords, DecodeKeepsOnlyValuesOfTheirKindAndWriteBackDropsActivityDuration) {
  const JSON full = {{"summaryId", "s1"},
                     {"durationInSeconds", 60},
                     {"startTimeInSeconds", 1700000000},
                     {"startTimeOffsetInSeconds", -3600},
                     {"activeKilocalories", 120},
                     {"distanceInMeters", 5},
                     {"steps", 1200},
                     {"calendarDate", "2023-11-14"}};
  const auto activity = GarminActivity::fromJSON(full);
  ASSERT_TRUE(activity);
  EXPECT_EQ(activity->distanceInMeters, 5.0);
  JSON expected = full;
  expected.erase("durationInSeconds");
  expected["distanceInMeters"] = 5.0;
  EXPECT_EQ(activity->toJSON(), expected);

  const JSON sleepJSON = {{"summaryId", "x"},
                          {"durationInSeconds", 1},
                          {"startTimeInSeconds", 2},
                          {"startTimeOffsetInSeconds", 3},
                          {"awakeDurationInSeconds", 4},
                          {"deepSleepDurationInSeconds", 5},
                          {"lightSleepDurationInSeconds", 6},
                          {"validation", "AUTO"},
                          {"calendarDate", "2023-11-14"}};
  EXPECT_EQ(GarminSleep::fromJSON(sleepJSON)->toJSON(), sleepJSON);

  // Hostile values leave their fields empty; nothing throws and an object always makes a record.
  const auto hostile = GarminActivity::fromJSON(JSON::parse(
      R"({"steps":"12","activeKilocalories":1.5,"startTimeInSeconds":18446744073709551615,
          "startTimeOffsetInSeconds":null,"distanceInMeters":"5","summaryId":7,"calendarDate":[],
          "durationInSeconds":1e300,"extra":{}})"));
  ASSERT_TRUE(hostile);
  EXPECT_EQ(hostile->toJSON(), JSON::object());
  EXPECT_FALSE(hostile->durationInSeconds);
  EXPECT_EQ(GarminActivity::fromJSON(JSON::parse(R"({"steps":3.0})"))->steps, 3);
  EXPECT_EQ(GarminSleep::fromJSON(JSON::object())->toJSON(), JSON::object());
  EXPECT_FALSE(GarminSleep::fromJSON(JSON::array()));
}

TEST(GarminRecords, DescriptionsUseOptionalForms) {
  GarminActivity activity;
  EXPECT_EQ(activity.description(),
            "Garmin activity data - date = nil, summaryId = nil, calories = nil, distanceInMeters = nil, steps = nil");
  activity.steps = 1200;
  activity.distanceInMeters = 1000;
  activity.calendarDate = "2023-11-14";
  EXPECT_EQ(activity.description(),
            "Garmin activity data - date = Optional(\"2023-11-14\"), summaryId = nil, calories = nil, "
            "distanceInMeters = Optional(1000.0), steps = Optional(1200)");
  GarminSleep sleep;
  sleep.durationInSeconds = 28800;
  sleep.startTimeOffsetInSeconds = -3600;
  EXPECT_EQ(sleep.description(),
            "Garmin sleep data - date = nil, summaryId = nil, duration = Optional(28800), startTimeInSeconds = nil, "
            "startTimeOffsetInSeconds = Optional(-3600)");
}

class GarminFoldTest : public ::testing::Test {
 protected:
  GarminFoldTest() { connector->prepareForCall(Date(1700000000)); }

  static GarminActivity activity(std::optional<std::string> day, std::optional<std::int64_t> steps,
                                 std::optional<double> meters, std::optional<std::int64_t> kilocalories = {},
                                 std::optional<std::string> id = {}) {
    GarminActivity summary;
    summary.calendarDate = std::move(day);
    summary.steps = steps;
    summary.distanceInMeters = meters;
    summary.activeKilocalories = kilocalories;
    summary.summaryId = std::move(id);
    return summary;
  }
  static GarminSleep sleep(std::optional<std::string> day, std::optional<std::int64_t> start,
                           std::optional<std::int64_t> duration, std::optional<std::int64_t> offset = {}) {
    GarminSleep summary;
    summary.calendarDate = std::move(day);
    summary.startTimeInSeconds = start;
    summary.durationInSeconds = duration;
    summary.startTimeOffsetInSeconds = offset;
    return summary;
  }

  std::shared_ptr<GarminConnectorMock> connector = std::make_shared<GarminConnectorMock>();
};

TEST_F(GarminFoldTest, DailiesOverwriteTheirDayInSinglePrecision) {
  connector->addDailies({activity("2023-11-14", 100, 1.0), activity("2023-11-15", std::nullopt, std::nullopt),
                         activity("2023-11-14", 5000, 45971.0),
                         activity("2023-11-16", 1, std::numeric_limits<double>::max())});
  ASSERT_EQ(connector->activityData.size(), 3u);
  const auto& first = connector->activityData[0];
  EXPECT_EQ(first.steps, 5000);
  // 45,971 m is 28.565… miles in double precision but 28.56 through float.
  EXPECT_EQ(first.miles, "28.56");
  EXPECT_EQ(first.externalId, "2023-11-14");
  EXPECT_EQ(first.externalProvider, "garmin_api");
  EXPECT_EQ(connector->activityData[1].steps, 0);
  EXPECT_EQ(connector->activityData[1].miles, "0.00");
  // A distance beyond float's range is held at its largest value rather than converted undefined.
  EXPECT_EQ(connector->activityData[2].miles, "211441228290136893521327930302529536.00");
  EXPECT_FALSE(connector->activityData[0].created());
}

TEST_F(GarminFoldTest, DayLookupsFollowTheListWhenTheCallerChangesIt) {
  // Many days: each keeps its own record while the lookup table grows.
  std::vector<GarminActivity> days;
  for (int i = 0; i < 5000; ++i) days.push_back(activity("day-" + std::to_string(i), i, 1.0));
  connector->addDailies(days);
  connector->addDailies({activity("day-4321", 7, 1.0)});
  ASSERT_EQ(connector->activityData.size(), 5000u);
  EXPECT_EQ(connector->activityData[4321].steps, 7);
  EXPECT_EQ(connector->activityData[4320].steps, 4320);
  // The caller renames, reorders and drops records: once a lookup meets a record that changed, lookups find
  // the first record of each day text now held.
  connector->activityData[1].date = "renamed";
  std::swap(connector->activityData[2], connector->activityData[3]);
  connector->activityData.resize(10);
  EXPECT_EQ(&connector->getActivityByDate("day-3"), &connector->activityData[2]);
  EXPECT_EQ(&connector->getActivityByDate("renamed"), &connector->activityData[1]);
  EXPECT_EQ(&connector->getActivityByDate("day-2"), &connector->activityData[3]);
  EXPECT_EQ(connector->activityData.size(), 10u);
  EXPECT_EQ(connector->getActivityByDate("day-1").steps, std::nullopt);
  ASSERT_EQ(connector->activityData.size(), 11u);
  connector->activityData[4].date = "day-0";
  EXPECT_EQ(&connector->getActivityByDate("day-0"), &connector->activityData[0]);
  // A new import starts from empty lists.
  connector->prepareForCall(Date(1700000000));
  connector->addDailies({activity("day-9", 1, 1.0)});
  ASSERT_EQ(connector->activityData.size(), 1u);
  EXPECT_EQ(connector->activityData[0].date, "day-9");
}

TEST_F(GarminFoldTest, ActivitiesSumTheirDaysCaloriesAndSaturate) {
  connector->addActivities({activity("2023-11-14", {}, {}, 120, "a"), activity("2023-11-14", {}, {}, std::nullopt, "b"),
                            activity("2023-11-14", {}, {}, 80, "c"), activity("2023-11-15", {}, {}, int64Max, "d"),
                            activity("2023-11-15", {}, {}, 5, std::nullopt)});
  ASSERT_EQ(connector->caloriesData.size(), 2u);
  EXPECT_EQ(connector->caloriesData[0].value, 200);
  EXPECT_EQ(connector->caloriesData[0].externalId, "c");
  EXPECT_EQ(connector->caloriesData[1].value, int64Max);
  EXPECT_FALSE(connector->caloriesData[1].externalId);
}

TEST_F(GarminFoldTest, SleepKeepsTheLongerOfDifferentSleepsAndTakesTheLatestStart) {
  connector->addSleeps({sleep("d1", 100, 25000), sleep("d1", 200, 3000), sleep("d2", 100, 3000),
                        sleep("d2", 200, 25000), sleep("d3", 100, 25000), sleep("d3", 100, 3000),
                        sleep("d4", 100, 25000), sleep("d4", 200, std::nullopt)});
  ASSERT_EQ(connector->sleepData.size(), 4u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(connector->sleepData[i].value, 25000);
    EXPECT_EQ(connector->sleepData[i].startTimeInSeconds, 200);
    EXPECT_EQ(connector->sleepData[i].percentage, 0);
  }
  // The same sleep again replaces the value, even with a smaller one.
  EXPECT_EQ(connector->sleepData[2].value, 3000);
  // Another sleep without a duration leaves the day's value alone.
  EXPECT_EQ(connector->sleepData[3].value, 25000);
  EXPECT_EQ(connector->sleepData[3].startTimeInSeconds, 200);
}

TEST_F(GarminFoldTest, SummariesWithoutCalendarDateTakeTheWallClockDayAtTheUsersOffset) {
  {
    ScopedTimeZone utc("UTC");
    // Starts on 2023-11-14 and ends on the 15th: the day of the end counts.
    connector->addSleeps({sleep(std::nullopt, 1700000000, 28800, 0)});
    ASSERT_EQ(connector->sleepData.size(), 1u);
    EXPECT_EQ(connector->sleepData[0].date, "2023-11-15");
  }
  ScopedTimeZone newYork("America/New_York");
  // 00:30 on 2023-11-15 in New York (05:30 UTC): read in the device zone once more it would be the 14th.
  GarminActivity summary;
  summary.startTimeInSeconds = 1700026200;
  summary.startTimeOffsetInSeconds = -18000;
  summary.steps = 10;
  GarminActivity noOffset = summary;
  noOffset.startTimeOffsetInSeconds.reset();
  GarminActivity overflowing = summary;
  overflowing.startTimeOffsetInSeconds = int64Max;
  connector->addDailies({noOffset, summary, overflowing});
  ASSERT_EQ(connector->activityData.size(), 1u);
  EXPECT_EQ(connector->activityData[0].date, "2023-11-15");
  connector->addSleeps({sleep(std::nullopt, 1700000000, std::nullopt, 0)});
  EXPECT_EQ(connector->sleepData.size(), 1u);
}

TEST_F(GarminFoldTest, ChainsEndWithoutARequestWhenNoDayIsLeft) {
  ConsoleCapture console;
  std::vector<std::pair<std::optional<Error>, std::optional<GarminConnector::Records>>> outcomes;
  auto record = [&](std::optional<Error> error, std::optional<GarminConnector::Records> records) {
    outcomes.emplace_back(std::move(error), std::move(records));
  };
  // A start after today: an empty table, completed before the call returns.
  connector->prepareForCall(Date::now().addingTimeInterval(3 * 86400));
  connector->getActivityByDate(Date(), record);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(console.contains("GarminConnector activit - dateTable.count = 0 "));
  connector->getSleepByDate(Date(), record);
  EXPECT_TRUE(console.contains("GarminConnector sleep - dateTable.count = 0 "));

  // An index already at the table's end reads no day past it and sends nothing.
  connector->prepareForCall(Date::now());
  connector->currentDateIndex = static_cast<std::int64_t>(connector->dateTable.size());
  connector->getCaloriesByDate(Date(), record);
  EXPECT_FALSE(connector->url());
  ASSERT_EQ(outcomes.size(), 3u);
  for (const auto& [error, records] : outcomes) EXPECT_TRUE(!error && !records);

  // The double records the request and completes with nothing, which the chain reads as undecodable.
  connector->currentDateIndex = 0;
  connector->getCaloriesByDate(Date(), record);
  EXPECT_EQ(connector->method(), platform::http::HTTPMethod::GET);
  EXPECT_NE(connector->url()->find("wellness-api/rest/activities?uploadStartTimeInSeconds="), std::string::npos);
  EXPECT_TRUE(console.contains("Decoding garmin calories error"));
  EXPECT_EQ(outcomes.size(), 4u);
}

}  // namespace
