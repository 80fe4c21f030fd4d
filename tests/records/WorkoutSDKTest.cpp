#include <gtest/gtest.h>

#include "support/JsonText.hpp"
#include "talvaren/records/WorkoutSDK.hpp"

using namespace talvaren;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

namespace {

using testkit::parsed;

const char* fullWorkout = R"({"uuid": "w1", "owner": 7, "duration": 3600, "date": "2020-01-01", "started": 100,
    "finished": 3700, "notes": "easy \"run\"", "imported": false, "type": "cardio", "rpe": 6, "calories": 350,
    "avg_hr": 130, "max_hr": 170, "time_above_90": 10, "time_bellow_100": 12, "time_in_zone_recovery": 1,
    "time_in_zone_train": 2, "time_in_zone_overload": 3, "training_threshold": 140, "overload_threshold": 160,
    "workout_enjoyment": 4, "workout_performance": 5, "injury": 0, "missed": true, "s3_key": "k",
    "trainer": "t", "device": "Kelo", "training_source": "strap",
    "created": "2020-01-01T00:00:00.000000+0000", "modified": "2020-01-01T00:00:01.000000+0000",
    "timestamp": "2020-01-01T00:00:02.000000+0000", "deleted": 1, "number_of_resumes": 3,
    "exactStarted": 100, "created_timestamp": 5.0,
    "hr_data": [{"timestamp": 1577836800, "value": 72, "owner": 7}, {"timestamp": 1577836801, "value": 73}]})";

std::optional<WorkoutSDK> roundTrip(const WorkoutSDK& workout) {
  auto bytes = KeyedArchiver::archivedData(workout);
  if (!bytes) return std::nullopt;
  auto coder = KeyedUnarchiver::fromData(*bytes);
  if (!coder) return std::nullopt;
  return WorkoutSDK(*coder);
}

WorkoutSDK workoutCreatedAt(std::optional<double> seconds) {
  WorkoutSDK workout;
  workout.createdTimestamp = seconds;
  return workout;
}

}  // namespace

TEST(WorkoutSDKJson, StartingValuesDependOnOrigin) {
  WorkoutSDK fresh;
  EXPECT_EQ(fresh.numberOfResumes, 0);
  ASSERT_TRUE(fresh.heartrates);
  EXPECT_TRUE(fresh.heartrates->empty());
  EXPECT_EQ(fresh.toJSON(), parsed(R"({"hr_data": []})"));

  auto empty = WorkoutSDK::fromJSON(JSON::object());
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->numberOfResumes, 0);
  EXPECT_EQ(empty->heartrates, std::nullopt);
  EXPECT_EQ(empty->toJSON(), JSON::object());
  EXPECT_FALSE(WorkoutSDK::fromJSON(JSON("workout")));
}

TEST(WorkoutSDKJson, ReadsEveryKeyAndWritesBackWithoutServerOnlyKeys) {
  auto workout = WorkoutSDK::fromJSON(parsed(fullWorkout));
  ASSERT_TRUE(workout);
  EXPECT_EQ(workout->timeBelow100, 12);
  EXPECT_EQ(workout->missed, true);
  EXPECT_EQ(workout->deleted, 1);
  EXPECT_EQ(workout->numberOfResumes, 0);
  EXPECT_EQ(workout->exactStarted, std::nullopt);
  EXPECT_EQ(workout->createdTimestamp, 1577836800.0);
  EXPECT_EQ(workout->modifiedTimestamp, 1577836801.0);
  EXPECT_EQ(workout->timestampTimestamp, 1577836802.0);
  ASSERT_TRUE(workout->heartrates);
  ASSERT_EQ(workout->heartrates->size(), 2u);
  EXPECT_EQ((*workout->heartrates)[1].value(), 73);

  JSON expected = parsed(fullWorkout);
  for (const char* dropped :
       {"created", "modified", "deleted", "number_of_resumes", "exactStarted", "created_timestamp"}) {
    expected.erase(dropped);
  }
  expected["hr_data"][0].erase("owner");
  EXPECT_EQ(workout->toJSON(), expected);
}

TEST(WorkoutSDKJson, CompanionsComeOnlyFromTheirTexts) {
  auto workout = WorkoutSDK::fromJSON(parsed(R"({"number_of_resumes": 3, "exactStarted": 100,
      "created_timestamp": 5.0, "modified": "2020-01-01T00:00:00.000000+0000", "timestamp": "today"})"));
  EXPECT_EQ(workout->numberOfResumes, 0);
  EXPECT_EQ(workout->exactStarted, std::nullopt);
  EXPECT_EQ(workout->createdTimestamp, std::nullopt);
  EXPECT_EQ(workout->modifiedTimestamp, 1577836800.0);
  EXPECT_EQ(workout->timestamp(), "today");
  EXPECT_EQ(workout->timestampTimestamp, std::nullopt);
  workout->setTimestamp("2020-01-01T00:00:00.000000+0000");
  EXPECT_EQ(workout->timestampTimestamp, 1577836800.0);
  workout->setModified("never");
  EXPECT_EQ(workout->modifiedTimestamp, 1577836800.0);
}

TEST(WorkoutSDKJson, SamplesListIsAbsentWhenAnySampleFails) {
  auto workout = WorkoutSDK::fromJSON(parsed(R"({"uuid": "w", "hr_data": [{"timestamp": 1}, {"value": 60}]})"));
  EXPECT_EQ(workout->uuid, "w");
  EXPECT_EQ(workout->heartrates, std::nullopt);
  EXPECT_EQ(WorkoutSDK::fromJSON(parsed(R"({"hr_data": {"timestamp": 1}})"))->heartrates, std::nullopt);
  EXPECT_EQ(WorkoutSDK::fromJSON(parsed(R"({"hr_data": []})"))->heartrates, std::vector<HeartrateSDK>{});
}

