// An example host program: shows the kit at work without a radio or a server.
//
//   talvaren_example [--quiet] [--home FOLDER] [NOTIFICATIONS.hex [KELO_HISTORY.hex]]
//
// The kit keeps its files under the application home: FOLDER when given, else TALVAREN_HOME when
// set, else a temporary folder removed at the end (so a trial run leaves nothing behind). With
// --quiet the kit's own console lines (the history parser traces every frame) are captured and only
// the program's results are shown. An input that cannot be read ends the program with status 1.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
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
#include "talvaren/utilities/DataExtensions.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace {

// Where the program's own results go: standard output, or a copy of it kept aside while --quiet
// captures the kit's console lines.
FILE* results = stdout;

// The lines of a recording, one hex value per line ("#" starts a comment, blank lines are skipped),
// or no value (and a message) when the file cannot be opened.
std::optional<std::vector<std::string>> readRecording(const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    std::fprintf(stderr, "talvaren_example: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return std::nullopt;
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) {
    const auto end = line.find_last_not_of(" \t\r");
    if (end == std::string::npos) continue;
    line.erase(end + 1);
    if (line.front() != '#') lines.push_back(line);
  }
  if (file.bad()) {
    std::fprintf(stderr, "talvaren_example: cannot read %s\n", path.c_str());
    return std::nullopt;
  }
  return lines;
}

// Decodes a recorded sequence of Heart Rate Measurement notifications, one hex value per line
// ("#" starts a comment), the way the Bluetooth link does for every live notification.
bool decodeHeartRateNotifications(const std::string& path) {
  const auto lines = readRecording(path);
  if (!lines) return false;
  std::fprintf(results, "Heart-rate notifications from %s\n", path.c_str());
  for (const auto& line : *lines) {
    const auto value = talvaren::dataFromHexEncodedString(line);
    if (!value) {
      std::fprintf(results, "  %s: not a hex value\n", line.c_str());
      continue;
    }
    const auto heartRate = talvaren::BluetoorhHeardRate::getHeartRateAndSignal(*value);
    const auto offset = talvaren::BluetoorhHeardRate::getOffset(*value);
    std::string rr;
    for (auto ms : talvaren::BluetoorhHeardRate::updateRRIntervarls(*value, offset)) {
      if (!rr.empty()) rr += ", ";
      rr += std::to_string(ms) + " ms";
    }
    std::fprintf(results, "  %-16s bpm %u, signal %lld, RR [%s]\n", line.c_str(), static_cast<unsigned>(heartRate.bmp),
                 static_cast<long long>(heartRate.signal), rr.c_str());
  }
  return true;
}

