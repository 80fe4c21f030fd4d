// An example host program: a session with the cloud service. It starts a loopback stand-in of the service
// with one account, logs in, uploads a synchronised Kelo history as heart-rate samples and pages through
// them again, then logs out, running the main queue (runMainQueue) while each call is under way.
//
// Unlike the other examples it needs the kit's source tree: the loopback service is the kit's own test
// stand-in (tests/support/LoopbackService.hpp), so it is built only with the kit's tests. A host points
// Connector::setAPIBaseURL at the real service instead.
//
//   server_session [--help] [--quiet] [--home FOLDER] [KELO_HISTORY.hex]

#include <optional>
#include <string>
#include <vector>

#include "Example.hpp"
#include "support/LoopbackService.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/TimeZone.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace {

using namespace talvaren;

/// The samples of a recorded Kelo history download (one notification a line, "#" starts a comment), read
/// by the history parser as the Bluetooth link does. The strap kept Berlin wall-clock time.
std::vector<HeartRate> synchronisedHistory(const examples::Recording& recording) {
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<HeartRate> samples;
  std::int64_t strapTime = 0;
  const auto hostZone = platform::TimeZone::current();
  platform::TimeZone::setCurrent("Europe/Berlin");
  for (const auto& line : recording.lines) {
    const auto frame = dataFromHexEncodedString(line);
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

/// One call to the service: the main queue runs until its completion stops it.
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
    examples::fail("%s failed: %s", what, step.error->description().c_str());
    return false;
  }
  return true;
}

int run(const examples::Options& options) {
  const auto& recording = options.recordings[0];
  const auto history = synchronisedHistory(recording);
  if (history.empty()) return examples::fail("no samples in %s", recording.path.c_str());

  testkit::LoopbackService service;
  service.addUser("host@example.test", "example-password", "Host");
  Connector::setAPIBaseURL("http://127.0.0.1:" + std::to_string(service.port()) + "/");
  auto connector = Connector::sharedInstance();

  Step login;
  connector->postLoginUser({{"email", "host@example.test"}, {"password", "example-password"}}, finishing(login));
  platform::runMainQueue();
  if (!report("Login", login)) return 1;
  examples::say("Logged in; token stored: %s", connector->isLoggedInToken() ? "yes" : "no");

  std::vector<HeartrateSDK> samples;
  for (const auto& sample : history) {
    const auto seconds = static_cast<std::int64_t>(sample.date.timeIntervalSince1970());
    samples.emplace_back(seconds, sample.bmp, sample.date, Connector::getOwnerId(), "Kelo", std::nullopt);
  }
  Step upload;
  connector->postHeartrates(samples, finishing(upload));
  platform::runMainQueue();
  if (!report("Upload", upload)) return 1;
  examples::say("Uploaded %zu heart-rate samples", samples.size());

  Step download;
  const auto first = samples.front().timestamp().value_or(0);
  const auto last = samples.back().timestamp().value_or(0);
  connector->getHeartrate(first, last, 1, finishing(download));
  platform::runMainQueue();
  if (!report("Download", download)) return 1;
  const auto* received = download.reply ? download.reply->heartrates() : nullptr;
  if (!received || received->size() != samples.size()) {
    return examples::fail("the download gave %zu samples, %zu expected", received ? received->size() : 0,
                          samples.size());
  }
  examples::say("Downloaded %zu heart-rate samples from %lld to %lld", received->size(), static_cast<long long>(first),
                static_cast<long long>(last));

  Step logout;
  connector->postLogoutUser(finishing(logout));
  platform::runMainQueue();
  if (!report("Logout", logout)) return 1;
  connector->logout();
  examples::result("logged in, uploaded %zu heart-rate samples, downloaded them back, logged out", samples.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main({"server_session",
                         "A session with the service (its loopback stand-in): login, upload, download, logout.",
                         "[KELO_HISTORY.hex]", {"kelo_history.hex"}},
                        argc, argv, run);
}
