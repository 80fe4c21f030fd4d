// Day records and the firmware list against the loopback service.

#include <gtest/gtest.h>

#include "ServiceFixture.hpp"
#include "talvaren/testing/TimeZone.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using nlohmann::json;

namespace {

class ConnectorDayRecordsTest : public ServiceFixture {
 protected:
  void SetUp() override { login(); }
};

/// Seconds since 1970 of a UTC wall-clock time.
Date utc(int year, unsigned month, unsigned day, int hour, int minute) {
  const auto days = std::chrono::sys_days(std::chrono::year(year) / month / day).time_since_epoch().count();
  return Date(static_cast<double>(days * 86400 + hour * 3600 + minute * 60));
}

ActivitySDK activity(const std::string& date, std::int64_t steps) {
  ActivitySDK record;
  record.date = date;
  record.steps = steps;
  return record;
}

}  // namespace

TEST_F(ConnectorDayRecordsTest, RecordShapesOnTheService) {
  // Create, read one, replace, modify, list.
  auto created = run([&](auto done) { client().postActivity(activity("2024-03-01", 9000), done); });
  ASSERT_FALSE(created->error);
  auto stored = ActivitySDK::fromJSON(*created->json());
  ASSERT_TRUE(stored && stored->uuid);
  auto one = run([&](auto done) { client().getActivitie(*stored->uuid, done); });
  EXPECT_EQ((*one->json())["steps"], 9000);
  stored->steps = 9500;
  run([&](auto done) { client().putActivity(*stored, done); });
  EXPECT_EQ(lastRequest().method, "PUT");
  EXPECT_EQ(lastRequest().target, "/activity/" + *stored->uuid + "/");
  stored->steps = 9600;
  auto patched = run([&](auto done) { client().patchActivity(*stored, done); });
  EXPECT_EQ((*patched->json())["steps"], 9600);
  run([&](auto done) { client().postActivity(activity("2024-04-02", 100), done); });
  auto list = run([&](auto done) { client().getManyActivities(done); });
  EXPECT_EQ((*list->json())["count"], 2);

  // putSleep is a POST to the record's path, which the service does not take.
  SleepSDK sleep;
  sleep.uuid = "abc";
  sleep.date = "2024-03-01";
  auto sleepPut = run([&](auto done) { client().putSleep(sleep, done); });
  EXPECT_EQ(lastRequest().method, "POST");
  EXPECT_EQ(lastRequest().target, "/sleep/abc/");
  EXPECT_EQ(sleepPut->error->code, 405);

  // Records that cannot be sent log their line, send nothing and never complete.
  const auto before = service.server().requestCount();
  int calls = 0;
  auto count = [&calls](std::optional<Error>, std::optional<ServerReply>) { ++calls; };
  console.clear();
  client().putActivity(activity("2024-03-01", 1), count);
  client().patchActivity(activity("2024-03-01", 1), count);
  client().putCalories(CaloriesSDK(), count);
  client().patchCalories(CaloriesSDK(), count);
  client().putSleep(SleepSDK(), count);
  CaloriesSDK unnamed;  // an empty uuid is refused like a missing one (workouts and recovery send it)
  unnamed.uuid = "";
  client().patchCalories(unnamed, count);
  time.runUntil([] { return false; }, std::chrono::milliseconds(30));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(service.server().requestCount(), before);
  EXPECT_EQ(console.lines(),
            (std::vector<std::string>{
                "Failed to parse activity data to json!", "UUID missing or failed to parse activity to json",
                "UUID missing or failed to parse calories to json", "UUID missing or failed to parse calories to json",
                "Failed to parse sleep data to json!", "UUID missing or failed to parse calories to json"}));

  // A host identifier stays one path segment.
  auto escaped = run([&](auto done) { client().getCalories("../auth/me", done); });
  EXPECT_EQ(lastRequest().target, "/calories/..%2Fauth%2Fme/");
  EXPECT_EQ(escaped->error->code, 404);
}

