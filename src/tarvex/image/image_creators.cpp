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

template <auto Gen, auto Usable = rgba_size>
constexpr auto generate = [](auto... a) { return wrap_result(Usable(a...) ? Gen(a...) : Image{}); };

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

namespace {

// The method-table entry of a static method that makes an Image, documented
// "<signature> -> Image".
template <rt::Name N, auto Body, class... P>
PyMethodDef creator() {
  using F = Declare::static_method<N, Body, P...>;
  static constexpr auto doc =
      rt::cat(F::signature, rt::Name("\n--\n\n"), F::signature, rt::Name(" -> Image"));
  PyMethodDef d = F::def();
  d.ml_doc = doc.c_str();
  return d;
}

}  // namespace

std::array<PyMethodDef, kCreatorCount> creator_methods() {
  using FileName = rt::Utf8<"file_name">;
  const PyMethodDef defs[] = {
      creator<"load", load, FileName>(),
      creator<"load_raw", load_raw, FileName, Int<"width">, Int<"height">, Int<"format">,
              Int<"header">>(),
      Declare::static_method<"load_anim", load_anim,
                             FileName>::def<"load_anim(file_name) -> tuple[Image, int]">(),
      creator<"load_from_screen", load_from_screen>(),
      creator<"generate_with_color", generate<GenImageColor>, Int<"width">, Int<"height">,
              ColorValue<"color">>(),
      creator<"generate_with_linear_gradient", generate<GenImageGradientLinear>, Int<"width">,
              Int<"height">, Int<"direction">, ColorValue<"start">, ColorValue<"end">>(),
      creator<"generate_with_radial_gradient", generate<GenImageGradientRadial>, Int<"width">,
              Int<"height">, Float<"density">, ColorValue<"inner">, ColorValue<"outer">>(),
      creator<"generate_with_square_gradient", generate<GenImageGradientSquare>, Int<"width">,
              Int<"height">, Float<"density">, ColorValue<"inner">, ColorValue<"outer">>(),
      creator<"generate_with_checked", generate<GenImageChecked, checks>, Int<"width">,
              Int<"height">, Int<"check_x">, Int<"check_y">, ColorValue<"col1">,
              ColorValue<"col2">>(),
      creator<"generate_with_white_noise", generate<GenImageWhiteNoise>, Int<"width">,
              Int<"height">, Float<"factor">>(),
      creator<"generate_with_perlin_noise", generate<GenImagePerlinNoise>, Int<"width">,
              Int<"height">, Int<"offset_x">, Int<"offset_y">, Float<"scale">>(),
      creator<"generate_with_cellular", generate<GenImageCellular, tiles>, Int<"width">,
              Int<"height">, Int<"tile_size">>(),
      creator<"generate_with_text", generate<GenImageText, text_size>, Int<"width">, Int<"height">,
              rt::Utf8<"text">>(),
  };
  static_assert(std::size(defs) == kCreatorCount);
  std::array<PyMethodDef, kCreatorCount> all;
  std::copy(std::begin(defs), std::end(defs), all.begin());
  return all;
}

}  // namespace tarvex::image
