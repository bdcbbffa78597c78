// tarvex.image.image: the owning wrapper of a raylib Image, its loaders,
// generators, pixel view and export.
//
// raylib trusts its callers with sizes: it multiplies width, height and bytes
// per pixel in int, divides by check and tile sizes, reads past a raw file's
// end when the header is too long and reads the screen through GL entry
// points that exist only once a window is open. Every operation here checks
// what raylib does not before it calls raylib, and turns an unusable request
// into the same invalid Image that raylib gives for a failed load. A raylib
// result that is not a valid image never keeps pixels: they are released at
// once, so an owning Image either holds a valid image or holds nothing.
#include "tarvex/image/image.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tarvex/_runtime/runtime.h"
#include "tarvex/color/color.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;
using Obj = tarvex_ImageObject;

constexpr char kFull[] = "tarvex.image.image.Image";
constexpr char kFile[] = "src/tarvex/image/image";
constexpr char kPickleMessage[] = "self._raw cannot be converted to a Python object for pickling";
constexpr char kEmpty[] = "Image data is empty or Image has been unloaded.";

// The export count sits in the tail padding of the three declared fields.
struct DeclaredLayout {
  PyObject_HEAD void* vtab;
  Image raw;
  int is_owner;
};
static_assert(sizeof(Obj) == sizeof(DeclaredLayout), "the export count must not grow the instance");

PyTypeObject image_type = {PyVarObject_HEAD_INIT(nullptr, 0)};
PyTypeObject view_type = {PyVarObject_HEAD_INIT(nullptr, 0)};
tarvex_ImageVTable vtable{};

PyTypeObject* vector4_type = nullptr;
void* vector4_vtable = nullptr;
PyTypeObject* color_type = nullptr;
void* color_vtable = nullptr;

PyObject* s_valid = nullptr;
PyObject* s_width = nullptr;
PyObject* s_height = nullptr;
PyObject* s_format = nullptr;
PyObject* s_copy = nullptr;
PyObject* s_export = nullptr;
PyObject* s_unload = nullptr;
PyObject* s_from_channel = nullptr;
PyObject* s_dealloc_context = nullptr;

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
PyObject* py(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }
bool is_image(PyObject* o) noexcept { return PyObject_TypeCheck(o, &image_type); }

void traceback(const char* name) { rt::add_traceback(kFull, name, kFile); }

using rt::cfunc;

// ---------------------------------------------------------------------------
// Sizes, computed the way raylib computes them but without overflow

constexpr int kFormatCount = PIXELFORMAT_COMPRESSED_ASTC_8x8_RGBA;

int bits_per_pixel(int format) noexcept {
  switch (format) {
    case PIXELFORMAT_UNCOMPRESSED_GRAYSCALE:
      return 8;
    case PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA:
    case PIXELFORMAT_UNCOMPRESSED_R5G6B5:
    case PIXELFORMAT_UNCOMPRESSED_R5G5B5A1:
    case PIXELFORMAT_UNCOMPRESSED_R4G4B4A4:
      return 16;
    case PIXELFORMAT_UNCOMPRESSED_R8G8B8A8:
      return 32;
    case PIXELFORMAT_UNCOMPRESSED_R8G8B8:
      return 24;
    case PIXELFORMAT_UNCOMPRESSED_R32:
      return 32;
    case PIXELFORMAT_UNCOMPRESSED_R32G32B32:
      return 96;
    case PIXELFORMAT_UNCOMPRESSED_R32G32B32A32:
      return 128;
    case PIXELFORMAT_UNCOMPRESSED_R16:
      return 16;
    case PIXELFORMAT_UNCOMPRESSED_R16G16B16:
      return 48;
    case PIXELFORMAT_UNCOMPRESSED_R16G16B16A16:
      return 64;
    case PIXELFORMAT_COMPRESSED_DXT1_RGB:
    case PIXELFORMAT_COMPRESSED_DXT1_RGBA:
    case PIXELFORMAT_COMPRESSED_ETC1_RGB:
    case PIXELFORMAT_COMPRESSED_ETC2_RGB:
    case PIXELFORMAT_COMPRESSED_PVRT_RGB:
    case PIXELFORMAT_COMPRESSED_PVRT_RGBA:
      return 4;
    case PIXELFORMAT_COMPRESSED_DXT3_RGBA:
    case PIXELFORMAT_COMPRESSED_DXT5_RGBA:
    case PIXELFORMAT_COMPRESSED_ETC2_EAC_RGBA:
    case PIXELFORMAT_COMPRESSED_ASTC_4x4_RGBA:
      return 8;
    case PIXELFORMAT_COMPRESSED_ASTC_8x8_RGBA:
      return 2;
    default:
      return 0;
  }
}

