// The loaders and generators of tarvex.image.image: static methods and
// C-level entries that make owning Images from files, the screen and
// raylib's generators. A request raylib cannot serve safely gives the
// invalid Image without a raylib call.
#include <algorithm>
#include <array>
#include <iterator>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/color/color.h"
#include "tarvex/image/image_module.h"
#include "tarvex/image/pixel_format.h"

namespace tarvex::image {

namespace {

using rt::Ref;
using Declare = rt::Declare<kWhere, Obj>;

// ---------------------------------------------------------------------------
// Parameter kinds

// A colour: an instance of the Color sibling type (or a subclass), read as
// its raylib value; None gets "Argument '<name>' must not be None".
template <rt::Name N>
struct ColorValue : rt::Instance<N, &color_type, tarvex_ColorObject, false, rt::NoneArg::not_none> {
  using Base = rt::Instance<N, &color_type, tarvex_ColorObject, false, rt::NoneArg::not_none>;
  using type = Color;
  static bool read(PyObject* o, Color* out) {
    tarvex_ColorObject* c;
    if (!Base::read(o, &c)) return false;
    *out = c->_raw;
    return true;
  }
};

using rt::Float;
using rt::Int;

// ---------------------------------------------------------------------------
// Loaders

PyObject* load(const char* name) {
  Image raw;
  Py_BEGIN_ALLOW_THREADS raw = LoadImage(name);
  Py_END_ALLOW_THREADS return wrap_result(raw);
}

// raylib skips the header only when header + size, summed in int, fits in
// the file: a sum that overflows passes that test and it reads past the
// file's buffer, while a header that does not fit is ignored and the pixels
// come from the start of the file. A size that overflows int comes back
// negative and passes its length test, so it copies without bound. None of
// these reach it: each gives the invalid image.
PyObject* load_raw(const char* name, int width, int height, int format, int header) {
  Image raw{};
  __int128 size = pixel_bytes(width, height, format);
  if (width > 0 && height > 0 && format >= 1 && format <= kFormatCount && header >= 0 &&
      fits_int(size)) {
    Py_BEGIN_ALLOW_THREADS if (static_cast<__int128>(header) + size <= GetFileLength(name)) raw =
        LoadImageRaw(name, width, height, format, header);
    Py_END_ALLOW_THREADS
  }
  return wrap_result(raw);
}

PyObject* load_anim_frames(const char* name, int* frames) {
  Image raw;
  Py_BEGIN_ALLOW_THREADS raw = LoadImageAnim(name, frames);
  Py_END_ALLOW_THREADS return wrap_result(raw);
}

// (image, frame count)
PyObject* load_anim(const char* name) {
  int frames = 0;
  Ref image(load_anim_frames(name, &frames));
  if (!image) return nullptr;
  Ref count(PyLong_FromLong(frames));
  return count ? PyTuple_Pack(2, image.get(), count.get()) : nullptr;
}

// Without a window raylib has no GL context and would call a null entry
// point: that is a failed load, not a call.
PyObject* load_from_screen() {
  return wrap_result(IsWindowReady() ? LoadImageFromScreen() : Image{});
}

// The C-level loaders take the file name as an object and read it as the
// Python methods do.
template <auto Load>
constexpr auto named = [](PyObject* name, auto... a) -> PyObject* {
  const char* s;
  return rt::utf8_argument(name, "file_name", &s) ? Load(s, a...) : nullptr;
};

// ---------------------------------------------------------------------------
// Generators. Each sizes its buffer in int; `Usable` tells whether raylib can
// make the image asked for, and an unusable request gives the invalid image.

constexpr auto rgba_size = [](int width, int height, auto...) {
  return generated_size_ok(width, height, 4);
};
// raylib divides pixel coordinates by the check sizes.
bool checks(int width, int height, int check_x, int check_y, Color, Color) {
  return rgba_size(width, height) && check_x != 0 && check_y != 0;
}
// raylib divides by the tile size and draws random offsets below it.
bool tiles(int width, int height, int tile_size) {
  return rgba_size(width, height) && tile_size > 0;
}
bool text_size(int width, int height, const char*) { return generated_size_ok(width, height, 1); }

// ---------------------------------------------------------------------------
// from_pixels: an owning copy of pixels a program made

// The bytes of `data` (any buffer: its items, shape and strides do not
// matter, only their count and C order) copied into a new buffer that
// raylib can release, or null with the exception set.
void* copy_pixels(PyObject* data, long long expected) {
  Py_buffer view;
  if (PyObject_GetBuffer(data, &view, PyBUF_FULL_RO) < 0) return nullptr;
  void* pixels = nullptr;
  if (view.len != expected) {
    PyErr_Format(PyExc_ValueError, "from_pixels() expected %lld bytes, got %zd", expected,
                 view.len);
  } else {
    pixels = MemAlloc(static_cast<unsigned>(expected));
    if (!pixels) {
      PyErr_NoMemory();
    } else if (PyBuffer_ToContiguous(pixels, &view, view.len, 'C') < 0) {
      MemFree(pixels);
      pixels = nullptr;
    }
  }
  PyBuffer_Release(&view);
  return pixels;
}

// The sizes and format are checked before `data` is read.
PyObject* from_pixels(int width, int height, int format, PyObject* data) {
  if (width <= 0 || height <= 0) {
    PyErr_Format(PyExc_ValueError, "width and height must be positive (got %d x %d)", width,
                 height);
    return nullptr;
  }
  if (format < 1 || format > kFormatCount) {
    PyErr_Format(PyExc_ValueError, "format must be a pixel format from 1 to %d (got %d)",
                 kFormatCount, format);
    return nullptr;
  }
  __int128 size = pixel_bytes(width, height, format);
  if (!fits_int(size)) {
    PyErr_Format(PyExc_ValueError, "a %d x %d image of format %d is too large for raylib", width,
                 height, format);
    return nullptr;
  }
  void* pixels = copy_pixels(data, static_cast<long long>(size));
  if (!pixels) return nullptr;
  return wrap_result(Image{pixels, width, height, 1, format});
}

template <auto Gen, auto Usable = rgba_size>
constexpr auto generate = [](auto... a) { return wrap_result(Usable(a...) ? Gen(a...) : Image{}); };

// A static method that makes an Image.
template <rt::Name N, auto Body, class... P>
using creator = Declare::static_method<N, Body, P...>;

}  // namespace

// ---------------------------------------------------------------------------
// Entries and methods

PyObject* entry_c_load(PyObject* file_name) {
  return rt::Traced<kWhere, "c_load", named<load>>::call(file_name);
}
PyObject* entry_c_load_raw(PyObject* file_name, int width, int height, int format, int header) {
  return rt::Traced<kWhere, "c_load_raw", named<load_raw>>::call(file_name, width, height, format,
                                                                 header);
}
PyObject* entry_c_load_anim(PyObject* file_name, int* frames) {
  return rt::Traced<kWhere, "c_load_anim", named<load_anim_frames>>::call(file_name, frames);
}
PyObject* entry_c_load_from_screen() {
  return rt::Traced<kWhere, "c_load_from_screen", load_from_screen>::call();
}

std::array<PyMethodDef, kCreatorCount> creator_methods() {
  using FileName = rt::Utf8<"file_name">;
  const PyMethodDef defs[] = {
      creator<"load", load, FileName>::def<
          "Load an image file through raylib and return it as a new owning Image.\n\n"
          "`file_name` must be a str (bytes or a str subclass raises TypeError, None raises "
          "AttributeError, an embedded NUL raises ValueError); it is encoded to UTF-8. The "
          "formats are those the bundled raylib reads (PNG, BMP, GIF, QOI and DDS; not JPEG). A "
          "missing or unreadable file gives an invalid Image, not an exception. The interpreter "
          "lock is released while raylib reads the file.">(),
      creator<"load_raw", load_raw, FileName, Int<"width">, Int<"height">, Int<"format">,
              Int<"header">>::
          def<"Load raw pixel data from a file and return it as a new owning Image.\n\n"
              "The file holds `width` x `height` pixels in raylib pixel format `format` (1 is "
              "8-bit grayscale, 7 is 8-bit RGBA, ...; `PixelFormat` names them) after `header` "
              "bytes that are skipped. The four "
              "numbers are C ints (an int, or an object with `__int__`), converted before "
              "`file_name` is checked; `file_name` follows the rules of `load`. A size that is not "
              "positive, an unknown format, a negative header, or a file shorter than the header "
              "plus the pixels gives an invalid Image.">(),
      creator<"load_anim", load_anim, FileName>::def<
          "Load an animated image file (GIF) and return (image, frame count).\n\n"
          "All frames are stored one after another in the image's pixel buffer; `width` and "
          "`height` are those of one frame (so `data_view` shows the first frame). A still "
          "image gives a count of 1, a file that cannot be loaded an invalid Image and 0. "
          "`file_name` follows the rules of `load`.">(),
      creator<"load_from_screen", load_from_screen>::def<
          "Capture the screen of the open raylib window as a new owning Image.\n\n"
          "Without an open window (raylib's `InitWindow`) the result is an invalid Image.">(),
      creator<"from_pixels", from_pixels, Int<"width">, Int<"height">, Int<"format">,
              rt::Object<"data">>::
          def<"Return a new owning Image holding a copy of the pixel bytes in `data`.\n\n"
              "`data` is any object with the buffer protocol (bytes, bytearray, memoryview, a "
              "numpy array of any item type and shape, a PixelView) holding exactly the bytes "
              "raylib stores for `width` x `height` pixels of `format` (raylib's "
              "GetPixelDataSize: 4 per pixel for `PixelFormat.UNCOMPRESSED_R8G8B8A8`), read in C "
              "order; a buffer that is not contiguous is copied in that order too. Raises "
              "ValueError naming the expected and given byte counts otherwise. The bytes are "
              "copied, so `data` may change or go away afterwards.\n\n"
              "`width`, `height` and `format` are C ints (an int, a `PixelFormat`, or an object "
              "with `__int__`), converted before `data` is read; a size that is not positive, or "
              "a format that is not one of raylib's, raises ValueError. The image has one mipmap "
              "level.">(),
      creator<"generate_with_color", generate<GenImageColor>, Int<"width">, Int<"height">,
              ColorValue<"color">>::
          def<"Return a new owning `width` x `height` Image filled with `color`.\n\n"
              "8-bit RGBA (format 7). `width` and `height` are C ints (an int, or an object with "
              "`__int__`); a size that is not positive gives an invalid Image. `color` must be a "
              "`Color` (TypeError otherwise, None included); numbers are checked before "
              "colours.">(),
      creator<"generate_with_linear_gradient", generate<GenImageGradientLinear>, Int<"width">,
              Int<"height">, Int<"direction">, ColorValue<"start">, ColorValue<"end">>::
          def<"Return a new owning `width` x `height` Image with a linear gradient from `start` to "
              "`end`.\n\n"
              "`direction` is the gradient's angle in degrees (0 runs top to bottom, 90 left to "
              "right). 8-bit RGBA. Sizes that are not positive give an invalid Image; `start` and "
              "`end` must be `Color` (TypeError otherwise).">(),
      creator<"generate_with_radial_gradient", generate<GenImageGradientRadial>, Int<"width">,
              Int<"height">, Float<"density">, ColorValue<"inner">, ColorValue<"outer">>::
          def<"Return a new owning `width` x `height` Image with a radial gradient from `inner` at "
              "the centre to `outer`.\n\n"
              "`density`, from 0 to 1 (rounded to a 32-bit float), is the fraction of the radius "
              "that stays `inner` before the blend starts. 8-bit RGBA. Sizes that are not positive "
              "give an invalid Image; `inner` and `outer` must be `Color` (TypeError "
              "otherwise).">(),
      creator<"generate_with_square_gradient", generate<GenImageGradientSquare>, Int<"width">,
              Int<"height">, Float<"density">, ColorValue<"inner">, ColorValue<"outer">>::
          def<"Return a new owning `width` x `height` Image with a square gradient from `inner` at "
              "the centre to `outer` at the edges.\n\n"
              "`density`, from 0 to 1 (rounded to a 32-bit float), is the fraction of the "
              "half-size "
              "that stays `inner` before the blend starts. 8-bit RGBA. Sizes that are not positive "
              "give an invalid Image; `inner` and `outer` must be `Color` (TypeError "
              "otherwise).">(),
      creator<"generate_with_checked", generate<GenImageChecked, checks>, Int<"width">,
              Int<"height">, Int<"check_x">, Int<"check_y">, ColorValue<"col1">,
              ColorValue<"col2">>::
          def<"Return a new owning `width` x `height` Image, a checkerboard of `col1` and `col2` "
              "squares of `check_x` x `check_y` pixels.\n\n"
              "8-bit RGBA, `col1` in the top-left square. All four numbers are C ints; a size that "
              "is not positive, or a check size of 0, gives an invalid Image. `col1` and `col2` "
              "must be `Color` (TypeError otherwise).">(),
      creator<"generate_with_white_noise", generate<GenImageWhiteNoise>, Int<"width">,
              Int<"height">, Float<"factor">>::
          def<"Return a new owning `width` x `height` Image of random black and white pixels.\n\n"
              "Each pixel is white with probability `factor` (0 to 1, rounded to a 32-bit float), "
              "drawn from raylib's random generator. 8-bit RGBA. Sizes that are not positive give "
              "an invalid Image.">(),
      creator<"generate_with_perlin_noise", generate<GenImagePerlinNoise>, Int<"width">,
              Int<"height">, Int<"offset_x">, Int<"offset_y">, Float<"scale">>::
          def<"Return a new owning `width` x `height` Image of grey Perlin noise.\n\n"
              "`offset_x` and `offset_y` shift the noise field in pixels, `scale` (rounded to a "
              "32-bit float) zooms it: larger values give finer detail. 8-bit RGBA. Sizes that are "
              "not positive give an invalid Image.">(),
      creator<"generate_with_cellular", generate<GenImageCellular, tiles>, Int<"width">,
              Int<"height">, Int<"tile_size">>::
          def<"Return a new owning `width` x `height` Image of grey cellular (Voronoi) noise.\n\n"
              "One random seed point per `tile_size` x `tile_size` tile, so larger tiles give "
              "larger cells. 8-bit RGBA. Sizes that are not positive, or a `tile_size` below 1, "
              "give an invalid Image; a float `tile_size` is truncated.">(),
      creator<"generate_with_text", generate<GenImageText, text_size>, Int<"width">, Int<"height">,
              rt::Utf8<"text">>::
          def<"Return a new owning `width` x `height` grayscale Image whose first bytes are the "
              "UTF-8 bytes of `text`.\n\n"
              "raylib's GenImageText stores the text's bytes as pixel values, one byte per pixel "
              "(the rest are 0); it does not render the text. 8-bit grayscale (format 1). `text` "
              "must be a str (TypeError for other types, None raises AttributeError, an embedded "
              "NUL ValueError).">(),
  };
  static_assert(std::size(defs) == kCreatorCount);
  std::array<PyMethodDef, kCreatorCount> all;
  std::copy(std::begin(defs), std::end(defs), all.begin());
  return all;
}

}  // namespace tarvex::image
