#include "talvaren/platform/Image.hpp"

#include <cstdio>
#include <cstring>
#include <new>

#include <png.h>

namespace talvaren::platform {

namespace {

/// Frees whatever libpng holds for a simplified-API image when it goes out of scope.
struct PngImage {
  png_image image;
  PngImage() {
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
  }
  ~PngImage() { png_image_free(&image); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
};

/// True when the chunks after the signature run whole up to an undamaged IEND chunk. libpng reads a picture
/// whose end was cut off after its pixel data; such data was damaged, so it is refused here.
bool hasWholeChunksUpToEnd(std::span<const std::uint8_t> data) {
  std::size_t at = 8;
  while (data.size() - at >= 12) {
    const std::uint32_t length = (std::uint32_t{data[at]} << 24) | (std::uint32_t{data[at + 1]} << 16) |
                                 (std::uint32_t{data[at + 2]} << 8) | data[at + 3];
    if (length > 0x7FFFFFFFu || length > data.size() - at - 12) return false;
    if (std::memcmp(data.data() + at + 4, "IEND", 4) == 0) {
      // The end chunk is always the same 12 bytes, its CRC included.
      static constexpr std::uint8_t kEnd[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
      return std::memcmp(data.data() + at, kEnd, sizeof kEnd) == 0;
    }
    at += std::size_t{length} + 12;
  }
  return false;
}

}  // namespace

bool Image::sizeIsAllowed(std::uint32_t width, std::uint32_t height) {
  return width > 0 && height > 0 && width <= maxDimension && height <= maxDimension &&
         std::uint64_t{width} * height <= maxPixelCount;
}

std::optional<Image> Image::blank(std::uint32_t width, std::uint32_t height) {
  if (!sizeIsAllowed(width, height)) return std::nullopt;
  try {
    return Image(width, height, Bytes(std::size_t{width} * height * 4, 0));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<Image> Image::withPixels(std::uint32_t width, std::uint32_t height, Bytes rgba) {
  if (!sizeIsAllowed(width, height) || rgba.size() != std::size_t{width} * height * 4) return std::nullopt;
  return Image(width, height, std::move(rgba));
}

std::optional<Image> Image::fromPNG(std::span<const std::uint8_t> data) {
  if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0 || !hasWholeChunksUpToEnd(data)) return std::nullopt;
  try {
    PngImage png;
    if (png_image_begin_read_from_memory(&png.image, data.data(), data.size()) == 0) return std::nullopt;
    // Check the size the header claims before allocating anything for it.
    if (!sizeIsAllowed(png.image.width, png.image.height)) return std::nullopt;
    png.image.format = PNG_FORMAT_RGBA;
    Bytes pixels(PNG_IMAGE_SIZE(png.image));
    if (png_image_finish_read(&png.image, nullptr, pixels.data(), 0, nullptr) == 0) return std::nullopt;
    if (PNG_IMAGE_FAILED(png.image)) return std::nullopt;
    return Image(png.image.width, png.image.height, std::move(pixels));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

Image::Pixel Image::pixel(std::uint32_t x, std::uint32_t y) const {
  if (x >= width_ || y >= height_) return Pixel{0, 0, 0, 0};
  const std::size_t at = (std::size_t{y} * width_ + x) * 4;
  return Pixel{pixels_[at], pixels_[at + 1], pixels_[at + 2], pixels_[at + 3]};
}

void Image::setPixel(std::uint32_t x, std::uint32_t y, Pixel value) {
  if (x >= width_ || y >= height_) return;
  const std::size_t at = (std::size_t{y} * width_ + x) * 4;
  std::memcpy(pixels_.data() + at, value.data(), value.size());
}

std::optional<Bytes> Image::pngData() const {
  if (!sizeIsAllowed(width_, height_) || pixels_.size() != std::size_t{width_} * height_ * 4) return std::nullopt;
  try {
    // First try a buffer that fits most pictures; when it is too small libpng reports the size it
    // needs and the second pass writes into exactly that.
    Bytes out(pixels_.size() / 2 + 1024);
    for (int pass = 0; pass < 2; ++pass) {
      PngImage png;
      png.image.width = width_;
      png.image.height = height_;
      png.image.format = PNG_FORMAT_RGBA;
      png_alloc_size_t size = out.size();
      if (png_image_write_to_memory(&png.image, out.data(), &size, 0, pixels_.data(), 0, nullptr) != 0) {
        out.resize(size);
        return out;
      }
      if (size <= out.size()) return std::nullopt;  // a failure other than a small buffer
      out.resize(size);
    }
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

std::string Image::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "<Image {%u, %u}>", static_cast<unsigned>(width_), static_cast<unsigned>(height_));
  return text;
}

}  // namespace talvaren::platform
