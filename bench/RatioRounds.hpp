#pragma once
// The ratio of a road against its baseline, measured in one process over interleaved rounds.
//
// Each round measures the road and its baseline once each, the order alternating from round to round, and
// takes the quotient of the two figures; other work on the machine drifts both halves of a round alike. The
// ratios of all rounds are reported as one line, "ratio <name>: <min> <median> <max> (goal <= <goal>)",
// and the median is held against the goal.
//
// "--rounds=N" on the command line sets the number of rounds (default: each program's own). The Google
// Benchmark cases a program also registers run only when a "--benchmark_..." argument asks for them.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talvaren::bench {

/// Seconds taken by one call of `work`.
template <class Work>
double secondsOf(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// CPU seconds `clock` (CLOCK_THREAD_CPUTIME_ID or CLOCK_PROCESS_CPUTIME_ID) counts during one call of
/// `work`: user and system time, page faults included.
template <class Work>
double cpuSecondsOf(clockid_t clock, Work&& work) {
  const auto now = [clock] {
    timespec time{};
    clock_gettime(clock, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
  };
  const double start = now();
  work();
  return now() - start;
}

/// The calling thread's CPU seconds in `work`. For work that runs on that thread alone: on a shared
/// machine the time other processes hold the core does not count, as it would in elapsed time.
template <class Work>
double threadSecondsOf(Work&& work) {
  return cpuSecondsOf(CLOCK_THREAD_CPUTIME_ID, std::forward<Work>(work));
}

/// The whole process's CPU seconds in `work` (every thread: a loopback server's too). For a request and
/// its answer, which run one after the other on a client and a server thread, this is the elapsed time
/// less the waits a shared machine adds.
template <class Work>
double processSecondsOf(Work&& work) {
  return cpuSecondsOf(CLOCK_PROCESS_CPUTIME_ID, std::forward<Work>(work));
}

/// The rounds asked for with "--rounds=N", else `fallback`.
inline int roundsFromArguments(int argc, char** argv, int fallback) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument.starts_with("--rounds=")) {
      const int rounds = std::atoi(argv[i] + 9);
      if (rounds > 0) return rounds;
    }
  }
  return fallback;
}

/// Runs the registered Google Benchmark cases when a "--benchmark_..." argument is given; false when an
/// argument is neither that nor "--rounds=N".
inline bool runBenchmarksIfAsked(int argc, char** argv) {
  std::vector<char*> arguments{argv[0]};
  bool asked = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument.starts_with("--rounds=")) continue;
    if (!argument.starts_with("--benchmark")) {
      std::fprintf(stderr, "unknown argument: %s (use --rounds=N or --benchmark_...)\n", argv[i]);
      return false;
    }
    asked = true;
    arguments.push_back(argv[i]);
  }
  if (!asked) return true;
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return true;
}

/// The ratios of one road over its rounds.
struct Ratios {
  std::vector<double> values;

  double min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
  double max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
  double median() const {
    if (values.empty()) return 0;
    auto sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const auto middle = sorted.size() / 2;
    return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
  }
};

/// `rounds` rounds of `road()` against `baseline()`, each giving its own figure (seconds, bytes, a cost per
/// item...); the baseline goes first in even rounds and second in odd ones.
template <class Road, class Baseline>
Ratios interleavedRatios(int rounds, Road&& road, Baseline&& baseline) {
  Ratios ratios;
  for (int round = 0; round < rounds; ++round) {
    double roadFigure = 0;
    double baseFigure = 0;
    if (round % 2 == 0) {
      baseFigure = baseline();
      roadFigure = road();
    } else {
      roadFigure = road();
      baseFigure = baseline();
    }
    if (baseFigure > 0) ratios.values.push_back(roadFigure / baseFigure);
  }
  return ratios;
}

/// Prints the line of `ratios` and tells whether the median meets `goal`.
inline bool reportRatio(const std::string& name, const Ratios& ratios, double goal) {
  std::printf("ratio %s: %.3f %.3f %.3f (goal <= %.2f)\n", name.c_str(), ratios.min(), ratios.median(), ratios.max(),
              goal);
  std::fflush(stdout);
  return !ratios.values.empty() && ratios.median() <= goal;
}

}  // namespace talvaren::bench
