// An example host program: shows the kit at work without a radio or a server.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "talvaren/codecs/BluetoorhHeardRate.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/records/HeartRate.hpp"
#include "talvaren/records/WorkoutSDK.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace {

// Decodes a recorded sequence of Heart Rate Measurement notifications, one hex value per line
// ("#" starts a comment), the way the Bluetooth link does for every live notification.
void decodeHeartRateNotifications(const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    std::printf("Cannot open %s\n", path.c_str());
    return;
  }
  std::printf("Heart-rate notifications from %s\n", path.c_str());
  std::string line;
  while (std::getline(file, line)) {
    if (const auto end = line.find_last_not_of(" \t\r"); end != std::string::npos) {
      line.erase(end + 1);
    } else {
      continue;
    }
    if (line.front() == '#') continue;
    const auto value = talvaren::dataFromHexEncodedString(line);
    if (!value) {
      std::printf("  %s: not a hex value\n", line.c_str());
      continue;
    }
    const auto heartRate = talvaren::BluetoorhHeardRate::getHeartRateAndSignal(*value);
    const auto offset = talvaren::BluetoorhHeardRate::getOffset(*value);
    std::string rr;
    for (auto ms : talvaren::BluetoorhHeardRate::updateRRIntervarls(*value, offset)) {
      if (!rr.empty()) rr += ", ";
      rr += std::to_string(ms) + " ms";
    }
    std::printf("  %-16s bpm %u, signal %lld, RR [%s]\n", line.c_str(), static_cast<unsigned>(heartRate.bmp),
                static_cast<long long>(heartRate.signal), rr.c_str());
  }
}

// Replays a recorded Kelo history download, one notification a line ("#" starts a comment), through
// the history parser as the Bluetooth link does: the reassembly buffers, the running strap time and
// the sample list go into every call and come back for the next. The strap kept Berlin wall-clock
// time, so the samples are read back in that zone. The parser's own log lines come first.
std::vector<talvaren::HeartRate> replayKeloHistory(const std::string& path) {
  using namespace talvaren;
  std::ifstream file(path);
  if (!file) {
    std::printf("Cannot open %s\n", path.c_str());
    return {};
  }
  const TimeZone hostZone = TimeZone::current();
  TimeZone::setCurrent("Europe/Berlin");
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<HeartRate> samples;
  std::int64_t strapTime = 0;
  std::size_t notifications = 0;
  std::string line;
  while (std::getline(file, line)) {
    if (const auto end = line.find_last_not_of(" \t\r"); end != std::string::npos) {
      line.erase(end + 1);
    } else {
      continue;
    }
    if (line.front() == '#') continue;
    const auto frame = dataFromHexEncodedString(line);
    if (!frame) {
      std::printf("  %s: not a hex value\n", line.c_str());
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
  std::printf("Kelo history from %s: %zu notifications, %zu samples\n", path.c_str(), notifications, samples.size());
  for (const auto& sample : samples) std::printf("  %s", sample.description().c_str());
  return samples;
}

// A round trip through the standard user defaults, which live under the application home.
void countLaunches() {
  auto defaults = talvaren::platform::UserDefaults::standard();
  defaults->set(defaults->integerForKey("ExampleLaunchCount") + 1, "ExampleLaunchCount");
  std::printf("User defaults: %s, launches of this example: %lld\n",
              talvaren::platform::AppHome::userDefaultsPath().c_str(),
              static_cast<long long>(defaults->integerForKey("ExampleLaunchCount")));
}

// Turns a workout's heart-rate samples into the workout record a host uploads, and prints its JSON.
// Turns downloaded strap samples into the workout a host would upload, with its hr_data list.
void printWorkoutUpload(const std::vector<talvaren::HeartRate>& history) {
  using namespace talvaren;
  if (history.empty()) {
    std::printf("No samples, no workout to upload\n");
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

  std::printf("Workout upload body:\n%s\n", Json::dump(workout.toJSON().value_or(JSON()), 2).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("TalvarenKit example host\n");
  std::printf("Now: %s\n", talvaren::Date::now().description().c_str());
  countLaunches();
  decodeHeartRateNotifications(argc > 1 ? argv[1] : TALVAREN_EXAMPLES_DIR "/heart_rate_notifications.hex");
  const auto history = replayKeloHistory(argc > 2 ? argv[2] : TALVAREN_EXAMPLES_DIR "/kelo_history.hex");
  printWorkoutUpload(history);
  return 0;
}
