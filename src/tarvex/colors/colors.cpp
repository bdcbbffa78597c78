// tarvex.colors.colors: the palette of 152 named colours. `Colors` holds one
// Color (or None) per name; `colors` is the instance made at import.
#include "tarvex/colors/colors.h"

#include <cstddef>
#include <cstdio>

#include "tarvex/_runtime/runtime.h"
#include "tarvex/color/color.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;
using Obj = tarvex_ColorsObject;

constexpr char kTypePath[] = "tarvex.colors.colors.Colors";
constexpr char kFile[] = "src/tarvex/colors/colors";

struct Entry {
  const char* name;
  unsigned char r, g, b, a;
  std::size_t offset;
};

constexpr Entry kPalette[] = {
#define TARVEX_COLORS_ENTRY(name, r, g, b, a) {#name, r, g, b, a, offsetof(Obj, name)},
    TARVEX_COLORS_PALETTE(TARVEX_COLORS_ENTRY)
#undef TARVEX_COLORS_ENTRY
};
constexpr int kCount = TARVEX_COLORS_COUNT;
static_assert(sizeof kPalette / sizeof kPalette[0] == kCount, "one entry per field");
static_assert(sizeof(Obj) == sizeof(PyObject) + kCount * sizeof(PyObject*),
              "the fields are contiguous references in declaration order");

PyTypeObject colors_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyTypeObject* vector4_type;
tarvex_Vector4VTable* vector4_vt;
PyTypeObject* color_type;
tarvex_ColorVTable* color_vt;

// The channel values as Python ints, made once (0..255 are the interpreter's
// cached small ints, so this allocates nothing).
PyObject* channel_ints[256];

PyObject** slot(PyObject* self, int i) noexcept {
  return reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + kPalette[i].offset);
}

// Puts `value` (a new reference) into slot i and releases what it held. The
// swap happens under the object's critical section, the release after it,
// since releasing may run arbitrary code.
void replace(PyObject* self, int i, PyObject* value) {
  PyObject* old;
  Py_BEGIN_CRITICAL_SECTION(self);
  PyObject** s = slot(self, i);
  old = *s;
  *s = value;
  Py_END_CRITICAL_SECTION();
  Py_XDECREF(old);
}

// --------------------------------------------------------------- attributes

PyObject* get_colour(PyObject* self, void* closure) {
  const int i = static_cast<int>(reinterpret_cast<intptr_t>(closure));
  PyObject* r;
  Py_BEGIN_CRITICAL_SECTION(self);
  r = Py_XNewRef(*slot(self, i));
  Py_END_CRITICAL_SECTION();
  return r ? r : Py_NewRef(Py_None);
}

int set_colour(PyObject* self, PyObject* value, void* closure) {
  const int i = static_cast<int>(reinterpret_cast<intptr_t>(closure));
  if (!value) value = Py_None;  // deleting stores None
  if (value != Py_None && !PyObject_TypeCheck(value, color_type)) {
    PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(value)->tp_name,
                 color_type->tp_name);
    char name[64];
    std::snprintf(name, sizeof name, "%s.__set__", kPalette[i].name);
    rt::add_traceback(kTypePath, name, kFile);
    return -1;
  }
  replace(self, i, Py_NewRef(value));
  return 0;
}

PyGetSetDef getsets[kCount + 1];

// --------------------------------------------------------------- lifecycle

PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
  PyObject* o = t->tp_alloc(t, 0);
  if (o)
    for (int i = 0; i < kCount; ++i) *slot(o, i) = Py_NewRef(Py_None);
  return o;
}

const rt::Params kInitParams{"__init__", nullptr, 0, 0};

// Fills every name, in declaration order, with its own Color(r, g, b, a).
// A failing call stops there: earlier names hold their new colours, later
// ones keep what they held.
int fill(PyObject* self) {
  for (int i = 0; i < kCount; ++i) {
    const Entry& e = kPalette[i];
    PyObject* args[4] = {channel_ints[e.r], channel_ints[e.g], channel_ints[e.b],
                         channel_ints[e.a]};
    PyObject* c = PyObject_Vectorcall(reinterpret_cast<PyObject*>(color_type), args, 4, nullptr);
    if (!c) return -1;
    replace(self, i, c);
  }
  return 0;
}

int tp_init(PyObject* self, PyObject* args, PyObject* kwds) {
  int r = -1;
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (nargs) {
    rt::bind_params(kInitParams, &PyTuple_GET_ITEM(args, 0), nargs, nullptr, nullptr);
  } else if (!rt::keywords_refused("__init__", kwds)) {
    r = fill(self);
  }
  if (r < 0) rt::add_traceback(kTypePath, "__init__", kFile);
  return r;
}

int traverse(PyObject* self, visitproc visit, void* arg) {
  for (int i = 0; i < kCount; ++i) Py_VISIT(*slot(self, i));
  return 0;
}

int clear(PyObject* self) {
  for (int i = 0; i < kCount; ++i) {
    PyObject** s = slot(self, i);
    PyObject* old = *s;
    *s = Py_NewRef(Py_None);
    Py_XDECREF(old);
  }
  return 0;
}

void dealloc(PyObject* self) {
  PyObject_GC_UnTrack(self);
  for (int i = 0; i < kCount; ++i) Py_CLEAR(*slot(self, i));
  Py_TYPE(self)->tp_free(self);
}

// ------------------------------------------------------------------ module

int constants() {
  for (int v = 0; v < 256; ++v) {
    channel_ints[v] = PyLong_FromLong(v);
    if (!channel_ints[v]) return -1;
  }
  for (int i = 0; i < kCount; ++i)
    getsets[i] = {kPalette[i].name, get_colour, set_colour, nullptr,
                  reinterpret_cast<void*>(static_cast<intptr_t>(i))};
  getsets[kCount] = {};

  PyTypeObject& t = colors_type;
  t.tp_name = kTypePath;
  t.tp_basicsize = sizeof(Obj);
  t.tp_itemsize = 0;
  t.tp_dealloc = dealloc;
  t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  t.tp_traverse = traverse;
  t.tp_clear = clear;
  t.tp_getset = getsets;
  t.tp_init = tp_init;
  t.tp_new = tp_new;
  return 0;
}

int body(PyObject* module) {
  Ref colors(PyObject_CallNoArgs(reinterpret_cast<PyObject*>(&colors_type)));
  if (!colors) return -1;
  return PyModule_AddObjectRef(module, "colors", colors.get());
}

rt::TypeEntry types[] = {{&colors_type, "Colors", nullptr, nullptr}};
rt::Sibling siblings[] = {
    {"tarvex.vector4.vector4", "Vector4", sizeof(tarvex_Vector4Object), &vector4_type,
     reinterpret_cast<void**>(&vector4_vt)},
    {"tarvex.color.color", "Color", sizeof(tarvex_ColorObject), &color_type,
     reinterpret_cast<void**>(&color_vt)},
};
rt::Module module_frame({"colors", "tarvex.colors.colors", kFile, types, 1, siblings, 2, constants,
                         body});

}  // namespace

PyMODINIT_FUNC PyInit_colors() { return module_frame.init(); }
