// tarvex.colors.colors: the palette of 152 named colours. `Colors` holds one
// Color (or None) per name; `colors` is the instance made at import.
#include "tarvex/colors/colors.h"

#include <array>
#include <cstddef>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/color/color.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;
using Obj = tarvex_ColorsObject;

constexpr rt::Where kWhere{"tarvex.colors.colors.Colors", "src/tarvex/colors/colors"};

struct Entry {
  const char* name;
  unsigned char r, g, b, a;
  std::size_t offset;
  const char* doc;
};

// Each colour's docstring names its value, from the same table.
#define TARVEX_COLORS_DOC(r, g, b, a)                                                         \
  rt::docstring<"`Color(" #r ", " #g ", " #b ", " #a                                          \
                ")` in a new palette. Read/write.\n\n"                                        \
                "Assigning takes a `Color` (subclasses too) or None, else raises TypeError; " \
                "deleting stores None.">

constexpr Entry kPalette[] = {
#define TARVEX_COLORS_ENTRY(name, r, g, b, a) \
  {#name, r, g, b, a, offsetof(Obj, name), TARVEX_COLORS_DOC(r, g, b, a)},
    TARVEX_COLORS_PALETTE(TARVEX_COLORS_ENTRY)
#undef TARVEX_COLORS_ENTRY
#undef TARVEX_COLORS_DOC
};
constexpr int kCount = TARVEX_COLORS_COUNT;
static_assert(sizeof kPalette / sizeof kPalette[0] == kCount, "one entry per field");
static_assert(sizeof(Obj) == sizeof(PyObject) + kCount * sizeof(PyObject*),
              "the fields are contiguous references in declaration order");

PyTypeObject* vector4_type;
tarvex_Vector4VTable* vector4_vt;
PyTypeObject* color_type;
tarvex_ColorVTable* color_vt;

// The channel values as Python ints, made once (0..255 are the interpreter's
// cached small ints, so this allocates nothing).
PyObject* channel_ints[256];

PyObject** slot(Obj* self, const Entry& e) noexcept {
  return reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + e.offset);
}

// Puts `value` (a new reference) into the entry's slot and releases what it
// held. The swap happens under the object's critical section, the release
// after it, since releasing may run arbitrary code.
void replace(Obj* self, const Entry& e, PyObject* value) {
  PyObject* old;
  Py_BEGIN_CRITICAL_SECTION(self);
  PyObject** s = slot(self, e);
  old = *s;
  *s = value;
  Py_END_CRITICAL_SECTION();
  Py_XDECREF(old);
}

// --------------------------------------------------------------- attributes

PyObject* get_colour(Obj* self, const Entry& e) {
  PyObject* r;
  Py_BEGIN_CRITICAL_SECTION(self);
  r = Py_XNewRef(*slot(self, e));
  Py_END_CRITICAL_SECTION();
  return r ? r : Py_NewRef(Py_None);
}

// A Color (or subclass) or None.
bool set_colour(Obj* self, const Entry& e, PyObject* value) {
  if (value != Py_None && !PyObject_TypeCheck(value, color_type)) {
    PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(value)->tp_name,
                 color_type->tp_name);
    return false;
  }
  replace(self, e, Py_NewRef(value));
  return true;
}

// Deleting a colour stores None.
bool delete_colour(Obj* self, const Entry& e) {
  replace(self, e, Py_NewRef(Py_None));
  return true;
}

using Colour = rt::FieldProperty<kWhere, Obj, Entry, get_colour, set_colour, rt::Object<"value">,
                                 delete_colour>;

std::array<PyGetSetDef, kCount + 1> properties = [] {
  std::array<PyGetSetDef, kCount + 1> g{};
  for (int i = 0; i < kCount; ++i) g[i] = Colour::def(kPalette[i], kPalette[i].doc);
  g[kCount] = rt::kEndOfProperties;
  return g;
}();

// --------------------------------------------------------------- lifecycle

PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
  PyObject* o = t->tp_alloc(t, 0);
  if (o)
    for (const Entry& e : kPalette) *slot(reinterpret_cast<Obj*>(o), e) = Py_NewRef(Py_None);
  return o;
}

// Fills every name, in declaration order, with its own Color(r, g, b, a).
// A failing call stops there: earlier names hold their new colours, later
// ones keep what they held.
int fill(Obj* self) {
  for (const Entry& e : kPalette) {
    PyObject* args[4] = {channel_ints[e.r], channel_ints[e.g], channel_ints[e.b],
                         channel_ints[e.a]};
    PyObject* c = PyObject_Vectorcall(reinterpret_cast<PyObject*>(color_type), args, 4, nullptr);
    if (!c) return -1;
    replace(self, e, c);
  }
  return 0;
}

using Initializer = rt::Initializer<kWhere, Obj, fill, nullptr>;

int traverse(PyObject* self, visitproc visit, void* arg) {
  for (const Entry& e : kPalette) Py_VISIT(*slot(reinterpret_cast<Obj*>(self), e));
  return 0;
}

int clear(PyObject* self) {
  for (const Entry& e : kPalette) {
    PyObject** s = slot(reinterpret_cast<Obj*>(self), e);
    PyObject* old = *s;
    *s = Py_NewRef(Py_None);
    Py_XDECREF(old);
  }
  return 0;
}

void dealloc(PyObject* self) {
  PyObject_GC_UnTrack(self);
  for (const Entry& e : kPalette) Py_CLEAR(*slot(reinterpret_cast<Obj*>(self), e));
  Py_TYPE(self)->tp_free(self);
}

PyTypeObject colors_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = rt::docstring<
        "Colors()\n--\n\n"
        "A palette of 152 named colours, one read/write attribute per name.\n\n"
        "The module's instance `colors` is the one to use: `colors.Red`, "
        "`colors.CornflowerBlue`. All but eleven names are the CSS named colours with alpha 255. "
        "`Blank` is transparent black, (0, 0, 0, 0); `MediumForestGreen`, `NavyBlue` and "
        "`VioletRed` are not CSS names; `Maroon`, `Purple`, `MediumOrchid`, `MediumSeaGreen`, "
        "`MediumSlateBlue`, `MediumSpringGreen` and `MediumTurquoise` have values of their own. "
        "Each attribute's docstring gives its value.\n\n"
        "`Colors()` makes another palette filled with new `Color` objects; it takes no "
        "arguments. Each attribute can be replaced by a `Color` (or an instance of a subclass) "
        "or None; anything else raises TypeError and keeps the old value. Deleting an attribute "
        "stores None. Calling `__init__()` again restores all 152 colours. No other attributes "
        "can be set. The colours are ordinary mutable `Color` objects: change one and every "
        "reader of that attribute sees the change. Equality is identity; pickling raises "
        "TypeError.">,
    .tp_traverse = traverse,
    .tp_clear = clear,
    .tp_getset = properties.data(),
    .tp_init = Initializer::init,
    .tp_new = tp_new,
};

// ------------------------------------------------------------------ module

int constants() {
  for (int v = 0; v < 256; ++v) {
    channel_ints[v] = PyLong_FromLong(v);
    if (!channel_ints[v]) return -1;
  }
  return 0;
}

int body(PyObject* module) {
  Ref colors(PyObject_CallNoArgs(reinterpret_cast<PyObject*>(&colors_type)));
  if (!colors) return -1;
  return PyModule_AddObjectRef(module, "colors", colors.get());
}

const rt::TypeEntry types[] = {{&colors_type}};
const rt::Sibling siblings[] = {
    rt::sibling<tarvex_Vector4Object>("tarvex.vector4.vector4", "Vector4", &vector4_type,
                                      &vector4_vt),
    rt::sibling<tarvex_ColorObject>("tarvex.color.color", "Color", &color_type, &color_vt),
};

}  // namespace

TARVEX_MODULE(colors, {.types = types, .siblings = siblings, .constants = constants, .body = body})
