// tarvex.vector2.vector2: the two-component 32-bit vector.
#include "tarvex/vector2/vector2.h"

#include <array>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/_vector/vector_family.h"
#include "tarvex/_vector/vector_python.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;

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

struct Vector2Traits
    : tarvex::vec::TraitsDefaults,
      tarvex::vec::Named<tarvex_Vector2Object, tarvex_Vector2VTable, float, "vector2", "xy"> {
  static constexpr auto copy_slot = &VTable::cfrom_vector2;
  static constexpr auto components_slot = &VTable::cfrom_xy;
  // Scalar quotients divide each component.
  static constexpr bool reciprocal_division = false;
  static constexpr bool has_struct_creator = true;

  // `data`: the raylib value as a dict; read and replaced under the object's
  // critical section so both components change together.
  static constexpr int extra_property_count = 1;
  template <class V>
  static PyObject* get_data(Object* self) {
    Vector2 v;
    Py_BEGIN_CRITICAL_SECTION(self);
    v = self->data;
    Py_END_CRITICAL_SECTION();
    Ref d(PyDict_New());
    const float comps[2] = {v.x, v.y};
    for (int i = 0; d && i < 2; ++i) {
      Ref f(PyFloat_FromDouble(static_cast<double>(comps[i])));
      if (!f || PyDict_SetItem(d.get(), V::s_component[i], f.get()) < 0) d.reset();
    }
    return d.release();
  }
  template <class V>
  static bool set_data(Object* self, PyObject* value) {
    if (!PyMapping_Check(value)) {
      PyErr_Format(PyExc_TypeError, "Expected %.42s, got %.200s", "a mapping",
                   Py_TYPE(value)->tp_name);
      return false;
    }
    Ref x(lookup(value, V::s_component[0]));
    if (!x) return false;
    Ref y(lookup(value, V::s_component[1]));
    if (!y) return false;
    double dx, dy;
    if (!rt::to_double(x.get(), &dx) || !rt::to_double(y.get(), &dy)) return false;
    Vector2 v{rt::narrow(dx), rt::narrow(dy)};
    Py_BEGIN_CRITICAL_SECTION(self);
    self->data = v;
    Py_END_CRITICAL_SECTION();
    return true;
  }
  template <class V>
  static std::array<PyGetSetDef, 1> extra_properties() {
    return {rt::Property<V::where, Object, "data", get_data<V>, set_data<V>>::def(
        rt::docstring<
            "The components as a new dict, `{'x': x, 'y': y}`.\n\n"
            "Assigning takes a mapping with the keys 'x' and 'y' and stores both components "
            "together, or neither: a missing key raises ValueError, a value that is not a mapping "
            "raises TypeError, a value that is not a number raises TypeError. Each value is "
            "rounded "
            "to a 32-bit float. On the free-threaded interpreter reads and writes hold the "
            "vector's "
            "lock, so the pair is never torn. Deleting raises NotImplementedError.">)};
  }
};

}  // namespace

TARVEX_VECTOR_MODULE(vector2, Vector2Traits)
