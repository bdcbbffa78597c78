// Test-only module that binds Color (and Vector4) the way a sibling module
// does, calls the entries of Color's C method table, and reads the instance
// layouts of Color and Colors directly.
#include <algorithm>
#include <cstddef>
#include <iterator>

#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/color/color.h"
#include "tarvex/colors/colors.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;

PyTypeObject* v4_type;
tarvex_Vector4VTable* v4_vt;
PyTypeObject* color_type;
tarvex_ColorVTable* color_vt;

rt::Sibling siblings[] = {
    {"tarvex.vector4.vector4", "Vector4", sizeof(tarvex_Vector4Object), &v4_type,
     reinterpret_cast<void**>(&v4_vt)},
    {"tarvex.color.color", "Color", sizeof(tarvex_ColorObject), &color_type,
     reinterpret_cast<void**>(&color_vt)},
};

bool nargs_is(const char* fname, Py_ssize_t n, Py_ssize_t want) {
  if (n == want) return true;
  PyErr_Format(PyExc_TypeError, "%s() takes %zd arguments", fname, want);
  return false;
}

// Any Color instance, subclasses included, as the C entries accept them.
bool colour(PyObject* o, tarvex_ColorObject** out) {
  if (!PyObject_TypeCheck(o, color_type)) {
    rt::arg_type_error("color", color_type->tp_name, o);
    return false;
  }
  *out = reinterpret_cast<tarvex_ColorObject*>(o);
  return true;
}

bool c_int(PyObject* o, int* out) {
  long v = PyLong_AsLong(o);
  if (v == -1 && PyErr_Occurred()) return false;
  *out = static_cast<int>(v);
  return true;
}

PyObject* color_new(PyObject*, PyObject* const* args, Py_ssize_t n) {
  int v[4];
  if (!nargs_is("color_new", n, 4)) return nullptr;
  for (int i = 0; i < 4; ++i)
    if (!c_int(args[i], &v[i])) return nullptr;
  return color_vt->new_(v[0], v[1], v[2], v[3]);
}

PyObject* color_equal(PyObject*, PyObject* const* args, Py_ssize_t n) {
  tarvex_ColorObject *a, *b;
  if (!nargs_is("color_equal", n, 2) || !colour(args[0], &a) || !colour(args[1], &b))
    return nullptr;
  return PyLong_FromLong(color_vt->c_equal(a, b));
}

PyObject* color_normalize(PyObject*, PyObject* c) {
  tarvex_ColorObject* a;
  if (!colour(c, &a)) return nullptr;
  return color_vt->c_normalize(a);
}

PyObject* color_tint(PyObject*, PyObject* const* args, Py_ssize_t n) {
  tarvex_ColorObject *a, *b;
  if (!nargs_is("color_tint", n, 2) || !colour(args[0], &a) || !colour(args[1], &b)) return nullptr;
  return color_vt->c_tint(a, b);
}

PyObject* color_fade(PyObject*, PyObject* const* args, Py_ssize_t n) {
  tarvex_ColorObject* a;
  int flag;
  if (!nargs_is("color_fade", n, 3) || !colour(args[0], &a)) return nullptr;
  double alpha = PyFloat_AsDouble(args[1]);
  if ((alpha == -1.0 && PyErr_Occurred()) || !c_int(args[2], &flag)) return nullptr;
  color_vt->fade(a, static_cast<float>(alpha), flag);
  Py_RETURN_NONE;
}

PyObject* color_to_int(PyObject*, PyObject* const* args, Py_ssize_t n) {
  tarvex_ColorObject* a;
  int flag;
  if (!nargs_is("color_to_int", n, 2) || !colour(args[0], &a) || !c_int(args[1], &flag))
    return nullptr;
  return PyLong_FromLong(color_vt->to_int(a, flag));
}

// The raylib Color read straight out of the instance.
PyObject* raw(PyObject*, PyObject* c) {
  tarvex_ColorObject* a;
  if (!colour(c, &a)) return nullptr;
  return Py_BuildValue("(iiii)", a->_raw.r, a->_raw.g, a->_raw.b, a->_raw.a);
}

// 1 when the instance carries the table published in __pyx_vtable__.
PyObject* has_table(PyObject*, PyObject* c) {
  tarvex_ColorObject* a;
  if (!colour(c, &a)) return nullptr;
  return PyBool_FromLong(a->__pyx_vtab == color_vt);
}

