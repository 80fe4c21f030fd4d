// An example host program: a session with the cloud service. It starts a loopback stand-in of the service
// with one account, logs in, uploads a synchronised Kelo history as heart-rate samples and pages through
// them again, then logs out. State stays in a temporary application home unless TALVAREN_HOME is set.
//
//   server_session [kelo_history.hex]

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/LoopbackService.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace {

using namespace talvaren;

/// The samples of a recorded Kelo history download (one notification a line, "#" starts a comment), read
/// by the history parser as the Bluetooth link does. The strap kept Berlin wall-clock time.
std::vector<HeartRate> synchronisedHistory(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<HeartRate> samples;
  std::int64_t strapTime = 0;
  const auto hostZone = platform::TimeZone::current();
  platform::TimeZone::setCurrent("Europe/Berlin");
  for (std::string line; std::getline(file, line);) {
    const auto frame = line.empty() || line.front() == '#' ? std::nullopt : dataFromHexEncodedString(line);
    if (!frame) continue;
    auto result = BluetoothDeviceKelo::getKeloDeviceHertRate(*frame, std::move(texts), std::move(bytes),
                                                             std::move(samples), strapTime);
    texts = std::move(result.hexArrayString);
    bytes = std::move(result.hexArray);
    samples = std::move(result.hertRates);
    strapTime = result.timeMinuteBmp;
  }
  platform::TimeZone::setCurrent(hostZone);
  return samples;
}

/// Runs the main queue until `start`'s completion has run as often as `calls` says; the error of the last
/// failing call, if any.
struct Step {
  int remaining = 1;
  std::optional<Error> error;
  std::optional<ServerReply> reply;
};

Connector::Completion finishing(Step& step) {
  return [&step](std::optional<Error> error, std::optional<ServerReply> reply) {
    if (error) step.error = std::move(error);
    step.reply = std::move(reply);
    if (--step.remaining == 0) platform::stopMainQueue();
  };
}

bool report(const char* what, const Step& step) {
  if (step.error) {
    std::fprintf(stderr, "%s failed: %s\n", what, step.error->description().c_str());
    return false;
  }
  return true;
}

int runSession(const std::string& historyPath) {
  const auto history = synchronisedHistory(historyPath);
  if (history.empty()) {
    std::fprintf(stderr, "No samples in %s\n", historyPath.c_str());
    return 1;
  }

  testkit::LoopbackService service;
  service.addUser("host@example.test", "example-password", "Host");
  Connector::setAPIBaseURL("http://127.0.0.1:" + std::to_string(service.port()) + "/");
  auto connector = Connector::sharedInstance();

  Step login;
  connector->postLoginUser({{"email", "host@example.test"}, {"password", "example-password"}}, finishing(login));
  platform::runMainQueue();
  if (!report("Login", login)) return 1;
  std::printf("Logged in; token stored: %s\n", connector->isLoggedInToken() ? "yes" : "no");

  std::vector<HeartrateSDK> samples;
  for (const auto& sample : history) {
    const auto seconds = static_cast<std::int64_t>(sample.date.timeIntervalSince1970());
    samples.emplace_back(seconds, sample.bmp, sample.date, Connector::getOwnerId(), "Kelo", std::nullopt);
  }
  Step upload;
  connector->postHeartrates(samples, finishing(upload));
  platform::runMainQueue();
  if (!report("Upload", upload)) return 1;
  std::printf("Uploaded %zu heart-rate samples\n", samples.size());

  Step download;
  const auto first = samples.front().timestamp().value_or(0);
  const auto last = samples.back().timestamp().value_or(0);
  connector->getHeartrate(first, last, 1, finishing(download));
  platform::runMainQueue();
  if (!report("Download", download)) return 1;
  const auto* received = download.reply ? download.reply->heartrates() : nullptr;
  if (!received || received->size() != samples.size()) {
    std::fprintf(stderr, "Download gave %zu samples, %zu expected\n", received ? received->size() : 0, samples.size());
    return 1;
  }
  std::printf("Downloaded %zu heart-rate samples from %lld to %lld\n", received->size(), static_cast<long long>(first),
              static_cast<long long>(last));

  Step logout;
  connector->postLogoutUser(finishing(logout));
  platform::runMainQueue();
  if (!report("Logout", logout)) return 1;
  connector->logout();
  std::printf("Server session: logged in, uploaded %zu heart-rate samples, downloaded them back, logged out\n",
              samples.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path temporaryHome;
  if (!std::getenv("TALVAREN_HOME")) {
    temporaryHome = std::filesystem::temp_directory_path() / ("talvaren-server-example-" + std::to_string(::getpid()));
    talvaren::platform::AppHome::setPath(temporaryHome);
  }
  const int status = runSession(argc > 1 ? argv[1] : TALVAREN_EXAMPLES_DIR "/kelo_history.hex");
  if (!temporaryHome.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(temporaryHome, ignored);
  }
  return status;
}
