// The vector family: Vector2, Vector3 and Vector4 from one implementation,
// parameterised by a traits class that gives the component count, the storage
// precision, the names and the few behaviours that differ between the types.
// This file holds the value and its C-level entries; vector_python.h the
// Python surface built on them.
//
// Precision rules, shared by all three:
//  - operations between two vectors work in the storage precision S;
//  - operations with a Python number widen to double and narrow once;
//  - length, dot and normalisation sum in S; distances subtract in S, then
//    square, sum and take the root in double.
// For Vector4 S is double and narrowing is the identity.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::vec {

using rt::Ref;

template <class S>
inline S narrow_to(double d) noexcept {
  if constexpr (std::is_same_v<S, float>)
    return rt::narrow(d);
  else
    return d;
}

// The component letters, in order, as names usable as template arguments.
template <int I>
constexpr auto component_name() {
  return std::get<I>(std::tuple{rt::Name("x"), rt::Name("y"), rt::Name("z"), rt::Name("w")});
}
inline constexpr const char* kComponentNames[4] = {"x", "y", "z", "w"};
// The placeholder {nth} of component I's docstring: its position in words.
template <int I>
constexpr auto component_ordinal() {
  return std::get<I>(std::tuple{rt::Name("nth=first"), rt::Name("nth=second"),
                                rt::Name("nth=third"), rt::Name("nth=fourth")});
}

// The facts of a vector type given by its layout, table, scalar, module
// short name and component letters; the names are made from the last two:
// for "vector2" and "xy", the type Vector2 of tarvex.vector2.vector2 with
// from_vector2 and from_xy.
template <class ObjectT, class VTableT, class ScalarT, rt::Name Module, rt::Name Letters>
struct Named {
  using Object = ObjectT;
  using VTable = VTableT;
  using Scalar = ScalarT;
  static constexpr int N = static_cast<int>(Letters.size);
  static constexpr auto short_text = [] {
    rt::Text<Module.size> t;
    for (std::size_t i = 0; i < Module.size; ++i) t.chars[i] = Module.text[i];
    t.chars[0] = static_cast<char>(t.chars[0] - 'a' + 'A');
    return t;
  }();
  static constexpr auto full_text =
      rt::cat(rt::Name("tarvex."), Module, rt::Name("."), Module, rt::Name("."), short_text);
  static constexpr auto file_text = rt::cat(rt::Name("src/tarvex/"), Module, rt::Name("/"), Module);
  static constexpr auto from_self_name = rt::cat(rt::Name("from_"), Module);
  static constexpr auto from_components_name = rt::cat(rt::Name("from_"), Letters);
  // Placeholders of the family's docstrings (see VecPython::doc): {T} the
  // type, {n} the component count in words, {N} in digits, {last} the last
  // index, {bits} the storage precision, {xy} the components in words,
  // {xs} as a list, {from_components} the creator from components, and
  // {swizzles}, {first_swizzle}, {last_swizzle}, {reversed} for the swizzles
  // (every string of N letters).
  static constexpr auto sub_type = rt::cat(rt::Name("T="), short_text);
  static constexpr auto sub_count =
      std::get<N - 2>(std::tuple{rt::Name("n=two"), rt::Name("n=three"), rt::Name("n=four")});
  static constexpr auto sub_digits = [] {
    rt::Text<3> t;
    t.chars = {'N', '=', static_cast<char>('0' + N)};
    return t;
  }();
  static constexpr auto sub_last = [] {
    rt::Text<6> t;
    t.chars = {'l', 'a', 's', 't', '=', static_cast<char>('0' + N - 1)};
    return t;
  }();
  static constexpr auto sub_bits = std::get<sizeof(ScalarT) == 4 ? 0 : 1>(
      std::tuple{rt::Name("bits=32-bit"), rt::Name("bits=64-bit")});
  static constexpr auto sub_components = std::get<N - 2>(
      std::tuple{rt::Name("xy=x and y"), rt::Name("xy=x, y and z"), rt::Name("xy=x, y, z and w")});
  static constexpr auto sub_list = [] {
    rt::Text<3 + 3 * (N - 1) + 1> t;
    std::size_t k = 0;
    for (char c : {'x', 's', '='}) t.chars[k++] = c;
    for (int i = 0; i < N; ++i) {
      if (i) {
        t.chars[k++] = ',';
        t.chars[k++] = ' ';
      }
      t.chars[k++] = Letters.text[i];
    }
    return t;
  }();
  static constexpr auto sub_from_components =
      rt::cat(rt::Name("from_components="), from_components_name);
  // Swizzles: N**N of them, from "xx..." to the last letter repeated; the
  // reversal of the components is the letters backwards.
  static constexpr auto sub_swizzle_count = [] {
    int count = 1;
    for (int i = 0; i < N; ++i) count *= N;
    rt::Text<9 + (N == 2 ? 1 : N == 3 ? 2 : 3)> t;
    std::size_t k = 0;
    for (char c : {'s', 'w', 'i', 'z', 'z', 'l', 'e', 's', '='}) t.chars[k++] = c;
    for (std::size_t i = t.size; i > k; --i, count /= 10)
      t.chars[i - 1] = static_cast<char>('0' + count % 10);
    return t;
  }();
  // N letters: the first one repeated (0), the last one repeated (1), or
  // all of them backwards (2).
  template <int Pick>
  static constexpr auto swizzle_letters = [] {
    rt::Text<N> t;
    for (int i = 0; i < N; ++i)
      t.chars[i] = Letters.text[Pick == 0 ? 0 : Pick == 1 ? N - 1 : N - 1 - i];
    return t;
  }();
  static constexpr auto sub_first_swizzle = rt::cat(rt::Name("first_swizzle="), swizzle_letters<0>);
  static constexpr auto sub_last_swizzle = rt::cat(rt::Name("last_swizzle="), swizzle_letters<1>);
  static constexpr auto sub_reversed = rt::cat(rt::Name("reversed="), swizzle_letters<2>);
  static constexpr const char* short_name = short_text.c_str();
  static constexpr const char* full_name = full_text.c_str();
  static constexpr const char* file = file_text.c_str();
  static constexpr const char* letters = Letters.text;
  static constexpr int swizzle_length = N;
};

