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
#include <type_traits>
#include <utility>

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
// first N component letters, last letter varying fastest; with each its
// docstring, "A new `Vector2(self.y, self.x)`. Read-only." for `yx` of
// the type named Type.
template <int N, int L, rt::Name Type>
struct SwizzleTable {
  static constexpr int count = [] {
    int c = 1;
    for (int i = 0; i < L; ++i) c *= N;
    return c;
  }();
  static constexpr rt::Name kDocHead = "A new `";
  static constexpr rt::Name kDocTail = ")`. Read-only.";
  static constexpr std::size_t kDocSize =
      kDocHead.size + Type.size + 1 + L * 6 + (L - 1) * 2 + kDocTail.size;
  char names[count][L + 1] = {};
  unsigned char index[count][L] = {};
  char docs[count][kDocSize + 1] = {};
  constexpr explicit SwizzleTable(const char* letters) {
    for (int k = 0; k < count; ++k) {
      int rest = k;
      for (int pos = L - 1; pos >= 0; --pos) {
        names[k][pos] = letters[rest % N];
        index[k][pos] = static_cast<unsigned char>(rest % N);
        rest /= N;
      }
      std::size_t d = 0;
      auto put = [&](const char* s, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) docs[k][d++] = s[i];
      };
      put(kDocHead.text, kDocHead.size);
      put(Type.text, Type.size);
      put("(", 1);
      for (int pos = 0; pos < L; ++pos) {
        if (pos) put(", ", 2);
        put("self.", 5);
        put(&names[k][pos], 1);
      }
      put(kDocTail.text, kDocTail.size);
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

  // ---------------------------------------------------------- docstrings
  // The family's docstrings are written once, with placeholders that doc<>
  // fills in with this type's facts at compile time: those of Named (see
  // vector_family.h) and, below, the phrases that differ with the storage
  // precision or the division rule. A phrase may hold placeholders itself,
  // so a text is filled in twice; a placeholder left over fails the build.
  static constexpr bool kSingle = std::is_same_v<S, float>;
  template <rt::Name Single, rt::Name Double>
  static constexpr auto precision = [] {
    if constexpr (kSingle)
      return Single;
    else
      return Double;
  }();
  static constexpr auto sub_stored =
      precision<"stored=rounded to a 32-bit float", "stored=stored as a 64-bit float">;
  static constexpr auto sub_tenth = precision<"tenth=0.10000000149011612", "tenth=0.1">;
  static constexpr auto sub_int_exact =
      precision<"int_exact=, so magnitudes above 2^24 lose their lowest bits",
                "int_exact=, which holds every such value exactly">;
  static constexpr auto sub_sqrt_max = precision<"sqrt_max=1.8e19", "sqrt_max=1.3e154">;
  static constexpr auto sub_sqrt_min = precision<"sqrt_min=1.1e-19", "sqrt_min=1.5e-154">;
  static constexpr auto sub_sqrt_zero = precision<"sqrt_zero=2.6e-23", "sqrt_zero=1.6e-162">;
  static constexpr auto sub_length_hint =
      precision<"length_hint= (`distance_to` squares in 64-bit floats and reaches further)",
                "length_hint=">;
  static constexpr auto sub_squares =
      precision<"squares=, so the squares cannot overflow", "squares=">;
  static constexpr auto sub_rounded_once =
      precision<"rounded_once= and rounded once", "rounded_once=">;
  static constexpr auto sub_storage = precision<
      "storage=The storage is raylib's {T}.",
      "storage=The storage is {n} C doubles, not raylib's {T}, whose floats are 32-bit; only "
      "`from_floats` rounds to 32 bits.">;
  static constexpr auto sub_floats = precision<
      "floats=From Python this is the same as `{from_components}`; the two differ only in their "
      "C-level entries, which take 32-bit and 64-bit floats.",
      "floats=The only {T} constructor that rounds to 32 bits: given 0.1 it stores "
      "0.10000000149011612, where `{from_components}` and `{T}(...)` keep 0.1.">;
  static constexpr auto sub_division = [] {
    if constexpr (Traits::reciprocal_division)
      return rt::Name(
          "division=A division by a number multiplies by its reciprocal `1.0 / s`, computed in "
          "64-bit floats, so `v / 3` may differ in the last bit from dividing each component.");
    else
      return rt::Name("division=A division by a number divides each component.");
  }();

  template <rt::Name Text, rt::Name... More>
  using Fill = rt::Expand<Text, More..., rt::Name(Traits::sub_type), rt::Name(Traits::sub_count),
                          rt::Name(Traits::sub_digits), rt::Name(Traits::sub_last),
                          rt::Name(Traits::sub_bits), rt::Name(Traits::sub_components),
                          rt::Name(Traits::sub_list), rt::Name(Traits::sub_from_components),
                          rt::Name(Traits::sub_swizzle_count), rt::Name(Traits::sub_first_swizzle),
                          rt::Name(Traits::sub_last_swizzle), rt::Name(Traits::sub_reversed),
                          sub_stored, sub_tenth, sub_int_exact, sub_sqrt_max, sub_sqrt_min,
                          sub_sqrt_zero, sub_length_hint, sub_squares, sub_rounded_once,
                          sub_storage, sub_floats, sub_division>;
  static constexpr bool all_filled(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      if (s[i] == '{') return false;
    return true;
  }
  template <rt::Name Text, rt::Name... More>
  struct Doc {
    static constexpr auto text =
        rt::wrapped<rt::Name(Fill<rt::Name(Fill<Text, More...>::text), More...>::text)>;
    static_assert(all_filled(text.text, text.size), "a docstring placeholder has no value");
  };
  // A docstring of the family with this type's facts filled in, wrapped;
  // More gives further placeholders ("key=value").
  template <rt::Name Text, rt::Name... More>
  static constexpr auto doc = Doc<Text, More...>::text;

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
      return entry<"cross", V::entry_cross, Other>::template def<
          doc<"Return the cross product with `other`, a {T}, as a new {T}.\n\n"
              "`(y*oz - z*oy, z*ox - x*oz, x*oy - y*ox)`, computed in {bits} floats, where o is "
              "`other`: `{T}(1, 0, 0).cross({T}(0, 1, 0))` is (0, 0, 1). This vector is unchanged. "
              "`other` must be a `{T}` (TypeError otherwise).">>();
    else
      return rt::kEndOfMethods;
  }

