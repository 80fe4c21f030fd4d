#include <gtest/gtest.h>

#include <functional>

#include "ConnectorFixture.hpp"
#include "talvaren/records/RecoverySDK.hpp"
#include "talvaren/records/WorkoutSDK.hpp"
#include "talvaren/testing/TimeZone.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using nlohmann::json;
using platform::http::HTTPMethod;

namespace {

// In Berlin these are 00:30 on 5 May 2021 and on 1 March 2021; in UTC they are still the day before.
const Date justAfterMidnightMay5(1620167400);
const Date justAfterMidnightMarch1(1614555000);
const Date midMarch31(1617192000);

WorkoutSDK workout(std::optional<std::string> uuid) {
  WorkoutSDK value;
  value.uuid = std::move(uuid);
  value.owner = 42;
  value.notes = "intervals";
  value.heartrates = std::vector<HeartrateSDK>{HeartrateSDK(1620167400, 131, Date(1620167400), 42, "Kelo", "w-1")};
  return value;
}

RecoverySDK recovery(std::optional<std::string> uuid) {
  RecoverySDK value;
  value.uuid = std::move(uuid);
  value.owner = 42;
  value.sleepQuality = 4;
  return value;
}

class RecordEndpointsTest : public ConnectorFixture {
 protected:
  using Operation = std::function<void(Connector&, Connector::Completion)>;

  RecordedRequest send(const Operation& operation) {
    auto [record, completion] = recorder();
    const auto before = server.requestCount();
    operation(*Connector::sharedInstance(), completion);
    waitFor(record);
    EXPECT_EQ(server.requestCount(), before + 1);
    return server.requests().back();
  }
};

}  // namespace

TEST_F(RecordEndpointsTest, EveryOperationSendsItsMethodURLAndBody) {
  ScopedTimeZone berlin("Europe/Berlin");
  const json reply = {{"uuid", "from-server"}};
  for (const auto& [method, path] :
       std::vector<std::pair<std::string, std::string>>{{"GET", "/workouts/"},
                                                        {"POST", "/workouts/"},
                                                        {"GET", "/workouts/w-1/"},
                                                        {"PUT", "/workouts/w-1/"},
                                                        {"PATCH", "/workouts/w-1/"},
                                                        {"DELETE", "/workouts/w-1/"},
                                                        {"POST", "/workouts/calculations/"},
                                                        {"GET", "/recovery/"},
                                                        {"POST", "/recovery/"},
                                                        {"GET", "/recovery/r7/"},
                                                        {"PUT", "/recovery/r7/"},
                                                        {"PATCH", "/recovery/r7/"},
                                                        {"GET", "/daily_zones/"}}) {
    server.reply(method, path, 200, reply.dump());
  }
  Connector::sharedInstance()->saveTokenToKeychain(APIToken("t-1"));
  const json workoutBody = *workout("w-1").toJSON();
  const json recoveryBody = *recovery("r7").toJSON();

  struct Case {
    const char* name;
    Operation operation;
    const char* method;
    const char* target;
    std::optional<json> body;
  };
  const std::vector<Case> cases = {
      {"getManyWorkouts", [](Connector& c, auto done) { c.getManyWorkouts(done); }, "GET", "/workouts/", {}},
      {"getWorkout", [](Connector& c, auto done) { c.getWorkout("w-1", done); }, "GET", "/workouts/w-1/", {}},
      {"getMonthlyWorkouts",
       [](Connector& c, auto done) { c.getMonthlyWorkouts(justAfterMidnightMarch1, midMarch31, std::nullopt, done); },
       "GET",
       "/workouts/?date__gte=2021-03-01&date__lte=2021-03-31",
       {}},
      {"getMonthlyWorkouts limit",
       [](Connector& c, auto done) { c.getMonthlyWorkouts(justAfterMidnightMarch1, midMarch31, 10, done); },
       "GET",
       "/workouts/?date__gte=2021-03-01&date__lte=2021-03-31&limit=10",
       {}},
      {"postWorkout", [](Connector& c, auto done) { c.postWorkout(workout("w-1"), done); }, "POST", "/workouts/",
       workoutBody},
      {"putWorkout", [](Connector& c, auto done) { c.putWorkout(workout("w-1"), done); }, "PUT", "/workouts/w-1/",
       workoutBody},
      {"patchWorkout", [](Connector& c, auto done) { c.patchWorkout(workout("w-1"), done); }, "PATCH", "/workouts/w-1/",
       workoutBody},
      {"deleteWorkout", [](Connector& c, auto done) { c.deleteWorkout("w-1", done); }, "DELETE", "/workouts/w-1/", {}},
      {"postHRCalculations", [](Connector& c, auto done) { c.postHRCalculations(workout("w-1"), done); }, "POST",
       "/workouts/calculations/", workoutBody},
      {"getMenyRecoveries", [](Connector& c, auto done) { c.getMenyRecoveries(done); }, "GET", "/recovery/", {}},
      {"getRecoverie", [](Connector& c, auto done) { c.getRecoverie("r7", done); }, "GET", "/recovery/r7/", {}},
      {"getMonthlyRecoveries",
       [](Connector& c, auto done) { c.getMonthlyRecoveries(justAfterMidnightMarch1, midMarch31, 5, done); },
       "GET",
       "/recovery/?date__gte=2021-03-01&date__lte=2021-03-31&limit=5",
       {}},
      {"postRecovery", [](Connector& c, auto done) { c.postRecovery(recovery("r7"), done); }, "POST", "/recovery/",
       recoveryBody},
      {"putRecovery", [](Connector& c, auto done) { c.putRecovery(recovery("r7"), done); }, "PUT", "/recovery/r7/",
       recoveryBody},
      {"patchRecovery", [](Connector& c, auto done) { c.patchRecovery(recovery("r7"), done); }, "PATCH",
       "/recovery/r7/", recoveryBody},
      {"getManyDaliyZones",
       [](Connector& c, auto done) { c.getManyDaliyZones(justAfterMidnightMay5, done); },
       "GET",
       "/daily_zones/?date=2021-05-05",
       {}},
      {"getDaliyZones",
       [](Connector& c, auto done) { c.getDaliyZones(justAfterMidnightMay5, done); },
       "GET",
       "/daily_zones/?date=2021-05-05&limit=1",
       {}},
      {"getMonthlyDaliyZones",
       [](Connector& c, auto done) { c.getMonthlyDaliyZones(justAfterMidnightMarch1, midMarch31, std::nullopt, done); },
       "GET",
       "/daily_zones/?date__gte=2021-03-01&date__lte=2021-03-31",
       {}},
  };

  for (const auto& one : cases) {
    auto [record, completion] = recorder();
    one.operation(*Connector::sharedInstance(), completion);
    waitFor(record);
    const auto request = server.requests().back();
    EXPECT_EQ(request.method, one.method) << one.name;
    EXPECT_EQ(request.target, one.target) << one.name;
    EXPECT_EQ(request.header("Content-Type"), "application/json; charset=UTF-8") << one.name;
    EXPECT_EQ(request.header("Authorization"), "Token t-1") << one.name;
    if (one.body) {
      EXPECT_EQ(json::parse(request.body, nullptr, false), *one.body) << one.name;
    } else {
      EXPECT_TRUE(request.body.empty()) << one.name;
    }
    EXPECT_FALSE(record->error) << one.name;
    ASSERT_TRUE(record->json()) << one.name;
    EXPECT_EQ(*record->json(), reply) << one.name;
  }
  EXPECT_EQ(server.requestCount(), cases.size());
  EXPECT_EQ(workoutBody["hr_data"].size(), 1u);
}

