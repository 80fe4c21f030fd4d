// Cost of the firmware package download with its MD5 proof against plain libcurl, side by side in one process.
//
// Each round downloads one 32 MiB package from a loopback server through each road, in alternating order
// (ours first in even rounds, plain libcurl first in odd ones):
// - ours: Connector::performDownloadCall with the server's checksum: the body goes to a temporary file
//   beside Documents/<file>.zip, its digest is computed as it is written, and the file is renamed into place;
// - plain: one reused libcurl easy handle writing the body to a file with stdio while an MD5 digest (OpenSSL
//   EVP) runs over the same bytes, and the digest compared with the checksum.
// The ratio of a round is ours' time over plain libcurl's. The program prints the ratio's minimum, median and
// maximum over the rounds in one line, and exits non-zero when the median exceeds 1.2 or a download failed.
//
// Usage: bench_firmware_download [rounds] (default 15); run it on two pinned cores (taskset -c 2,3).

#include <curl/curl.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "RatioRounds.hpp"
#include "support/LoopbackServer.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/HexText.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace {

using namespace talvaren;
using namespace talvaren::platform::http;
using Clock = std::chrono::steady_clock;

constexpr std::size_t packageSize = 32 * 1024 * 1024;
constexpr int defaultRounds = 15;
constexpr double goal = 1.2;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

/// One download through the kit; clears `succeeded` when it fails.
double ours(const std::string& url, const std::string& checksum, testkit::ConsoleCapture& console, bool& succeeded) {
  auto connector = Connector::sharedInstance();
  const auto start = Clock::now();
  connector->performDownloadCall(HTTPMethod::GET, url, "fw_bench", checksum, std::nullopt,
                                 URLEncoding::defaultEncoding(), std::nullopt,
                                 [&](std::optional<Error> error, std::optional<std::filesystem::path> file) {
                                   succeeded = succeeded && !error && file;
                                   platform::stopMainQueue();
                                 });
  platform::runMainQueue();
  const double seconds = secondsSince(start);
  console.clear();
  return seconds;
}

/// The plain road: the body to a file and through MD5 as it arrives.
class PlainCurl {
 public:
  PlainCurl(const std::string& url, std::filesystem::path file)
      : easy_(curl_easy_init()), digest_(EVP_MD_CTX_new(), &EVP_MD_CTX_free), file_(std::move(file)) {
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &PlainCurl::write);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  }
  ~PlainCurl() { curl_easy_cleanup(easy_); }
  PlainCurl(const PlainCurl&) = delete;
  PlainCurl& operator=(const PlainCurl&) = delete;

  double download(const std::string& checksum, bool& succeeded) {
    const auto start = Clock::now();
    out_ = std::fopen(file_.c_str(), "wb");
    EVP_DigestInit_ex(digest_.get(), EVP_md5(), nullptr);
    const CURLcode result = out_ ? curl_easy_perform(easy_) : CURLE_WRITE_ERROR;
    const bool closed = out_ && std::fclose(out_) == 0;
    out_ = nullptr;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(digest_.get(), digest, &length);
    const double seconds = secondsSince(start);
    succeeded = succeeded && result == CURLE_OK && closed && platform::hexText({digest, length}) == checksum;
    return seconds;
  }

 private:
  static size_t write(char* data, size_t size, size_t count, void* userdata) {
    auto* self = static_cast<PlainCurl*>(userdata);
    const size_t length = size * count;
    if (std::fwrite(data, 1, length, self->out_) != length) return 0;
    EVP_DigestUpdate(self->digest_.get(), data, length);
    return length;
  }

  CURL* easy_;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest_;
  std::filesystem::path file_;
  std::FILE* out_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const int rounds = bench::roundsFromArguments(argc, argv, defaultRounds);
  // The packages go to a temporary application home, never the real one.
  testkit::TemporaryAppHome home;
  const auto documents = home.path() / "Documents";
  std::filesystem::create_directories(documents);

  std::string package(packageSize, '\0');
  for (std::size_t i = 0; i < packageSize; ++i) package[i] = static_cast<char>((i * 2654435761u) >> 13);
  const std::string checksum = md5(Bytes(package.begin(), package.end()));
  testkit::LoopbackServer server;
  server.setRecording(false);
  server.reply("GET", "/firmware.zip", 200, package, "application/zip");
  const std::string url = server.url("/firmware.zip");
  testkit::ConsoleCapture console;
  PlainCurl plain(url, documents / "plain.zip");

  bool succeeded = true;
  ours(url, checksum, console, succeeded);  // warm-up: connections and page cache in place before timing
  plain.download(checksum, succeeded);
  double oursTotal = 0;
  double plainTotal = 0;
  const auto ratios = bench::interleavedRatios(
      rounds, [&] { const double seconds = ours(url, checksum, console, succeeded); oursTotal += seconds; return seconds; },
      [&] { const double seconds = plain.download(checksum, succeeded); plainTotal += seconds; return seconds; });
  const double mib = static_cast<double>(packageSize) / (1024 * 1024) * rounds;
  std::printf("MiB per second: ours %.1f, plain libcurl %.1f; ratio over the whole run %.3f\n", mib / oursTotal,
              mib / plainTotal, oursTotal / plainTotal);
  const bool met = bench::reportRatio("firmware_download", ratios, goal);
  if (!succeeded) std::printf("a download failed\n");
  return met && succeeded ? 0 : 1;
}
