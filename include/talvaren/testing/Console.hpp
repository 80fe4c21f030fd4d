#pragma once
// Test-only: capture the kit's console lines instead of printing them.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace talvaren::testkit {

/// While alive, every console::print line is recorded here instead of reaching standard output or the
/// host's sink: it installs itself as console::setSink does and puts the sink it replaced back when it
/// goes. Captures nest: the innermost one receives the lines.
class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::vector<std::string> lines() const;
  /// True when some captured line equals `line` exactly.
  bool contains(const std::string& line) const;
  void clear();

  void append(std::string line);

 private:
  struct Installed;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::unique_ptr<Installed> installed_;
};

}  // namespace talvaren::testkit