// What most vector types share; a type's traits derive from this and state
// only where they differ.
struct TraitsDefaults {
  static constexpr char pickle_message[] =
      "self.data is a structure member: pickling of structure members must be requested "
      "explicitly";
  // Scalar quotients multiply by the reciprocal of the divisor.
  static constexpr bool reciprocal_division = true;
  static constexpr bool has_cross = false;
  static constexpr bool has_struct_creator = false;
  static constexpr int extra_property_count = 0;
};

template <class Traits>
struct Vec {
  using Obj = typename Traits::Object;
  using VT = typename Traits::VTable;
  using S = typename Traits::Scalar;
  static constexpr int N = Traits::N;
  using Arr = std::array<S, N>;
  static_assert(sizeof(Obj::data) == sizeof(Arr), "the value structure is N scalars");

  static constexpr rt::Where where{Traits::full_name, Traits::file};
  static PyTypeObject type;  // defined with the Python surface
  static PyTypeObject* type_object() noexcept { return &type; }

  // ------------------------------------------------------------------ access
  static Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
  static PyObject* py(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }
  static bool check(PyObject* o) noexcept { return Py_IS_TYPE(o, &type); }

  static Arr load(const Obj* o) noexcept {
    Arr a;
    std::memcpy(a.data(), &o->data, sizeof a);
    return a;
  }
  static void store(Obj* o, const Arr& a) noexcept { std::memcpy(&o->data, a.data(), sizeof a); }
  // One component in place: a whole-array round trip here would make every
  // store wait on the one before it (a failed store-to-load forward).
  static S get(const Obj* o, int i) noexcept {
    S v;
    std::memcpy(&v, reinterpret_cast<const char*>(&o->data) + i * sizeof(S), sizeof v);
    return v;
  }
  static void set(Obj* o, int i, S v) noexcept {
    std::memcpy(reinterpret_cast<char*>(&o->data) + i * sizeof(S), &v, sizeof v);
  }
  static double widened(const Obj* o, int i) noexcept { return static_cast<double>(get(o, i)); }

  // --------------------------------------------------------------- creation
  // Every creator allocates through the type without running __init__, and
  // none adds a traceback entry: the only failure is running out of memory.
  static Obj* alloc() noexcept {
    Obj* o = PyObject_New(Obj, &type);
    if (!o) return nullptr;
    o->__pyx_vtab = &vtable;
    return o;
  }
  static PyObject* make(const Arr& a) noexcept {
    Obj* o = alloc();
    if (!o) return nullptr;
    store(o, a);
    return py(o);
  }
  template <class F>
  static PyObject* make_map(const Arr& a, F f) noexcept {
    Arr r;
    for (int i = 0; i < N; ++i) r[i] = f(a[i]);
    return make(r);
  }

