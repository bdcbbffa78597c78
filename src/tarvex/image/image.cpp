// tarvex.image.image: the owning wrapper of a raylib Image. Here are the
// Image type, its C-level entries and the module; the loaders and
// generators are in image_creators.cpp, the pixel view in pixel_view.cpp and
// the size arithmetic in pixel_format.h.
//
// raylib trusts its callers with sizes: it multiplies width, height and bytes
// per pixel in int, divides by check and tile sizes, reads past a raw file's
// end when the header is too long and reads the screen through GL entry
// points that exist only once a window is open. Every operation here checks
// what raylib does not before it calls raylib, and turns an unusable request
// into the same invalid Image that raylib gives for a failed load. A raylib
// result that is not a valid image never keeps pixels: they are released at
// once, so an owning Image either holds a valid image or holds nothing.
//
// raylib cannot read the pixels of a compressed format (DXT, ETC, PVRT,
// ASTC) as colours, and its functions that try do not fail: they work on a
// buffer they allocated and never filled. Such images therefore never reach
// them. Their bytes stay what they are: data_view shows them, copy copies
// them (ImageCopy only copies bytes) and export writes them to a ".raw" file;
// export to an image file gives False, and from_channel, which has no
// channel to read, gives the invalid Image.
#include "tarvex/image/image.h"

#include <array>
#include <cstddef>

#include "tarvex/_raylib/log.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/override.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/color/color.h"
#include "tarvex/image/image_module.h"
#include "tarvex/image/pixel_format.h"
#include "tarvex/image/pixel_view.h"
#include "tarvex/vector4/vector4.h"

