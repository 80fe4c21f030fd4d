// An example host program: how a host tests its own use of the server client. The host's code sends a
// workout through whatever Connector it is given; its test hands it a ConnectorMock, which runs the real
// endpoint code but sends nothing, and then checks the recorded method, URL and body. Nothing leaves the
// machine.
//
//   connector_mock [--help] [--quiet] [--home FOLDER]

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Example.hpp"
#include "talvaren/api/ConnectorMock.hpp"
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

int run(const examples::Options&) {
  Connector::setAPIBaseURL("https://api.example.test/");
  const WorkoutSDK workout = trainingSession();

  auto client = std::make_shared<ConnectorMock>();
  bool uploaded = false;
  uploadTraining(*client, workout, uploaded);

  const std::string method = client->method ? std::string(rawValue(*client->method)) : "none";
  examples::say("Recorded method: %s", method.c_str());
  examples::say("Recorded URL: %s", client->url.value_or("none").c_str());
  examples::say("Recorded body:\n%s", Json::dump(client->parameters, 2).c_str());

  const std::string expectedURL = Connector::workoutsEndpoint();
  if (!uploaded) {
    return examples::fail("the upload's completion did not report success");
  }
  if (method != "POST" || client->url != expectedURL || client->parameters != workout.toJSON()) {
    return examples::fail("expected POST %s with the workout's JSON", expectedURL.c_str());
  }
  examples::result("the host's upload sends POST %s with %zu heart-rate samples", expectedURL.c_str(),
                   client->parameters["hr_data"].size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main(
      {"connector_mock", "A host's own test of its server calls, with ConnectorMock recording what would be sent."},
      argc, argv, run);
}
