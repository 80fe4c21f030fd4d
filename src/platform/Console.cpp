#include "talvaren/platform/Console.hpp"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/ConsoleLines.hpp"
#include "platform/Seams.hpp"

namespace talvaren {
namespace {

/// Held while a line is delivered and while the sink is swapped, so that a replaced sink is never
/// running once the swap is done.
std::mutex& consoleMutex() {
  static auto& m = *new std::mutex();
  return m;
}

console::detail::SinkHandle& installedSink() {
  static auto& sink = *new console::detail::SinkHandle();
  return sink;
}

/// True on a thread while it runs the sink (and so holds the console's lock).
thread_local bool deliveringLine = false;

void writeToStandardOutput(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

/// Runs `change` on the installed sink under the console's lock (already held when called from the sink).
template <typename Change>
auto withInstalledSink(Change&& change) {
  if (deliveringLine) return change(installedSink());
  std::lock_guard lock(consoleMutex());
  return change(installedSink());
}

}  // namespace

console::detail::SinkHandle console::detail::exchangeSink(SinkHandle sink) {
  if (sink && !*sink) sink.reset();
  return withInstalledSink([&](SinkHandle& installed) { return std::exchange(installed, std::move(sink)); });
}

void console::detail::restoreSink(const SinkHandle& current, SinkHandle previous) {
  withInstalledSink([&](SinkHandle& installed) {
    if (installed == current) installed = std::move(previous);
  });
}

void console::setSink(Sink sink) {
  detail::exchangeSink(sink ? std::make_shared<const Sink>(std::move(sink)) : nullptr);
}

void console::print(std::string_view line) { detail::printLines({&line, 1}); }

void console::detail::printLines(std::span<const std::string_view> lines) {
  if (deliveringLine) {
    for (const auto line : lines) writeToStandardOutput(line);
    return;
  }
  std::lock_guard lock(consoleMutex());
  // A copy, taken again whenever the installed sink changed: the sink may replace itself while it runs,
  // and the one it replaced gets no further line.
  SinkHandle sink;
  deliveringLine = true;
  for (const auto line : lines) {
    if (sink != installedSink()) sink = installedSink();
    if (!sink) {
      writeToStandardOutput(line);
      continue;
    }
    try {
      (*sink)(line);
    } catch (...) {
      // The line is lost; the kit's own work goes on.
    }
  }
  deliveringLine = false;
}

}  // namespace talvaren
