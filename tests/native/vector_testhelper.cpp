// Test-only module that binds the three vector types the way a sibling
// module does and calls their C method tables by entry name.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <iterator>
#include <string_view>

#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/vector2/vector2.h"
#include "tarvex/vector3/vector3.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;

PyTypeObject* v2_type;
PyTypeObject* v3_type;
PyTypeObject* v4_type;
tarvex_Vector2VTable* v2_vt;
tarvex_Vector3VTable* v3_vt;
tarvex_Vector4VTable* v4_vt;

rt::Sibling siblings[] = {
    {"tarvex.vector2.vector2", "Vector2", sizeof(tarvex_Vector2Object), &v2_type,
     reinterpret_cast<void**>(&v2_vt)},
    {"tarvex.vector3.vector3", "Vector3", sizeof(tarvex_Vector3Object), &v3_type,
     reinterpret_cast<void**>(&v3_vt)},
    {"tarvex.vector4.vector4", "Vector4", sizeof(tarvex_Vector4Object), &v4_type,
     reinterpret_cast<void**>(&v4_vt)},
};

struct Args {
  PyObject* const* a;
  Py_ssize_t n;
  Py_ssize_t i = 0;
  bool next(PyObject** o) {
    if (i >= n) {
      PyErr_SetString(PyExc_TypeError, "too few arguments for the entry");
      return false;
    }
    *o = a[i++];
    return true;
  }
  bool d(double* v) {
    PyObject* o;
    return next(&o) && rt::to_double(o, v);
  }
  bool f(float* v) {
    double x;
    if (!d(&x)) return false;
    *v = static_cast<float>(x);
    return true;
  }
  bool i32(int* v) {
    PyObject* o;
    if (!next(&o)) return false;
    long x = PyLong_AsLong(o);
    if (x == -1 && PyErr_Occurred()) return false;
    *v = static_cast<int>(x);
    return true;
  }
  template <class Obj>
  bool vec(PyTypeObject* t, Obj** v) {
    PyObject* o;
    if (!next(&o)) return false;
    if (!Py_IS_TYPE(o, t)) {
      rt::arg_type_error("vector", t->tp_name, o);
      return false;
    }
    *v = reinterpret_cast<Obj*>(o);
    return true;
  }
  bool done() {
    if (i != n) {
      PyErr_SetString(PyExc_TypeError, "too many arguments for the entry");
      return false;
    }
    return true;
  }
};

