#pragma once
// Internal: room for the records a conversion is about to add, made before it adds them.

#include <algorithm>
#include <cstddef>

namespace talvaren::detail {

/// Makes room in `list` (a vector) or `index` (an unordered map) for `more` elements beyond those held, at
/// most doubling when it must grow: converting many small replies one after another stays linear.
template <class Container>
void roomForMore(Container& container, std::size_t more) {
  const std::size_t wanted = container.size() + more;
  if constexpr (requires { container.capacity(); }) {
    if (wanted > container.capacity()) container.reserve(std::max(wanted, 2 * container.size()));
  } else {
    if (static_cast<double>(wanted) > static_cast<double>(container.bucket_count()) * container.max_load_factor()) {
      container.reserve(std::max(wanted, 2 * container.size()));
    }
  }
}

}  // namespace talvaren::detail
