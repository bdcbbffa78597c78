// tarvex.color.color: the RGBA colour type, a raylib Color in an object.
//
// Python surface: Color(r, g, b, a=255) with channels 0..255; read/write
// properties r, g, b, a; normalize(), tint(other), fade(alpha), to_int();
// repr, equality and hash by value; a read-only sequence of the four
// channels (len, indexing, iteration), so that tuple(c) is (r, g, b, a). The C method table follows
// the instance layout in color.h and is what sibling modules bind to.
#include "tarvex/color/color.h"

#include <cstdio>

#include "tarvex/_runtime/runtime.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;
using Obj = tarvex_ColorObject;

constexpr char kFullName[] = "tarvex.color.color.Color";
constexpr char kFile[] = "src/tarvex/color/color";
constexpr char kPickleMessage[] = "self._raw cannot be converted to a Python object for pickling";

PyTypeObject color_type = {PyVarObject_HEAD_INIT(nullptr, 0)};
tarvex_ColorVTable vtable{};

PyTypeObject* vector4_type;
tarvex_Vector4VTable* vector4_vt;

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
bool check(PyObject* o) noexcept {
  return Py_IS_TYPE(o, &color_type) || PyObject_TypeCheck(o, &color_type);
}

void traceback(const char* name) { rt::add_traceback("tarvex.color.color.Color", name, kFile); }

const char* const kChannelNames[] = {"r", "g", "b", "a"};

bool channel_range_error(int i, long long v) {
  PyErr_Format(PyExc_ValueError, "Color channel '%s' must be in 0..255, got %lld", kChannelNames[i],
               v);
  return false;
}

// One channel from a Python number (an int or anything with __int__).
bool to_channel(PyObject* o, int i, unsigned char* out) {
  int v;
  if (!rt::to_c_int(o, &v)) return false;
  if (v < 0 || v > 255) return channel_range_error(i, v);
  *out = static_cast<unsigned char>(v);
  return true;
}

Obj* alloc() noexcept {
  Obj* o = PyObject_New(Obj, &color_type);
  if (o) {
    o->__pyx_vtab = &vtable;
    o->_raw = Color{0, 0, 0, 0};
  }
  return o;
}

PyObject* make(Color c) noexcept {
  Obj* o = alloc();
  if (o) o->_raw = c;
  return reinterpret_cast<PyObject*>(o);
}

// ------------------------------------------------------------ C-level entries

PyObject* c_new(int r, int g, int b, int a) {
  const int v[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i)
    if (v[i] < 0 || v[i] > 255) {
      channel_range_error(i, v[i]);
      return nullptr;
    }
  return make(Color{static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                    static_cast<unsigned char>(b), static_cast<unsigned char>(a)});
}

int c_equal(Obj* self, Obj* other) {
  const Color x = self->_raw, y = other->_raw;
  return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}

