#pragma once
// Test seams of platform: the few places where the testkit library (src/testkit/) swaps a shared piece of the kit for
// its own. Each seam is empty in a host, which then gets the real piece.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvaren::platform {
class DispatchExecutor;
class FileManager;
class UserDefaults;
}  // namespace talvaren::platform

namespace talvaren::platform::detail {

/// Installs `executor` as the current one (empty: the default real-thread one); answers the one replaced.
std::shared_ptr<DispatchExecutor> exchangeDispatchExecutor(std::shared_ptr<DispatchExecutor> executor);

/// Date::now() reads `source` instead of the system clock; an empty function puts the system clock back.
void setClockSource(std::function<double()> source);

/// FileManager::defaultManager() answers `manager`; null goes back to the real one.
void setDefaultFileManager(std::shared_ptr<FileManager> manager);

/// Makes UserDefaults::standard() return `defaults` (null: the one of the current home) until reset.
void replaceStandardUserDefaults(std::shared_ptr<UserDefaults> defaults);
/// Drops the standard user defaults; the next standard() reads the current home's file again.
void resetStandardUserDefaults();

/// machineField() answers `field`; none goes back to the system's.
void setMachineField(std::optional<std::vector<char>> field);

}  // namespace talvaren::platform::detail

namespace talvaren::console::detail {

/// Where console lines go instead of standard output.
class LineSink {
 public:
  virtual void append(std::string line) = 0;

 protected:
  ~LineSink() = default;
};

/// Installs `sink` (null: standard output) and answers the one it replaces, under the console's lock.
LineSink* exchangeLineSink(LineSink* sink);
/// Puts `previous` back when `current` is still the installed sink.
void restoreLineSink(LineSink* current, LineSink* previous);

}  // namespace talvaren::console::detail
