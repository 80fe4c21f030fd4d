#include "talvaren/platform/Image.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include <png.h>
#include <zlib.h>

#include "talvaren/platform/KeyedArchive.hpp"

namespace talvaren::platform {
namespace {

Image gradient(std::uint32_t width, std::uint32_t height) {
  auto image = Image::blank(width, height);
  EXPECT_TRUE(image.has_value());
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      image->setPixel(x, y, {static_cast<std::uint8_t>(x * 7), static_cast<std::uint8_t>(y * 13),
                             static_cast<std::uint8_t>(x ^ y), static_cast<std::uint8_t>((x + y) * 29)});
    }
  }
  return *image;
}

// A PNG written by another encoder setting: 8-bit grey without alpha.
Bytes greyPNG(std::uint32_t width, std::uint32_t height, const Bytes& grey) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_GRAY;
  png_alloc_size_t size = 0;
  EXPECT_NE(png_image_write_get_memory_size(image, size, 0, grey.data(), 0, nullptr), 0);
  Bytes out(size);
  EXPECT_NE(png_image_write_to_memory(&image, out.data(), &size, 0, grey.data(), 0, nullptr), 0);
  out.resize(size);
  return out;
}

void putBE32(Bytes& bytes, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
}

// Rewrites the size in the IHDR chunk (which follows the 8-byte signature) and fixes its CRC.
Bytes withHeaderSize(Bytes png, std::uint32_t width, std::uint32_t height) {
  putBE32(png, 16, width);
  putBE32(png, 20, height);
  putBE32(png, 29, static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17)));
  return png;
}

TEST(Image, PNGRoundTripKeepsEveryPixelAndUnpremultipliedAlpha) {
  Image image = gradient(37, 19);
  image.setPixel(0, 0, {200, 100, 50, 0});  // colour under full transparency survives
  auto png = image.pngData();
  ASSERT_TRUE(png.has_value());
  EXPECT_EQ(Bytes(png->begin(), png->begin() + 8), (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
  auto back = Image::fromPNG(*png);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->width(), 37u);
  EXPECT_EQ(back->height(), 19u);
  EXPECT_EQ(*back, image);
  EXPECT_EQ(back->pixel(0, 0), (Image::Pixel{200, 100, 50, 0}));
}

TEST(Image, LargePictureEncodesBeyondTheFirstBufferGuess) {
  // Noise hardly compresses, so the encoder needs more than its first buffer.
  auto image = Image::blank(300, 200);
  ASSERT_TRUE(image.has_value());
  std::uint32_t state = 12345;
  for (std::uint32_t y = 0; y < 200; ++y) {
    for (std::uint32_t x = 0; x < 300; ++x) {
      state = state * 1103515245u + 12345u;
      image->setPixel(x, y, {static_cast<std::uint8_t>(state >> 24), static_cast<std::uint8_t>(state >> 16),
                             static_cast<std::uint8_t>(state >> 8), static_cast<std::uint8_t>(state >> 4)});
    }
  }
  auto png = image->pngData();
  ASSERT_TRUE(png.has_value());
  EXPECT_GT(png->size(), image->pixels().size() / 2 + 1024);
  EXPECT_EQ(Image::fromPNG(*png), image);
}

TEST(Image, OtherColourTypesDecodeToRGBA) {
  auto image = Image::fromPNG(greyPNG(2, 2, {0, 85, 170, 255}));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->pixel(0, 0), (Image::Pixel{0, 0, 0, 255}));
  EXPECT_EQ(image->pixel(1, 0), (Image::Pixel{85, 85, 85, 255}));
  EXPECT_EQ(image->pixel(1, 1), (Image::Pixel{255, 255, 255, 255}));
}

TEST(Image, SizesAndPixelAccessAreBounded) {
  EXPECT_FALSE(Image::blank(0, 5).has_value());
  EXPECT_FALSE(Image::blank(5, 0).has_value());
  EXPECT_FALSE(Image::blank(Image::maxDimension + 1, 1).has_value());
  EXPECT_FALSE(Image::blank(Image::maxDimension, Image::maxDimension).has_value());  // too many pixels
  EXPECT_TRUE(Image::blank(Image::maxDimension, 1).has_value());
  EXPECT_FALSE(Image::withPixels(2, 2, Bytes(15)).has_value());
  EXPECT_TRUE(Image::withPixels(2, 2, Bytes(16)).has_value());

  Image image = gradient(3, 2);
  const Bytes before = image.pixels();
  image.setPixel(3, 0, {1, 2, 3, 4});
  image.setPixel(0, 2, {1, 2, 3, 4});
  EXPECT_EQ(image.pixels(), before);
  EXPECT_EQ(image.pixel(3, 0), (Image::Pixel{0, 0, 0, 0}));
  EXPECT_EQ(image.description(), "<Image {3, 2}>");
}

TEST(Image, DamagedOrForeignDataGivesNoPicture) {
  const Bytes png = gradient(16, 16).pngData().value();
  for (std::size_t length = 0; length < png.size(); ++length) {
    EXPECT_FALSE(Image::fromPNG(std::span(png).first(length)).has_value()) << length;
  }
  // A flipped bit in the signature or in a critical chunk (header, pixel data, end) is refused;
  // damage to an ancillary chunk (one whose type starts in lower case) may be skipped with it.
  std::vector<std::size_t> critical = {0, 1, 2, 3, 4, 5, 6, 7};
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t length = (std::size_t{png[at + 2]} << 8) | png[at + 3];
    const bool isCritical = png[at + 4] >= 'A' && png[at + 4] <= 'Z';
    for (std::size_t k = 0; k < length + 12; ++k) {
      if (isCritical || k < 4) critical.push_back(at + k);
    }
    at += length + 12;
  }
  EXPECT_GT(critical.size(), png.size() / 2);
  for (std::size_t i : critical) {
    Bytes damaged = png;
    damaged[i] ^= 0x10;
    EXPECT_FALSE(Image::fromPNG(damaged).has_value()) << "byte " << i;
  }
  Bytes trailing = png;
  trailing.push_back(0);
  EXPECT_TRUE(Image::fromPNG(trailing).has_value()) << "bytes after the end chunk are ignored";
  EXPECT_FALSE(Image::fromPNG(Bytes{}).has_value());
  EXPECT_FALSE(Image::fromPNG(KeyedArchiver::archivedData(ArchiveValue("not a picture")).value()).has_value());
}

TEST(Image, HeaderClaimsBeyondTheBoundsOrTheDataAreRefused) {
  const Bytes png = gradient(16, 16).pngData().value();
  EXPECT_TRUE(Image::fromPNG(withHeaderSize(png, 16, 16)).has_value());  // the rewrite itself is sound
  EXPECT_FALSE(Image::fromPNG(withHeaderSize(png, Image::maxDimension + 1, 1)).has_value());
  EXPECT_FALSE(Image::fromPNG(withHeaderSize(png, 10000, 10000)).has_value());
  EXPECT_FALSE(Image::fromPNG(withHeaderSize(png, 0, 16)).has_value());
  // Within the bounds, but the pixel data runs out long before the claimed size.
  EXPECT_FALSE(Image::fromPNG(withHeaderSize(png, 4096, 4096)).has_value());
}

}  // namespace
}  // namespace talvaren::platform
