// Keep-alive throughput of the HTTP layer against a plain libcurl easy-handle loop.
//
// Each iteration sends 1,000 sequential small JSON GETs to a loopback server and decodes every reply.
// "Ours" goes through SessionManager (request built from the URL text, validation, JSON decoding, delivery
// on the main queue, which this thread runs and on which the session reads its replies while it waits);
// "PlainCurl" reuses one easy handle on this thread. Both report requests per second and
// the TCP connections the server accepted. Unless told otherwise, each runs five times, interleaved at
// random, and the best run of each counts (other work on the machine only ever slows a run down).
// After the runs the program prints the time ratio ours / plain and exits non-zero when it exceeds 1.3
// or when a run opened more than one connection.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/BenchmarkRuns.hpp"
#include "support/LoopbackServer.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/http/SessionManager.hpp"

namespace {

using namespace talvaren;
using namespace talvaren::platform::http;

constexpr int requestsPerIteration = 1000;
constexpr double allowedRatio = 1.3;
const char* const replyBody = R"({"uuid":"3f2a","bmp":72,"timestamp":1700000000,"device":"kelo"})";

using testkit::MeasuredRuns;
MeasuredRuns ours;
MeasuredRuns plain;

void BM_Ours(benchmark::State& state) {
  testkit::LoopbackServer server;
  server.reply("GET", "/heartrate", 200, replyBody);
  auto configuration = SessionConfiguration::defaultConfiguration();
  configuration.httpCookieStorage = nullptr;
  SessionManager session(configuration);
  const std::string url = server.url("/heartrate");
  const std::optional<HTTPHeaders> headers = HTTPHeaders{{"Accept", "application/json"}};
  bool succeeded = true;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int i = 0; i < requestsPerIteration; ++i) {
      session.request(url, HTTPMethod::GET, std::nullopt, URLEncoding::defaultEncoding(), headers)
          ->validate()
          .responseJSON([&](const DataResponse<nlohmann::json>& reply) {
            succeeded = succeeded && reply.result.isSuccess() && (*reply.result.value())["bmp"] == 72;
            platform::stopMainQueue();
          });
      platform::runMainQueue();
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  testkit::reportRequests(state, ours, server, requestsPerIteration, seconds, succeeded);
}

size_t collect(char* data, size_t size, size_t count, void* userdata) {
  static_cast<std::string*>(userdata)->append(data, size * count);
  return size * count;
}

void BM_PlainCurl(benchmark::State& state) {
  testkit::LoopbackServer server;
  server.reply("GET", "/heartrate", 200, replyBody);
  const std::string url = server.url("/heartrate");
  CURL* easy = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
  std::string body;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  bool succeeded = true;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int i = 0; i < requestsPerIteration; ++i) {
      body.clear();
      long status = 0;
      const CURLcode result = curl_easy_perform(easy);
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
      auto value = nlohmann::json::parse(body, nullptr, false);
      succeeded = succeeded && result == CURLE_OK && status == 200 && value.is_object() && value["bmp"] == 72;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
  testkit::reportRequests(state, plain, server, requestsPerIteration, seconds, succeeded);
}

BENCHMARK(BM_PlainCurl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  if (!testkit::runBestOfRepetitions(argc, argv)) return 1;
  if (ours.requestsPerSecond <= 0 || plain.requestsPerSecond <= 0) return 0;  // filtered run
  const double ratio = plain.requestsPerSecond / ours.requestsPerSecond;
  std::printf("best requests per second: ours %.0f, plain libcurl %.0f\n", ours.requestsPerSecond,
              plain.requestsPerSecond);
  std::printf("time ratio ours / plain: %.3f (limit %.1f)\n", ratio, allowedRatio);
  std::printf("TCP connections opened per run: ours %zu, plain libcurl %zu\n", ours.connections, plain.connections);
  const bool ok = ratio <= allowedRatio && ours.connections == 1 && plain.connections == 1 && ours.allSucceeded &&
                  plain.allSucceeded;
  std::printf("%s\n", ok ? "keep-alive benchmark: within limits" : "keep-alive benchmark: OUT OF LIMITS");
  return ok ? 0 : 1;
}