// The palette's fields in layout order, read without going through the
// attributes (borrowed, so the caller gets new references).
PyObject* colors_fields(PyObject*, PyObject* o) {
  PyObject* mod = PyImport_ImportModule("tarvex.colors.colors");
  if (!mod) return nullptr;
  PyObject* type = PyObject_GetAttrString(mod, "Colors");
  Py_DECREF(mod);
  if (!type) return nullptr;
  int ok = PyObject_TypeCheck(o, reinterpret_cast<PyTypeObject*>(type));
  Py_DECREF(type);
  if (!ok) {
    PyErr_SetString(PyExc_TypeError, "expected a Colors instance");
    return nullptr;
  }
  auto* c = reinterpret_cast<tarvex_ColorsObject*>(o);
  PyObject* fields[] = {
#define TARVEX_COLORS_FIELD(name, r, g, b, a) c->name,
      TARVEX_COLORS_PALETTE(TARVEX_COLORS_FIELD)
#undef TARVEX_COLORS_FIELD
  };
  PyObject* out = PyList_New(TARVEX_COLORS_COUNT);
  if (!out) return nullptr;
  for (int i = 0; i < TARVEX_COLORS_COUNT; ++i) PyList_SET_ITEM(out, i, Py_NewRef(fields[i]));
  return out;
}

PyObject* palette_names(PyObject*, PyObject*) {
  const char* names[] = {
#define TARVEX_COLORS_NAME(name, r, g, b, a) #name,
      TARVEX_COLORS_PALETTE(TARVEX_COLORS_NAME)
#undef TARVEX_COLORS_NAME
  };
  PyObject* out = PyList_New(TARVEX_COLORS_COUNT);
  if (!out) return nullptr;
  for (int i = 0; i < TARVEX_COLORS_COUNT; ++i) {
    PyObject* s = PyUnicode_FromString(names[i]);
    if (!s) {
      Py_DECREF(out);
      return nullptr;
    }
    PyList_SET_ITEM(out, i, s);
  }
  return out;
}

// color_layout() -> (offset of the table pointer, offset of _raw, instance
// size, table size, entry names ordered by their offset in the table), as a
// binder compiled against the declarations sees them.
PyObject* color_layout(PyObject*, PyObject*) {
  struct Slot {
    const char* name;
    std::size_t offset;
  };
#define SLOT(entry) Slot{#entry, offsetof(tarvex_ColorVTable, entry)}
  Slot slots[] = {SLOT(to_int),      SLOT(fade),    SLOT(c_tint),
                  SLOT(c_normalize), SLOT(c_equal), SLOT(new_)};
#undef SLOT
  std::sort(std::begin(slots), std::end(slots),
            [](const Slot& a, const Slot& b) { return a.offset < b.offset; });
  rt::Ref names(PyList_New(0));
  if (!names) return nullptr;
  for (const Slot& s : slots) {
    rt::Ref item(Py_BuildValue("(sn)", s.name, static_cast<Py_ssize_t>(s.offset / sizeof(void*))));
    if (!item || PyList_Append(names.get(), item.get()) < 0) return nullptr;
  }
  using Obj = tarvex_ColorObject;
  return Py_BuildValue("(nnnnO)", static_cast<Py_ssize_t>(offsetof(Obj, __pyx_vtab)),
                       static_cast<Py_ssize_t>(offsetof(Obj, _raw)),
                       static_cast<Py_ssize_t>(sizeof(Obj)),
                       static_cast<Py_ssize_t>(sizeof(tarvex_ColorVTable)), names.get());
}

#define FAST(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)), METH_FASTCALL

PyMethodDef methods[] = {
    {"color_new", FAST(color_new), nullptr},
    {"color_equal", FAST(color_equal), nullptr},
    {"color_normalize", color_normalize, METH_O, nullptr},
    {"color_tint", FAST(color_tint), nullptr},
    {"color_fade", FAST(color_fade), nullptr},
    {"color_to_int", FAST(color_to_int), nullptr},
    {"raw", raw, METH_O, nullptr},
    {"has_table", has_table, METH_O, nullptr},
    {"colors_fields", colors_fields, METH_O, nullptr},
    {"palette_names", palette_names, METH_NOARGS, nullptr},
    {"color_layout", color_layout, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_colors_testhelper", {.siblings = siblings,
                                               .body = body,
                                               .full_name = "_colors_testhelper",
                                               .file = "tests/native/colors_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__colors_testhelper() { return module_frame.init(); }
