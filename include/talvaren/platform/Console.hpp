#pragma once
// Every log line of the kit goes through console::print, one line per call. By default each line goes to
// standard output with a line feed; a host routes them elsewhere (its own log, nowhere) with setSink:
//
//   talvaren::console::setSink([](std::string_view line) { myLog.debug(line); });
//   talvaren::console::setSink([](std::string_view) {});   // silence the kit
//   talvaren::console::setSink({});                         // back to standard output
//
// Lines come from several of the kit's queues. The sink is called for one line at a time, never from two
// threads at once, in the order the lines were printed; once setSink returns, the sink it replaced is no
// longer running and is never called again. A line the sink itself prints through the console goes to
// standard output; a sink that throws loses that line. The kit may print while it holds locks of its own:
// keep the sink short and do not call other parts of the kit from it.

#include <functional>
#include <string_view>

namespace talvaren::console {

/// Receives one console line, without its line feed.
using Sink = std::function<void(std::string_view line)>;

/// Writes `line` to the installed sink, or with a line feed to standard output when none is installed.
void print(std::string_view line);

/// Sends every later console line to `sink`; an empty sink goes back to standard output. Thread-safe;
/// may be called from within the sink.
void setSink(Sink sink);

}  // namespace talvaren::console
