#include "talvaren/platform/Console.hpp"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "platform/Seams.hpp"

namespace talvaren {
namespace {

std::mutex& consoleMutex() {
  static auto& m = *new std::mutex();
  return m;
}

console::detail::LineSink*& activeSink() {
  static console::detail::LineSink* sink = nullptr;
  return sink;
}

}  // namespace

console::detail::LineSink* console::detail::exchangeLineSink(LineSink* sink) {
  std::lock_guard lock(consoleMutex());
  return std::exchange(activeSink(), sink);
}

void console::detail::restoreLineSink(LineSink* current, LineSink* previous) {
  std::lock_guard lock(consoleMutex());
  if (activeSink() == current) activeSink() = previous;
}

void console::print(std::string_view line) {
  std::lock_guard lock(consoleMutex());
  if (auto* sink = activeSink()) {
    sink->append(std::string(line));
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace talvaren
