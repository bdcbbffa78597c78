// The Python surface of the vector family: construction, methods, operators,
// item access, properties with the generated swizzles, the type object and
// the module of one vector type.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <functional>
#include <tuple>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/_vector/vector_family.h"
#include "tarvex/_vector/vector_geometry.h"

namespace tarvex::vec {

// Names of the swizzle properties: every string of L letters drawn from the
// first N component letters, last letter varying fastest.
template <int N, int L>
struct SwizzleTable {
  static constexpr int count = [] {
    int c = 1;
    for (int i = 0; i < L; ++i) c *= N;
    return c;
  }();
  char names[count][L + 1] = {};
  unsigned char index[count][L] = {};
  constexpr explicit SwizzleTable(const char* letters) {
    for (int k = 0; k < count; ++k) {
      int rest = k;
      for (int pos = L - 1; pos >= 0; --pos) {
        names[k][pos] = letters[rest % N];
        index[k][pos] = static_cast<unsigned char>(rest % N);
        rest /= N;
      }
    }
  }
};

template <class Traits>
struct VecPython : Vec<Traits> {
  using V = Vec<Traits>;
  using typename V::Arr;
  using typename V::Obj;
  using typename V::S;
  using V::as;
  using V::check;
  using V::load;
  using V::make;
  using V::N;
  using V::where;

  // Interned names read from foreign vectors.
  static inline PyObject* s_foreign_attr = nullptr;
  static inline PyObject* s_component[N] = {};

  // ---------------------------------------------------------- construction
  static int length_error(const char* fname, Py_ssize_t len) {
    PyErr_Format(PyExc_TypeError, "%s() takes a sequence of length %d, but got %zd", fname, N, len);
    return -1;
  }

  // The constructor's argument forms (also those of `update`, named `fname`
  // in the messages); stores component by component.
  static int init_args(Obj* self, PyObject* const* args, Py_ssize_t n,
                       const char* fname = Traits::short_name) {
    if (n == N) {
      for (int i = 0; i < N; ++i) {
        double d;
        if (!rt::to_double(args[i], &d)) return -1;
        V::set(self, i, narrow_to<S>(d));
      }
      return 0;
    }
    if (n == 0) {
      V::store(self, Arr{});
      return 0;
    }
    if (n != 1) {
      PyErr_Format(PyExc_TypeError, "%s() takes 0, 1, or %d arguments, but %zd were given", fname,
                   N, n);
      return -1;
    }
    PyObject* a = args[0];
    if (check(a)) {
      V::store(self, load(as(a)));
      return 0;
    }
    // Exact tuples and lists cannot carry the foreign-vector attribute, so
    // they skip its lookup.
    if (PyTuple_CheckExact(a)) {
      if (PyTuple_GET_SIZE(a) != N) return length_error(fname, PyTuple_GET_SIZE(a));
      return V::store_from_tuple(self, a) ? 0 : -1;
    }
    if (PyList_CheckExact(a)) {
      if (PyList_GET_SIZE(a) != N) return length_error(fname, PyList_GET_SIZE(a));
      return V::store_from_list(self, a) ? 0 : -1;
    }
    int foreign = PyObject_HasAttrWithError(a, s_foreign_attr);
    if (foreign < 0) return -1;
    if (foreign) {
      for (int i = 0; i < N; ++i) {
        Ref v(PyObject_GetAttr(a, s_component[i]));
        double d;
        if (!v || !rt::to_double(v.get(), &d)) return -1;
        V::set(self, i, narrow_to<S>(d));
      }
      return 0;
    }
    if (PyTuple_Check(a) || PyList_Check(a)) {
      Py_ssize_t len = PyObject_Size(a);
      if (len < 0) return -1;
      if (len != N) return length_error(fname, len);
      return V::store_items(self, [a](int i) { return Ref(PySequence_GetItem(a, i)); }) ? 0 : -1;
    }
    // The type's __name__, which for a class made at run time may itself hold dots.
    Ref tname(PyType_GetName(Py_TYPE(a)));
    if (!tname) return -1;
    PyErr_Format(PyExc_TypeError, "%s() invalid constructor argument: %U", fname, tname.get());
    return -1;
  }

  static PyObject* construct(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    if (kwnames && PyTuple_GET_SIZE(kwnames)) {
      rt::unexpected_keyword("__init__", PyTuple_GET_ITEM(kwnames, 0));
      return nullptr;
    }
    Ref o(V::py(V::alloc()));
    if (!o || init_args(as(o.get()), args, PyVectorcall_NARGS(nargsf)) < 0) return nullptr;
    return o.release();
  }
  static int init(PyObject* self, PyObject* args, PyObject* kwds) {
    if (rt::keywords_refused("__init__", kwds)) return -1;
    return init_args(as(self), PySequence_Fast_ITEMS(args), PyTuple_GET_SIZE(args));
  }
  static PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
    PyObject* o = t->tp_alloc(t, 0);
    if (o) {
      as(o)->__pyx_vtab = &V::vtable;
      V::store(as(o), Arr{});
    }
    return o;
  }
  static void dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

