#pragma once
// A picture held as 8-bit RGBA pixels, made from and turned into PNG data (the workout's chart
// picture, the user's photo).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform {

class Image {
 public:
  /// One pixel: red, green, blue, alpha (alpha not premultiplied).
  using Pixel = std::array<std::uint8_t, 4>;

  /// Bounds on the pictures the kit makes or reads: each side at most `maxDimension` pixels and
  /// at most `maxPixelCount` pixels in all (64 MiB of pixels), so that no input can make the kit
  /// allocate without limit.
  static constexpr std::uint32_t maxDimension = 16384;
  static constexpr std::uint64_t maxPixelCount = std::uint64_t{1} << 24;

  /// A picture of the given size, every pixel transparent black; nothing when a side is 0 or the
  /// size exceeds the bounds.
  static std::optional<Image> blank(std::uint32_t width, std::uint32_t height);
  /// A picture over `rgba` (4 bytes a pixel, rows top to bottom, no padding); nothing when the size
  /// is out of bounds or `rgba` is not width x height x 4 bytes long.
  static std::optional<Image> withPixels(std::uint32_t width, std::uint32_t height, Bytes rgba);
  /// Decodes PNG data of any colour type and bit depth into 8-bit RGBA; nothing for data that is
  /// not a complete, undamaged PNG picture within the bounds.
  static std::optional<Image> fromPNG(std::span<const std::uint8_t> data);

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  /// The pixels, 4 bytes each, rows top to bottom.
  const Bytes& pixels() const { return pixels_; }

  /// The pixel at column `x`, row `y`; transparent black outside the picture.
  Pixel pixel(std::uint32_t x, std::uint32_t y) const;
  /// Sets the pixel at column `x`, row `y`; does nothing outside the picture.
  void setPixel(std::uint32_t x, std::uint32_t y, Pixel value);

  /// The picture as PNG data (8-bit RGBA); nothing when the encoder fails.
  std::optional<Bytes> pngData() const;

  /// "<Image {width, height}>", e.g. "<Image {320, 200}>".
  std::string description() const;

  friend bool operator==(const Image& a, const Image& b) {
    return a.width_ == b.width_ && a.height_ == b.height_ && a.pixels_ == b.pixels_;
  }

 private:
  Image(std::uint32_t width, std::uint32_t height, Bytes pixels)
      : width_(width), height_(height), pixels_(std::move(pixels)) {}
  static bool sizeIsAllowed(std::uint32_t width, std::uint32_t height);

  std::uint32_t width_;
  std::uint32_t height_;
  Bytes pixels_;
};

}  // namespace talvaren::platform