// Calls the entries common to the three tables; `extra` handles the rest.
template <class Obj, class VT, int N>
PyObject* call_common(PyTypeObject* t, VT* vt, std::string_view e, Args& a,
                      const std::function<PyObject*(std::string_view, Args&, bool*)>& extra) {
  Obj *s, *o, *p;
  int flag;
  auto ret = [&](PyObject* r) { return a.done() ? r : (Py_XDECREF(r), nullptr); };
  if (e == "new" || e == "cfrom_xyz_like") {
    double v[N];
    for (int i = 0; i < N; ++i)
      if (!a.d(&v[i])) return nullptr;
    if constexpr (N == 2) return ret(vt->new_(v[0], v[1]));
    if constexpr (N == 3) return ret(vt->new_(v[0], v[1], v[2]));
    if constexpr (N == 4) return ret(vt->new_(v[0], v[1], v[2], v[3]));
  }
  if (e == "cfrom_ints") {
    int v[N];
    for (int i = 0; i < N; ++i)
      if (!a.i32(&v[i])) return nullptr;
    if constexpr (N == 2) return ret(vt->cfrom_ints(v[0], v[1]));
    if constexpr (N == 3) return ret(vt->cfrom_ints(v[0], v[1], v[2]));
    if constexpr (N == 4) return ret(vt->cfrom_ints(v[0], v[1], v[2], v[3]));
  }
  if (e == "cfrom_floats") {
    float v[N];
    for (int i = 0; i < N; ++i)
      if (!a.f(&v[i])) return nullptr;
    if constexpr (N == 2) return ret(vt->cfrom_floats(v[0], v[1]));
    if constexpr (N == 3) return ret(vt->cfrom_floats(v[0], v[1], v[2]));
    if constexpr (N == 4) return ret(vt->cfrom_floats(v[0], v[1], v[2], v[3]));
  }
  PyObject* obj;
  if (e == "cfrom_list" || e == "cfrom_tuple") {
    if (!a.next(&obj)) return nullptr;
    return ret(e == "cfrom_list" ? vt->cfrom_list(obj) : vt->cfrom_tuple(obj));
  }
  bool handled = false;
  PyObject* r = extra(e, a, &handled);
  if (handled) return r;
  if (!a.vec(t, &s)) return nullptr;
  using Bin = PyObject* (*)(Obj*, Obj*);
  using Void = void (*)(Obj*, Obj*);
  using Un = PyObject* (*)(Obj*, int);
  using Meas = double (*)(Obj*, Obj*, int);
  struct {
    const char* name;
    Bin bin;
    Void vd;
    Un un;
    Meas meas;
  } table[] = {
      {"_add", vt->_add, nullptr, nullptr, nullptr},
      {"_sub", vt->_sub, nullptr, nullptr, nullptr},
      {"_iadd", nullptr, vt->_iadd, nullptr, nullptr},
      {"_isub", nullptr, vt->_isub, nullptr, nullptr},
      {"_imul", nullptr, vt->_imul, nullptr, nullptr},
      {"get_tuple", nullptr, nullptr, vt->get_tuple, nullptr},
      {"to_round", nullptr, nullptr, vt->to_round, nullptr},
      {"get_round", nullptr, nullptr, vt->get_round, nullptr},
      {"to_abs", nullptr, nullptr, vt->to_abs, nullptr},
      {"get_abs", nullptr, nullptr, vt->get_abs, nullptr},
      {"to_neg", nullptr, nullptr, vt->to_neg, nullptr},
      {"get_neg", nullptr, nullptr, vt->get_neg, nullptr},
      {"get_int_tuple", nullptr, nullptr, vt->get_int_tuple, nullptr},
      {"get_rounded_tuple", nullptr, nullptr, vt->get_rounded_tuple, nullptr},
      {"copy", nullptr, nullptr, vt->copy, nullptr},
      {"to_normalized", nullptr, nullptr, vt->to_normalized, nullptr},
      {"get_normalized", nullptr, nullptr, vt->get_normalized, nullptr},
      {"distance_to", nullptr, nullptr, nullptr, vt->distance_to},
      {"distance_squared_to", nullptr, nullptr, nullptr, vt->distance_squared_to},
      {"dot", nullptr, nullptr, nullptr, vt->dot},
  };
  if (e == "c_get_tuple") return ret(vt->c_get_tuple(s));
  if (e == "_sadd" || e == "sadd") {
    if (!a.vec(t, &o) || !a.vec(t, &p)) return nullptr;
    if (e == "_sadd") {
      vt->_sadd(s, o, p);
      return ret(Py_NewRef(Py_None));
    }
    if (!a.i32(&flag)) return nullptr;
    return ret(vt->sadd(s, o, p, flag));
  }
  for (auto& row : table) {
    if (e != row.name) continue;
    if (row.un) {
      if (!a.i32(&flag)) return nullptr;
      return ret(row.un(s, flag));
    }
    if (!a.vec(t, &o)) return nullptr;
    if (row.bin) return ret(row.bin(s, o));
    if (row.vd) {
      row.vd(s, o);
      return ret(Py_NewRef(Py_None));
    }
    if (!a.i32(&flag)) return nullptr;
    return ret(PyFloat_FromDouble(row.meas(s, o, flag)));
  }
  PyErr_Format(PyExc_ValueError, "no entry named %.*s", static_cast<int>(e.size()), e.data());
  return nullptr;
}

bool entry_name(PyObject* const* args, Py_ssize_t n, std::string_view* e) {
  if (n < 1 || !PyUnicode_Check(args[0])) {
    PyErr_SetString(PyExc_TypeError, "call(entry, *args)");
    return false;
  }
  const char* s = PyUnicode_AsUTF8(args[0]);
  if (!s) return false;
  *e = s;
  return true;
}

PyObject* call2(PyObject*, PyObject* const* args, Py_ssize_t n) {
  std::string_view e;
  if (!entry_name(args, n, &e)) return nullptr;
  Args a{args + 1, n - 1};
  return call_common<tarvex_Vector2Object, tarvex_Vector2VTable, 2>(
      v2_type, v2_vt, e, a, [](std::string_view entry, Args& in, bool* handled) -> PyObject* {
        *handled = true;
        if (entry == "cfrom_struct") {
          float x, y;
          if (!in.f(&x) || !in.f(&y) || !in.done()) return nullptr;
          return v2_vt->cfrom_struct(Vector2{x, y});
        }
        if (entry == "cfrom_vector2") {
          tarvex_Vector2Object* o;
          if (!in.vec(v2_type, &o) || !in.done()) return nullptr;
          return v2_vt->cfrom_vector2(o);
        }
        if (entry == "cfrom_xy") {
          double x, y;
          if (!in.d(&x) || !in.d(&y) || !in.done()) return nullptr;
          return v2_vt->cfrom_xy(x, y);
        }
        *handled = false;
        return nullptr;
      });
}