  // Converts items 0..N-1 of a sequence, storing each as soon as it is
  // converted (a later failure leaves the earlier components changed).
  template <class Get>
  static bool store_items(Obj* self, Get get_item) {
    for (int i = 0; i < N; ++i) {
      Ref item = get_item(i);
      if (!item) return false;
      double d;
      if (!rt::to_double(item.get(), &d)) return false;
      set(self, i, narrow_to<S>(d));
    }
    return true;
  }
  static bool store_from_tuple(Obj* self, PyObject* t) {
    return store_items(self, [t](int i) { return Ref::borrow(PyTuple_GET_ITEM(t, i)); });
  }
  // A list can shrink while its items are converted: each read is checked.
  static bool store_from_list(Obj* self, PyObject* l) {
    return store_items(self, [l](int i) { return Ref(PyList_GetItemRef(l, i)); });
  }

  // C-level creators (table slots) over the N components.
  template <class Idx>
  struct Nary;
  template <std::size_t... I>
  struct Nary<std::index_sequence<I...>> {
    template <std::size_t>
    using D = double;
    template <std::size_t>
    using F = float;
    template <std::size_t>
    using Int = int;
    static PyObject* entry_new(D<I>... v) { return make(Arr{narrow_to<S>(v)...}); }
    static PyObject* entry_cfrom_floats(F<I>... v) { return make(Arr{static_cast<S>(v)...}); }
    static PyObject* entry_cfrom_ints(Int<I>... v) {
      return make(Arr{narrow_to<S>(static_cast<double>(v))...});
    }
    // The parameters x, y (, z, w) of kind K.
    template <template <rt::Name> class K>
    using Params = std::tuple<K<component_name<static_cast<int>(I)>()>...>;
  };
  using Creators = Nary<std::make_index_sequence<N>>;

  // A tuple (List false) or list of at least N items.
  template <bool List>
  static PyObject* entry_cfrom_sequence(PyObject* seq) {
    const char* kind = List ? "list" : "tuple";
    if (List ? !PyList_Check(seq) : !PyTuple_Check(seq)) {
      rt::arg_type_error("other", kind, seq);
      return nullptr;
    }
    Py_ssize_t len = List ? PyList_GET_SIZE(seq) : PyTuple_GET_SIZE(seq);
    if (len < N) {
      PyErr_Format(PyExc_ValueError, "%s needs at least %d items, got %zd", kind, N, len);
      return nullptr;
    }
    Ref o(py(alloc()));
    if (!o) return nullptr;
    if (!(List ? store_from_list(as(o.get()), seq) : store_from_tuple(as(o.get()), seq)))
      return nullptr;
    return o.release();
  }
  static PyObject* entry_cfrom_self(Obj* other) { return make(load(other)); }
  static PyObject* entry_cfrom_struct(decltype(Obj::data) v) {
    Obj* o = alloc();
    if (o) o->data = v;
    return py(o);
  }

  // ------------------------------------------------------------- arithmetic
  // Entries with a final int take the tables' dispatch flag, which these
  // final types ignore; none of them can fail but by running out of memory.
  template <class F>
  static Arr zip(const Arr& a, const Arr& b, F f) noexcept {
    Arr r;
    for (int i = 0; i < N; ++i) r[i] = f(a[i], b[i]);
    return r;
  }
  static PyObject* entry_add(Obj* a, Obj* b) { return make(zip(load(a), load(b), std::plus<S>())); }
  static PyObject* entry_sub(Obj* a, Obj* b) {
    return make(zip(load(a), load(b), std::minus<S>()));
  }
  static void entry_iadd(Obj* a, Obj* b) { store(a, zip(load(a), load(b), std::plus<S>())); }
  static void entry_isub(Obj* a, Obj* b) { store(a, zip(load(a), load(b), std::minus<S>())); }
  static void entry_imul(Obj* a, Obj* b) { store(a, zip(load(a), load(b), std::multiplies<S>())); }
  static void entry_sadd_(Obj* self, Obj* n, Obj* o) {
    store(self, zip(load(n), load(o), std::plus<S>()));
  }
  static PyObject* entry_sadd(Obj* self, Obj* n, Obj* o, int) {
    entry_sadd_(self, n, o);
    Py_RETURN_NONE;
  }

  static S round_half_away(S v) noexcept { return std::round(v); }
  static S sq_length(const Arr& a) noexcept {
    S s = a[0] * a[0];
    for (int i = 1; i < N; ++i) s = s + a[i] * a[i];
    return s;
  }
  static Arr normalized(const Arr& a) noexcept {
    S sq = sq_length(a);
    if (sq == 0) return Arr{};
    double r = 1.0 / static_cast<double>(std::sqrt(sq));
    Arr out;
    for (int i = 0; i < N; ++i) out[i] = narrow_to<S>(static_cast<double>(a[i]) * r);
    return out;
  }
  static double entry_dot(Obj* a, Obj* b, int) {
    Arr x = load(a), y = load(b);
    S s = x[0] * y[0];
    for (int i = 1; i < N; ++i) s = s + x[i] * y[i];
    return static_cast<double>(s);
  }
  static double entry_distance_squared_to(Obj* a, Obj* b, int) {
    Arr x = load(a), y = load(b);
    double s = 0.0;
    for (int i = 0; i < N; ++i) {
      double d = static_cast<double>(static_cast<S>(x[i] - y[i]));
      s = i ? s + d * d : d * d;
    }
    return s;
  }
  static double entry_distance_to(Obj* a, Obj* b, int f) {
    return std::sqrt(entry_distance_squared_to(a, b, f));
  }

