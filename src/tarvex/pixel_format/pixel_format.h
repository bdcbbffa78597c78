/* Declarations of tarvex.pixel_format.pixel_format shared with sibling
 * modules: raylib's pixel formats as one table, from which the module makes
 * its PixelFormat enumeration and the image module its buffer sizes. */
#ifndef TARVEX_PIXEL_FORMAT_H
#define TARVEX_PIXEL_FORMAT_H

#include <raylib.h>

/* X(name, bits per pixel), in raylib's order: the value of each is raylib's
 * PIXELFORMAT_<name>, and the enumeration member is named <name>. */
#define TARVEX_PIXEL_FORMATS(X)     \
  X(UNCOMPRESSED_GRAYSCALE, 8)      \
  X(UNCOMPRESSED_GRAY_ALPHA, 16)    \
  X(UNCOMPRESSED_R5G6B5, 16)        \
  X(UNCOMPRESSED_R8G8B8, 24)        \
  X(UNCOMPRESSED_R5G5B5A1, 16)      \
  X(UNCOMPRESSED_R4G4B4A4, 16)      \
  X(UNCOMPRESSED_R8G8B8A8, 32)      \
  X(UNCOMPRESSED_R32, 32)           \
  X(UNCOMPRESSED_R32G32B32, 96)     \
  X(UNCOMPRESSED_R32G32B32A32, 128) \
  X(UNCOMPRESSED_R16, 16)           \
  X(UNCOMPRESSED_R16G16B16, 48)     \
  X(UNCOMPRESSED_R16G16B16A16, 64)  \
  X(COMPRESSED_DXT1_RGB, 4)         \
  X(COMPRESSED_DXT1_RGBA, 4)        \
  X(COMPRESSED_DXT3_RGBA, 8)        \
  X(COMPRESSED_DXT5_RGBA, 8)        \
  X(COMPRESSED_ETC1_RGB, 4)         \
  X(COMPRESSED_ETC2_RGB, 4)         \
  X(COMPRESSED_ETC2_EAC_RGBA, 8)    \
  X(COMPRESSED_PVRT_RGB, 4)         \
  X(COMPRESSED_PVRT_RGBA, 4)        \
  X(COMPRESSED_ASTC_4x4_RGBA, 8)    \
  X(COMPRESSED_ASTC_8x8_RGBA, 2)

#endif /* TARVEX_PIXEL_FORMAT_H */
