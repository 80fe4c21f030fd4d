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
//
// The programs of roads whose cost must grow linearly also take "--once=<case>:<size>": they then run that
// case once at that size, untimed, and once more with callgrind counting (under valgrind, started with
// "--collect-atstart=no"; elsewhere the marks do nothing). bench/growth compares the instructions per point
// of two sizes so counted: building the input and the first run's one-time work stay out of the count.

#include <benchmark/benchmark.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define TALVAREN_BENCH_TOGGLE_COUNTING() CALLGRIND_TOGGLE_COLLECT
#else
#define TALVAREN_BENCH_TOGGLE_COUNTING() ((void)0)
#endif

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
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

/// Has the allocator keep what the program frees, whatever its size. Without this, every run of a large
/// size (tens or hundreds of MB, above the allocator's own limit for keeping blocks) would get freshly
/// mapped pages and time the kernel's first-touch faults, while a smaller size reuses warm heap memory.
inline void keepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
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

/// One case at one size, asked for with "--once=<case>:<size>".
struct Once {
  std::string name;
  std::int64_t size = 0;
};

/// The case asked for with "--once=<case>:<size>", if any (a size that is no positive number asks for none).
inline std::optional<Once> onceFromArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (!argument.starts_with("--once=")) continue;
    const auto colon = argument.rfind(':');
    if (colon == std::string_view::npos || colon < 7) return std::nullopt;
    const long long size = std::atoll(argv[i] + colon + 1);
    if (size <= 0) return std::nullopt;
    return Once{std::string(argument.substr(7, colon - 7)), size};
  }
  return std::nullopt;
}

/// Runs `work` once to warm it up, then once more with callgrind counting; returns what the second run
/// returned (whether it did what it should).
template <class Work>
bool countedOnce(Work&& work) {
  if (!work()) return false;
  TALVAREN_BENCH_TOGGLE_COUNTING();
  const bool done = work();
  TALVAREN_BENCH_TOGGLE_COUNTING();
  return done;
}

/// Runs the registered Google Benchmark cases when a "--benchmark_..." argument is given; false when an
/// argument is neither that nor "--rounds=N" nor "--once=<case>:<size>".
inline bool runBenchmarksIfAsked(int argc, char** argv) {
  std::vector<char*> arguments{argv[0]};
  bool asked = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument.starts_with("--rounds=") || argument.starts_with("--once=")) continue;
    if (!argument.starts_with("--benchmark")) {
      std::fprintf(stderr, "unknown argument: %s (use --rounds=N, --once=<case>:<size> or --benchmark_...)\n", argv[i]);
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

/// `interleavedRatios` after one uncounted run of each side: the first round would otherwise find one
/// side cold (its memory not yet taken from the kernel, its code and data not in the caches) and the
/// other warm.
template <class Road, class Baseline>
Ratios warmedInterleavedRatios(int rounds, Road&& road, Baseline&& baseline) {
  baseline();
  road();
  return interleavedRatios(rounds, road, baseline);
}

/// Prints the line of `ratios` and tells whether the median meets `goal`.
inline bool reportRatio(const std::string& name, const Ratios& ratios, double goal) {
  std::printf("ratio %s: %.3f %.3f %.3f (goal <= %.2f)\n", name.c_str(), ratios.min(), ratios.median(), ratios.max(),
              goal);
  std::fflush(stdout);
  return !ratios.values.empty() && ratios.median() <= goal;
}

}  // namespace talvaren::bench