PyObject* call3(PyObject*, PyObject* const* args, Py_ssize_t n) {
  std::string_view e;
  if (!entry_name(args, n, &e)) return nullptr;
  Args a{args + 1, n - 1};
  return call_common<tarvex_Vector3Object, tarvex_Vector3VTable, 3>(
      v3_type, v3_vt, e, a, [](std::string_view entry, Args& in, bool* handled) -> PyObject* {
        *handled = true;
        tarvex_Vector3Object *s, *o;
        if (entry == "cfrom_vector3") {
          if (!in.vec(v3_type, &o) || !in.done()) return nullptr;
          return v3_vt->cfrom_vector3(o);
        }
        if (entry == "cfrom_xyz") {
          double x, y, z;
          if (!in.d(&x) || !in.d(&y) || !in.d(&z) || !in.done()) return nullptr;
          return v3_vt->cfrom_xyz(x, y, z);
        }
        if (entry == "cross") {
          int flag;
          if (!in.vec(v3_type, &s) || !in.vec(v3_type, &o) || !in.i32(&flag) || !in.done())
            return nullptr;
          return v3_vt->cross(s, o, flag);
        }
        *handled = false;
        return nullptr;
      });
}

PyObject* call4(PyObject*, PyObject* const* args, Py_ssize_t n) {
  std::string_view e;
  if (!entry_name(args, n, &e)) return nullptr;
  Args a{args + 1, n - 1};
  return call_common<tarvex_Vector4Object, tarvex_Vector4VTable, 4>(
      v4_type, v4_vt, e, a, [](std::string_view entry, Args& in, bool* handled) -> PyObject* {
        *handled = true;
        tarvex_Vector4Object* o;
        if (entry == "cfrom_vector4") {
          if (!in.vec(v4_type, &o) || !in.done()) return nullptr;
          return v4_vt->cfrom_vector4(o);
        }
        if (entry == "cfrom_xyzw") {
          double v[4];
          for (double& x : v)
            if (!in.d(&x)) return nullptr;
          if (!in.done()) return nullptr;
          return v4_vt->cfrom_xyzw(v[0], v[1], v[2], v[3]);
        }
        *handled = false;
        return nullptr;
      });
}

// bind(module, name, size): runs the sibling-binding step on any type and
// returns the address of its table.
PyObject* bind(PyObject*, PyObject* const* args, Py_ssize_t n) {
  if (n != 3 || !PyUnicode_Check(args[0]) || !PyUnicode_Check(args[1])) {
    PyErr_SetString(PyExc_TypeError, "bind(module, name, size)");
    return nullptr;
  }
  const char* mod = PyUnicode_AsUTF8(args[0]);
  const char* name = mod ? PyUnicode_AsUTF8(args[1]) : nullptr;
  Py_ssize_t size = name ? PyLong_AsSsize_t(args[2]) : -1;
  if (size == -1 && PyErr_Occurred()) return nullptr;
  PyTypeObject* type = nullptr;
  void* vt = nullptr;
  rt::Sibling s{mod, name, size, &type, &vt};
  if (rt::bind_sibling(s) < 0) return nullptr;
  Py_DECREF(type);
  return PyLong_FromVoidPtr(vt);
}