  // ------------------------------------------------------------- methods
  using Declare = rt::Declare<where, Obj>;
  template <rt::Name Name, auto Body, class... P>
  using method = typename Declare::template method<Name, Body, P...>;
  template <rt::Name Name, auto Entry, class... P>
  using entry = typename Declare::template entry<Name, Entry, P...>;
  template <rt::Name Name, auto Entry, class... P>
  using static_entry = typename Declare::template static_entry<Name, Entry, P...>;
  template <rt::Name Name, auto Body, class... P>
  using static_method = typename Declare::template static_method<Name, Body, P...>;

  // A parameter that takes exactly this vector type.
  template <rt::Name Name>
  using Vector = rt::Instance<Name, V::type_object, Obj, true>;
  using Other = Vector<"other">;

  // A docstring of the family with this type's facts filled in: {T} the type
  // (Vector2), {n} the component count in words (two), {bits} the storage
  // precision (32-bit), {xy} the components (x and y).
  template <rt::Name Text>
  static constexpr auto doc =
      rt::Name(rt::Expand<Text, rt::Name(Traits::sub_type), Traits::sub_count, Traits::sub_bits,
                          Traits::sub_components>::text);

  // from_ints / from_floats / from_<components>: the entry over parameters
  // x, y (, z, w) of kind K.
  template <rt::Name Name, auto Entry, template <rt::Name> class K,
            class P = typename V::Creators::template Params<K>>
  struct FromComponents;
  template <rt::Name Name, auto Entry, template <rt::Name> class K, class... P>
  struct FromComponents<Name, Entry, K, std::tuple<P...>> {
    using type = static_method<Name, Entry, P...>;
  };

  static PyObject* from_tuple(PyObject* t) { return V::template entry_cfrom_sequence<false>(t); }
  static PyObject* from_list(PyObject* l) { return V::template entry_cfrom_sequence<true>(l); }
  static PyObject* copy(Obj* self) { return V::entry_copy(self, 1); }
  using Copying = rt::CopyHooks<where, Obj, copy>;

  static PyMethodDef cross_def() {
    if constexpr (Traits::has_cross)
      return entry<"cross", V::entry_cross, Other>::def();
    else
      return rt::kEndOfMethods;
  }

  static inline PyMethodDef core_methods[] = {
      static_entry<rt::Name(Traits::from_self_name), V::entry_cfrom_self, Other>::def(),
      static_method<"from_tuple", from_tuple, rt::Tuple<"other">>::def(),
      static_method<"from_list", from_list, rt::List<"other">>::def(),
      FromComponents<"from_ints", V::Creators::entry_cfrom_ints, rt::Int>::type::def(),
      FromComponents<"from_floats", V::Creators::entry_cfrom_floats, rt::Float>::type::def(),
      FromComponents<rt::Name(Traits::from_components_name), V::Creators::entry_new,
                     rt::Double>::type::def(),
      entry<"copy", V::entry_copy>::def(),
      Copying::Dunder::def(),
      Copying::Deep::def(),
      entry<"sadd", V::entry_sadd, Vector<"new_vec">, Vector<"old_vec">>::def(),
      entry<"to_abs", V::entry_to_abs>::def(),
      entry<"get_abs", V::entry_get_abs>::def(),
      entry<"to_neg", V::entry_to_neg>::def(),
      entry<"get_neg", V::entry_get_neg>::def(),
      entry<"to_round", V::entry_to_round>::def(),
      entry<"get_round", V::entry_get_round>::def(),
      entry<"to_normalized", V::entry_to_normalized>::def(),
      entry<"get_normalized", V::entry_get_normalized>::def(),
      entry<"get_tuple", V::entry_get_tuple>::def(),
      entry<"get_int_tuple", V::entry_get_int_tuple>::def(),
      entry<"get_rounded_tuple", V::entry_get_rounded_tuple>::def(),
      entry<"distance_to", V::entry_distance_to, Other>::def(),
      entry<"distance_squared_to", V::entry_distance_squared_to, Other>::def(),
      entry<"dot", V::entry_dot, Other>::template def<
          doc<"The dot product of this {T} and `other`, a {T}, summed in {bits} floats.">>(),
      cross_def(),
      rt::kEndOfMethods,
  };
  static inline auto methods =
      rt::join_methods(core_methods, VecGeometryMethods<Traits, VecPython>::methods);

