#include "talvaren/platform/SystemInfo.hpp"

#include <sys/utsname.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Seams.hpp"

namespace talvaren::platform {

namespace {

std::mutex& overrideMutex() {
  static auto& mutex = *new std::mutex();
  return mutex;
}

std::optional<std::vector<char>>& machineFieldOverride() {
  static auto& field = *new std::optional<std::vector<char>>();
  return field;
}

}  // namespace

std::vector<char> machineField() {
  {
    std::lock_guard lock(overrideMutex());
    if (machineFieldOverride()) return *machineFieldOverride();
  }
  // The machine does not change while the process runs: asked once (every request's User-Agent names it).
  static const auto& field = *new std::vector<char>([] {
    struct utsname info;
    std::memset(&info, 0, sizeof info);
    // A failed call leaves the record zeroed: the empty identifier.
    (void)uname(&info);
    return std::vector<char>(std::begin(info.machine), std::end(info.machine));
  }());
  return field;
}

void detail::setMachineField(std::optional<std::vector<char>> field) {
  std::lock_guard lock(overrideMutex());
  machineFieldOverride() = std::move(field);
}

}  // namespace talvaren::platform