  static PyObject* entry_c_get_tuple(Obj* self) {
    Arr a = load(self);
    double d[N];
    for (int i = 0; i < N; ++i) d[i] = static_cast<double>(a[i]);
    return rt::float_tuple(d, N);
  }
  static PyObject* entry_get_tuple(Obj* self, int) { return entry_c_get_tuple(self); }
  static PyObject* entry_get_int_tuple(Obj* self, int) {
    Arr a = load(self);
    int32_t v[N];
    for (int i = 0; i < N; ++i) v[i] = rt::truncate_i32(a[i]);
    return rt::int_tuple(v, N);
  }
  static PyObject* entry_get_rounded_tuple(Obj* self, int) {
    Arr a = load(self);
    int32_t v[N];
    for (int i = 0; i < N; ++i) v[i] = rt::truncate_i32(round_half_away(a[i]));
    return rt::int_tuple(v, N);
  }
  static S abs_of(S v) noexcept { return std::fabs(v); }
  static S neg_of(S v) noexcept { return -v; }
  static PyObject* in_place(Obj* self, S (*f)(S)) {
    Arr a = load(self);
    for (auto& c : a) c = f(c);
    store(self, a);
    return Py_NewRef(py(self));
  }
  static PyObject* entry_to_round(Obj* s, int) { return in_place(s, round_half_away); }
  static PyObject* entry_get_round(Obj* s, int) { return make_map(load(s), round_half_away); }
  static PyObject* entry_to_abs(Obj* s, int) { return in_place(s, abs_of); }
  static PyObject* entry_get_abs(Obj* s, int) { return make_map(load(s), abs_of); }
  static PyObject* entry_to_neg(Obj* s, int) { return in_place(s, neg_of); }
  static PyObject* entry_get_neg(Obj* s, int) { return make_map(load(s), neg_of); }
  static PyObject* entry_copy(Obj* s, int) { return make(load(s)); }
  static PyObject* entry_to_normalized(Obj* s, int) {
    store(s, normalized(load(s)));
    return Py_NewRef(py(s));
  }
  static PyObject* entry_get_normalized(Obj* s, int) { return make(normalized(load(s))); }
  static PyObject* entry_cross(Obj* s, Obj* o, int) {
    static_assert(N == 3, "only Vector3 has a cross product");
    Arr a = load(s), b = load(o);
    return make(
        Arr{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]});
  }

  // The C method table; the traits order its slots.
  static inline VT vtable = [] {
    VT t{};
    t.new_ = Creators::entry_new;
    t.cfrom_list = entry_cfrom_sequence<true>;
    t.cfrom_ints = Creators::entry_cfrom_ints;
    t.cfrom_floats = Creators::entry_cfrom_floats;
    t.cfrom_tuple = entry_cfrom_sequence<false>;
    t.*Traits::copy_slot = entry_cfrom_self;
    t.*Traits::components_slot = Creators::entry_new;
    t._add = entry_add;
    t._sub = entry_sub;
    t._iadd = entry_iadd;
    t._isub = entry_isub;
    t._imul = entry_imul;
    t._sadd = entry_sadd_;
    t.sadd = entry_sadd;
    t.get_tuple = entry_get_tuple;
    t.c_get_tuple = entry_c_get_tuple;
    t.to_round = entry_to_round;
    t.get_round = entry_get_round;
    t.to_abs = entry_to_abs;
    t.get_abs = entry_get_abs;
    t.to_neg = entry_to_neg;
    t.get_neg = entry_get_neg;
    t.get_int_tuple = entry_get_int_tuple;
    t.get_rounded_tuple = entry_get_rounded_tuple;
    t.copy = entry_copy;
    t.to_normalized = entry_to_normalized;
    t.get_normalized = entry_get_normalized;
    t.distance_to = entry_distance_to;
    t.distance_squared_to = entry_distance_squared_to;
    t.dot = entry_dot;
    if constexpr (Traits::has_struct_creator) t.cfrom_struct = entry_cfrom_struct;
    if constexpr (Traits::has_cross) t.cross = entry_cross;
    return t;
  }();
};

}  // namespace tarvex::vec