PyObject* c_normalize(Obj* self) {
  const Color c = self->_raw;
  return vector4_vt->new_(c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

// raylib's ColorTint: each channel multiplied by the tint's, integer-divided by 255.
Color tint_value(Color c, Color t) noexcept {
  auto mul = [](unsigned char x, unsigned char y) {
    return static_cast<unsigned char>((static_cast<int>(x) * static_cast<int>(y)) / 255);
  };
  return Color{mul(c.r, t.r), mul(c.g, t.g), mul(c.b, t.b), mul(c.a, t.a)};
}

PyObject* c_tint(Obj* self, Obj* tint) { return make(tint_value(self->_raw, tint->_raw)); }

// raylib's Fade: alpha clamped to 0..1, then 255 * alpha truncated. NaN, for
// which raylib's conversion is undefined, gives 0.
unsigned char fade_alpha(float alpha) noexcept {
  if (!(alpha > 0.0f)) return 0;
  if (alpha > 1.0f) alpha = 1.0f;
  return static_cast<unsigned char>(255.0f * alpha);
}

// The dispatch flag is part of the table's signature; Color's entries always
// run their own code.
void c_fade(Obj* self, float alpha, int) { self->_raw.a = fade_alpha(alpha); }

// raylib's ColorToInt: 0xRRGGBBAA as a signed 32-bit int.
int c_to_int(Obj* self, int) {
  const Color c = self->_raw;
  const uint32_t u = (static_cast<uint32_t>(c.r) << 24) | (static_cast<uint32_t>(c.g) << 16) |
                     (static_cast<uint32_t>(c.b) << 8) | static_cast<uint32_t>(c.a);
  return static_cast<int32_t>(u);
}

// --------------------------------------------------------------- construction

const char* const kParamNames[] = {"r", "g", "b", "a"};
const rt::Params kInitParams{"__init__", kParamNames, 4, 3};

int init_args(Obj* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* a[4];
  if (!rt::bind_fast(kInitParams, args, nargs, kwnames, a)) return -1;
  Color c{0, 0, 0, 255};
  unsigned char* dst[4] = {&c.r, &c.g, &c.b, &c.a};
  for (int i = 0; i < 4; ++i)
    if (a[i] && !to_channel(a[i], i, dst[i])) return -1;
  self->_raw = c;
  return 0;
}

PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
  PyObject* o = t->tp_alloc(t, 0);
  if (o) {
    as(o)->__pyx_vtab = &vtable;
    as(o)->_raw = Color{0, 0, 0, 255};
  }
  return o;
}

int tp_init(PyObject* self, PyObject* args, PyObject* kwds) {
  // Lays the arguments out as a vectorcall would and binds them the same way.
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  const Py_ssize_t nkw = kwds ? PyDict_GET_SIZE(kwds) : 0;
  int r;
  if (nkw == 0) {
    r = init_args(as(self), &PyTuple_GET_ITEM(args, 0), nargs, nullptr);
  } else {
    Ref kwnames(PyTuple_New(nkw));
    PyObject** stack = kwnames ? PyMem_New(PyObject*, nargs + nkw) : nullptr;
    if (!stack) {
      if (kwnames) PyErr_NoMemory();
      return -1;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) stack[i] = PyTuple_GET_ITEM(args, i);
    PyObject *key, *value;
    Py_ssize_t pos = 0, k = 0;
    while (k < nkw && PyDict_Next(kwds, &pos, &key, &value)) {
      PyTuple_SET_ITEM(kwnames.get(), k, Py_NewRef(key));
      stack[nargs + k++] = value;
    }
    r = init_args(as(self), stack, nargs, kwnames.get());
    PyMem_Free(stack);
  }
  if (r < 0) traceback("__init__");
  return r;
}

// Calls of the exact type; subclasses never inherit this slot and go through
// tp_new and tp_init.
PyObject* vectorcall(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  Py_ssize_t n = PyVectorcall_NARGS(nargsf);
  Obj* o = alloc();
  if (!o) return nullptr;
  if (init_args(o, args, n, kwnames) < 0) {
    Py_DECREF(o);
    traceback("__init__");
    return nullptr;
  }
  return reinterpret_cast<PyObject*>(o);
}

void dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

// ------------------------------------------------------------------ methods

PyObject* py_normalize(PyObject* self) { return c_normalize(as(self)); }

PyObject* py_to_int(PyObject* self) { return PyLong_FromLong(c_to_int(as(self), 0)); }

PyObject* py_tint(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const char* const names[] = {"tint"};
  static const rt::Params p{"tint", names, 1, 1};
  PyObject* t;
  if (!rt::bind_fast(p, args, n, kw, &t)) {
    traceback("tint");
    return nullptr;
  }
  if (!check(t)) {
    rt::arg_type_error("tint", kFullName, t);
    traceback("tint");
    return nullptr;
  }
  return c_tint(as(self), as(t));
}

PyObject* py_fade(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  static const char* const names[] = {"alpha"};
  static const rt::Params p{"fade", names, 1, 1};
  PyObject* a;
  double d;
  if (!rt::bind_fast(p, args, n, kw, &a) || !rt::to_double(a, &d)) {
    traceback("fade");
    return nullptr;
  }
  c_fade(as(self), rt::narrow(d), 0);
  Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    TARVEX_NOARGS_METHOD("normalize", py_normalize, nullptr, kFullName, kFile),
    {"tint", rt::cfunc(py_tint), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"fade", rt::cfunc(py_fade), METH_FASTCALL | METH_KEYWORDS, nullptr},
    TARVEX_NOARGS_METHOD("to_int", py_to_int, nullptr, kFullName, kFile),
    {nullptr, nullptr, 0, nullptr},
};

// ---------------------------------------------------------------- properties

unsigned char* channel(Obj* o, intptr_t i) noexcept {
  unsigned char* c[4] = {&o->_raw.r, &o->_raw.g, &o->_raw.b, &o->_raw.a};
  return c[i];
}

PyObject* get_channel(PyObject* self, void* closure) {
  return PyLong_FromLong(*channel(as(self), reinterpret_cast<intptr_t>(closure)));
}

int set_channel(PyObject* self, PyObject* value, void* closure) {
  const int i = static_cast<int>(reinterpret_cast<intptr_t>(closure));
  unsigned char v;
  if (!value) {
    rt::property_deletion_error();
  } else if (to_channel(value, i, &v)) {
    *channel(as(self), i) = v;
    return 0;
  }
  char name[16];
  std::snprintf(name, sizeof name, "%s.__set__", kChannelNames[i]);
  traceback(name);
  return -1;
}

PyGetSetDef getsets[] = {
    {"r", get_channel, set_channel, nullptr, reinterpret_cast<void*>(intptr_t{0})},
    {"g", get_channel, set_channel, nullptr, reinterpret_cast<void*>(intptr_t{1})},
    {"b", get_channel, set_channel, nullptr, reinterpret_cast<void*>(intptr_t{2})},
    {"a", get_channel, set_channel, nullptr, reinterpret_cast<void*>(intptr_t{3})},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ------------------------------------------------------------ protocol slots

PyObject* repr(PyObject* self) {
  const Color c = as(self)->_raw;
  rt::Ref name(PyType_GetName(Py_TYPE(self)));
  if (!name) return nullptr;
  return PyUnicode_FromFormat("%U(%d, %d, %d, %d)", name.get(), c.r, c.g, c.b, c.a);
}

// The packed value is non-negative and below 2**32, so never -1.
Py_hash_t hash(PyObject* self) {
  return static_cast<Py_hash_t>(static_cast<uint32_t>(c_to_int(as(self), 0)));
}

PyObject* richcompare(PyObject* a, PyObject* b, int op) {
  if ((op != Py_EQ && op != Py_NE) || !check(a) || !check(b)) Py_RETURN_NOTIMPLEMENTED;
  return PyBool_FromLong((op == Py_EQ) == (c_equal(as(a), as(b)) != 0));
}

Py_ssize_t length(PyObject*) { return 4; }

PyObject* sq_item(PyObject* self, Py_ssize_t i) {
  if (i < 0 || i >= 4) {
    PyErr_SetString(PyExc_IndexError, "Color index out of range");
    traceback("__getitem__");
    return nullptr;
  }
  return PyLong_FromLong(*channel(as(self), static_cast<intptr_t>(i)));
}

PySequenceMethods sequence = {};

// --------------------------------------------------------------------- module

int constants() {
  vtable.new_ = c_new;
  vtable.c_equal = c_equal;
  vtable.c_normalize = c_normalize;
  vtable.c_tint = c_tint;
  vtable.fade = c_fade;
  vtable.to_int = c_to_int;

  sequence.sq_length = length;
  sequence.sq_item = sq_item;

  PyTypeObject& t = color_type;
  t.tp_name = kFullName;
  t.tp_basicsize = sizeof(Obj);
  t.tp_itemsize = 0;
  t.tp_dealloc = dealloc;
  t.tp_repr = repr;
  t.tp_as_sequence = &sequence;
  t.tp_hash = hash;
  t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  t.tp_richcompare = richcompare;
  t.tp_methods = methods;
  t.tp_getset = getsets;
  t.tp_init = tp_init;
  t.tp_new = tp_new;
  t.tp_vectorcall = vectorcall;
  return 0;
}

rt::TypeEntry types[] = {
    {&color_type, "Color", &vtable, rt::PickleRefusal<kPickleMessage, kFullName, kFile>::defs}};
rt::Sibling siblings[] = {
    {"tarvex.vector4.vector4", "Vector4", sizeof(tarvex_Vector4Object), &vector4_type,
     reinterpret_cast<void**>(&vector4_vt)},
};
rt::Module module_frame({"color", "tarvex.color.color", kFile, types, 1, siblings, 1, constants,
                         nullptr});

}  // namespace

PyMODINIT_FUNC PyInit_color() { return module_frame.init(); }
