// Feeds arbitrary bytes to the PNG reader. A picture it accepts must stay within the size bounds,
// encode again, and read back to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "talvaren/platform/Image.hpp"

using talvaren::platform::Image;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto image = Image::fromPNG(std::span<const std::uint8_t>(data, size));
  if (!image) return 0;
  if (image->width() == 0 || image->height() == 0 || image->width() > Image::maxDimension ||
      image->height() > Image::maxDimension ||
      image->pixels().size() != std::size_t{image->width()} * image->height() * 4) {
    std::abort();
  }
  auto png = image->pngData();
  if (!png) std::abort();
  auto back = Image::fromPNG(*png);
  if (!back || !(*back == *image)) std::abort();
  return 0;
}