  static inline PyMethodDef core_methods[] = {
      static_entry<rt::Name(Traits::from_self_name), V::entry_cfrom_self, Other>::template def<
          doc<"Return a new {T} equal to `other`.\n\n"
              "`other` must be a `{T}`; anything else raises TypeError.">>(),
      static_method<"from_tuple", from_tuple, rt::Tuple<"other">>::template def<
          doc<"Return a new {T} from the first {n} items of the tuple `other`.\n\n"
              "`other` must be exactly a tuple: a subclass such as a named tuple raises TypeError "
              "(`{T}(other)` accepts those). Further items are ignored; fewer than {N} items raise "
              "ValueError. Each item is converted as `float()` converts it and {stored}.">>(),
      static_method<"from_list", from_list, rt::List<"other">>::template def<
          doc<"Return a new {T} from the first {n} items of the list `other`.\n\n"
              "`other` must be exactly a list (subclasses raise TypeError). Further items are "
              "ignored; fewer than {N} items raise ValueError. Each item is converted as `float()` "
              "converts it and {stored}.">>(),
      FromComponents<"from_ints", V::Creators::entry_cfrom_ints, rt::Int>::type::template def<
          doc<"Return a new {T} from {n} integers.\n\n"
              "Each argument is an int or an object with `__int__` (a float is truncated toward "
              "zero); an object without `__int__` raises TypeError and a value outside the signed "
              "32-bit range raises OverflowError. Each value is {stored}{int_exact}.">>(),
      FromComponents<"from_floats", V::Creators::entry_cfrom_floats, rt::Float>::type::template def<
          doc<"Return a new {T} from {n} numbers, each rounded to a 32-bit float.\n\n{floats}">>(),
      FromComponents<rt::Name(Traits::from_components_name), V::Creators::entry_new, rt::Double>::
          type::template def<doc<"Return a new {T} from {n} numbers, each {stored}.\n\n"
                                 "The same as `{T}({xs})`, but also accepts keywords.">>(),
      entry<"copy",
            V::entry_copy>::template def<doc<"Return a new {T} with the same components.">>(),
      Copying::Dunder::def(),
      Copying::Deep::def(),
      entry<"sadd", V::entry_sadd, Vector<"new_vec">, Vector<"old_vec">>::template def<
          doc<"Set this vector to `new_vec + old_vec` in place and return None.\n\n"
              "Both arguments must be `{T}` (TypeError naming the first wrong one). The sums are "
              "computed in {bits} floats.">>(),
      entry<"to_abs", V::entry_to_abs>::template def<
          doc<"Clear the sign of each component in place and return this vector.\n\n"
              "-0.0 becomes 0.0. `get_abs` returns a new vector instead.">>(),
      entry<"get_abs", V::entry_get_abs>::template def<
          doc<"Return a new {T} of the absolute values of the components.\n\n"
              "This vector is unchanged; `to_abs` works in place.">>(),
      entry<"to_neg", V::entry_to_neg>::template def<
          doc<"Flip the sign of each component in place and return this vector.\n\n"
              "0.0 becomes -0.0. `get_neg` (and `-v`) return a new vector instead.">>(),
      entry<"get_neg", V::entry_get_neg>::template def<
          doc<"Return a new {T} with the sign of each component flipped.\n\n"
              "The same as `-v`; this vector is unchanged.">>(),
      entry<"to_round", V::entry_to_round>::template def<
          doc<"Round each component to the nearest integer in place and return this vector.\n\n"
              "Halves round away from zero: 0.5 gives 1.0, -2.5 gives -3.0. The result stays a "
              "float vector; `get_rounded_tuple` gives ints.">>(),
      entry<"get_round", V::entry_get_round>::template def<
          doc<"Return a new {T} with each component rounded to the nearest integer.\n\n"
              "Halves round away from zero: 0.5 gives 1.0, -2.5 gives -3.0. This vector is "
              "unchanged.">>(),
      entry<"to_normalized", V::entry_to_normalized>::template def<doc<
          "Scale this vector in place to length 1, keeping its direction, and return it.\n\n"
          "A zero vector, and a vector whose squared length overflows {bits} floats (a component "
          "beyond about {sqrt_max}), become the zero vector. The squared length is summed in "
          "{bits} floats; the scaling is done in 64-bit floats{rounded_once}. So the result has "
          "length 1 only while the squared length is a normal {bits} float: when every "
          "component is below about {sqrt_min} the squared length is subnormal and the length "
          "comes out the further from 1 the smaller the vector, and below about {sqrt_zero} "
          "the squared length is 0 and the result is the zero vector. `get_scaled_to_length(1)` "
          "normalises over the whole range.">>(),
      entry<"get_normalized", V::entry_get_normalized>::template def<
          doc<"Return a new {T} of length 1 in the same direction.\n\n"
              "A zero vector, or one whose squared length overflows {bits} floats, gives the "
              "zero vector. Precision as `to_normalized`; this vector is unchanged.">>(),
      entry<"get_tuple", V::entry_get_tuple>::template def<
          doc<"Return the components as a new tuple of {n} floats, ({xs}).">>(),
      entry<"get_int_tuple", V::entry_get_int_tuple>::template def<
          doc<"Return the components truncated toward zero as a tuple of {n} ints.\n\n"
              "1.9 gives 1 and -1.9 gives -1. Components beyond the signed 32-bit range give its "
              "nearest bound; nan gives 0.">>(),
      entry<"get_rounded_tuple", V::entry_get_rounded_tuple>::template def<
          doc<"Return the components rounded to the nearest integer as a tuple of {n} ints.\n\n"
              "Halves round away from zero: 1.5 gives 2 and -1.5 gives -2. Components beyond the "
              "signed 32-bit range give its nearest bound; nan gives 0.">>(),
      entry<"distance_to", V::entry_distance_to, Other>::template def<
          doc<"Return the Euclidean distance to `other`, a {T}, as a float.\n\n"
              "The differences are computed in {bits} floats; their squares, sum and square root "
              "in 64-bit floats{squares}. `other` must be a `{T}` (TypeError otherwise).">>(),
      entry<"distance_squared_to", V::entry_distance_squared_to, Other>::template def<
          doc<"Return the squared Euclidean distance to `other`, a {T}, as a float.\n\n"
              "The differences are computed in {bits} floats; their squares and sum in 64-bit "
              "floats. `other` must be a `{T}` (TypeError otherwise).">>(),
      entry<"dot", V::entry_dot, Other>::template def<
          doc<"Return the dot product with `other`, a {T}, as a float.\n\n"
              "The products and their sum are computed in {bits} floats. `other` must be a "
              "`{T}` (TypeError otherwise).">>(),
      cross_def(),
      rt::kEndOfMethods,
  };
  static inline auto methods =
      rt::join_methods(core_methods, VecGeometry<Traits>::template Methods<VecPython>::methods);

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
    const char* doc;
  };
  template <int I>
  static constexpr auto component_doc =
      doc<"The {nth} component, a float.\n\n"
          "Assigning converts any real number as `float()` does; the value is {stored}. "
          "Deleting raises NotImplementedError.",
          component_ordinal<I>()>;
  template <std::size_t... I>
  static constexpr std::array<Component, N> make_components(std::index_sequence<I...>) {
    return {Component{kComponentNames[I], static_cast<int>(I),
                      component_doc<static_cast<int>(I)>.text}...};
  }
  static constexpr std::array<Component, N> components =
      make_components(std::make_index_sequence<N>());
  static double get_component(Obj* self, const Component& c) { return V::widened(self, c.index); }
  static void set_component(Obj* self, const Component& c, double d) {
    V::set(self, c.index, narrow_to<S>(d));
  }
  using ComponentProperty = rt::FieldProperty<where, Obj, Component, get_component, set_component>;
  static double get_length(Obj* self) {
    return static_cast<double>(std::sqrt(V::sq_length(load(self))));
  }
  static constexpr auto length_doc =
      doc<"The Euclidean length, a float. Read-only.\n\n"
          "The sum of squares and its square root are computed in {bits} floats, so the length "
          "of a vector with a component beyond about {sqrt_max} is inf{length_hint}.">;

  static constexpr SwizzleTable<N, Traits::swizzle_length, rt::Name(Traits::short_text)> swizzles{
      Traits::letters};
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
    for (const Component& c : components) g[k++] = ComponentProperty::def(c, c.doc);
    if constexpr (Traits::extra_property_count > 0)
      for (const PyGetSetDef& d : Traits::template extra_properties<VecPython>()) g[k++] = d;
    g[k++] = rt::Property<where, Obj, "length", get_length>::def(length_doc.text);
    g[k++] = rt::Property<where, Obj, "length_squared", VecGeometry<Traits>::length_squared>::def(
        doc<"The squared length, summed in {bits} floats (no square root).">.text);
    for (int s = 0; s < swizzles.count; ++s)
      g[k++] = {swizzles.names[s], get_swizzle, nullptr, swizzles.docs[s],
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
  using Pickling =
      rt::PickleRefusal<where, rt::Name(Traits::pickle_message),
                        doc<"Pickle `v.get_tuple()` and rebuild with `{T}(t)`; `copy.copy` and "
                            "`copy.deepcopy` work.">>;

  static constexpr auto type_doc =
      doc<"{T}(*args)\n--\n\n"
          "Mutable {n}-component vector of {bits} floats.\n\n"
          "`{T}()` is the zero vector and `{T}({xs})` takes {n} numbers. One argument is copied "
          "from a `{T}`, read through the {xy} attributes of another library's vector (an object "
          "with a `clamp_magnitude_ip` attribute, as in pygame), or taken from a tuple or list of "
          "exactly {N} numbers. Other arguments raise TypeError; keyword arguments are refused.\n\n"
          "Precision: every number is converted as `float()` converts it (a float, an int, or an "
          "object with `__float__` or `__index__`) and {stored}, so after `v.x = 0.1`, `v.x` is "
          "{tenth}; components read back as stored. {storage} Vector-by-vector arithmetic is done "
          "in {bits} floats, vector-by-number arithmetic in 64-bit floats{rounded_once}. "
          "{division} Division by zero and overflow give inf or nan, never an exception.\n\n"
          "Operations: `v + w` and `v - w` take a `{T}` only (anything else raises TypeError); "
          "`v * s`, `v / s` and `v // s` take a `{T}` (per component) or an int or float; `-v` "
          "negates. `+=`, `-=` and `*=` change v in place and take a `{T}` only (`v *= 2` raises "
          "TypeError; `v /= 2` rebinds v to a new vector). A number on the left (`2 * v`), unary "
          "`+`, `abs()` and ordering are not supported. `v == w` compares the components and is "
          "False for anything that is not a `{T}`; `hash(v)` is `hash(v.get_tuple())` and changes "
          "when v does. `len(v)` is {N}; `v[0]` to `v[{last}]` read and assign {xy} (other "
          "indices, negative ones included, raise IndexError; no slices); v iterates and unpacks "
          "as ({xs}); every vector is true.\n\n"
          "The {swizzles} swizzles, `{first_swizzle}` to `{last_swizzle}` (every string of {n} "
          "letters from {xy}), are read-only properties giving new vectors: `v.{reversed}` "
          "reverses v. `copy.copy` and `copy.deepcopy` work; pickling raises TypeError. The type "
          "cannot be subclassed.">;
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
    .tp_doc = VecPython<Traits>::type_doc.text,
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