  // ---------------------------------------------------------- number slots
  // A vector operand where only this type is accepted: the argument-type
  // TypeError, which the slot's wrapper gives its traceback entry.
  static PyObject* wrong_operand(PyObject* other) {
    rt::arg_type_error("other", Traits::full_name, other);
    return nullptr;
  }
  template <PyObject* (*Op)(Obj*, Obj*)>
  static PyObject* binary(PyObject* a, PyObject* b) {
    if (!check(a)) Py_RETURN_NOTIMPLEMENTED;
    if (!check(b)) return wrong_operand(b);
    return Op(as(a), as(b));
  }
  template <void (*Op)(Obj*, Obj*)>
  static PyObject* in_place(PyObject* a, PyObject* b) {
    if (!check(a)) Py_RETURN_NOTIMPLEMENTED;
    if (!check(b)) return wrong_operand(b);
    Op(as(a), as(b));
    return Py_NewRef(a);
  }

  // Scalar operand of *, / and //: an int or float (or subclass), else none.
  enum class Scalar { no, yes, error };
  static Scalar scalar_operand(PyObject* b, double* s) {
    if (PyFloat_Check(b)) {
      *s = PyFloat_AS_DOUBLE(b);
      return Scalar::yes;
    }
    if (PyLong_Check(b)) {
      *s = PyLong_AsDouble(b);
      if (*s == -1.0 && PyErr_Occurred()) return Scalar::error;
      return Scalar::yes;
    }
    return Scalar::no;
  }
  template <class VecOp, class ScalarOp>
  static PyObject* scaled(PyObject* a, PyObject* b, VecOp vop, ScalarOp sop) {
    if (!check(a)) Py_RETURN_NOTIMPLEMENTED;
    if (check(b)) return make(V::zip(load(as(a)), load(as(b)), vop));
    double s;
    switch (scalar_operand(b, &s)) {
      case Scalar::no:
        Py_RETURN_NOTIMPLEMENTED;
      case Scalar::error:
        return nullptr;
      case Scalar::yes:
        break;
    }
    return V::make_map(load(as(a)), [&](S c) { return sop(static_cast<double>(c), s); });
  }
  // A quotient by a Python number, reciprocal or direct as the traits say.
  static double quotient(double c, double s) {
    if constexpr (Traits::reciprocal_division)
      return c * (1.0 / s);
    else
      return c / s;
  }
  static PyObject* multiply(PyObject* a, PyObject* b) {
    return scaled(a, b, std::multiplies<S>(),
                  [](double c, double s) { return narrow_to<S>(c * s); });
  }
  static PyObject* true_divide(PyObject* a, PyObject* b) {
    return scaled(a, b, std::divides<S>(),
                  [](double c, double s) { return narrow_to<S>(quotient(c, s)); });
  }
  static PyObject* floor_divide(PyObject* a, PyObject* b) {
    return scaled(
        a, b, [](S x, S y) { return static_cast<S>(std::floor(x / y)); },
        [](double c, double s) { return narrow_to<S>(std::floor(quotient(c, s))); });
  }
  static PyObject* negative(PyObject* a) { return V::entry_get_neg(as(a), 1); }

  static inline PyNumberMethods number = {
      .nb_add = rt::Slot<where, "__add__", binary<V::entry_add>>::call,
      .nb_subtract = rt::Slot<where, "__sub__", binary<V::entry_sub>>::call,
      .nb_multiply = rt::Slot<where, "__mul__", multiply>::call,
      .nb_negative = negative,
      .nb_inplace_add = rt::Slot<where, "__iadd__", in_place<V::entry_iadd>>::call,
      .nb_inplace_subtract = rt::Slot<where, "__isub__", in_place<V::entry_isub>>::call,
      .nb_inplace_multiply = rt::Slot<where, "__imul__", in_place<V::entry_imul>>::call,
      .nb_floor_divide = rt::Slot<where, "__floordiv__", floor_divide>::call,
      .nb_true_divide = rt::Slot<where, "__truediv__", true_divide>::call,
  };

