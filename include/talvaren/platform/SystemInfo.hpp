#pragma once
// The system information the kit reports about the machine it runs on.

#include <vector>

namespace talvaren::platform {

/// The machine field of the system information (`uname`): the whole fixed-size field as the system
/// fills it, an ASCII identifier such as "x86_64" followed by NUL bytes; all NUL bytes when the call
/// fails. Tests can replace it (talvaren/testing/Connector.hpp).
std::vector<char> machineField();

}  // namespace talvaren::platform
