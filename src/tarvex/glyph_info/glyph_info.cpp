// tarvex.glyph_info.glyph_info: a raylib font glyph record with a borrowing
// Image over the glyph's pixels. Filled records come from sibling modules
// through entry `new`; from Python the type is an opaque, unpicklable holder.
#include "tarvex/glyph_info/glyph_info.h"

#include "tarvex/_runtime/runtime.h"
#include "tarvex/image/image.h"

namespace {

namespace rt = tarvex::rt;
using Obj = tarvex_GlyphInfoObject;

constexpr char kFull[] = "tarvex.glyph_info.glyph_info.GlyphInfo";
constexpr char kFile[] = "src/tarvex/glyph_info/glyph_info";
constexpr char kPickleMessage[] = "self._raw cannot be converted to a Python object for pickling";

PyTypeObject glyph_type = {PyVarObject_HEAD_INIT(nullptr, 0)};
tarvex_GlyphInfoVTable vtable{};

PyTypeObject* image_type = nullptr;
tarvex_ImageVTable* image_vtable = nullptr;

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
PyObject* vectorcall(PyObject* type, PyObject* const*, size_t, PyObject*) {
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

PyObject* entry_new(GlyphInfo raw) {
  PyObject* o = tp_new(&glyph_type, nullptr, nullptr);
  if (o) {
    as(o)->_raw = raw;
    tarvex_ImageNewArgs borrow{1, 0};
    PyObject* image = image_vtable->new_(raw.image, &borrow);
    if (image) {
      PyObject* old = as(o)->_image;
      as(o)->_image = image;
      Py_DECREF(old);
      return o;
    }
    Py_DECREF(o);
  }
  rt::add_traceback(kFull, "new", kFile);
  return nullptr;
}

int constants() {
  vtable.new_ = entry_new;
  PyTypeObject& t = glyph_type;
  t.tp_name = kFull;
  t.tp_basicsize = sizeof(Obj);
  t.tp_dealloc = dealloc;
  t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  t.tp_traverse = traverse;
  t.tp_clear = clear;
  t.tp_new = tp_new;
  t.tp_vectorcall = vectorcall;
  return 0;
}

rt::TypeEntry types[] = {
    {&glyph_type, "GlyphInfo", &vtable, rt::PickleRefusal<kPickleMessage, kFull, kFile>::defs},
};
rt::Sibling siblings[] = {
    {"tarvex.image.image", "Image", sizeof(tarvex_ImageObject), &image_type,
     reinterpret_cast<void**>(&image_vtable)},
};
rt::Module module_frame({"glyph_info", "tarvex.glyph_info.glyph_info", kFile, types, 1, siblings, 1,
                         constants, nullptr});

}  // namespace

PyMODINIT_FUNC PyInit_glyph_info() { return module_frame.init(); }
