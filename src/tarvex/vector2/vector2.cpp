// tarvex.vector2.vector2: the two-component 32-bit vector.
#include "tarvex/vector2/vector2.h"

#include "tarvex/_vector/vector_family.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;

struct Vector2Traits : tarvex::vec::TraitsDefaults {
  using Object = tarvex_Vector2Object;
  using VTable = tarvex_Vector2VTable;
  using Scalar = float;
  static constexpr int N = 2;
  static constexpr char short_name[] = "Vector2";
  static constexpr char module_short_name[] = "vector2";
  static constexpr char module_name[] = "tarvex.vector2.vector2";
  static constexpr char full_name[] = "tarvex.vector2.vector2.Vector2";
  static constexpr char file[] = "src/tarvex/vector2/vector2";
  static constexpr char letters[] = "xy";
  static constexpr char from_self_name[] = "from_vector2";
  static constexpr char from_components_name[] = "from_xy";
  static constexpr auto copy_slot = &VTable::cfrom_vector2;
  static constexpr auto components_slot = &VTable::cfrom_xy;
  static constexpr int swizzle_length = 2;
  // Scalar quotients divide each component.
  static constexpr bool reciprocal_division = false;
  static constexpr bool has_struct_creator = true;
  static constexpr int extra_getsets = 1;  // data
  static void add_getsets(PyGetSetDef* g, int& k);
};

using V = tarvex::vec::Vec<Vector2Traits>;

// `data`: the raylib value as a dict; read and replaced under the object's
// critical section so both components change together.
PyObject* get_data(PyObject* self, void*) {
  Vector2 v;
  Py_BEGIN_CRITICAL_SECTION(self);
  v = V::as(self)->data;
  Py_END_CRITICAL_SECTION();
  Ref d(PyDict_New());
  const float comps[2] = {v.x, v.y};
  for (int i = 0; d && i < 2; ++i) {
    Ref f(PyFloat_FromDouble(static_cast<double>(comps[i])));
    if (!f || PyDict_SetItem(d.get(), V::s_component[i], f.get()) < 0) d.reset();
  }
  if (!d) V::traceback("data.__get__");
  return d.release();
}

// Looks up one key of the mapping; a missing key becomes ValueError.
PyObject* lookup(PyObject* mapping, PyObject* key) {
  PyObject* v = nullptr;
  if (PyDict_CheckExact(mapping)) {
    if (PyDict_GetItemRef(mapping, key, &v) < 0) return nullptr;
  } else {
    v = PyObject_GetItem(mapping, key);
    if (!v && !PyErr_ExceptionMatches(PyExc_KeyError)) return nullptr;
    PyErr_Clear();
  }
  if (!v) PyErr_Format(PyExc_ValueError, "No value specified for struct attribute %R", key);
  return v;
}

int set_data_impl(PyObject* self, PyObject* value) {
  if (!value) return rt::property_deletion_error();
  if (!PyMapping_Check(value)) {
    PyErr_Format(PyExc_TypeError, "Expected %.42s, got %.200s", "a mapping",
                 Py_TYPE(value)->tp_name);
    return -1;
  }
  Ref x(lookup(value, V::s_component[0]));
  if (!x) return -1;
  Ref y(lookup(value, V::s_component[1]));
  if (!y) return -1;
  double dx, dy;
  if (!rt::to_double(x.get(), &dx) || !rt::to_double(y.get(), &dy)) return -1;
  Vector2 v{rt::narrow(dx), rt::narrow(dy)};
  Py_BEGIN_CRITICAL_SECTION(self);
  V::as(self)->data = v;
  Py_END_CRITICAL_SECTION();
  return 0;
}

int set_data(PyObject* self, PyObject* value, void*) {
  if (set_data_impl(self, value) == 0) return 0;
  V::traceback("data.__set__");
  return -1;
}

void Vector2Traits::add_getsets(PyGetSetDef* g, int& k) {
  g[k++] = {"data", get_data, set_data, nullptr, nullptr};
}

}  // namespace

PyMODINIT_FUNC PyInit_vector2() { return tarvex::vec::VectorModule<Vector2Traits>::frame.init(); }
