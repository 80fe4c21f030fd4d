#pragma once
// Test seams of platform: the few places where the testkit library (src/testkit/) swaps a shared piece of the kit for
// its own. Each seam is empty in a host, which then gets the real piece.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Console.hpp"

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

/// The installed sink, shared so that a swap can tell whether it is still the one installed.
using SinkHandle = std::shared_ptr<const Sink>;

/// Installs `sink` (null: standard output) as console::setSink does and answers the one it replaces.
SinkHandle exchangeSink(SinkHandle sink);
/// Puts `previous` back when `current` is still the installed sink.
void restoreSink(const SinkHandle& current, SinkHandle previous);

}  // namespace talvaren::console::detail
