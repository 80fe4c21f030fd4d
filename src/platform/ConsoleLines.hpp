#pragma once
// Internal interface of platform (for api): console lines that belong together, such as the request log
// of one request, delivered as one block.

#include <span>
#include <string_view>

namespace talvaren::console::detail {

/// Prints `lines` in order as console::print prints each, one sink call per line, with no line of another
/// thread between them.
void printLines(std::span<const std::string_view> lines);

}  // namespace talvaren::console::detail