TEST_F(RecordEndpointsTest, IdentifiersCannotLeaveTheirPathSegment) {
  const auto target = [&](const Operation& operation) { return send(operation).target; };
  EXPECT_EQ(target([](Connector& c, auto done) { c.getWorkout("3f2a-9_b.c~Z", done); }), "/workouts/3f2a-9_b.c~Z/");
  EXPECT_EQ(target([](Connector& c, auto done) { c.getWorkout("a/b?c#d e", done); }), "/workouts/a%2Fb%3Fc%23d%20e/");
  EXPECT_EQ(target([](Connector& c, auto done) { c.deleteWorkout("..", done); }), "/workouts/%2E%2E/");
  EXPECT_EQ(target([](Connector& c, auto done) { c.putWorkout(workout("../../users/7"), done); }),
            "/workouts/..%2F..%2Fusers%2F7/");
  EXPECT_EQ(target([](Connector& c, auto done) { c.patchRecovery(recovery("."), done); }), "/recovery/%2E/");
  EXPECT_EQ(target([](Connector& c, auto done) { c.getRecoverie("", done); }), "/recovery//");
}

TEST_F(RecordEndpointsTest, RecordsWithoutIdentifierSendNothingAndNeverComplete) {
  int completions = 0;
  auto count = [&completions](std::optional<Error>, std::optional<ServerReply>) { ++completions; };
  auto shared = Connector::sharedInstance();

  shared->putWorkout(workout(std::nullopt), count);
  shared->patchWorkout(workout(std::nullopt), count);
  shared->putRecovery(recovery(std::nullopt), count);
  shared->patchRecovery(recovery(std::nullopt), count);
  time.runUntil([] { return false; }, std::chrono::milliseconds(50));

  EXPECT_EQ(completions, 0);
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_EQ(console.lines(), (std::vector<std::string>{
                                 "Failed to parse workout data to json!",
                                 "UUID missing or failed to parse workout to json",
                                 "Failed to parse recovery data to json!",
                                 "UUID missing or failed to parse recovery to json",
                             }));
}

TEST_F(RecordEndpointsTest, EndpointsKeepTheBaseURLOfTheirFirstUseWithoutAddingASeparator) {
  server.reply("GET", "/apiworkouts/", 200, "[]");
  Connector::setAPIBaseURL("http://api.talvaren.test/api");
  const std::vector<Operation> operations = {
      [](Connector& c, auto done) { c.getManyWorkouts(done); },
      [](Connector& c, auto done) { c.postHRCalculations(workout(std::nullopt), done); },
      [](Connector& c, auto done) { c.getMenyRecoveries(done); },
      [](Connector& c, auto done) { c.getDaliyZones(justAfterMidnightMay5, done); },
  };
  std::vector<std::string> first;
  for (const auto& operation : operations) first.push_back(send(operation).path);
  EXPECT_EQ(first, (std::vector<std::string>{"/apiworkouts/", "/apiworkouts/calculations/", "/apirecovery/",
                                             "/apidaily_zones/"}));

  Connector::setAPIBaseURL("http://api.talvaren.test/v2/");
  for (std::size_t i = 0; i < operations.size(); ++i) EXPECT_EQ(send(operations[i]).path, first[i]) << i;
}
