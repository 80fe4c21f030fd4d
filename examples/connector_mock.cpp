// An example host program: how a host tests its own use of the server client. The host's code sends a
// workout through whatever Connector it is given; its test hands it a ConnectorMock, which runs the real
// endpoint code but sends nothing, and then checks the recorded method, URL and body. Nothing leaves the
// machine. It keeps its state in a temporary application home unless TALVAREN_HOME is set.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "talvaren/api/ConnectorMock.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/records/WorkoutSDK.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace {

using namespace talvaren;

/// The host's own code under test: uploads a finished training session.
void uploadTraining(Connector& client, const WorkoutSDK& workout, bool& uploaded) {
  client.postWorkout(workout,
                     [&uploaded](std::optional<Error> error, std::optional<ServerReply>) { uploaded = !error; });
}

/// A ten-minute session with one sample a minute, as a strap's history gives it.
WorkoutSDK trainingSession() {
  const std::int64_t start = 1700000000;
  WorkoutSDK workout;
  workout.owner = 42;
  workout.type = "cardio";
  workout.device = "Kelo";
  workout.started = start;
  workout.finished = start + 600;
  workout.duration = 600;
  workout.date = TalvarenDateFormatter::shared()->getShortStringFromDateUTC(Date(static_cast<double>(start)));
  std::vector<HeartrateSDK> samples;
  std::int64_t highest = 0;
  std::int64_t sum = 0;
  for (std::int64_t minute = 0; minute < 10; ++minute) {
    const std::int64_t bpm = 110 + 4 * minute;
    samples.emplace_back(start + 60 * minute, bpm, Date(static_cast<double>(start + 60 * minute)), 42, "Kelo", "");
    highest = std::max(highest, bpm);
    sum += bpm;
  }
  workout.avgHr = sum / static_cast<std::int64_t>(samples.size());
  workout.maxHr = highest;
  workout.heartrates = std::move(samples);
  return workout;
}

int run() {
  Connector::setAPIBaseURL("https://api.example.test/");
  const WorkoutSDK workout = trainingSession();

  auto client = std::make_shared<ConnectorMock>();
  bool uploaded = false;
  uploadTraining(*client, workout, uploaded);

  const std::string method = client->method ? std::string(rawValue(*client->method)) : "none";
  std::printf("Recorded method: %s\n", method.c_str());
  std::printf("Recorded URL: %s\n", client->url.value_or("none").c_str());
  std::printf("Recorded body:\n%s\n", Json::dump(client->parameters, 2).c_str());

  const std::string expectedURL = Connector::workoutsEndpoint();
  if (!uploaded) {
    std::fprintf(stderr, "connector_mock: the upload's completion did not report success\n");
    return 1;
  }
  if (method != "POST" || client->url != expectedURL || client->parameters != workout.toJSON()) {
    std::fprintf(stderr, "connector_mock: expected POST %s with the workout's JSON\n", expectedURL.c_str());
    return 1;
  }
  std::printf("The host's upload sends POST %s with %zu heart-rate samples\n", expectedURL.c_str(),
              client->parameters["hr_data"].size());
  return 0;
}

}  // namespace

int main() {
  std::filesystem::path home;
  if (!std::getenv("TALVAREN_HOME")) {
    home = std::filesystem::temp_directory_path() / ("talvaren-connector-mock-" + std::to_string(::getpid()));
    platform::AppHome::setPath(home);
  }
  const int status = run();
  if (!home.empty()) {
    platform::AppHome::setPath({});
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  return status;
}