// GetPixelDataSize in exact arithmetic: the same truncation toward zero and
// the same minimum block size of small compressed images.
__int128 pixel_bytes(int width, int height, int format) noexcept {
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

bool fits_int(__int128 v) noexcept { return v > 0 && v <= INT_MAX; }

// A generated image of width x height pixels of `bytes` bytes each, as
// raylib sizes its buffer (in int).
bool generated_size_ok(int width, int height, int bytes) noexcept {
  return width > 0 && height > 0 && fits_int(static_cast<__int128>(width) * height * bytes);
}

// Bytes that ImageCopy reads: every mipmap level, halving down to 1x1.
__int128 all_levels_bytes(const Image& im) noexcept {
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

// Geometry raylib can walk without overflowing its int loop bounds.
bool walkable(const Image& im) noexcept {
  return im.data && im.width > 0 && im.height > 0 &&
         fits_int(static_cast<__int128>(im.width) * im.height) &&
         fits_int(pixel_bytes(im.width, im.height, im.format));
}

// The int that GetPixelDataSize returns for an exact size: raylib converts
// its double product to int, and on this platform a product outside the int
// range converts to INT_MIN.
int raylib_size(__int128 size) noexcept {
  return size >= INT_MIN && size <= INT_MAX ? static_cast<int>(size) : INT_MIN;
}

// ---------------------------------------------------------------------------
// Creation

Obj* alloc_image() {
  PyObject* o = image_type.tp_alloc(&image_type, 0);
  if (!o) return nullptr;
  as(o)->__pyx_vtab = &vtable;
  return as(o);
}

// Entry 0: wraps the value as it is. On failure the pixels stay with the
// caller.
PyObject* entry_new(Image raw, tarvex_ImageNewArgs* opt) {
  int is_owner = (opt && opt->count >= 1) ? opt->is_owner : 1;
  Obj* o = alloc_image();
  if (!o) {
    traceback("new");
    return nullptr;
  }
  o->_raw = raw;
  o->is_owner = is_owner;
  return py(o);
}

// Wraps a raylib result in a new owning Image. A result that is not a valid
// image is the failed image: its pixels, if any, are released here.
PyObject* wrap_result(Image raw) {
  if (!IsImageValid(raw)) {
    if (raw.data) UnloadImage(raw);
    raw = Image{};
  }
  Obj* o = alloc_image();
  if (!o) {
    UnloadImage(raw);
    return nullptr;
  }
  o->_raw = raw;
  o->is_owner = 1;
  return py(o);
}

// ---------------------------------------------------------------------------
// Argument conversions

// A file name or text: exactly a str, encoded to UTF-8 (strict). None gets
// the AttributeError of calling None.encode. The pointer stays valid while
// the str lives (the encoding is cached in it).
bool c_string(PyObject* o, const char* param, const char** out) {
  if (o == Py_None) {
    PyErr_Format(PyExc_AttributeError, "'NoneType' object has no attribute '%.30s'", "encode");
    return false;
  }
  if (!PyUnicode_CheckExact(o)) {
    rt::arg_type_error(param, "str", o);
    return false;
  }
  Py_ssize_t len;
  const char* s = PyUnicode_AsUTF8AndSize(o, &len);
  if (!s) return false;
  // raylib stops at the first NUL: a name or text cut short there would
  // silently mean something else.
  if (std::strlen(s) != static_cast<size_t>(len)) {
    PyErr_Format(PyExc_ValueError, "embedded null character in %s", param);
    return false;
  }
  *out = s;
  return true;
}

// The argument test of a str parameter that also lets None through.
bool str_or_none(PyObject* o, const char* param) {
  if (o == Py_None || PyUnicode_CheckExact(o)) return true;
  rt::arg_type_error(param, "str", o);
  return false;
}

bool to_float(PyObject* o, float* out) {
  double d;
  if (!rt::to_double(o, &d)) return false;
  *out = rt::narrow(d);
  return true;
}

bool to_color(PyObject* o, const char* param, Color* out) {
  if (o == Py_None) {
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' must not be None", param);
    return false;
  }
  if (!PyObject_TypeCheck(o, color_type)) {
    rt::arg_type_error(param, color_type->tp_name, o);
    return false;
  }
  *out = reinterpret_cast<tarvex_ColorObject*>(o)->_raw;
  return true;
}

// ---------------------------------------------------------------------------
// Loaders (entries 1 to 4; the Python methods call the same code)

PyObject* load_impl(PyObject* name) {
  const char* s;
  if (!c_string(name, "file_name", &s)) return nullptr;
  Image raw;
  Py_BEGIN_ALLOW_THREADS raw = LoadImage(s);
  Py_END_ALLOW_THREADS return wrap_result(raw);
}

// raylib skips the header only when header + size, summed in int, fits in
// the file: a sum that overflows passes that test and it reads past the
// file's buffer, while a header that does not fit is ignored and the pixels
// come from the start of the file. A size that overflows int comes back
// negative and passes its length test, so it copies without bound. None of
// these reach it: each gives the invalid image.
PyObject* load_raw_impl(PyObject* name, int width, int height, int format, int header) {
  const char* s;
  if (!c_string(name, "file_name", &s)) return nullptr;
  Image raw{};
  __int128 size = pixel_bytes(width, height, format);
  if (width > 0 && height > 0 && format >= 1 && format <= kFormatCount && header >= 0 &&
      fits_int(size)) {
    Py_BEGIN_ALLOW_THREADS if (static_cast<__int128>(header) + size <= GetFileLength(s)) raw =
        LoadImageRaw(s, width, height, format, header);
    Py_END_ALLOW_THREADS
  }
  return wrap_result(raw);
}

PyObject* load_anim_impl(PyObject* name, int* frames) {
  const char* s;
  if (!c_string(name, "file_name", &s)) return nullptr;
  Image raw;
  Py_BEGIN_ALLOW_THREADS raw = LoadImageAnim(s, frames);
  Py_END_ALLOW_THREADS return wrap_result(raw);
}

// Without a window raylib has no GL context and would call a null entry
// point: that is a failed load, not a call.
PyObject* load_from_screen_impl() {
  return wrap_result(IsWindowReady() ? LoadImageFromScreen() : Image{});
}

PyObject* entry_c_load(PyObject* name) {
  PyObject* r = load_impl(name);
  if (!r) traceback("c_load");
  return r;
}
PyObject* entry_c_load_raw(PyObject* name, int w, int h, int f, int header) {
  PyObject* r = load_raw_impl(name, w, h, f, header);
  if (!r) traceback("c_load_raw");
  return r;
}
PyObject* entry_c_load_anim(PyObject* name, int* frames) {
  PyObject* r = load_anim_impl(name, frames);
  if (!r) traceback("c_load_anim");
  return r;
}
PyObject* entry_c_load_from_screen() {
  PyObject* r = load_from_screen_impl();
  if (!r) traceback("c_load_from_screen");
  return r;
}

// ---------------------------------------------------------------------------
// Copy, export, unload, channel (the built-in code of entries 5 to 9)

// ImageCopy reads every mipmap level from `data`; with no pixels it would
// copy from a null pointer.
PyObject* copy_impl(Obj* self) {
  const Image& raw = self->_raw;
  if (!raw.data || !fits_int(all_levels_bytes(raw))) return wrap_result(Image{});
  return wrap_result(ImageCopy(raw));
}

int export_impl(Obj* self, PyObject* name) {
  const char* s;
  if (!c_string(name, "file_name", &s)) return -1;
  return ExportImage(self->_raw, s) ? 1 : 0;
}

// Releases (or, for a borrowing image, forgets) the pixels. Refused while a
// view of them exists: the view would be left over freed memory.
int unload_impl(Obj* self) {
  int r = 0;
  Py_BEGIN_CRITICAL_SECTION(py(self));
  if (self->_exports > 0) {
    PyErr_Format(PyExc_BufferError, "cannot unload an Image while %d view%s of its pixels exist%s",
                 self->_exports, self->_exports == 1 ? "" : "s", self->_exports == 1 ? "s" : "");
    r = -1;
  } else {
    if (self->is_owner) UnloadImage(self->_raw);
    self->_raw.data = nullptr;
  }
  Py_END_CRITICAL_SECTION();
  return r;
}

PyObject* from_channel_impl(Obj* self, int channel) {
  const Image& raw = self->_raw;
  if (raw.data && !walkable(raw)) return wrap_result(Image{});
  return wrap_result(ImageFromChannel(raw, channel));
}

// ---------------------------------------------------------------------------
// Override dispatch

PyObject* py_export(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* py_unload(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* py_copy(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* py_from_channel(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

bool python_subclass(PyObject* self) noexcept {
  PyTypeObject* t = Py_TYPE(self);
  return t != &image_type &&
         (t->tp_dictoffset != 0 || (t->tp_flags & (Py_TPFLAGS_IS_ABSTRACT | Py_TPFLAGS_HEAPTYPE)));
}

// The attribute `name` of self when it is not this type's own method: a new
// reference, or null (with an exception set only on a failed lookup).
PyObject* override_of(PyObject* self, PyObject* name, PyCFunction own) {
  PyObject* m = PyObject_GetAttr(self, name);
  if (!m) return nullptr;
  if (PyCFunction_Check(m) && PyCFunction_GET_FUNCTION(m) == own) {
    Py_DECREF(m);
    return nullptr;
  }
  return m;
}

// An override's result for copy and from_channel: an Image or None.
PyObject* image_result(PyObject* r) {
  if (!r || r == Py_None || is_image(r)) return r;
  PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(r)->tp_name, kFull);
  Py_DECREF(r);
  return nullptr;
}

int entry_export(Obj* self, PyObject* name, int skip_dispatch) {
  int r;
  if (!skip_dispatch && python_subclass(py(self))) {
    Ref m(override_of(py(self), s_export, cfunc(py_export)));
    if (m) {
      Ref res(PyObject_CallOneArg(m.get(), name));
      r = res ? PyObject_IsTrue(res.get()) : -1;
      if (r < 0) {
        traceback("export");
        return 0;
      }
      return r;
    }
    if (PyErr_Occurred()) {
      traceback("export");
      return 0;
    }
  }
  r = export_impl(self, name);
  if (r < 0) {
    traceback("export");
    return 0;
  }
  return r;
}

void entry_unload(Obj* self, int skip_dispatch) {
  if (!skip_dispatch && python_subclass(py(self))) {
    Ref m(override_of(py(self), s_unload, cfunc(py_unload)));
    if (m) {
      Ref res(PyObject_CallNoArgs(m.get()));
      if (!res) traceback("unload");
      return;
    }
    if (PyErr_Occurred()) {
      traceback("unload");
      return;
    }
  }
  if (unload_impl(self) < 0) traceback("unload");
}

PyObject* entry_copy(Obj* self, int skip_dispatch) {
  PyObject* r;
  if (!skip_dispatch && python_subclass(py(self))) {
    Ref m(override_of(py(self), s_copy, cfunc(py_copy)));
    if (m)
      r = image_result(PyObject_CallNoArgs(m.get()));
    else
      r = PyErr_Occurred() ? nullptr : copy_impl(self);
  } else {
    r = copy_impl(self);
  }
  if (!r) traceback("copy");
  return r;
}

PyObject* entry_c_copy(Obj* self) {
  PyObject* r = copy_impl(self);
  if (!r) traceback("c_copy");
  return r;
}

PyObject* entry_from_channel(Obj* self, int channel, int skip_dispatch) {
  PyObject* r;
  if (!skip_dispatch && python_subclass(py(self))) {
    Ref m(override_of(py(self), s_from_channel, cfunc(py_from_channel)));
    if (m) {
      Ref arg(PyLong_FromLong(channel));
      r = arg ? image_result(PyObject_CallOneArg(m.get(), arg.get())) : nullptr;
    } else {
      r = PyErr_Occurred() ? nullptr : from_channel_impl(self, channel);
    }
  } else {
    r = from_channel_impl(self, channel);
  }
  if (!r) traceback("from_channel");
  return r;
}

// ---------------------------------------------------------------------------
// The pixel view: a writable one-dimensional view of unsigned bytes. It holds
// the Image, and the Image refuses to unload while any view exists, so a view
// never reaches released pixels.

struct View {
  PyObject_HEAD PyObject* image;  // strong reference
  unsigned char* base;
  Py_ssize_t shape[1];
  Py_ssize_t strides[1];
};

View* as_view(PyObject* o) noexcept { return reinterpret_cast<View*>(o); }

PyObject* make_view(PyObject* image, unsigned char* base, Py_ssize_t len, Py_ssize_t stride) {
  View* v = PyObject_GC_New(View, &view_type);
  if (!v) return nullptr;
  v->image = Py_NewRef(image);
  v->base = base;
  v->shape[0] = len;
  v->strides[0] = stride;
  Py_BEGIN_CRITICAL_SECTION(image);
  ++as(image)->_exports;
  Py_END_CRITICAL_SECTION();
  PyObject_GC_Track(v);
  return reinterpret_cast<PyObject*>(v);
}

void view_dealloc(PyObject* o) {
  View* v = as_view(o);
  PyObject_GC_UnTrack(o);
  PyObject* image = v->image;
  Py_BEGIN_CRITICAL_SECTION(image);
  --as(image)->_exports;
  Py_END_CRITICAL_SECTION();
  Py_DECREF(image);
  PyObject_GC_Del(o);
}

int view_traverse(PyObject* o, visitproc visit, void* arg) {
  Py_VISIT(as_view(o)->image);
  return 0;
}

Py_ssize_t view_length(PyObject* o) { return as_view(o)->shape[0]; }

unsigned char* view_at(View* v, Py_ssize_t i) { return v->base + i * v->strides[0]; }

// Normalises an index; false with IndexError when it is out of range.
bool view_index(View* v, Py_ssize_t* i) {
  if (*i < 0) *i += v->shape[0];
  if (*i < 0 || *i >= v->shape[0]) {
    PyErr_Format(PyExc_IndexError, "Out of bounds on buffer access (axis %zd)",
                 static_cast<Py_ssize_t>(0));
    return false;
  }
  return true;
}

PyObject* view_item(PyObject* o, Py_ssize_t i) {
  View* v = as_view(o);
  if (!view_index(v, &i)) return nullptr;
  return PyLong_FromLong(*view_at(v, i));
}

// The sequence slot: the interpreter has already added the length to a
// negative index, so one that is still negative is out of range.
PyObject* view_seq_item(PyObject* o, Py_ssize_t i) {
  return i < 0 ? view_item(o, as_view(o)->shape[0]) : view_item(o, i);
}

// The bytes a slice selects: its first byte, its stride and its length. A
// slice of at most one byte keeps the parent's stride (it never steps, and
// the parent's stride times a huge step would overflow), and an empty one
// starts at the parent's first byte.
bool slice_of(View* v, PyObject* key, unsigned char** first, Py_ssize_t* stride, Py_ssize_t* len) {
  Py_ssize_t start, stop, step;
  if (PySlice_Unpack(key, &start, &stop, &step) < 0) return false;
  *len = PySlice_AdjustIndices(v->shape[0], &start, &stop, step);
  *first = *len > 0 ? view_at(v, start) : v->base;
  *stride = *len > 1 ? v->strides[0] * step : v->strides[0];
  return true;
}

PyObject* view_subscript(PyObject* o, PyObject* key) {
  View* v = as_view(o);
  if (PyIndex_Check(key)) {
    Py_ssize_t i = PyNumber_AsSsize_t(key, nullptr);
    if (i == -1 && PyErr_Occurred()) return nullptr;
    return view_item(o, i);
  }
  if (PySlice_Check(key)) {
    unsigned char* first;
    Py_ssize_t stride, len;
    if (!slice_of(v, key, &first, &stride, &len)) return nullptr;
    return make_view(v->image, first, len, stride);
  }
  PyErr_Format(PyExc_TypeError, "view indices must be integers or slices, not %.200s",
               Py_TYPE(key)->tp_name);
  return nullptr;
}

// An item value as an unsigned char, with the messages of a C conversion.
bool to_byte(PyObject* value, unsigned char* out) {
  Ref owned;
  if (!PyLong_Check(value)) {
    PyNumberMethods* nb = Py_TYPE(value)->tp_as_number;
    if (!nb || !nb->nb_int) {
      PyErr_SetString(PyExc_TypeError, "an integer is required");
      return false;
    }
    owned.reset(nb->nb_int(value));
    if (!owned) return false;
    if (!PyLong_Check(owned.get())) {
      PyErr_Format(PyExc_TypeError, "__int__ returned non-int (type %.200s)",
                   Py_TYPE(owned.get())->tp_name);
      return false;
    }
    value = owned.get();
  }
  int overflow = 0;
  long long n = PyLong_AsLongLongAndOverflow(value, &overflow);
  if (n == -1 && PyErr_Occurred()) return false;
  if (overflow < 0 || (!overflow && n < 0)) {
    PyErr_Format(PyExc_OverflowError, "can't convert negative value to %.200s", "unsigned char");
    return false;
  }
  if (overflow > 0 || n > UCHAR_MAX) {
    PyErr_Format(PyExc_OverflowError, "value too large to convert to %.200s", "unsigned char");
    return false;
  }
  *out = static_cast<unsigned char>(n);
  return true;
}

int assign_slice(View* v, PyObject* key, PyObject* value) {
  unsigned char* first;
  Py_ssize_t stride, len;
  if (!slice_of(v, key, &first, &stride, &len)) return -1;
  if (PyIndex_Check(value) || !PyObject_CheckBuffer(value)) {
    unsigned char b;
    if (!to_byte(value, &b)) return -1;
    for (Py_ssize_t i = 0; i < len; ++i) first[i * stride] = b;
    return 0;
  }
  Py_buffer src;
  if (PyObject_GetBuffer(value, &src, PyBUF_SIMPLE) < 0) return -1;
  int r = 0;
  if (src.len != len) {
    PyErr_Format(PyExc_ValueError, "cannot assign %zd bytes to a slice of %zd bytes", src.len, len);
    r = -1;
  } else {
    // The source may be these very pixels: copy it out first.
    std::vector<unsigned char> tmp(static_cast<const unsigned char*>(src.buf),
                                   static_cast<const unsigned char*>(src.buf) + len);
    for (Py_ssize_t i = 0; i < len; ++i) first[i * stride] = tmp[static_cast<size_t>(i)];
  }
  PyBuffer_Release(&src);
  return r;
}

int view_ass_subscript(PyObject* o, PyObject* key, PyObject* value) {
  View* v = as_view(o);
  if (!value) return rt::subscript_deletion_error(&view_type);
  if (PyIndex_Check(key)) {
    Py_ssize_t i = PyNumber_AsSsize_t(key, nullptr);
    if (i == -1 && PyErr_Occurred()) return -1;
    if (!view_index(v, &i)) return -1;
    unsigned char b;
    if (!to_byte(value, &b)) return -1;
    *view_at(v, i) = b;
    return 0;
  }
  if (PySlice_Check(key)) return assign_slice(v, key, value);
  PyErr_Format(PyExc_TypeError, "view indices must be integers or slices, not %.200s",
               Py_TYPE(key)->tp_name);
  return -1;
}

int view_getbuffer(PyObject* o, Py_buffer* b, int flags) {
  View* v = as_view(o);
  bool contiguous = v->strides[0] == 1 || v->shape[0] <= 1;
  bool wants_strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES;
  bool wants_contiguous = (flags & PyBUF_C_CONTIGUOUS) == PyBUF_C_CONTIGUOUS ||
                          (flags & PyBUF_F_CONTIGUOUS) == PyBUF_F_CONTIGUOUS ||
                          (flags & PyBUF_ANY_CONTIGUOUS) == PyBUF_ANY_CONTIGUOUS;
  if (!contiguous && (!wants_strides || wants_contiguous)) {
    PyErr_SetString(PyExc_BufferError, "the view is not contiguous");
    b->obj = nullptr;
    return -1;
  }
  b->buf = v->base;
  b->obj = Py_NewRef(o);
  b->len = v->shape[0];
  b->readonly = 0;
  b->itemsize = 1;
  b->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("B") : nullptr;
  b->ndim = 1;
  b->shape = (flags & PyBUF_ND) ? v->shape : nullptr;
  b->strides = wants_strides ? v->strides : nullptr;
  b->suboffsets = nullptr;
  b->internal = nullptr;
  return 0;
}

PyObject* view_repr(PyObject* o) {
  return PyUnicode_FromFormat("<PixelView of %zd bytes of %R>", as_view(o)->shape[0],
                              as_view(o)->image);
}

PyObject* view_nbytes(PyObject* o, void*) { return PyLong_FromSsize_t(as_view(o)->shape[0]); }
PyObject* view_shape(PyObject* o, void*) { return Py_BuildValue("(n)", as_view(o)->shape[0]); }
PyObject* view_strides(PyObject* o, void*) { return Py_BuildValue("(n)", as_view(o)->strides[0]); }
PyObject* view_ndim(PyObject*, void*) { return PyLong_FromLong(1); }
PyObject* view_itemsize(PyObject*, void*) { return PyLong_FromLong(1); }
PyObject* view_format(PyObject*, void*) { return PyUnicode_FromString("B"); }
PyObject* view_readonly(PyObject*, void*) { Py_RETURN_FALSE; }
PyObject* view_obj(PyObject* o, void*) { return Py_NewRef(as_view(o)->image); }

PyGetSetDef view_getsets[] = {
    {"nbytes", view_nbytes, nullptr, nullptr, nullptr},
    {"shape", view_shape, nullptr, nullptr, nullptr},
    {"strides", view_strides, nullptr, nullptr, nullptr},
    {"ndim", view_ndim, nullptr, nullptr, nullptr},
    {"itemsize", view_itemsize, nullptr, nullptr, nullptr},
    {"format", view_format, nullptr, nullptr, nullptr},
    {"readonly", view_readonly, nullptr, nullptr, nullptr},
    {"obj", view_obj, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PySequenceMethods view_sequence = {};
PyMappingMethods view_mapping = {};
PyBufferProcs view_buffer = {};

// ---------------------------------------------------------------------------
// Python surface of Image

// Truth value of the `valid` attribute (a subclass may redefine it); -1 on
// error.
int valid_of(PyObject* self) {
  if (Py_IS_TYPE(self, &image_type)) return IsImageValid(as(self)->_raw) ? 1 : 0;
  Ref v(PyObject_GetAttr(self, s_valid));
  return v ? PyObject_IsTrue(v.get()) : -1;
}

PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
  PyObject* o = t->tp_alloc(t, 0);
  if (o) as(o)->__pyx_vtab = &vtable;
  return o;
}

// Image(...) on the type itself: every argument is accepted and ignored.
PyObject* vectorcall(PyObject* type, PyObject* const*, size_t, PyObject*) {
  return tp_new(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr);
}

void dealloc(PyObject* o) {
  Obj* self = as(o);
  if (self->is_owner) {
    PyObject* pending = PyErr_GetRaisedException();
    int valid;
    if (Py_IS_TYPE(o, &image_type)) {
      valid = IsImageValid(self->_raw) ? 1 : 0;
    } else {
      // Looking up `valid` runs Python code: keep the object alive meanwhile.
      Py_SET_REFCNT(o, 1);
      valid = valid_of(o);
      // A subclass's deallocator has already cleared the instance's
      // dictionary; the lookup may have made it again, and nothing else
      // would free it.
      if (Py_TYPE(o)->tp_flags & Py_TPFLAGS_MANAGED_DICT) PyObject_ClearManagedDict(o);
      if (valid < 0) {
        // The traceback's frames hold the object (as `self` of the getter);
        // reported with them, it would outlive this deallocation.
        PyObject* exc = PyErr_GetRaisedException();
        Ref e = Ref::borrow(exc);
        for (int depth = 0; e && depth < 64; ++depth) {
          PyException_SetTraceback(e.get(), Py_None);
          e.reset(PyException_GetContext(e.get()));
        }
        PyErr_SetRaisedException(exc);
      }
    }
    if (valid < 0) {
      PyErr_WriteUnraisable(s_dealloc_context);
    } else if (valid) {
      UnloadImage(self->_raw);
      self->_raw.data = nullptr;
    }
    PyErr_SetRaisedException(pending);
    if (!Py_IS_TYPE(o, &image_type)) {
      if (Py_REFCNT(o) > 1) {
        // The getter stored the object somewhere: it stays alive (without
        // pixels if they were released), and the type reference that the
        // subclass's deallocator is about to drop stays with it.
        Py_SET_REFCNT(o, Py_REFCNT(o) - 1);
        if (Py_TYPE(o)->tp_flags & Py_TPFLAGS_HEAPTYPE) Py_INCREF(Py_TYPE(o));
        if (PyType_IS_GC(Py_TYPE(o)) && !PyObject_GC_IsTracked(o)) PyObject_GC_Track(o);
        return;
      }
      Py_SET_REFCNT(o, 0);
    }
  }
  Py_TYPE(o)->tp_free(o);
}

PyObject* repr_text(PyObject* v) {
  if (PyUnicode_Check(v)) return Py_NewRef(v);
  if (PyLong_CheckExact(v) || PyFloat_CheckExact(v)) return PyObject_Repr(v);
  return PyObject_Format(v, nullptr);
}

PyObject* repr_impl(PyObject* self) {
  int valid = valid_of(self);
  if (valid < 0) return nullptr;
  if (!valid) return PyUnicode_FromString("<Image Invalid/Unloaded>");
  Ref parts[3];
  PyObject* names[3] = {s_width, s_height, s_format};
  for (int i = 0; i < 3; ++i) {
    Ref value(PyObject_GetAttr(self, names[i]));
    if (!value) return nullptr;
    parts[i].reset(repr_text(value.get()));
    if (!parts[i]) return nullptr;
  }
  return PyUnicode_FromFormat("<Image %Ux%U format=%U>", parts[0].get(), parts[1].get(),
                              parts[2].get());
}

PyObject* repr(PyObject* self) {
  PyObject* r = repr_impl(self);
  if (!r) traceback("__repr__");
  return r;
}

// Properties

PyObject* get_valid(PyObject* self, void*) { return PyBool_FromLong(IsImageValid(as(self)->_raw)); }
PyObject* get_width(PyObject* self, void*) { return PyLong_FromLong(as(self)->_raw.width); }
PyObject* get_height(PyObject* self, void*) { return PyLong_FromLong(as(self)->_raw.height); }
PyObject* get_mipmaps(PyObject* self, void*) { return PyLong_FromLong(as(self)->_raw.mipmaps); }
PyObject* get_format(PyObject* self, void*) { return PyLong_FromLong(as(self)->_raw.format); }

PyObject* data_view_impl(PyObject* self) {
  int valid = valid_of(self);
  if (valid < 0) return nullptr;
  if (!valid) {
    PyErr_SetString(PyExc_ValueError, kEmpty);
    return nullptr;
  }
  const Image& raw = as(self)->_raw;
  __int128 size = pixel_bytes(raw.width, raw.height, raw.format);
  if (!fits_int(size)) {
    PyErr_Format(PyExc_ValueError, "Invalid shape in axis %d: %d.", 0, raylib_size(size));
    return nullptr;
  }
  if (!raw.data) {
    PyErr_SetString(PyExc_ValueError, kEmpty);
    return nullptr;
  }
  return make_view(self, static_cast<unsigned char*>(raw.data), static_cast<Py_ssize_t>(size), 1);
}

PyObject* get_data_view(PyObject* self, void*) {
  PyObject* r = data_view_impl(self);
  if (!r) traceback("data_view.__get__");
  return r;
}

PyGetSetDef getsets[] = {
    {"valid", get_valid, nullptr, nullptr, nullptr},
    {"width", get_width, nullptr, nullptr, nullptr},
    {"height", get_height, nullptr, nullptr, nullptr},
    {"mipmaps", get_mipmaps, nullptr, nullptr, nullptr},
    {"format", get_format, nullptr, nullptr, nullptr},
    {"data_view", get_data_view, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Instance methods (never dispatched)

const char* const kFileNameParam[] = {"file_name"};

PyObject* py_export(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const rt::Params p{"export", kFileNameParam, 1, 1};
  PyObject* name;
  int r = -1;
  if (rt::bind_fast(p, args, n, kw, &name) && str_or_none(name, "file_name"))
    r = export_impl(as(self), name);
  if (r < 0) {
    traceback("export");
    return nullptr;
  }
  return PyBool_FromLong(r);
}

PyObject* py_unload(PyObject* self, PyObject* const*, Py_ssize_t n, PyObject* kw) {
  if (!rt::no_args("unload", n, kw) || unload_impl(as(self)) < 0) {
    traceback("unload");
    return nullptr;
  }
  Py_RETURN_NONE;
}

PyObject* py_copy(PyObject* self, PyObject* const*, Py_ssize_t n, PyObject* kw) {
  PyObject* r = rt::no_args("copy", n, kw) ? copy_impl(as(self)) : nullptr;
  if (!r) traceback("copy");
  return r;
}

PyObject* py_from_channel(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const char* const names[] = {"selected_channel"};
  static const rt::Params p{"from_channel", names, 1, 1};
  PyObject* a;
  int channel;
  PyObject* r = nullptr;
  if (rt::bind_fast(p, args, n, kw, &a) && rt::to_c_int(a, &channel))
    r = from_channel_impl(as(self), channel);
  if (!r) traceback("from_channel");
  return r;
}

PyObject* py_copy_dunder(PyObject* self, PyObject* const*, Py_ssize_t n, PyObject* kw) {
  if (!rt::no_args("__copy__", n, kw)) {
    traceback("__copy__");
    return nullptr;
  }
  return entry_copy(as(self), 0);
}

PyObject* py_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const char* const names[] = {"memo"};
  static const rt::Params p{"__deepcopy__", names, 1, 1};
  PyObject* memo;
  if (!rt::bind_fast(p, args, n, kw, &memo)) {
    traceback("__deepcopy__");
    return nullptr;
  }
  return entry_copy(as(self), 0);
}

// Static loaders

PyObject* py_load(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const rt::Params p{"load", kFileNameParam, 1, 1};
  PyObject* name;
  PyObject* r = nullptr;
  if (rt::bind_fast(p, args, n, kw, &name) && str_or_none(name, "file_name")) r = load_impl(name);
  if (!r) traceback("load");
  return r;
}

PyObject* py_load_raw(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const char* const names[] = {"file_name", "width", "height", "format", "header"};
  static const rt::Params p{"load_raw", names, 5, 5};
  PyObject* a[5];
  int v[4];
  PyObject* r = nullptr;
  if (rt::bind_fast(p, args, n, kw, a) && rt::to_c_int(a[1], &v[0]) && rt::to_c_int(a[2], &v[1]) &&
      rt::to_c_int(a[3], &v[2]) && rt::to_c_int(a[4], &v[3]) && str_or_none(a[0], "file_name"))
    r = load_raw_impl(a[0], v[0], v[1], v[2], v[3]);
  if (!r) traceback("load_raw");
  return r;
}

PyObject* py_load_anim(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const rt::Params p{"load_anim", kFileNameParam, 1, 1};
  PyObject* name;
  PyObject* r = nullptr;
  if (rt::bind_fast(p, args, n, kw, &name) && str_or_none(name, "file_name")) {
    int frames = 0;
    Ref image(load_anim_impl(name, &frames));
    if (image) {
      Ref count(PyLong_FromLong(frames));
      if (count) r = PyTuple_Pack(2, image.get(), count.get());
    }
  }
  if (!r) traceback("load_anim");
  return r;
}

PyObject* py_load_from_screen(PyObject*, PyObject* const*, Py_ssize_t n, PyObject* kw) {
  PyObject* r = rt::no_args("load_from_screen", n, kw) ? load_from_screen_impl() : nullptr;
  if (!r) traceback("load_from_screen");
  return r;
}

// Generators. Numbers are converted first, in parameter order, then colours
// and text; a size raylib cannot use gives the invalid image without a call.

constexpr int kRgba = 4;

template <size_t N>
struct Bound {
  PyObject* a[N];
};

template <size_t N>
bool bind(const rt::Params& p, PyObject* const* args, Py_ssize_t n, PyObject* kw, Bound<N>* out) {
  return rt::bind_fast(p, args, n, kw, out->a);
}

PyObject* fail(const char* name) {
  traceback(name);
  return nullptr;
}

PyObject* py_gen_color(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static constexpr char name[] = "generate_with_color";
  static const char* const names[] = {"width", "height", "color"};
  static const rt::Params p{name, names, 3, 3};
  Bound<3> b;
  int w, h;
  Color c;
  if (!bind(p, args, n, kw, &b) || !rt::to_c_int(b.a[0], &w) || !rt::to_c_int(b.a[1], &h) ||
      !to_color(b.a[2], names[2], &c))
    return fail(name);
  PyObject* r = wrap_result(generated_size_ok(w, h, kRgba) ? GenImageColor(w, h, c) : Image{});
  return r ? r : fail(name);
}

PyObject* py_gen_linear(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static constexpr char name[] = "generate_with_linear_gradient";
  static const char* const names[] = {"width", "height", "direction", "start", "end"};
  static const rt::Params p{name, names, 5, 5};
  Bound<5> b;
  int w, h, dir;
  Color c0, c1;
  if (!bind(p, args, n, kw, &b) || !rt::to_c_int(b.a[0], &w) || !rt::to_c_int(b.a[1], &h) ||
      !rt::to_c_int(b.a[2], &dir) || !to_color(b.a[3], names[3], &c0) ||
      !to_color(b.a[4], names[4], &c1))
    return fail(name);
  PyObject* r = wrap_result(
      generated_size_ok(w, h, kRgba) ? GenImageGradientLinear(w, h, dir, c0, c1) : Image{});
  return r ? r : fail(name);
}

template <Image (*Gen)(int, int, float, Color, Color), const char* Name>
PyObject* py_gen_density(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const char* const names[] = {"width", "height", "density", "inner", "outer"};
  static const rt::Params p{Name, names, 5, 5};
  Bound<5> b;
  int w, h;
  float density;
  Color c0, c1;
  if (!bind(p, args, n, kw, &b) || !rt::to_c_int(b.a[0], &w) || !rt::to_c_int(b.a[1], &h) ||
      !to_float(b.a[2], &density) || !to_color(b.a[3], names[3], &c0) ||
      !to_color(b.a[4], names[4], &c1))
    return fail(Name);
  PyObject* r = wrap_result(generated_size_ok(w, h, kRgba) ? Gen(w, h, density, c0, c1) : Image{});
  return r ? r : fail(Name);
}
constexpr char kRadial[] = "generate_with_radial_gradient";
constexpr char kSquare[] = "generate_with_square_gradient";

// raylib divides pixel coordinates by the check sizes.
PyObject* py_gen_checked(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static constexpr char name[] = "generate_with_checked";
  static const char* const names[] = {"width", "height", "check_x", "check_y", "col1", "col2"};
  static const rt::Params p{name, names, 6, 6};
  Bound<6> b;
  int w, h, cx, cy;
  Color c0, c1;
  if (!bind(p, args, n, kw, &b) || !rt::to_c_int(b.a[0], &w) || !rt::to_c_int(b.a[1], &h) ||
      !rt::to_c_int(b.a[2], &cx) || !rt::to_c_int(b.a[3], &cy) ||
      !to_color(b.a[4], names[4], &c0) || !to_color(b.a[5], names[5], &c1))
    return fail(name);
  bool ok = generated_size_ok(w, h, kRgba) && cx != 0 && cy != 0;
  PyObject* r = wrap_result(ok ? GenImageChecked(w, h, cx, cy, c0, c1) : Image{});
  return r ? r : fail(name);
}

PyObject* py_gen_white_noise(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static constexpr char name[] = "generate_with_white_noise";
  static const char* const names[] = {"width", "height", "factor"};
  static const rt::Params p{name, names, 3, 3};
  Bound<3> b;
  int w, h;
  float factor;
  if (!bind(p, args, n, kw, &b) || !rt::to_c_int(b.a[0], &w) || !rt::to_c_int(b.a[1], &h) ||
      !to_float(b.a[2], &factor))
    return fail(name);
  PyObject* r =
      wrap_result(generated_size_ok(w, h, kRgba) ? GenImageWhiteNoise(w, h, factor) : Image{});
  return r ? r : fail(name);
}

PyObject* py_gen_perlin(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static constexpr char name[] = "generate_with_perlin_noise";
  static const char* const names[] = {"width", "height", "offset_x", "offset_y", "scale"};
  static const rt::Params p{name, names, 5, 5};
  Bound<5> b;
  int w, h, ox, oy;
  float scale;
  if (!bind(p, args, n, kw, &b) || !rt::to_c_int(b.a[0], &w) || !rt::to_c_int(b.a[1], &h) ||
      !rt::to_c_int(b.a[2], &ox) || !rt::to_c_int(b.a[3], &oy) || !to_float(b.a[4], &scale))
    return fail(name);
  PyObject* r = wrap_result(
      generated_size_ok(w, h, kRgba) ? GenImagePerlinNoise(w, h, ox, oy, scale) : Image{});
  return r ? r : fail(name);
}

// raylib divides by the tile size and draws random offsets below it.
PyObject* py_gen_cellular(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static constexpr char name[] = "generate_with_cellular";
  static const char* const names[] = {"width", "height", "tile_size"};
  static const rt::Params p{name, names, 3, 3};
  Bound<3> b;
  int w, h, tile;
  if (!bind(p, args, n, kw, &b) || !rt::to_c_int(b.a[0], &w) || !rt::to_c_int(b.a[1], &h) ||
      !rt::to_c_int(b.a[2], &tile))
    return fail(name);
  bool ok = generated_size_ok(w, h, kRgba) && tile > 0;
  PyObject* r = wrap_result(ok ? GenImageCellular(w, h, tile) : Image{});
  return r ? r : fail(name);
}

PyObject* py_gen_text(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static constexpr char name[] = "generate_with_text";
  static const char* const names[] = {"width", "height", "text"};
  static const rt::Params p{name, names, 3, 3};
  Bound<3> b;
  int w, h;
  const char* text;
  if (!bind(p, args, n, kw, &b) || !rt::to_c_int(b.a[0], &w) || !rt::to_c_int(b.a[1], &h) ||
      !c_string(b.a[2], names[2], &text))
    return fail(name);
  PyObject* r = wrap_result(generated_size_ok(w, h, 1) ? GenImageText(w, h, text) : Image{});
  return r ? r : fail(name);
}

constexpr int kStatic = METH_STATIC | METH_FASTCALL | METH_KEYWORDS;
constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"load", cfunc(py_load), kStatic, "load(file_name)\n--\n\nload(file_name) -> Image"},
    {"load_raw", cfunc(py_load_raw), kStatic,
     "load_raw(file_name, width, height, format, header)\n--\n\n"
     "load_raw(file_name, width, height, format, header) -> Image"},
    {"load_anim", cfunc(py_load_anim), kStatic,
     "load_anim(file_name)\n--\n\nload_anim(file_name) -> tuple[Image, int]"},
    {"load_from_screen", cfunc(py_load_from_screen), METH_STATIC | METH_FASTCALL | METH_KEYWORDS,
     "load_from_screen()\n--\n\nload_from_screen() -> Image"},
    {"generate_with_color", cfunc(py_gen_color), kStatic,
     "generate_with_color(width, height, color)\n--\n\n"
     "generate_with_color(width, height, color) -> Image"},
    {"generate_with_linear_gradient", cfunc(py_gen_linear), kStatic,
     "generate_with_linear_gradient(width, height, direction, start, end)\n--\n\n"
     "generate_with_linear_gradient(width, height, direction, start, end) -> Image"},
    {"generate_with_radial_gradient", cfunc(py_gen_density<GenImageGradientRadial, kRadial>),
     kStatic,
     "generate_with_radial_gradient(width, height, density, inner, outer)\n--\n\n"
     "generate_with_radial_gradient(width, height, density, inner, outer) -> Image"},
    {"generate_with_square_gradient", cfunc(py_gen_density<GenImageGradientSquare, kSquare>),
     kStatic,
     "generate_with_square_gradient(width, height, density, inner, outer)\n--\n\n"
     "generate_with_square_gradient(width, height, density, inner, outer) -> Image"},
    {"generate_with_checked", cfunc(py_gen_checked), kStatic,
     "generate_with_checked(width, height, check_x, check_y, col1, col2)\n--\n\n"
     "generate_with_checked(width, height, check_x, check_y, col1, col2) -> Image"},
    {"generate_with_white_noise", cfunc(py_gen_white_noise), kStatic,
     "generate_with_white_noise(width, height, factor)\n--\n\n"
     "generate_with_white_noise(width, height, factor) -> Image"},
    {"generate_with_perlin_noise", cfunc(py_gen_perlin), kStatic,
     "generate_with_perlin_noise(width, height, offset_x, offset_y, scale)\n--\n\n"
     "generate_with_perlin_noise(width, height, offset_x, offset_y, scale) -> Image"},
    {"generate_with_cellular", cfunc(py_gen_cellular), kStatic,
     "generate_with_cellular(width, height, tile_size)\n--\n\n"
     "generate_with_cellular(width, height, tile_size) -> Image"},
    {"generate_with_text", cfunc(py_gen_text), kStatic,
     "generate_with_text(width, height, text)\n--\n\ngenerate_with_text(width, height, text) -> "
     "Image"},
    {"copy", cfunc(py_copy), METH_FASTCALL | METH_KEYWORDS, "copy($self)\n--\n\ncopy() -> Image"},
    {"__copy__", cfunc(py_copy_dunder), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"__deepcopy__", cfunc(py_deepcopy), kFast, nullptr},
    {"unload", cfunc(py_unload), METH_FASTCALL | METH_KEYWORDS,
     "unload($self)\n--\n\nunload() -> None"},
    {"export", cfunc(py_export), kFast,
     "export($self, file_name)\n--\n\nexport(file_name) -> bool"},
    {"from_channel", cfunc(py_from_channel), kFast,
     "from_channel($self, selected_channel)\n--\n\nfrom_channel(selected_channel) -> Image"},
    {nullptr, nullptr, 0, nullptr},
};

// ---------------------------------------------------------------------------
// Module

int intern(PyObject** slot, const char* text) {
  *slot = PyUnicode_InternFromString(text);
  return *slot ? 0 : -1;
}

int constants() {
  if (intern(&s_valid, "valid") < 0 || intern(&s_width, "width") < 0 ||
      intern(&s_height, "height") < 0 || intern(&s_format, "format") < 0 ||
      intern(&s_copy, "copy") < 0 || intern(&s_export, "export") < 0 ||
      intern(&s_unload, "unload") < 0 || intern(&s_from_channel, "from_channel") < 0 ||
      intern(&s_dealloc_context, "tarvex.image.image.Image.__dealloc__") < 0)
    return -1;

  vtable.new_ = entry_new;
  vtable.c_load = entry_c_load;
  vtable.c_load_raw = entry_c_load_raw;
  vtable.c_load_anim = entry_c_load_anim;
  vtable.c_load_from_screen = entry_c_load_from_screen;
  vtable.c_copy = entry_c_copy;
  vtable.export_ = entry_export;
  vtable.unload = entry_unload;
  vtable.copy = entry_copy;
  vtable.from_channel = entry_from_channel;

  view_sequence.sq_length = view_length;
  view_sequence.sq_item = view_seq_item;
  view_mapping.mp_length = view_length;
  view_mapping.mp_subscript = view_subscript;
  view_mapping.mp_ass_subscript = view_ass_subscript;
  view_buffer.bf_getbuffer = view_getbuffer;
  PyTypeObject& v = view_type;
  v.tp_name = "tarvex.image.image.PixelView";
  v.tp_basicsize = sizeof(View);
  v.tp_dealloc = view_dealloc;
  v.tp_repr = view_repr;
  v.tp_as_sequence = &view_sequence;
  v.tp_as_mapping = &view_mapping;
  v.tp_as_buffer = &view_buffer;
  v.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
  v.tp_traverse = view_traverse;
  v.tp_getset = view_getsets;
  if (PyType_Ready(&view_type) < 0) return -1;

  PyTypeObject& t = image_type;
  t.tp_name = kFull;
  t.tp_basicsize = sizeof(Obj);
  t.tp_dealloc = dealloc;
  t.tp_repr = repr;
  t.tp_str = repr;
  t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  t.tp_methods = methods;
  t.tp_getset = getsets;
  t.tp_new = tp_new;
  t.tp_vectorcall = vectorcall;
  return 0;
}

// raylib logs every file it reads at INFO level; warnings still show.
int body(PyObject*) {
  SetTraceLogLevel(LOG_WARNING);
  return 0;
}

rt::TypeEntry types[] = {
    {&image_type, "Image", &vtable, rt::PickleRefusal<kPickleMessage, kFull, kFile>::defs},
};
rt::Sibling siblings[] = {
    {"tarvex.vector4.vector4", "Vector4", sizeof(tarvex_Vector4Object), &vector4_type,
     &vector4_vtable},
    {"tarvex.color.color", "Color", sizeof(tarvex_ColorObject), &color_type, &color_vtable},
};
rt::Module module_frame({"image", "tarvex.image.image", kFile, types, 1, siblings, 2, constants,
                         body});

}  // namespace

PyMODINIT_FUNC PyInit_image() { return module_frame.init(); }
