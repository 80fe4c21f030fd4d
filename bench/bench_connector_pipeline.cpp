// Overhead of the server client's request pipeline over the bare HTTP layer.
//
// A batch is 1,000 sequential small JSON GETs to a loopback server. "Pipeline" goes through
// Connector::performAPICall with a stored token and API key (version texts, model name, CSRF token and
// credentials read for every request, the request log, the reply handler's cookie capture, console lines
// and mapping); "bare" sends the same request with the same headers straight through the session, to a
// server of its own. Console lines are captured in memory, so the terminal's speed does not count. The
// program runs interleaved rounds of one batch each (61 by default: with fewer, a busy machine moves the
// median by more than the gap it measures), prints the ratio of the process's CPU time (client and server
// threads) pipeline / bare as min, median and max, and exits non-zero when the median exceeds 1.2, when a
// request failed or when either server
// accepted more than one connection (the connection is kept alive). The Google Benchmark cases run when a
// "--benchmark_..." argument asks for them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "RatioRounds.hpp"
#include "support/BenchmarkRuns.hpp"
#include "support/LoopbackServer.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/api/UIDevice.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"

namespace {

using namespace talvaren;
using namespace talvaren::platform::http;

constexpr int requestsPerIteration = 1000;
constexpr double allowedRatio = 1.2;
const char* const replyBody = R"({"uuid":"3f2a","value":72,"timestamp":1700000000,"workout":"w1"})";

using testkit::MeasuredRuns;
MeasuredRuns pipeline;
MeasuredRuns bare;

/// The stored credentials both variants send.
void storeCredentials() {
  auto connector = Connector::sharedInstance();
  connector->saveTokenToKeychain(APIToken("bench-token"));
  connector->saveApiKeyToKeychain(APIKey("bench-key", "bench-public-id"));
}

/// One batch through the pipeline; false when a request failed.
bool pipelineBatch(const std::string& url) {
  auto connector = Connector::sharedInstance();
  bool succeeded = true;
  for (int i = 0; i < requestsPerIteration; ++i) {
    connector->performAPICall(HTTPMethod::GET, url, std::nullopt, JSONEncoding::defaultEncoding(), false, std::nullopt,
                              std::nullopt, [&](std::optional<Error> error, std::optional<ServerReply> reply) {
                                succeeded = succeeded && !error && reply && reply->json() &&
                                            (*reply->json())["value"] == 72;
                                platform::stopMainQueue();
                              });
    platform::runMainQueue();
  }
  return succeeded;
}

/// The headers the pipeline sends, for the bare layer.
HTTPHeaders bareHeaders() {
  return HTTPHeaders{{"Content-Type", "application/json; charset=UTF-8"},
                     {"Accept", "application/json"},
                     {"User-Agent", "version: Unknown build:Unknown;iOS  " + UIDevice::current().modelName()},
                     {"Authorization", "Token bench-token"},
                     {"X-API-Key", "bench-key"},
                     {"X-API-PublicId", "bench-public-id"}};
}

/// One batch straight through the session; false when a request failed.
bool bareBatch(const std::string& url, const std::optional<HTTPHeaders>& headers) {
  auto session = SessionManager::defaultManager();
  bool succeeded = true;
  for (int i = 0; i < requestsPerIteration; ++i) {
    session->request(url, HTTPMethod::GET, std::nullopt, JSONEncoding::defaultEncoding(), headers)
        ->validate()
        .responseJSON([&](const DataResponse<nlohmann::json>& reply) {
          succeeded = succeeded && reply.result.isSuccess() && (*reply.result.value())["value"] == 72;
          platform::stopMainQueue();
        });
    platform::runMainQueue();
  }
  return succeeded;
}

void BM_Pipeline(benchmark::State& state) {
  testkit::LoopbackServer server;
  server.reply("GET", "/heartrate/", 200, replyBody);
  testkit::ConsoleCapture console;
  storeCredentials();
  const std::string url = server.url("/heartrate/");
  bool succeeded = true;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    succeeded = pipelineBatch(url) && succeeded;
    console.clear();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  testkit::reportRequests(state, pipeline, server, requestsPerIteration, seconds, succeeded);
}

void BM_BareLayer(benchmark::State& state) {
  testkit::LoopbackServer server;
  server.reply("GET", "/heartrate/", 200, replyBody);
  const std::string url = server.url("/heartrate/");
  const std::optional<HTTPHeaders> headers = bareHeaders();
  bool succeeded = true;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) succeeded = bareBatch(url, headers) && succeeded;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  testkit::reportRequests(state, bare, server, requestsPerIteration, seconds, succeeded);
}

BENCHMARK(BM_BareLayer)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_Pipeline)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
  // Settings and credentials go to a temporary application home, never the real one.
  testkit::TemporaryAppHome home;
  if (!bench::runBenchmarksIfAsked(argc, argv)) return 2;
  testkit::LoopbackServer pipelineServer;
  testkit::LoopbackServer bareServer;
  pipelineServer.reply("GET", "/heartrate/", 200, replyBody);
  bareServer.reply("GET", "/heartrate/", 200, replyBody);
  const std::string pipelineURL = pipelineServer.url("/heartrate/");
  const std::string bareURL = bareServer.url("/heartrate/");
  const std::optional<HTTPHeaders> headers = bareHeaders();
  testkit::ConsoleCapture console;
  storeCredentials();
  bool succeeded = pipelineBatch(pipelineURL) && bareBatch(bareURL, headers);  // warm-up
  const auto ratios = bench::interleavedRatios(
      bench::roundsFromArguments(argc, argv, 61),
      [&] {
        const double seconds = bench::processSecondsOf([&] { succeeded = pipelineBatch(pipelineURL) && succeeded; });
        console.clear();
        return seconds;
      },
      [&] { return bench::processSecondsOf([&] { succeeded = bareBatch(bareURL, headers) && succeeded; }); });
  const bool withinGoal = bench::reportRatio("connector_pipeline_vs_bare_layer", ratios, allowedRatio);
  std::printf("TCP connections opened: pipeline %zu, bare layer %zu; all requests succeeded: %s\n",
              pipelineServer.connectionsAccepted(), bareServer.connectionsAccepted(), succeeded ? "yes" : "no");
  const bool ok = withinGoal && succeeded && pipelineServer.connectionsAccepted() == 1 &&
                  bareServer.connectionsAccepted() == 1;
  return ok ? 0 : 1;
}
