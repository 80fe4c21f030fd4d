// An example host program: shows the kit at work without a radio or a server: it decodes recorded
// heart-rate notifications, replays a recorded Kelo history download through the history parser, keeps a
// launch count in the user defaults and builds the workout a host would upload.
//
//   talvaren_example [--help] [--quiet] [--home FOLDER] [NOTIFICATIONS.hex [KELO_HISTORY.hex]]
//
// The recordings default to the two of these names beside the program's executable, where the build
// copies them. The result line counts the notifications that decoded; a notifications recording of which
// no line decodes ends the program with status 1 before it prints or stores anything. With --quiet the kit's own
// console lines (the history parser traces every frame) are routed to a counter instead of standard output
// (console::setSink) and only the result line is shown.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Example.hpp"
#include "talvaren/codecs/BluetoorhHeardRate.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/records/HeartRate.hpp"
#include "talvaren/records/WorkoutSDK.hpp"
#include "talvaren/utilities/DataExtensions.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace {

// One recorded notification as the Bluetooth link reads it: the heart rate and signal of a value that
// carries them, and its RR intervals; none for a line that is no hex value or too short to hold a heart
// rate.
struct Notification {
  std::string line;
  std::optional<talvaren::HeartRateAndSignal> measurement;
  std::vector<std::int64_t> rrIntervals;
};

// Decodes a recorded sequence of Heart Rate Measurement notifications, one hex value per line
// ("#" starts a comment), the way the Bluetooth link does for every live notification.
std::vector<Notification> decodeHeartRateNotifications(const examples::Recording& recording) {
  using talvaren::BluetoorhHeardRate;
  std::vector<Notification> notifications;
  for (const auto& line : recording.lines) {
    Notification notification{line, std::nullopt, {}};
    if (const auto value = talvaren::dataFromHexEncodedString(line)) {
      notification.measurement = BluetoorhHeardRate::measurement(*value);
      if (notification.measurement) {
        notification.rrIntervals =
            BluetoorhHeardRate::updateRRIntervarls(*value, BluetoorhHeardRate::getOffset(*value));
      }
    }
    notifications.push_back(std::move(notification));
  }
  return notifications;
}

// Prints the decoded notifications; answers how many decoded.
std::size_t printHeartRateNotifications(const examples::Recording& recording,
                                        const std::vector<Notification>& notifications) {
  examples::say("Heart-rate notifications from %s", recording.path.c_str());
  std::size_t decoded = 0;
  for (const auto& notification : notifications) {
    const char* line = notification.line.c_str();
    if (!notification.measurement) {
      examples::say("  %s: not a heart-rate measurement", line);
      continue;
    }
    ++decoded;
    std::string rr;
    for (auto ms : notification.rrIntervals) {
      if (!rr.empty()) rr += ", ";
      rr += std::to_string(ms) + " ms";
    }
    examples::say("  %-16s bpm %u, signal %lld, RR [%s]", line, static_cast<unsigned>(notification.measurement->bmp),
                  static_cast<long long>(notification.measurement->signal), rr.c_str());
  }
  return decoded;
}

// Replays a recorded Kelo history download, one notification a line ("#" starts a comment), through
// the history parser as the Bluetooth link does: the reassembly buffers, the running strap time and
// the sample list go into every call and come back for the next. The strap kept Berlin wall-clock
// time, so the samples are read back in that zone. The parser's own log lines come first.
std::vector<talvaren::HeartRate> replayKeloHistory(const examples::Recording& recording) {
  using namespace talvaren;
  const TimeZone hostZone = TimeZone::current();
  TimeZone::setCurrent("Europe/Berlin");
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<HeartRate> samples;
  std::int64_t strapTime = 0;
  std::size_t notifications = 0;
  for (const auto& line : recording.lines) {
    const auto frame = dataFromHexEncodedString(line);
    if (!frame) {
      examples::say("  %s: not a hex value", line.c_str());
      continue;
    }
    ++notifications;
    auto result = BluetoothDeviceKelo::getKeloDeviceHertRate(*frame, std::move(texts), std::move(bytes),
                                                             std::move(samples), strapTime);
    texts = std::move(result.hexArrayString);
    bytes = std::move(result.hexArray);
    samples = std::move(result.hertRates);
    strapTime = result.timeMinuteBmp;
  }
  TimeZone::setCurrent(hostZone);
  examples::say("Kelo history from %s: %zu notifications, %zu samples", recording.path.c_str(), notifications,
                samples.size());
  for (const auto& sample : samples) {
    auto text = sample.description();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    examples::say("  %s", text.c_str());
  }
  return samples;
}

