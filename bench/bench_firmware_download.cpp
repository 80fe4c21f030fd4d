// Throughput of the firmware package download with its MD5 proof.
//
// Each iteration downloads one package from a loopback server through Connector::performDownloadCall with
// the server's checksum: the body goes to a temporary file beside Documents/<file>.zip, is renamed into
// place, read back once and hashed. Packages of 1 MiB and 32 MiB; each reports MB/s (MiB per second).
// Console lines are captured in memory. Unless told otherwise each runs five times, interleaved at random,
// and the best run of each counts. After the runs the program prints the seconds per MiB of both sizes
// and exits non-zero when the 32 MiB package costs more than 2.5 times as much per MiB as the 1 MiB one
// (the cost must grow linearly with the size) or when a download failed.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/BenchmarkRuns.hpp"
#include "support/LoopbackServer.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace {

using namespace talvaren;
using namespace talvaren::platform::http;

constexpr double allowedPerMiBRatio = 2.5;
constexpr std::int64_t mebibyte = 1024 * 1024;

/// The best run of one package size: MiB per second, and whether every download succeeded.
struct Throughput {
  double mibPerSecond = 0;
  bool allSucceeded = true;
};
Throughput small;
Throughput large;

void downloadPackage(benchmark::State& state, Throughput& into) {
  const auto size = static_cast<std::size_t>(state.range(0) * mebibyte);
  std::string package(size, '\0');
  for (std::size_t i = 0; i < size; ++i) package[i] = static_cast<char>((i * 2654435761u) >> 13);
  const std::string checksum = md5(Bytes(package.begin(), package.end()));

  testkit::LoopbackServer server;
  server.reply("GET", "/firmware.zip", 200, package, "application/zip");
  testkit::ConsoleCapture console;
  auto connector = Connector::sharedInstance();
  const std::string url = server.url("/firmware.zip");
  bool succeeded = true;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    connector->performDownloadCall(HTTPMethod::GET, url, "fw_bench", checksum, std::nullopt,
                                   URLEncoding::defaultEncoding(), std::nullopt,
                                   [&](std::optional<Error> error, std::optional<std::filesystem::path> file) {
                                     succeeded = succeeded && !error && file;
                                     platform::stopMainQueue();
                                   });
    platform::runMainQueue();
    console.clear();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double mib = static_cast<double>(state.iterations()) * static_cast<double>(state.range(0));
  const double rate = seconds > 0 ? mib / seconds : 0;
  into.mibPerSecond = std::max(into.mibPerSecond, rate);
  into.allSucceeded = into.allSucceeded && succeeded;
  state.counters["MB/s"] = rate;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) * mebibyte);
  if (!succeeded) state.SkipWithError("a download failed");
}

void BM_Download1MiB(benchmark::State& state) { downloadPackage(state, small); }
void BM_Download32MiB(benchmark::State& state) { downloadPackage(state, large); }

BENCHMARK(BM_Download1MiB)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_Download32MiB)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
  // The packages go to a temporary application home, never the real one.
  testkit::TemporaryAppHome home;
  std::filesystem::create_directories(home.path() / "Documents");
  if (!testkit::runBestOfRepetitions(argc, argv)) return 1;
  if (small.mibPerSecond <= 0 || large.mibPerSecond <= 0) return 0;  // filtered run
  const double ratio = small.mibPerSecond / large.mibPerSecond;
  std::printf("best MB/s: 1 MiB package %.1f, 32 MiB package %.1f\n", small.mibPerSecond, large.mibPerSecond);
  std::printf("seconds per MiB: 1 MiB package %.5f, 32 MiB package %.5f, ratio %.2f (limit %.1f)\n",
              1 / small.mibPerSecond, 1 / large.mibPerSecond, ratio, allowedPerMiBRatio);
  const bool ok = ratio <= allowedPerMiBRatio && small.allSucceeded && large.allSucceeded;
  std::printf("%s\n", ok ? "download benchmark: cost grows linearly" : "download benchmark: OUT OF LIMITS");
  return ok ? 0 : 1;
}