// check_version(name, major, minor): the exec step's version check for a
// module of that name built for major.minor; built_version(): the version
// this helper (and so the package) was compiled for.
PyObject* check_version(PyObject*, PyObject* args) {
  const char* name;
  int major, minor;
  if (!PyArg_ParseTuple(args, "sii", &name, &major, &minor)) return nullptr;
  if (rt::check_runtime_version(name, major, minor) < 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject* built_version(PyObject*, PyObject*) {
  return Py_BuildValue("(ii)", PY_MAJOR_VERSION, PY_MINOR_VERSION);
}

PyObject* vtable_addresses(PyObject*, PyObject*) {
  return Py_BuildValue("(NNN)", PyLong_FromVoidPtr(v2_vt), PyLong_FromVoidPtr(v3_vt),
                       PyLong_FromVoidPtr(v4_vt));
}

// layout(n) -> (offset of the table pointer, offset of data, size of data,
// instance size, table size, entry names in the order of their offsets) of
// the n-component vector, as a sibling compiled against the declarations
// sees them.
struct Slot {
  const char* name;
  std::size_t offset;
};

template <class Obj, class VT, std::size_t K>
PyObject* describe(Slot (&slots)[K]) {
  std::sort(std::begin(slots), std::end(slots),
            [](const Slot& a, const Slot& b) { return a.offset < b.offset; });
  rt::Ref names(PyList_New(0));
  if (!names) return nullptr;
  for (const Slot& s : slots) {
    rt::Ref name(PyUnicode_FromString(s.name));
    if (!name || PyList_Append(names.get(), name.get()) < 0) return nullptr;
  }
  return Py_BuildValue(
      "(nnnnnO)", static_cast<Py_ssize_t>(offsetof(Obj, __pyx_vtab)),
      static_cast<Py_ssize_t>(offsetof(Obj, data)), static_cast<Py_ssize_t>(sizeof(Obj::data)),
      static_cast<Py_ssize_t>(sizeof(Obj)), static_cast<Py_ssize_t>(sizeof(VT)), names.get());
}

#define SLOT(VT, entry) \
  Slot { #entry, offsetof(VT, entry) }
#define COMMON_SLOTS(VT)                                                                       \
  SLOT(VT, new_), SLOT(VT, cfrom_list), SLOT(VT, cfrom_ints), SLOT(VT, cfrom_floats),          \
      SLOT(VT, cfrom_tuple), SLOT(VT, _add), SLOT(VT, _sub), SLOT(VT, _iadd), SLOT(VT, _isub), \
      SLOT(VT, _imul), SLOT(VT, _sadd), SLOT(VT, sadd), SLOT(VT, get_tuple),                   \
      SLOT(VT, c_get_tuple), SLOT(VT, to_round), SLOT(VT, get_round), SLOT(VT, to_abs),        \
      SLOT(VT, get_abs), SLOT(VT, to_neg), SLOT(VT, get_neg), SLOT(VT, get_int_tuple),         \
      SLOT(VT, get_rounded_tuple), SLOT(VT, copy), SLOT(VT, to_normalized),                    \
      SLOT(VT, get_normalized), SLOT(VT, distance_to), SLOT(VT, distance_squared_to),          \
      SLOT(VT, dot)

PyObject* layout(PyObject*, PyObject* arg) {
  long n = PyLong_AsLong(arg);
  if (n == -1 && PyErr_Occurred()) return nullptr;
  if (n == 2) {
    using VT = tarvex_Vector2VTable;
    Slot slots[] = {COMMON_SLOTS(VT), SLOT(VT, cfrom_struct), SLOT(VT, cfrom_vector2),
                    SLOT(VT, cfrom_xy)};
    return describe<tarvex_Vector2Object, VT>(slots);
  }
  if (n == 3) {
    using VT = tarvex_Vector3VTable;
    Slot slots[] = {COMMON_SLOTS(VT), SLOT(VT, cfrom_vector3), SLOT(VT, cfrom_xyz),
                    SLOT(VT, cross)};
    return describe<tarvex_Vector3Object, VT>(slots);
  }
  if (n == 4) {
    using VT = tarvex_Vector4VTable;
    Slot slots[] = {COMMON_SLOTS(VT), SLOT(VT, cfrom_vector4), SLOT(VT, cfrom_xyzw)};
    return describe<tarvex_Vector4Object, VT>(slots);
  }
  PyErr_SetString(PyExc_ValueError, "layout(n) takes 2, 3 or 4");
  return nullptr;
}
#undef COMMON_SLOTS
#undef SLOT

PyMethodDef methods[] = {
    {"layout", layout, METH_O, nullptr},
    {"call2", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call2)), METH_FASTCALL,
     nullptr},
    {"call3", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call3)), METH_FASTCALL,
     nullptr},
    {"call4", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call4)), METH_FASTCALL,
     nullptr},
    {"bind", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(bind)), METH_FASTCALL,
     nullptr},
    {"vtable_addresses", vtable_addresses, METH_NOARGS, nullptr},
    {"check_version", check_version, METH_VARARGS, nullptr},
    {"built_version", built_version, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_vector_testhelper", {.siblings = siblings,
                                               .body = body,
                                               .full_name = "_vector_testhelper",
                                               .file = "tests/native/vector_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__vector_testhelper() { return module_frame.init(); }