  // ------------------------------------------------------- protocol slots
  static PyObject* repr(PyObject* self) {
    double d[N];
    for (int i = 0; i < N; ++i) d[i] = V::widened(as(self), i);
    return rt::repr_components(Traits::short_name, d, N);
  }
  static Py_hash_t hash(PyObject* self) {
    double d[N];
    for (int i = 0; i < N; ++i) d[i] = V::widened(as(self), i);
    return rt::hash_float_tuple(self, d, N);
  }
  static PyObject* richcompare(PyObject* a, PyObject* b, int op) {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    bool eq = check(a) && check(b);
    if (eq) {
      Arr x = load(as(a)), y = load(as(b));
      for (int i = 0; i < N; ++i) eq = eq && x[i] == y[i];
    }
    return PyBool_FromLong((op == Py_EQ) == eq);
  }
  static double item(PyObject* self, int i) { return V::widened(as(self), i); }
  static void set_item(PyObject* self, int i, double d) { V::set(as(self), i, narrow_to<S>(d)); }
  using Indexing = rt::Indexed<where, "Vector index out of range", N, item, set_item>;

  // ------------------------------------------------------------ properties
  struct Component {
    const char* name;
    int index;
  };
  static constexpr std::array<Component, N> components = [] {
    std::array<Component, N> c{};
    for (int i = 0; i < N; ++i) c[i] = {kComponentNames[i], i};
    return c;
  }();
  static double get_component(Obj* self, const Component& c) { return V::widened(self, c.index); }
  static void set_component(Obj* self, const Component& c, double d) {
    V::set(self, c.index, narrow_to<S>(d));
  }
  using ComponentProperty = rt::FieldProperty<where, Obj, Component, get_component, set_component>;
  static double get_length(Obj* self) {
    return static_cast<double>(std::sqrt(V::sq_length(load(self))));
  }

  static constexpr SwizzleTable<N, Traits::swizzle_length> swizzles{Traits::letters};
  static PyObject* get_swizzle(PyObject* self, void* closure) {
    const unsigned char* idx = static_cast<const unsigned char*>(closure);
    Arr a = load(as(self));
    Arr r;
    for (int i = 0; i < N; ++i) r[i] = a[idx[i]];
    return make(r);
  }

  static constexpr int kPropertyCount =
      N + Traits::extra_property_count + 2 + decltype(swizzles)::count;
  static inline std::array<PyGetSetDef, kPropertyCount + 1> properties = [] {
    std::array<PyGetSetDef, kPropertyCount + 1> g{};
    int k = 0;
    for (const Component& c : components) g[k++] = ComponentProperty::def(c);
    if constexpr (Traits::extra_property_count > 0)
      for (const PyGetSetDef& d : Traits::template extra_properties<VecPython>()) g[k++] = d;
    g[k++] = rt::Property<where, Obj, "length", get_length>::def();
    g[k++] = rt::Property<where, Obj, "length_squared", VecGeometry<Traits>::length_squared>::def(
        doc<"The squared length, summed in {bits} floats (no square root).">.text);
    for (int s = 0; s < swizzles.count; ++s)
      g[k++] = {swizzles.names[s], get_swizzle, nullptr, nullptr,
                const_cast<unsigned char*>(swizzles.index[s])};
    g[k] = rt::kEndOfProperties;
    return g;
  }();

  // -------------------------------------------------------------- module
  static int constants() {
    s_foreign_attr = PyUnicode_InternFromString("clamp_magnitude_ip");
    if (!s_foreign_attr) return -1;
    for (int i = 0; i < N; ++i) {
      s_component[i] = PyUnicode_InternFromString(kComponentNames[i]);
      if (!s_component[i]) return -1;
    }
    return 0;
  }
  using Pickling = rt::PickleRefusal<where, rt::Name(Traits::pickle_message)>;
  static inline const rt::TypeEntry types[1] = {{&V::type, &V::vtable, Pickling::defs}};
};

template <class Traits>
PyTypeObject Vec<Traits>::type = {
    TARVEX_TYPE_HEAD(where, Obj, VecPython<Traits>::dealloc),
    .tp_repr = VecPython<Traits>::repr,
    .tp_as_number = &VecPython<Traits>::number,
    .tp_as_sequence = &VecPython<Traits>::Indexing::sequence,
    .tp_as_mapping = &VecPython<Traits>::Indexing::mapping,
    .tp_hash = VecPython<Traits>::hash,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_richcompare = VecPython<Traits>::richcompare,
    .tp_methods = VecPython<Traits>::methods.data(),
    .tp_getset = VecPython<Traits>::properties.data(),
    .tp_init = rt::Slot<where, "__init__", VecPython<Traits>::init>::call,
    .tp_new = VecPython<Traits>::tp_new,
    .tp_vectorcall = rt::Slot<where, "__init__", VecPython<Traits>::construct>::call,
};

}  // namespace tarvex::vec

// The module of one vector type, whose only attribute is the type.
#define TARVEX_VECTOR_MODULE(short_name, Traits)                               \
  TARVEX_MODULE(short_name, {.types = ::tarvex::vec::VecPython<Traits>::types, \
                             .constants = ::tarvex::vec::VecPython<Traits>::constants})
