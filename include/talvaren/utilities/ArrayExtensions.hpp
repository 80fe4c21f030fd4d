#pragma once
// Cutting a list into consecutive pieces.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace talvaren {

/// `array` cut into consecutive pieces of `size` elements, in order, the last one shorter when the count
/// is not a multiple of `size`; an empty array gives no piece. A size of 0 gives one piece holding every
/// element, so nothing is lost.
template <class T>
std::vector<std::vector<T>> chunks(const std::vector<T>& array, std::size_t size) {
  std::vector<std::vector<T>> pieces;
  if (array.empty()) return pieces;
  if (size == 0) size = array.size();
  pieces.reserve((array.size() + size - 1) / size);
  for (std::size_t offset = 0; offset < array.size(); offset += size) {
    const auto end = offset + std::min(size, array.size() - offset);
    pieces.emplace_back(array.begin() + static_cast<std::ptrdiff_t>(offset),
                        array.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return pieces;
}

}  // namespace talvaren