TEST(WorkoutSDKOrdering, AbsentCreatedTimestampComparesFalse) {
  auto a = workoutCreatedAt(std::nullopt);
  auto b = workoutCreatedAt(std::nullopt);
  EXPECT_FALSE(a == b);
  EXPECT_FALSE(a < b);
  EXPECT_FALSE(a > b);
  EXPECT_TRUE(a <= b);
  EXPECT_TRUE(a >= b);
  EXPECT_TRUE(workoutCreatedAt(1.0) < workoutCreatedAt(2.0));
  EXPECT_TRUE(workoutCreatedAt(2.0) > workoutCreatedAt(1.0));
  EXPECT_TRUE(workoutCreatedAt(2.0) == workoutCreatedAt(2.0));
}

TEST(WorkoutSDKArchive, RoundTripKeepsArchivedValuesAsTheyWere) {
  auto workout = *WorkoutSDK::fromJSON(parsed(fullWorkout));
  workout.exactStarted = 101;
  workout.exactFinished = 3701;
  workout.numberOfResumes = 2;
  workout.createdTimestamp = 42.5;  // apart from its text
  auto chart = platform::Image::blank(3, 2);
  chart->setPixel(1, 1, {255, 0, 0, 255});
  workout.imageChart = chart;

  auto back = roundTrip(workout);
  ASSERT_TRUE(back);
  JSON expected = *workout.toJSON();
  expected.erase("hr_data");
  EXPECT_EQ(back->toJSON(), expected);
  EXPECT_EQ(back->exactStarted, 101);
  EXPECT_EQ(back->exactFinished, 3701);
  EXPECT_EQ(back->numberOfResumes, 2);
  EXPECT_EQ(back->created(), "2020-01-01T00:00:00.000000+0000");
  EXPECT_EQ(back->createdTimestamp, 42.5);
  EXPECT_EQ(back->modified(), workout.modified());
  EXPECT_EQ(back->modifiedTimestamp, 1577836801.0);
  EXPECT_EQ(back->timestampTimestamp, 1577836802.0);
  EXPECT_EQ(back->imageChart, chart);
  EXPECT_EQ(back->deleted, std::nullopt);
  EXPECT_EQ(back->heartrates, std::nullopt);
  EXPECT_EQ(back->description(), workout.description());
}

TEST(WorkoutSDKArchive, AbsentValuesAndForeignEntries) {
  WorkoutSDK fresh;
  KeyedArchiver archiver;
  fresh.encode(archiver);
  EXPECT_FALSE(archiver.object().contains("imageChart"));
  EXPECT_TRUE(archiver.object().find("uuid")->isNull());
  EXPECT_FALSE(archiver.object().contains("deleted"));
  EXPECT_FALSE(archiver.object().contains("hr_data"));
  EXPECT_EQ(archiver.object().find("number_of_resumes")->asInteger(), 0);
  auto back = roundTrip(fresh);
  EXPECT_EQ(back->heartrates, std::nullopt);  // not the empty list of a new workout
  EXPECT_EQ(back->numberOfResumes, 0);

  platform::ArchiveObject entries;
  entries.set("owner", "7");
  entries.set("uuid", "w2");
  entries.set("missed", std::int64_t{1});
  entries.set("calories", 350.0);
  entries.set("imageChart", Bytes{1, 2, 3});
  entries.set("created_timestamp", std::int64_t{12});
  WorkoutSDK read{KeyedUnarchiver(entries)};
  EXPECT_EQ(read.owner, std::nullopt);
  EXPECT_EQ(read.uuid, "w2");
  EXPECT_EQ(read.missed, std::nullopt);
  EXPECT_EQ(read.calories, 350);
  EXPECT_EQ(read.imageChart, std::nullopt);
  EXPECT_EQ(read.createdTimestamp, 12.0);
  EXPECT_EQ(read.numberOfResumes, std::nullopt);
}

TEST(WorkoutSDKDescription, MultiLineDumpOf29Values) {
  WorkoutSDK workout;
  const std::string nilNames[] = {"uuid",
                                  "owner",
                                  "duration",
                                  "date",
                                  "started",
                                  "finished",
                                  "exactStarted",
                                  "exactFinished",
                                  "imageChart",
                                  "notes",
                                  "imported",
                                  "type",
                                  "calories",
                                  "maxHr",
                                  "timeAbove90",
                                  "timeBelow100",
                                  "timeInZoneRecovery",
                                  "timeInZoneTrain",
                                  "timeInZoneOverload",
                                  "trainingThreshold",
                                  "overloadThreshold",
                                  "workoutEnjoyment",
                                  "workoutPerformance",
                                  "rpe",
                                  "device",
                                  "trainingSource",
                                  "created",
                                  "timestamp"};
  std::string expected = "workout: \n";
  for (const auto& name : nilNames) expected += name + std::string(23 - name.size(), ' ') + "= nil\n";
  expected += "numberOfResumes        = Optional(0)\n";
  EXPECT_EQ(workout.description(), expected);

  workout.uuid = "w1";
  workout.calories = 350;
  workout.imported = true;
  workout.imageChart = platform::Image::blank(320, 200);
  workout.avgHr = 120;  // not shown
  std::string text = workout.description();
  EXPECT_NE(text.find("\nuuid                   = Optional(\"w1\")\n"), std::string::npos);
  EXPECT_NE(text.find("\ncalories               = Optional(350)\n"), std::string::npos);
  EXPECT_NE(text.find("\nimported               = Optional(true)\n"), std::string::npos);
  EXPECT_NE(text.find("\nimageChart             = Optional(<Image {320, 200}>)\n"), std::string::npos);
  EXPECT_EQ(text.find("120"), std::string::npos);
}
