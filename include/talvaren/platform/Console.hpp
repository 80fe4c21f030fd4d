#pragma once
// Every log line of the kit goes through console::print, one line per call, to standard output.

#include <string_view>

namespace talvaren::console {

/// Writes `line` and a line feed to standard output (or to the capture installed by a test).
void print(std::string_view line);

}  // namespace talvaren::console