TEST_F(ConnectorDayRecordsTest, RangesAndDaysAreDeviceLocal) {
  ScopedTimeZone zone("America/New_York");
  for (const char* day : {"2024-02-29", "2024-03-01", "2024-03-15", "2024-03-31", "2024-04-01"}) {
    CaloriesSDK record;
    record.date = day;
    record.value = 2000;
    run([&](auto done) { client().postCalories(record, done); });
  }
  // 23:30 on 1 March and 22:00 on 31 March in New York are already the next day in UTC.
  const auto start = utc(2024, 3, 2, 4, 30);
  const auto end = utc(2024, 4, 1, 2, 0);
  auto month = run([&](auto done) { client().getMonthlyCalories(start, end, std::nullopt, done); });
  EXPECT_EQ(lastRequest().target, "/calories/?date__gte=2024-03-01&date__lte=2024-03-31");
  EXPECT_EQ((*month->json())["count"], 3);
  auto limited = run([&](auto done) { client().getMonthlyCalories(start, end, 2, done); });
  EXPECT_EQ(lastRequest().target, "/calories/?date__gte=2024-03-01&date__lte=2024-03-31&limit=2");
  EXPECT_EQ((*limited->json())["count"], 2);

  auto score = run([&](auto done) { client().getWeeklyScore(end, done); });
  EXPECT_EQ(lastRequest().target, "/weekly-score/2024-03-31/");
  EXPECT_EQ((*score->json())["score"], 1);

  auto hrv =
      run([&](auto done) { client().postHRVScores(HRVScore(1'709'251'200, 70, "2024-03-01", pk, "strap", 62), done); });
  EXPECT_FALSE(hrv->error);
  auto scores = run([&](auto done) { client().getMonthlyHRVScores(start, end, std::nullopt, done); });
  EXPECT_EQ((*scores->json())["count"], 1);
  auto allScores = run([&](auto done) { client().getHRVScores(done); });
  EXPECT_EQ(lastRequest().method, "GET");
  EXPECT_EQ(lastRequest().target, "/hrv-scores/");
  EXPECT_EQ((*allScores->json())["count"], 1);
}

TEST_F(ConnectorDayRecordsTest, TrackingSettingsAndStraps) {
  auto track = Track::fromJSON(json{{"activity", "garmin_api"}, {"sleep", "fit_bit_api"}});
  console.clear();
  auto posted = run([&](auto done) { client().postTracking(*track, done); });
  EXPECT_FALSE(posted->error);
  EXPECT_EQ(console.lines().front(), "tracking json: " + dictionaryDescription(*track->toJSON()));
  track->sleep = "apple_health_kit";
  run([&](auto done) { client().putTracking(*track, done); });
  EXPECT_EQ(lastRequest().method, "PUT");
  EXPECT_EQ(lastRequest().target, "/auth/me/tracking-settings/");
  console.clear();
  auto read = run([&](auto done) { client().getTracking(done); });
  EXPECT_EQ(console.lines().front(), std::string(baseURL) + "auth/me/tracking-settings/");
  EXPECT_EQ((*read->json())["sleep"], "apple_health_kit");

  auto device = Device::fromJSON(json{{"owner", pk}, {"device_id", "C4:7F:51:00:11:22"}, {"is_default", true}});
  auto registered = run([&](auto done) { client().postDevices(*device, done); });
  EXPECT_EQ(registered->error, std::nullopt);
  ASSERT_EQ(service.devices(pk).size(), 1u);
  EXPECT_EQ(service.devices(pk)[0]["device_id"], "C4:7F:51:00:11:22");
}

TEST_F(ConnectorDayRecordsTest, FirmwareListCarriesOnlyTheDevelopmentKey) {
  service.addFirmware(json{{"uuid", "fw-1"}, {"device", "kelo"}, {"version_number", "1.2"}});
  service.addFirmware(json{{"uuid", "fw-2"}, {"device", "kelo"}, {"version_number", "1.3"}});
  service.addFirmware(json{{"uuid", "fw 3"}, {"device", "a b&c"}, {"version_number", "2.0"}});

  auto all = run([&](auto done) { client().getFirmwaresList(std::nullopt, std::nullopt, std::nullopt, done); });
  EXPECT_EQ(lastRequest().target, "/firmwares/");
  EXPECT_EQ((*all->json())["count"], 3);
  EXPECT_FALSE(lastRequest().hasHeader("Authorization"));
  EXPECT_EQ(lastRequest().header("X-API-Key"), "kqz");

  auto filtered = run([&](auto done) { client().getFirmwaresList("kelo", 3, "1.2", done); });
  EXPECT_EQ(lastRequest().target, "/firmwares/?device=kelo&limit=3&version_number=1.2");
  EXPECT_EQ((*filtered->json())["results"][0]["uuid"], "fw-1");
  run([&](auto done) { client().getFirmwaresList(std::nullopt, 1, std::nullopt, done); });
  EXPECT_EQ(lastRequest().target, "/firmwares/?limit=1");
  auto odd = run([&](auto done) { client().getFirmwaresList("a b&c", std::nullopt, std::nullopt, done); });
  EXPECT_EQ(lastRequest().target, "/firmwares/?device=a%20b%26c");
  EXPECT_EQ((*odd->json())["count"], 1);

  auto link = run([&](auto done) { client().getFirmwareLink("fw-1", done); });
  EXPECT_EQ(lastRequest().target, "/firmwares/fw-1/download/");
  EXPECT_EQ((*link->json())["url"], "http://api.talvaren.test/media/firmwares/fw-1.zip");
  run([&](auto done) { client().getFirmwareLink("fw 3", done); });
  EXPECT_EQ(lastRequest().target, "/firmwares/fw%203/download/");
}
