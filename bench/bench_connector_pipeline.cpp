// Overhead of the server client's request pipeline over the bare HTTP layer.
//
// Each iteration sends 1,000 sequential small JSON GETs to a loopback server. "Pipeline" goes through
// Connector::performAPICall with a stored token and API key (version texts, model name, CSRF token and
// credentials read for every request, the request log, the reply handler's cookie capture, console lines
// and mapping); "BareLayer" sends the same request with the same headers straight through the session.
// Console lines are captured in memory, so the terminal's speed does not count. Both report requests per
// second and the TCP connections the server accepted. Unless told otherwise each runs five times,
// interleaved at random, and the best run of each counts. After the runs the program prints the time ratio
// pipeline / bare and exits non-zero when it exceeds 1.2 or when a run opened more than one connection.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

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

void BM_Pipeline(benchmark::State& state) {
  testkit::LoopbackServer server;
  server.reply("GET", "/heartrate/", 200, replyBody);
  testkit::ConsoleCapture console;
  storeCredentials();
  auto connector = Connector::sharedInstance();
  const std::string url = server.url("/heartrate/");
  bool succeeded = true;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int i = 0; i < requestsPerIteration; ++i) {
      connector->performAPICall(
          HTTPMethod::GET, url, std::nullopt, JSONEncoding::defaultEncoding(), false, std::nullopt, std::nullopt,
          [&](std::optional<Error> error, std::optional<ServerReply> reply) {
            succeeded = succeeded && !error && reply && reply->json() && (*reply->json())["value"] == 72;
            platform::stopMainQueue();
          });
      platform::runMainQueue();
    }
    console.clear();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  testkit::reportRequests(state, pipeline, server, requestsPerIteration, seconds, succeeded);
}

void BM_BareLayer(benchmark::State& state) {
  testkit::LoopbackServer server;
  server.reply("GET", "/heartrate/", 200, replyBody);
  const std::string url = server.url("/heartrate/");
  const std::optional<HTTPHeaders> headers =
      HTTPHeaders{{"Content-Type", "application/json; charset=UTF-8"},
                  {"Accept", "application/json"},
                  {"User-Agent", "version: Unknown build:Unknown;iOS  " + UIDevice::current().modelName()},
                  {"Authorization", "Token bench-token"},
                  {"X-API-Key", "bench-key"},
                  {"X-API-PublicId", "bench-public-id"}};
  auto session = SessionManager::defaultManager();
  bool succeeded = true;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int i = 0; i < requestsPerIteration; ++i) {
      session->request(url, HTTPMethod::GET, std::nullopt, JSONEncoding::defaultEncoding(), headers)
          ->validate()
          .responseJSON([&](const DataResponse<nlohmann::json>& reply) {
            succeeded = succeeded && reply.result.isSuccess() && (*reply.result.value())["value"] == 72;
            platform::stopMainQueue();
          });
      platform::runMainQueue();
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  testkit::reportRequests(state, bare, server, requestsPerIteration, seconds, succeeded);
}

BENCHMARK(BM_BareLayer)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_Pipeline)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
  // Settings and credentials go to a temporary application home, never the real one.
  testkit::TemporaryAppHome home;
  if (!testkit::runBestOfRepetitions(argc, argv)) return 1;
  if (pipeline.requestsPerSecond <= 0 || bare.requestsPerSecond <= 0) return 0;  // filtered run
  const double ratio = bare.requestsPerSecond / pipeline.requestsPerSecond;
  std::printf("best requests per second: pipeline %.0f, bare layer %.0f\n", pipeline.requestsPerSecond,
              bare.requestsPerSecond);
  std::printf("time ratio pipeline / bare: %.3f (aim under %.1f)\n", ratio, allowedRatio);
  std::printf("TCP connections opened per run: pipeline %zu, bare layer %zu\n", pipeline.connections, bare.connections);
  const bool ok = ratio <= allowedRatio && pipeline.connections == 1 && bare.connections == 1 &&
                  pipeline.allSucceeded && bare.allSucceeded;
  std::printf("%s\n", ok ? "pipeline benchmark: within limits" : "pipeline benchmark: OUT OF LIMITS");
  return ok ? 0 : 1;
}