// A round trip through the standard user defaults, which live under the application home.
bool countLaunches() {
  auto defaults = talvaren::platform::UserDefaults::standard();
  defaults->set(defaults->integerForKey("ExampleLaunchCount") + 1, "ExampleLaunchCount");
  if (auto error = defaults->lastSaveError()) {
    examples::fail("cannot save the user defaults: %s", error->localizedDescription().c_str());
    return false;
  }
  examples::say("User defaults: %s, launches of this example: %lld",
                talvaren::platform::AppHome::userDefaultsPath().c_str(),
                static_cast<long long>(defaults->integerForKey("ExampleLaunchCount")));
  return true;
}

// Turns downloaded strap samples into the workout a host would upload, with its hr_data list.
void printWorkoutUpload(const std::vector<talvaren::HeartRate>& history) {
  using namespace talvaren;
  if (history.empty()) {
    examples::say("No samples, no workout to upload");
    return;
  }
  const std::string workoutId = "w-example";
  std::vector<HeartrateSDK> samples;
  samples.reserve(history.size());
  for (const auto& sample : history) {
    const auto seconds = static_cast<std::int64_t>(sample.date.timeIntervalSince1970());
    samples.emplace_back(seconds, static_cast<std::int64_t>(sample.bmp), sample.date, 42, "Kelo", workoutId);
  }
  const std::int64_t start = *samples.front().timestamp();
  const std::int64_t end = *samples.back().timestamp();

  WorkoutSDK workout;
  workout.owner = 42;
  workout.type = "cardio";
  workout.device = "Kelo";
  workout.trainingSource = "strap";
  workout.date = TalvarenDateFormatter::shared()->getShortStringFromDateUTC(Date(static_cast<double>(start)));
  workout.started = start;
  workout.finished = end;
  workout.duration = end - start;
  std::int64_t sum = 0;
  std::int64_t highest = 0;
  for (const auto& sample : samples) {
    sum += sample.value().value_or(0);
    highest = std::max(highest, sample.value().value_or(0));
  }
  workout.avgHr = sum / static_cast<std::int64_t>(samples.size());
  workout.maxHr = highest;
  workout.setTimestamp(TalvarenDateFormatter::shared()->getCreatedStringFromDate(Date(static_cast<double>(start))));
  workout.heartrates = samples;

  examples::say("Workout upload body:\n%s", Json::dump(workout.toJSON().value_or(JSON()), 2).c_str());
}

int run(const examples::Options& options) {
  // With --quiet the kit's console lines are counted instead of shown.
  auto consoleLines = std::make_shared<std::atomic<std::size_t>>(0);
  if (options.quiet) talvaren::console::setSink([consoleLines](std::string_view) { ++*consoleLines; });

  // A recording of notifications of which none decodes is refused before anything is printed or stored.
  const auto& recorded = options.recordings[0];
  const auto notifications = decodeHeartRateNotifications(recorded);
  if (std::none_of(notifications.begin(), notifications.end(), [](const auto& n) { return n.measurement; })) {
    return examples::fail("no line of %s decodes as a heart-rate notification", recorded.path.c_str());
  }

  examples::say("TalvarenKit example host");
  examples::say("Now: %s", talvaren::Date::now().description().c_str());
  examples::say("Application home: %s", talvaren::platform::AppHome::path().c_str());
  if (!countLaunches()) return 1;
  const auto decoded = printHeartRateNotifications(recorded, notifications);
  const auto samples = replayKeloHistory(options.recordings[1]);
  printWorkoutUpload(samples);
  if (options.quiet) {
    examples::result("%zu notifications decoded, %zu history samples, %zu console lines of the kit kept aside", decoded,
                     samples.size(), consoleLines->load());
  } else {
    examples::result("%zu notifications decoded, %zu history samples", decoded, samples.size());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main({"talvaren_example",
                         "The kit without a radio or a server: recorded notifications, a recorded history, a workout.",
                         "[NOTIFICATIONS.hex [KELO_HISTORY.hex]]",
                         {"heart_rate_notifications.hex", "kelo_history.hex"}},
                        argc, argv, run);
}
