#pragma once
// The place of a row in a table view: its section and its row within the section.

#include <cstddef>

namespace talvaren::platform::ui {

struct IndexPath {
  std::size_t section = 0;
  std::size_t row = 0;

  friend bool operator==(const IndexPath&, const IndexPath&) = default;
  friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
};

}  // namespace talvaren::platform::ui