// Replays a recorded Kelo history download, one notification a line ("#" starts a comment), through
// the history parser as the Bluetooth link does: the reassembly buffers, the running strap time and
// the sample list go into every call and come back for the next. The strap kept Berlin wall-clock
// time, so the samples are read back in that zone. The parser's own log lines come first.
std::optional<std::vector<talvaren::HeartRate>> replayKeloHistory(const std::string& path) {
  using namespace talvaren;
  const auto lines = readRecording(path);
  if (!lines) return std::nullopt;
  const TimeZone hostZone = TimeZone::current();
  TimeZone::setCurrent("Europe/Berlin");
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<HeartRate> samples;
  std::int64_t strapTime = 0;
  std::size_t notifications = 0;
  for (const auto& line : *lines) {
    const auto frame = dataFromHexEncodedString(line);
    if (!frame) {
      std::fprintf(results, "  %s: not a hex value\n", line.c_str());
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
  std::fprintf(results, "Kelo history from %s: %zu notifications, %zu samples\n", path.c_str(), notifications,
               samples.size());
  for (const auto& sample : samples) std::fprintf(results, "  %s", sample.description().c_str());
  return samples;
}

// A round trip through the standard user defaults, which live under the application home.
bool countLaunches() {
  auto defaults = talvaren::platform::UserDefaults::standard();
  defaults->set(defaults->integerForKey("ExampleLaunchCount") + 1, "ExampleLaunchCount");
  if (auto error = defaults->lastSaveError()) {
    std::fprintf(stderr, "talvaren_example: cannot save the user defaults: %s\n",
                 error->localizedDescription().c_str());
    return false;
  }
  std::fprintf(results, "User defaults: %s, launches of this example: %lld\n",
               talvaren::platform::AppHome::userDefaultsPath().c_str(),
               static_cast<long long>(defaults->integerForKey("ExampleLaunchCount")));
  return true;
}

// Turns downloaded strap samples into the workout a host would upload, with its hr_data list.
void printWorkoutUpload(const std::vector<talvaren::HeartRate>& history) {
  using namespace talvaren;
  if (history.empty()) {
    std::fprintf(results, "No samples, no workout to upload\n");
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

  std::fprintf(results, "Workout upload body:\n%s\n", Json::dump(workout.toJSON().value_or(JSON()), 2).c_str());
}

// A temporary application home, removed with everything in it when the program ends.
class TemporaryHome {
 public:
  bool make() {
    std::error_code error;
    auto base = std::filesystem::temp_directory_path(error);
    std::string pattern = ((error ? std::filesystem::path("/tmp") : base) / "talvaren-example-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return false;
    path_ = pattern;
    return true;
  }
  ~TemporaryHome() {
    if (path_.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// While alive with --quiet, standard output (where the kit's console lines go) is captured in a
// temporary file and the results go to a copy of the real standard output.
class ConsoleCapture {
 public:
  bool start() {
    std::fflush(stdout);
    capture_ = std::tmpfile();
    const int copy = ::dup(STDOUT_FILENO);
    if (capture_ == nullptr || copy < 0 || ::dup2(::fileno(capture_), STDOUT_FILENO) < 0) return false;
    results = ::fdopen(copy, "w");
    return results != nullptr;
  }
  /// How many console lines were captured.
  std::size_t stop() {
    std::fflush(stdout);
    std::fflush(results);
    std::size_t lines = 0;
    std::rewind(capture_);
    for (int c; (c = std::fgetc(capture_)) != EOF;) lines += c == '\n';
    return lines;
  }

 private:
  FILE* capture_ = nullptr;
};

int usage() {
  std::fprintf(stderr, "usage: talvaren_example [--quiet] [--home FOLDER] [NOTIFICATIONS.hex [KELO_HISTORY.hex]]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool quiet = false;
  std::optional<std::string> home;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--quiet") {
      quiet = true;
    } else if (argument == "--home" && i + 1 < argc) {
      home = argv[++i];
    } else if (argument.starts_with("-") || inputs.size() == 2) {
      return usage();
    } else {
      inputs.emplace_back(argument);
    }
  }
  const std::string notifications =
      inputs.size() > 0 ? inputs[0] : TALVAREN_EXAMPLES_DIR "/heart_rate_notifications.hex";
  const std::string history = inputs.size() > 1 ? inputs[1] : TALVAREN_EXAMPLES_DIR "/kelo_history.hex";

  TemporaryHome temporary;
  const char* environmentHome = std::getenv("TALVAREN_HOME");
  if (home) {
    talvaren::platform::AppHome::setPath(*home);
  } else if (environmentHome == nullptr || *environmentHome == '\0') {
    if (!temporary.make()) {
      std::fprintf(stderr, "talvaren_example: cannot make a temporary application home: %s\n", std::strerror(errno));
      return 1;
    }
    talvaren::platform::AppHome::setPath(temporary.path());
  }

  ConsoleCapture console;
  if (quiet && !console.start()) {
    std::fprintf(stderr, "talvaren_example: cannot capture the console: %s\n", std::strerror(errno));
    return 1;
  }
  std::fprintf(results, "TalvarenKit example host\n");
  std::fprintf(results, "Now: %s\n", talvaren::Date::now().description().c_str());
  if (!temporary.path().empty()) std::fprintf(results, "Application home (temporary): %s\n", temporary.path().c_str());
  bool ok = countLaunches() && decodeHeartRateNotifications(notifications);
  std::optional<std::vector<talvaren::HeartRate>> samples;
  if (ok) samples = replayKeloHistory(history);
  if (samples) printWorkoutUpload(*samples);
  if (quiet) std::fprintf(results, "(%zu console lines of the kit captured)\n", console.stop());
  return ok && samples ? 0 : 1;
}
