// Cost of the firmware package download with its MD5 proof against plain libcurl, side by side in one process.
//
// Each round downloads one 32 MiB package from a loopback server through each road, in alternating order
// (ours first in even rounds, plain libcurl first in odd ones):
// - ours: Connector::performDownloadCall with the server's checksum: the body goes to a temporary file
//   beside Documents/<file>.zip, its digest is computed as it is written, and the file is renamed into place;
// - plain: one reused libcurl easy handle writing the body through a 256 KiB buffer to a temporary file
//   beside the target while an MD5 digest (OpenSSL EVP) runs over the same bytes, then the same durability
//   as ours: fsync of the file, rename over the previous one, fsync of the folder; and the digest compared
//   with the checksum.
// The ratio of a round is ours' time over plain libcurl's. The program prints the ratio's minimum, median and
// maximum over the rounds in one line, and exits non-zero when the median exceeds 1.2 or a download failed.
//
// Usage: bench_firmware_download [rounds] (default 15); run it on two pinned cores (taskset -c 2,3).

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
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

/// Writes all of `data` to `fd`; false on an error.
bool writeAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

/// The plain road: the body through a buffer to a temporary file and through MD5 as it arrives, then made
/// durable and renamed over the previous file as ours does.
class PlainCurl {
 public:
  PlainCurl(const std::string& url, std::filesystem::path file)
      : easy_(curl_easy_init()),
        digest_(EVP_MD_CTX_new(), &EVP_MD_CTX_free),
        file_(std::move(file)),
        temporary_(file_.string() + ".partial") {
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &PlainCurl::write);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    buffer_.reserve(bufferSize);
  }
  ~PlainCurl() { curl_easy_cleanup(easy_); }
  PlainCurl(const PlainCurl&) = delete;
  PlainCurl& operator=(const PlainCurl&) = delete;

  double download(const std::string& checksum, bool& succeeded) {
    const auto start = Clock::now();
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    buffer_.clear();
    EVP_DigestInit_ex(digest_.get(), EVP_md5(), nullptr);
    const CURLcode result = fd_ >= 0 ? curl_easy_perform(easy_) : CURLE_WRITE_ERROR;
    bool durable = fd_ >= 0 && flush() && ::fsync(fd_) == 0;
    durable = fd_ >= 0 && ::close(fd_) == 0 && durable;
    fd_ = -1;
    durable = durable && ::rename(temporary_.c_str(), file_.c_str()) == 0;
    const int folder = ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    durable = folder >= 0 && ::fsync(folder) == 0 && durable;
    if (folder >= 0) ::close(folder);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(digest_.get(), digest, &length);
    const double seconds = secondsSince(start);
    succeeded = succeeded && result == CURLE_OK && durable && platform::hexText({digest, length}) == checksum;
    return seconds;
  }

 private:
  static constexpr std::size_t bufferSize = 256 * 1024;

  bool flush() {
    const bool written = writeAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return written;
  }

  static size_t write(char* data, size_t size, size_t count, void* userdata) {
    auto* self = static_cast<PlainCurl*>(userdata);
    const size_t length = size * count;
    if (self->buffer_.size() + length > bufferSize && !self->flush()) return 0;
    if (length >= bufferSize) {
      if (!writeAll(self->fd_, data, length)) return 0;
    } else {
      self->buffer_.insert(self->buffer_.end(), data, data + length);
    }
    EVP_DigestUpdate(self->digest_.get(), data, length);
    return length;
  }

  CURL* easy_;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest_;
  std::filesystem::path file_;
  std::filesystem::path temporary_;
  std::vector<char> buffer_;
  int fd_ = -1;
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
