#pragma once
// Shared by the request benchmarks: the best of several runs of sequential requests to a loopback server.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "support/LoopbackServer.hpp"

namespace talvaren::testkit {

/// The best run of one benchmark.
struct MeasuredRuns {
  double requestsPerSecond = 0;
  /// The most connections any run opened.
  std::size_t connections = 0;
  bool allSucceeded = true;
};

/// Records one run of `requestsPerIteration` requests per iteration that took `seconds`, as counters of the
/// run and into `into`.
inline void reportRequests(benchmark::State& state, MeasuredRuns& into, const LoopbackServer& server,
                           int requestsPerIteration, double seconds, bool succeeded) {
  const double requests = static_cast<double>(state.iterations()) * requestsPerIteration;
  const double rate = seconds > 0 ? requests / seconds : 0;
  into.requestsPerSecond = std::max(into.requestsPerSecond, rate);
  into.connections = std::max(into.connections, server.connectionsAccepted());
  into.allSucceeded = into.allSucceeded && succeeded;
  state.counters["requests_per_second"] = rate;
  state.counters["tcp_connections"] = static_cast<double>(server.connectionsAccepted());
  if (!succeeded) state.SkipWithError("a request failed");
}

/// Runs the registered benchmarks, five times each interleaved at random unless the command line asks for
/// repetitions itself (other work on the machine only ever slows a run down, so the best run counts).
/// False when the command line holds arguments Google Benchmark does not know.
inline bool runBestOfRepetitions(int argc, char** argv) {
  std::vector<char*> arguments(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=5";
  std::string interleaving = "--benchmark_enable_random_interleaving=true";
  bool chosen = false;
  for (int i = 1; i < argc; ++i) chosen = chosen || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
  if (!chosen) {
    arguments.push_back(repetitions.data());
    arguments.push_back(interleaving.data());
  }
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return false;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return true;
}

}  // namespace talvaren::testkit
