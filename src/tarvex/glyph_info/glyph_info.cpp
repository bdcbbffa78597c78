// tarvex.glyph_info.glyph_info: a raylib font glyph record with a borrowing
// Image over the glyph's pixels. Filled records come from sibling modules
// through entry `new`; from Python the type is an opaque, unpicklable holder.
#include "tarvex/glyph_info/glyph_info.h"

#include <cstddef>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/image/image.h"

namespace tarvex::glyph_info {

using Obj = tarvex_GlyphInfoObject;

constexpr rt::Where kWhere{"tarvex.glyph_info.glyph_info.GlyphInfo",
                           "src/tarvex/glyph_info/glyph_info"};

extern PyTypeObject glyph_type;
extern tarvex_GlyphInfoVTable vtable;

namespace {

// Bound at exec time.
PyTypeObject* image_type;
tarvex_ImageVTable* image_vtable;

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }

// The empty glyph: table set, record zero, no image.
PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
  PyObject* o = t->tp_alloc(t, 0);
  if (!o) return nullptr;
  as(o)->__pyx_vtab = &vtable;
  as(o)->_raw = GlyphInfo{};
  as(o)->_image = Py_NewRef(Py_None);
  return o;
}

// GlyphInfo(...) on the type itself: every argument is accepted and ignored.
PyObject* construct(PyObject* type, PyObject* const*, size_t, PyObject*) {
  return tp_new(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr);
}

int traverse(PyObject* o, visitproc visit, void* arg) {
  Py_VISIT(as(o)->_image);
  return 0;
}

int clear(PyObject* o) {
  PyObject* old = as(o)->_image;
  as(o)->_image = Py_NewRef(Py_None);
  Py_XDECREF(old);
  return 0;
}

// Releases the image object; the pixels belong to the record's supplier.
void dealloc(PyObject* o) {
  PyObject_GC_UnTrack(o);
  Py_CLEAR(as(o)->_image);
  Py_TYPE(o)->tp_free(o);
}

// A new glyph holding `raw`, with a borrowing Image over raw.image.
PyObject* do_new(GlyphInfo raw) {
  rt::Ref o(tp_new(&glyph_type, nullptr, nullptr));
  if (!o) return nullptr;
  as(o.get())->_raw = raw;
  tarvex_ImageNewArgs borrow{1, 0};
  PyObject* image = image_vtable->new_(raw.image, &borrow);
  if (!image) return nullptr;
  PyObject* old = as(o.get())->_image;
  as(o.get())->_image = image;
  Py_DECREF(old);
  return o.release();
}

using Pickling = rt::PickleRefusal<kWhere, rt::kRawNotPicklable,
                                   "`copy.copy` and `copy.deepcopy` raise it too.">;

const rt::TypeEntry types[] = {{&glyph_type, &vtable, Pickling::defs}};
const rt::Sibling siblings[] = {
    rt::sibling<tarvex_ImageObject>("tarvex.image.image", "Image", &image_type, &image_vtable),
};

}  // namespace

tarvex_GlyphInfoVTable vtable = {.new_ = rt::Traced<kWhere, "new", do_new>::call};

PyTypeObject glyph_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = rt::docstring<
        "GlyphInfo()\n--\n\n"
        "A raylib font glyph record: code point, drawing offsets, advance and the glyph's "
        "image.\n\n"
        "Filled glyphs are made by native modules through the type's C table; they read the "
        "record directly. From Python the type shows no attributes, and `GlyphInfo()` makes an "
        "empty glyph (arguments given to it are ignored).\n\n"
        "Ownership: the glyph holds an Image that borrows the glyph's pixels. Neither the glyph "
        "nor that image ever frees them; whoever supplied the record keeps them alive while the "
        "glyph is in use. Pickling and copying raise TypeError.">,
    .tp_traverse = traverse,
    .tp_clear = clear,
    .tp_new = tp_new,
    .tp_vectorcall = construct,
};

}  // namespace tarvex::glyph_info

TARVEX_MODULE(glyph_info,
              {.types = tarvex::glyph_info::types, .siblings = tarvex::glyph_info::siblings})
