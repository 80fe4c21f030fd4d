// Keep-alive cost of the HTTP layer against a plain libcurl easy-handle loop, side by side in one process.
//
// Each round sends a batch of 500 sequential small JSON GETs through each road, in alternating order
// (ours first in even rounds, plain libcurl first in odd ones), each to a loopback server of its own:
// - ours: SessionManager (request built from the URL text, validation, JSON decoding, delivery on the main
//   queue, which this thread runs and on which the session reads its replies while it waits);
// - plain: one reused libcurl easy handle on this thread, decoding every reply with nlohmann-json.
// The ratio of a round is ours' time over plain libcurl's. The program prints the ratio's minimum, median
// and maximum over the rounds in one line, and exits non-zero when the median exceeds 1.3, when a request
// failed, or when either road opened more than one TCP connection.
//
// Usage: bench_http_keepalive [rounds] (default 30); run it on two pinned cores (taskset -c 2,3).

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "RatioRounds.hpp"
#include "support/LoopbackServer.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/http/SessionManager.hpp"

namespace {

using namespace talvaren;
using namespace talvaren::platform::http;
using Clock = std::chrono::steady_clock;

constexpr int requestsPerBatch = 500;
constexpr int defaultRounds = 30;
constexpr double goal = 1.3;
const char* const replyBody = R"({"uuid":"3f2a","bmp":72,"timestamp":1700000000,"device":"kelo"})";

class Ours {
 public:
  Ours() : session_(configuration()) {
    server_.setRecording(false);
    server_.reply("GET", "/heartrate", 200, replyBody);
    url_ = server_.url("/heartrate");
  }

  /// Seconds for one batch; clears `succeeded` on any failed request.
  double batch(bool& succeeded) {
    const std::optional<HTTPHeaders> headers = HTTPHeaders{{"Accept", "application/json"}};
    const auto start = Clock::now();
    for (int i = 0; i < requestsPerBatch; ++i) {
      session_.request(url_, HTTPMethod::GET, std::nullopt, URLEncoding::defaultEncoding(), headers)
          ->validate()
          .responseJSON([&](const DataResponse<nlohmann::json>& reply) {
            succeeded = succeeded && reply.result.isSuccess() && (*reply.result.value())["bmp"] == 72;
            platform::stopMainQueue();
          });
      platform::runMainQueue();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
  }
  std::size_t connections() const { return server_.connectionsAccepted(); }

 private:
  static SessionConfiguration configuration() {
    auto configuration = SessionConfiguration::defaultConfiguration();
    configuration.httpCookieStorage = nullptr;
    return configuration;
  }

  testkit::LoopbackServer server_;
  SessionManager session_;
  std::string url_;
};

size_t collect(char* data, size_t size, size_t count, void* userdata) {
  static_cast<std::string*>(userdata)->append(data, size * count);
  return size * count;
}

class PlainCurl {
 public:
  PlainCurl() : easy_(curl_easy_init()), headers_(curl_slist_append(nullptr, "Accept: application/json")) {
    server_.setRecording(false);
    server_.reply("GET", "/heartrate", 200, replyBody);
    url_ = server_.url("/heartrate");
    curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &body_);
  }
  ~PlainCurl() {
    curl_slist_free_all(headers_);
    curl_easy_cleanup(easy_);
  }
  PlainCurl(const PlainCurl&) = delete;
  PlainCurl& operator=(const PlainCurl&) = delete;

  double batch(bool& succeeded) {
    const auto start = Clock::now();
    for (int i = 0; i < requestsPerBatch; ++i) {
      body_.clear();
      long status = 0;
      const CURLcode result = curl_easy_perform(easy_);
      curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
      auto value = nlohmann::json::parse(body_, nullptr, false);
      succeeded = succeeded && result == CURLE_OK && status == 200 && value.is_object() && value["bmp"] == 72;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
  }
  std::size_t connections() const { return server_.connectionsAccepted(); }

 private:
  testkit::LoopbackServer server_;
  CURL* easy_;
  curl_slist* headers_;
  std::string url_;
  std::string body_;
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const int rounds = bench::roundsFromArguments(argc, argv, defaultRounds);
  Ours ours;
  PlainCurl plain;
  bool succeeded = true;
  // One warm-up batch each: connections, handles and allocator pools are in place before timing.
  ours.batch(succeeded);
  plain.batch(succeeded);

  double oursTotal = 0;
  double plainTotal = 0;
  const auto ratios = bench::interleavedRatios(
      rounds, [&] { const double seconds = ours.batch(succeeded); oursTotal += seconds; return seconds; },
      [&] { const double seconds = plain.batch(succeeded); plainTotal += seconds; return seconds; });
  std::printf("requests per second: ours %.0f, plain libcurl %.0f; ratio over the whole run %.3f\n",
              rounds * requestsPerBatch / oursTotal, rounds * requestsPerBatch / plainTotal, oursTotal / plainTotal);
  std::printf("TCP connections: ours %zu, plain libcurl %zu\n", ours.connections(), plain.connections());
  const bool met = bench::reportRatio("http_keepalive", ratios, goal);
  const bool ok = met && succeeded && ours.connections() == 1 && plain.connections() == 1;
  if (!succeeded) std::printf("a request failed\n");
  return ok ? 0 : 1;
}