namespace tarvex::image {

using rt::Ref;

// The export count sits in the tail padding of the three declared fields.
struct DeclaredLayout {
  PyObject_HEAD void* vtab;
  Image raw;
  int is_owner;
};
static_assert(sizeof(Obj) == sizeof(DeclaredLayout), "the export count must not grow the instance");

PyTypeObject* color_type;

namespace {

// Bound at exec time; the Vector4 type is bound for the modules that expect
// it loaded with this one.
PyTypeObject* vector4_type;
void* vector4_vtable;
void* color_vtable;

PyObject* s_valid;
PyObject* s_width;
PyObject* s_height;
PyObject* s_format;
PyObject* s_dealloc_context;

constexpr char kEmpty[] = "Image data is empty or Image has been unloaded.";

// ---------------------------------------------------------------------------
// Creation

// Wraps the value as it is. On failure the pixels stay with the caller.
PyObject* do_new(Image raw, tarvex_ImageNewArgs* opt) {
  Obj* o = alloc();
  if (!o) return nullptr;
  o->_raw = raw;
  o->is_owner = (opt && opt->count >= 1) ? opt->is_owner : 1;
  return py(o);
}

// ---------------------------------------------------------------------------
// Copy, export, unload and channel: the built-in code of entries 5 to 9

// ImageCopy reads every mipmap level from `data`; with no pixels it would
// copy from a null pointer. It copies bytes, so a compressed image copies
// as well as any other.
PyObject* do_copy(Obj* self) {
  const Image& raw = self->_raw;
  if (!raw.data || !fits_int(all_levels_bytes(raw))) return wrap_result(Image{});
  return wrap_result(ImageCopy(raw));
}

// ExportImage reads every format but the 8-bit grey, grey-alpha, RGB and
// RGBA ones through LoadImageColors before it looks at the file name; for a
// compressed format that gives an unfilled buffer, which the image writers
// would put in the file. A compressed image is written to a ".raw" file as
// ExportImage writes one (the first level's bytes as they are) and to
// nothing else.
int do_export(Obj* self, PyObject* file_name) {
  const char* s;
  if (!rt::utf8_argument(file_name, "file_name", &s)) return -1;
  const Image& raw = self->_raw;
  if (!walkable(raw)) return 0;
  if (colour_readable(raw.format)) return ExportImage(raw, s) ? 1 : 0;
  if (!IsFileExtension(s, ".raw")) return 0;
  int size = raylib_size(pixel_bytes(raw.width, raw.height, raw.format));
  return SaveFileData(s, raw.data, size) ? 1 : 0;
}

// Releases (or, for a borrowing image, forgets) the pixels. Refused while a
// view of them exists: the view would be left over freed memory.
bool do_unload(Obj* self) {
  bool ok = true;
  Py_BEGIN_CRITICAL_SECTION(py(self));
  if (self->_exports > 0) {
    PyErr_Format(PyExc_BufferError, "cannot unload an Image while %d view%s of its pixels exist%s",
                 self->_exports, self->_exports == 1 ? "" : "s", self->_exports == 1 ? "s" : "");
    ok = false;
  } else {
    if (self->is_owner) UnloadImage(self->_raw);
    self->_raw.data = nullptr;
  }
  Py_END_CRITICAL_SECTION();
  return ok;
}

// ImageFromChannel reads colours; for an image without them it would hand
// back zeros as if they were the channel.
PyObject* do_from_channel(Obj* self, int channel) {
  const Image& raw = self->_raw;
  if (!walkable(raw) || !colour_readable(raw.format)) return wrap_result(Image{});
  return wrap_result(ImageFromChannel(raw, channel));
}

// ---------------------------------------------------------------------------
// C-level entries. The dispatched ones run the override of their method in
// a Python subclass when called with skip_dispatch 0; each adds its own
// traceback entry to a failure.

enum Method : int { kExport, kUnload, kCopy, kFromChannel, kMethodCount };

std::array<rt::Overridable, kMethodCount> overridables = {{
    {&image_type, "export"},
    {&image_type, "unload"},
    {&image_type, "copy"},
    {&image_type, "from_channel"},
}};

// An override's result for copy and from_channel: an Image or None.
PyObject* image_result(Ref r) { return rt::expect_instance(r.release(), &image_type); }

// 1 or 0 (the truth of the override's result), and 0 with the exception
// set on failure.
int entry_export(Obj* self, PyObject* file_name, int skip_dispatch) {
  Ref method;
  int r = overridables[kExport].find(py(self), skip_dispatch, &method);
  if (r > 0) {
    Ref res = rt::call_override(method, file_name);
    r = res ? PyObject_IsTrue(res.get()) : -1;
  } else if (r == 0) {
    r = do_export(self, file_name);
  }
  if (r >= 0) return r;
  rt::add_traceback(kWhere, "export");
  return 0;
}

// The override's result is ignored.
void entry_unload(Obj* self, int skip_dispatch) {
  Ref method;
  int found = overridables[kUnload].find(py(self), skip_dispatch, &method);
  bool ok = found > 0 ? static_cast<bool>(rt::call_override(method, nullptr))
                      : found == 0 && do_unload(self);
  if (!ok) rt::add_traceback(kWhere, "unload");
}

PyObject* entry_copy(Obj* self, int skip_dispatch) {
  Ref method;
  int found = overridables[kCopy].find(py(self), skip_dispatch, &method);
  PyObject* r = found > 0   ? image_result(rt::call_override(method, nullptr))
                : found < 0 ? nullptr
                            : do_copy(self);
  if (!r) rt::add_traceback(kWhere, "copy");
  return r;
}

PyObject* entry_from_channel(Obj* self, int channel, int skip_dispatch) {
  Ref method;
  int found = overridables[kFromChannel].find(py(self), skip_dispatch, &method);
  PyObject* r = nullptr;
  if (found > 0) {
    Ref arg(PyLong_FromLong(channel));
    if (arg) r = image_result(rt::call_override(method, arg.get()));
  } else if (found == 0) {
    r = do_from_channel(self, channel);
  }
  if (!r) rt::add_traceback(kWhere, "from_channel");
  return r;
}

}  // namespace

tarvex_ImageVTable vtable = {
    .new_ = rt::Traced<kWhere, "new", do_new>::call,
    .c_load = entry_c_load,
    .c_load_raw = entry_c_load_raw,
    .c_load_anim = entry_c_load_anim,
    .c_load_from_screen = entry_c_load_from_screen,
    .c_copy = rt::Traced<kWhere, "c_copy", do_copy>::call,
    .export_ = entry_export,
    .unload = entry_unload,
    .copy = entry_copy,
    .from_channel = entry_from_channel,
};

namespace {

// ---------------------------------------------------------------------------
// Construction, deallocation and repr

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
PyObject* construct(PyObject* type, PyObject* const*, size_t, PyObject*) {
  return tp_new(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr);
}

// The traceback's frames hold the object (as `self` of the getter);
// reported with them, it would outlive its deallocation.
void drop_tracebacks() {
  PyObject* exc = PyErr_GetRaisedException();
  Ref e = Ref::borrow(exc);
  for (int depth = 0; e && depth < 64; ++depth) {
    PyException_SetTraceback(e.get(), Py_None);
    e.reset(PyException_GetContext(e.get()));
  }
  PyErr_SetRaisedException(exc);
}

// The release of an owning instance of a subclass, whose `valid` may be
// Python code. False when that code kept the object: it stays alive.
bool release_subclass_instance(PyObject* o) {
  Obj* self = as(o);
  {
    rt::ErrorScope pending;
    // Looking up `valid` runs Python code: keep the object alive meanwhile.
    Py_SET_REFCNT(o, 1);
    int valid = valid_of(o);
    // A subclass's deallocator has already cleared the instance's
    // dictionary; the lookup may have made it again, and nothing else would
    // free it.
    if (Py_TYPE(o)->tp_flags & Py_TPFLAGS_MANAGED_DICT) PyObject_ClearManagedDict(o);
    if (valid < 0) {
      drop_tracebacks();
      PyErr_WriteUnraisable(s_dealloc_context);
    } else if (valid) {
      UnloadImage(self->_raw);
      self->_raw.data = nullptr;
    }
  }
  if (Py_REFCNT(o) > 1) {
    // The getter stored the object somewhere: it stays alive (without
    // pixels if they were released), and the type reference that the
    // subclass's deallocator is about to drop stays with it.
    Py_SET_REFCNT(o, Py_REFCNT(o) - 1);
    if (Py_TYPE(o)->tp_flags & Py_TPFLAGS_HEAPTYPE) Py_INCREF(Py_TYPE(o));
    if (PyType_IS_GC(Py_TYPE(o)) && !PyObject_GC_IsTracked(o)) PyObject_GC_Track(o);
    return false;
  }
  Py_SET_REFCNT(o, 0);
  return true;
}

void dealloc(PyObject* o) {
  Obj* self = as(o);
  if (self->is_owner) {
    if (!Py_IS_TYPE(o, &image_type)) {
      if (!release_subclass_instance(o)) return;
    } else if (IsImageValid(self->_raw)) {
      // raylib's calls leave a pending exception alone.
      UnloadImage(self->_raw);
      self->_raw.data = nullptr;
    }
  }
  Py_TYPE(o)->tp_free(o);
}

PyObject* repr_text(PyObject* v) {
  if (PyUnicode_Check(v)) return Py_NewRef(v);
  if (PyLong_CheckExact(v) || PyFloat_CheckExact(v)) return PyObject_Repr(v);
  return PyObject_Format(v, nullptr);
}

PyObject* repr(PyObject* self) {
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

// ---------------------------------------------------------------------------
// Properties

bool valid(Obj* self) { return IsImageValid(self->_raw); }
PyObject* width(Obj* self) { return PyLong_FromLong(self->_raw.width); }
PyObject* height(Obj* self) { return PyLong_FromLong(self->_raw.height); }
PyObject* mipmaps(Obj* self) { return PyLong_FromLong(self->_raw.mipmaps); }
PyObject* format(Obj* self) { return PyLong_FromLong(self->_raw.format); }

PyObject* data_view(Obj* self) {
  int valid = valid_of(py(self));
  if (valid < 0) return nullptr;
  if (!valid) {
    PyErr_SetString(PyExc_ValueError, kEmpty);
    return nullptr;
  }
  const Image& raw = self->_raw;
  __int128 size = pixel_bytes(raw.width, raw.height, raw.format);
  if (!fits_int(size)) {
    PyErr_Format(PyExc_ValueError, "Invalid shape in axis %d: %d.", 0, raylib_size(size));
    return nullptr;
  }
  if (!raw.data) {
    PyErr_SetString(PyExc_ValueError, kEmpty);
    return nullptr;
  }
  return make_view(py(self), static_cast<unsigned char*>(raw.data), static_cast<Py_ssize_t>(size),
                   1);
}

template <rt::Name N, auto Get>
using Property = rt::Property<kWhere, Obj, N, Get>;

PyGetSetDef properties[] = {
    Property<"valid", valid>::def(
        rt::docstring<
            "True if the image holds pixels raylib can use. Read-only.\n\n"
            "raylib's IsImageValid: pixel data, a positive size, at least one mipmap level and a "
            "pixel format. False for `Image()`, after `unload()` and for a failed load or "
            "generation.">),
    Property<"width", width>::def(
        rt::docstring<"The width in pixels, an int. Read-only; kept after `unload()`.">),
    Property<"height", height>::def(
        rt::docstring<"The height in pixels, an int. Read-only; kept after `unload()`.">),
    Property<"mipmaps", mipmaps>::def(
        rt::docstring<"The number of mipmap levels, an int (1 for a plain image). Read-only.">),
    Property<"format", format>::def(
        rt::docstring<
            "raylib's pixel format code, an int (1 is 8-bit grayscale, 4 is 8-bit RGB, 7 is 8-bit "
            "RGBA, ...). Read-only.\n\n"
            "`tarvex.pixel_format.pixel_format.PixelFormat` names the codes and compares equal to "
            "them: `img.format == PixelFormat.UNCOMPRESSED_R8G8B8A8`.">),
    Property<"data_view", data_view>::def(
        rt::docstring<
            "A new writable PixelView of the image's pixel bytes, without a copy.\n\n"
            "It covers the first (largest) mipmap level: `width * height` pixels of the format's "
            "size. Writes go straight into the image. Raises ValueError if the image has no pixels "
            "(invalid, or unloaded). While a view exists the image refuses to unload; the view "
            "keeps the image alive.">),
    rt::kEndOfProperties,
};

// ---------------------------------------------------------------------------
// Methods: the creators, then the instance methods, which run their entries
// with dispatch skipped; only the copy protocol dispatches.

using Declare = rt::Declare<kWhere, Obj>;

PyObject* dispatched_copy(Obj* self) { return entry_copy(self, 0); }
using Copying =
    rt::CopyHooks<kWhere, Obj, dispatched_copy,
                  "A subclass's own `copy` is called; it must return an Image or None (TypeError "
                  "otherwise).">;

constexpr std::size_t kOwnMethods = 6;
std::array<PyMethodDef, kCreatorCount + kOwnMethods + 1> methods = [] {
  std::array<PyMethodDef, kCreatorCount + kOwnMethods + 1> m{};
  std::size_t k = 0;
  for (const PyMethodDef& d : creator_methods()) m[k++] = d;
  const PyMethodDef own[kOwnMethods] = {
      Declare::entry<"copy", entry_copy>::def<
          "Return a new owning Image with its own copy of the pixels.\n\n"
          "Every mipmap level is copied. A copy of a borrowing image owns its new pixels; a copy "
          "of an image without pixels is invalid. This image is unchanged.">(),
      Copying::Dunder::def(),
      Copying::Deep::def(),
      Declare::entry<"unload", entry_unload>::def<
          "Release the pixels now and return None.\n\n"
          "An owning image frees them; a borrowing image only forgets them. Afterwards `valid` "
          "is False while `width`, `height`, `mipmaps` and `format` keep their values; a second "
          "call does nothing. Raises BufferError while a view of the pixels from `data_view` (or "
          "a memoryview made from one) still exists.">(),
      Declare::entry<"export", entry_export, rt::StrOrNone<"file_name">>::def<
          "Write the image to `file_name` and return True on success.\n\n"
          "The format follows the file name's extension, among those the bundled raylib writes "
          "(.png, .bmp, .qoi, and .raw for the bare pixel bytes); an extension raylib cannot "
          "write, an unwritable path or an image without pixels returns False rather than "
          "raising. `file_name` follows the rules of `load`.">(),
      Declare::entry<"from_channel", entry_from_channel, rt::Int<"selected_channel">>::def<
          "Return a new owning 8-bit grayscale Image of one channel of this image.\n\n"
          "`selected_channel` is 0 (red), 1 (green), 2 (blue) or 3 (alpha); raylib takes any "
          "other number as alpha, with a warning. A C int (an int, or an object with "
          "`__int__`). This image is unchanged.">(),
  };
  for (const PyMethodDef& d : own) m[k++] = d;
  m[k] = rt::kEndOfMethods;
  return m;
}();

}  // namespace

PyTypeObject image_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_repr = rt::Slot<kWhere, "__repr__", repr>::call,
    .tp_str = rt::Slot<kWhere, "__repr__", repr>::call,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = rt::docstring<
        "Image()\n--\n\n"
        "A raylib image: a pixel buffer with its width, height, mipmap count and pixel "
        "format.\n\n"
        "Made by the static loaders (`load`, `load_raw`, `load_anim`, `load_from_screen`), "
        "`from_pixels` (a copy of pixels a program made) and the generators "
        "(`generate_with_...`), by `copy` and by `from_channel`, all of which return an `Image` "
        "(also when called on a subclass). `Image()` is an empty image; arguments "
        "given to it are ignored.\n\n"
        "Ownership: an image made by this module owns its pixels and releases them when it is "
        "unloaded or garbage collected. An image made by a native module may borrow its pixels "
        "(a glyph's image does): it never releases them, and `unload()` only forgets them. "
        "raylib failures are not exceptions: a file that cannot be loaded, or sizes raylib "
        "cannot use, give an image whose `valid` is False.\n\n"
        "`data_view` exposes the pixel bytes for reading and writing without a copy; while a "
        "view exists the image refuses to unload. `copy.copy` and `copy.deepcopy` call "
        "`copy()`; pickling raises TypeError. `str` and `repr` give \"<Image WxH format=F>\" "
        "or \"<Image Invalid/Unloaded>\".">,
    .tp_methods = methods.data(),
    .tp_getset = properties,
    .tp_new = tp_new,
    .tp_vectorcall = construct,
};

namespace {

// ---------------------------------------------------------------------------
// Module

int constants() {
  struct Interned {
    PyObject** slot;
    const char* text;
  };
  for (auto [slot, text] : {Interned{&s_valid, "valid"}, Interned{&s_width, "width"},
                            Interned{&s_height, "height"}, Interned{&s_format, "format"},
                            Interned{&s_dealloc_context, "tarvex.image.image.Image.__dealloc__"}}) {
    if (!*slot) *slot = PyUnicode_InternFromString(text);
    if (!*slot) return -1;
  }
  // The pixel view is no module attribute: it is readied here.
  if (PyType_Ready(&view_type) < 0) return -1;
  return rt::prepare_overridables(overridables);
}

using Pickling = rt::PickleRefusal<kWhere, rt::kRawNotPicklable,
                                   "`copy.copy` and `copy.deepcopy` still work, through "
                                   "`copy()`.">;

const rt::TypeEntry types[] = {{&image_type, &vtable, Pickling::defs}};
const rt::Sibling siblings[] = {
    {"tarvex.vector4.vector4", "Vector4", sizeof(tarvex_Vector4Object), &vector4_type,
     &vector4_vtable},
    {"tarvex.color.color", "Color", sizeof(tarvex_ColorObject), &color_type, &color_vtable},
};

}  // namespace
}  // namespace tarvex::image

TARVEX_MODULE(image, {.types = tarvex::image::types,
                      .siblings = tarvex::image::siblings,
                      .constants = tarvex::image::constants,
                      .body = tarvex::quiet_raylib_log})
