// Pixel formats and buffer sizes of raylib images, computed the way raylib
// computes them but in exact arithmetic, so that a size raylib would
// overflow is seen before raylib is called.
#pragma once

#include <raylib.h>

#include <climits>
#include <iterator>

#include "tarvex/pixel_format/pixel_format.h"

namespace tarvex::image {

// Bits per pixel of each format, in the table's order, which is raylib's
// numbering from 1.
#define TARVEX_BITS(name, bits) (bits),
inline constexpr int kBitsPerPixel[] = {TARVEX_PIXEL_FORMATS(TARVEX_BITS)};
#undef TARVEX_BITS
#define TARVEX_CODE(name, bits) PIXELFORMAT_##name,
inline constexpr int kFormatCodes[] = {TARVEX_PIXEL_FORMATS(TARVEX_CODE)};
#undef TARVEX_CODE
inline constexpr int kFormatCount = static_cast<int>(std::size(kBitsPerPixel));

constexpr bool numbered_in_order() noexcept {
  for (int i = 0; i < kFormatCount; ++i)
    if (kFormatCodes[i] != i + 1) return false;
  return true;
}
static_assert(numbered_in_order() && kFormatCount == PIXELFORMAT_COMPRESSED_ASTC_8x8_RGBA);

// The formats raylib can read as colours (LoadImageColors, ImageFromChannel
// and the image writers of ExportImage): the uncompressed ones. For any
// other format those functions do not fail: they hand back a buffer they
// never filled.
constexpr bool colour_readable(int format) noexcept {
  return format >= PIXELFORMAT_UNCOMPRESSED_GRAYSCALE &&
         format <= PIXELFORMAT_UNCOMPRESSED_R16G16B16A16;
}

constexpr int bits_per_pixel(int format) noexcept {
  return format >= 1 && format <= kFormatCount ? kBitsPerPixel[format - 1] : 0;
}

// GetPixelDataSize in exact arithmetic: the same truncation toward zero and
// the same minimum block size of small compressed images.
constexpr __int128 pixel_bytes(int width, int height, int format) noexcept {
  __int128 size = static_cast<__int128>(bits_per_pixel(format)) * width * height / 8;
  if (width < 4 && height < 4) {
    if (format >= PIXELFORMAT_COMPRESSED_DXT1_RGB && format < PIXELFORMAT_COMPRESSED_DXT3_RGBA)
      size = 8;
    else if (format >= PIXELFORMAT_COMPRESSED_DXT3_RGBA &&
             format < PIXELFORMAT_COMPRESSED_ASTC_8x8_RGBA)
      size = 16;
  }
  return size;
}

constexpr bool fits_int(__int128 v) noexcept { return v > 0 && v <= INT_MAX; }

// A generated image of width x height pixels of `bytes` bytes each, as
// raylib sizes its buffer (in int).
constexpr bool generated_size_ok(int width, int height, int bytes) noexcept {
  return width > 0 && height > 0 && fits_int(static_cast<__int128>(width) * height * bytes);
}

// Bytes that ImageCopy reads: every mipmap level, halving down to 1x1.
constexpr __int128 all_levels_bytes(const Image& im) noexcept {
  if (im.mipmaps <= 0 || im.width <= 0 || im.height <= 0) return 0;
  __int128 total = 0;
  int w = im.width, h = im.height;
  for (int i = 0; i < im.mipmaps; ++i) {
    if (w == 1 && h == 1) {
      total += pixel_bytes(1, 1, im.format) * (im.mipmaps - i);
      break;
    }
    total += pixel_bytes(w, h, im.format);
    if (total > INT_MAX) break;
    w = w / 2 < 1 ? 1 : w / 2;
    h = h / 2 < 1 ? 1 : h / 2;
  }
  return total;
}

// Pixels, and geometry raylib can walk without overflowing its int loop
// bounds and sizes.
constexpr bool walkable(const Image& im) noexcept {
  return im.data && im.width > 0 && im.height > 0 &&
         fits_int(static_cast<__int128>(im.width) * im.height) &&
         fits_int(pixel_bytes(im.width, im.height, im.format));
}

// The int that GetPixelDataSize returns for an exact size: raylib converts
// its double product to int, and on this platform a product outside the int
// range converts to INT_MIN.
constexpr int raylib_size(__int128 size) noexcept {
  return size >= INT_MIN && size <= INT_MAX ? static_cast<int>(size) : INT_MIN;
}

}  // namespace tarvex::image
