// The vector family: Vector2, Vector3 and Vector4 from one implementation,
// parameterised by a traits class that gives the component count, the storage
// precision, the names and the few behaviours that differ between the types.
//
// Precision rules, shared by all three:
//  - operations between two vectors work in the storage precision S;
//  - operations with a Python number widen to double and narrow once;
//  - length, dot and normalisation sum in S; distances subtract in S, then
//    square, sum and take the root in double.
// For Vector4 S is double and narrowing is the identity.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "tarvex/_runtime/runtime.h"

namespace tarvex::vec {

using rt::Ref;

template <class S>
inline S narrow_to(double d) noexcept {
  if constexpr (std::is_same_v<S, float>)
    return rt::narrow(d);
  else
    return d;
}

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
  static constexpr int extra_getsets = 0;
  static void add_getsets(PyGetSetDef*, int&) {}
};

template <class Traits>
struct Vec {
  using Obj = typename Traits::Object;
  using VT = typename Traits::VTable;
  using S = typename Traits::Scalar;
  static constexpr int N = Traits::N;
  using Arr = std::array<S, N>;
  static_assert(sizeof(Obj::data) == sizeof(Arr), "the value structure is N scalars");

  static inline PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
  static inline VT vtable{};

  // ------------------------------------------------------------------ access
  static Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
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

  static void traceback(const char* name) {
    rt::add_traceback(Traits::full_name, name, Traits::file);
  }

  // --------------------------------------------------------------- creation
  // Every creator allocates through the type without running __init__.
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
    return reinterpret_cast<PyObject*>(o);
  }
  template <class F>
  static PyObject* make_map(const Arr& a, F f) noexcept {
    Arr r;
    for (int i = 0; i < N; ++i) r[i] = f(a[i]);
    return make(r);
  }

  static PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
    PyObject* o = t->tp_alloc(t, 0);
    if (o) {
      as(o)->__pyx_vtab = &vtable;
      store(as(o), Arr{});
    }
    return o;
  }
  static void dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

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

  static int too_short(const char* what, Py_ssize_t n) {
    PyErr_Format(PyExc_ValueError, "%s needs at least %d items, got %zd", what, N, n);
    return -1;
  }

  // C-level creators (table slots).
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
    static PyObject* new_(D<I>... v) { return make(Arr{narrow_to<S>(v)...}); }
    static PyObject* cfrom_floats(F<I>... v) { return make(Arr{static_cast<S>(v)...}); }
    static PyObject* cfrom_ints(Int<I>... v) {
      return make(Arr{narrow_to<S>(static_cast<double>(v))...});
    }
    // Python-level from_ints / from_floats / from_<components>.
    template <class C, class Entry>
    static PyObject* convert_call(PyObject* const* a, Entry entry) {
      C vals[N];
      for (int i = 0; i < N; ++i)
        if (!C::convert(a[i], &vals[i])) return nullptr;
      return entry(vals[I].value...);
    }
  };
  using Creators = Nary<std::make_index_sequence<N>>;

  static PyObject* cfrom_tuple(PyObject* t) {
    if (!PyTuple_Check(t)) {
      rt::arg_type_error("other", "tuple", t);
      return nullptr;
    }
    if (PyTuple_GET_SIZE(t) < N) {
      too_short("tuple", PyTuple_GET_SIZE(t));
      return nullptr;
    }
    Ref o(reinterpret_cast<PyObject*>(alloc()));
    if (!o || !store_from_tuple(as(o.get()), t)) return nullptr;
    return o.release();
  }
  static PyObject* cfrom_list(PyObject* l) {
    if (!PyList_Check(l)) {
      rt::arg_type_error("other", "list", l);
      return nullptr;
    }
    if (PyList_GET_SIZE(l) < N) {
      too_short("list", PyList_GET_SIZE(l));
      return nullptr;
    }
    Ref o(reinterpret_cast<PyObject*>(alloc()));
    if (!o || !store_from_list(as(o.get()), l)) return nullptr;
    return o.release();
  }
  static PyObject* cfrom_self(Obj* other) { return make(load(other)); }
  static PyObject* cfrom_struct(decltype(Obj::data) v) {
    Obj* o = alloc();
    if (o) o->data = v;
    return reinterpret_cast<PyObject*>(o);
  }

  // ------------------------------------------------------------- arithmetic
  template <class F>
  static Arr zip(const Arr& a, const Arr& b, F f) noexcept {
    Arr r;
    for (int i = 0; i < N; ++i) r[i] = f(a[i], b[i]);
    return r;
  }
  static PyObject* add(Obj* a, Obj* b) { return make(zip(load(a), load(b), std::plus<S>())); }
  static PyObject* sub(Obj* a, Obj* b) { return make(zip(load(a), load(b), std::minus<S>())); }
  static void iadd(Obj* a, Obj* b) { store(a, zip(load(a), load(b), std::plus<S>())); }
  static void isub(Obj* a, Obj* b) { store(a, zip(load(a), load(b), std::minus<S>())); }
  static void imul(Obj* a, Obj* b) { store(a, zip(load(a), load(b), std::multiplies<S>())); }
  static void sadd_(Obj* self, Obj* n, Obj* o) {
    store(self, zip(load(n), load(o), std::plus<S>()));
  }
  static PyObject* sadd(Obj* self, Obj* n, Obj* o, int) {
    sadd_(self, n, o);
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
  static double dot(Obj* a, Obj* b, int) {
    Arr x = load(a), y = load(b);
    S s = x[0] * y[0];
    for (int i = 1; i < N; ++i) s = s + x[i] * y[i];
    return static_cast<double>(s);
  }
  static double distance_squared_to(Obj* a, Obj* b, int) {
    Arr x = load(a), y = load(b);
    double s = 0.0;
    for (int i = 0; i < N; ++i) {
      double d = static_cast<double>(static_cast<S>(x[i] - y[i]));
      s = i ? s + d * d : d * d;
    }
    return s;
  }
  static double distance_to(Obj* a, Obj* b, int f) {
    return std::sqrt(distance_squared_to(a, b, f));
  }

  static PyObject* c_get_tuple(Obj* self) {
    Arr a = load(self);
    double d[N];
    for (int i = 0; i < N; ++i) d[i] = static_cast<double>(a[i]);
    return rt::float_tuple(d, N);
  }
  static PyObject* get_tuple(Obj* self, int) { return c_get_tuple(self); }
  static PyObject* get_int_tuple(Obj* self, int) {
    Arr a = load(self);
    int32_t v[N];
    for (int i = 0; i < N; ++i) v[i] = rt::truncate_i32(a[i]);
    return rt::int_tuple(v, N);
  }
  static PyObject* get_rounded_tuple(Obj* self, int) {
    Arr a = load(self);
    int32_t v[N];
    for (int i = 0; i < N; ++i) v[i] = rt::truncate_i32(round_half_away(a[i]));
    return rt::int_tuple(v, N);
  }
  static S abs_(S v) noexcept { return std::fabs(v); }
  static S neg_(S v) noexcept { return -v; }
  static PyObject* in_place(Obj* self, S (*f)(S)) {
    Arr a = load(self);
    for (auto& c : a) c = f(c);
    store(self, a);
    return Py_NewRef(reinterpret_cast<PyObject*>(self));
  }
  static PyObject* to_round(Obj* s, int) { return in_place(s, round_half_away); }
  static PyObject* get_round(Obj* s, int) { return make_map(load(s), round_half_away); }
  static PyObject* to_abs(Obj* s, int) { return in_place(s, abs_); }
  static PyObject* get_abs(Obj* s, int) { return make_map(load(s), abs_); }
  static PyObject* to_neg(Obj* s, int) { return in_place(s, neg_); }
  static PyObject* get_neg(Obj* s, int) { return make_map(load(s), neg_); }
  static PyObject* copy(Obj* s, int) { return make(load(s)); }
  static PyObject* to_normalized(Obj* s, int) {
    store(s, normalized(load(s)));
    return Py_NewRef(reinterpret_cast<PyObject*>(s));
  }
  static PyObject* get_normalized(Obj* s, int) { return make(normalized(load(s))); }
  static PyObject* cross(Obj* s, Obj* o, int) {
    if constexpr (N == 3) {
      Arr a = load(s), b = load(o);
      return make(
          Arr{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]});
    } else {
      (void)s, (void)o;
      return nullptr;
    }
  }

  // Fills the table; the traits order the slots.
  static void fill_vtable() {
    VT& t = vtable;
    t.new_ = Creators::new_;
    t.cfrom_list = cfrom_list;
    t.cfrom_ints = Creators::cfrom_ints;
    t.cfrom_floats = Creators::cfrom_floats;
    t.cfrom_tuple = cfrom_tuple;
    t.*Traits::copy_slot = cfrom_self;
    t.*Traits::components_slot = Creators::new_;
    t._add = add;
    t._sub = sub;
    t._iadd = iadd;
    t._isub = isub;
    t._imul = imul;
    t._sadd = sadd_;
    t.sadd = sadd;
    t.get_tuple = get_tuple;
    t.c_get_tuple = c_get_tuple;
    t.to_round = to_round;
    t.get_round = get_round;
    t.to_abs = to_abs;
    t.get_abs = get_abs;
    t.to_neg = to_neg;
    t.get_neg = get_neg;
    t.get_int_tuple = get_int_tuple;
    t.get_rounded_tuple = get_rounded_tuple;
    t.copy = copy;
    t.to_normalized = to_normalized;
    t.get_normalized = get_normalized;
    t.distance_to = distance_to;
    t.distance_squared_to = distance_squared_to;
    t.dot = dot;
    if constexpr (Traits::has_struct_creator) t.cfrom_struct = cfrom_struct;
    if constexpr (Traits::has_cross) t.cross = cross;
  }

  // ---------------------------------------------------------- construction
  // The constructor's argument forms; stores component by component.
  static int init_args(Obj* self, PyObject* const* args, Py_ssize_t n) {
    if (n == N) {
      for (int i = 0; i < N; ++i) {
        double d;
        if (!rt::to_double(args[i], &d)) return -1;
        set(self, i, narrow_to<S>(d));
      }
      return 0;
    }
    if (n == 0) {
      store(self, Arr{});
      return 0;
    }
    if (n != 1) {
      PyErr_Format(PyExc_TypeError, "%s() takes 0, 1, or %d arguments, but %zd were given",
                   Traits::short_name, N, n);
      return -1;
    }
    PyObject* a = args[0];
    if (check(a)) {
      store(self, load(as(a)));
      return 0;
    }
    // Exact tuples and lists cannot carry the foreign-vector attribute, so
    // they skip its lookup.
    if (PyTuple_CheckExact(a)) {
      if (PyTuple_GET_SIZE(a) != N) return length_error(PyTuple_GET_SIZE(a));
      return store_from_tuple(self, a) ? 0 : -1;
    }
    if (PyList_CheckExact(a)) {
      if (PyList_GET_SIZE(a) != N) return length_error(PyList_GET_SIZE(a));
      return store_from_list(self, a) ? 0 : -1;
    }
    int foreign = PyObject_HasAttrWithError(a, s_foreign_attr);
    if (foreign < 0) return -1;
    if (foreign) {
      for (int i = 0; i < N; ++i) {
        Ref v(PyObject_GetAttr(a, s_component[i]));
        double d;
        if (!v || !rt::to_double(v.get(), &d)) return -1;
        set(self, i, narrow_to<S>(d));
      }
      return 0;
    }
    if (PyTuple_Check(a) || PyList_Check(a)) {
      Py_ssize_t len = PyObject_Size(a);
      if (len < 0) return -1;
      if (len != N) return length_error(len);
      return store_items(self, [a](int i) { return Ref(PySequence_GetItem(a, i)); }) ? 0 : -1;
    }
    // The type's __name__, which for a class made at run time may itself hold dots.
    Ref tname(PyType_GetName(Py_TYPE(a)));
    if (!tname) return -1;
    PyErr_Format(PyExc_TypeError, "%s() invalid constructor argument: %U", Traits::short_name,
                 tname.get());
    return -1;
  }
  static int length_error(Py_ssize_t len) {
    PyErr_Format(PyExc_TypeError, "%s() takes a sequence of length %d, but got %zd",
                 Traits::short_name, N, len);
    return -1;
  }
  static bool no_keywords(PyObject* kwnames) {
    if (kwnames && PyTuple_GET_SIZE(kwnames)) {
      rt::unexpected_keyword("__init__", PyTuple_GET_ITEM(kwnames, 0));
      return false;
    }
    return true;
  }

  static PyObject* vectorcall(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    Py_ssize_t n = PyVectorcall_NARGS(nargsf);
    if (!no_keywords(kwnames)) {
      traceback("__init__");
      return nullptr;
    }
    Obj* o = alloc();
    if (!o) return nullptr;
    if (init_args(o, args, n) < 0) {
      Py_DECREF(o);
      traceback("__init__");
      return nullptr;
    }
    return reinterpret_cast<PyObject*>(o);
  }

  static int tp_init(PyObject* self, PyObject* args, PyObject* kwds) {
    if (rt::keywords_refused("__init__", kwds) ||
        init_args(as(self), PySequence_Fast_ITEMS(args), PyTuple_GET_SIZE(args)) < 0) {
      traceback("__init__");
      return -1;
    }
    return 0;
  }

  // -------------------------------------------------------- static methods
  struct AsDouble {
    double value;
    static bool convert(PyObject* o, AsDouble* out) { return rt::to_double(o, &out->value); }
  };
  struct AsFloat {
    float value;
    static bool convert(PyObject* o, AsFloat* out) {
      double d;
      if (!rt::to_double(o, &d)) return false;
      out->value = rt::narrow(d);
      return true;
    }
  };
  struct AsInt {
    int value;
    static bool convert(PyObject* o, AsInt* out) { return rt::to_c_int(o, &out->value); }
  };

  static const char* const* component_params() {
    static const char* const names[] = {"x", "y", "z", "w"};
    return names;
  }
  static inline const char* const kOther[] = {"other"};

  template <class C, auto Entry, const char* Name>
  static PyObject* from_components(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
    static const rt::Params p{Name, component_params(), N, N};
    PyObject* a[N];
    PyObject* r = nullptr;
    if (rt::bind_fast(p, args, n, kw, a))
      r = Creators::template convert_call<C>(a, [](auto... v) { return Entry(v...); });
    if (!r) traceback(Name);
    return r;
  }

  static inline constexpr char kFromInts[] = "from_ints";
  static inline constexpr char kFromFloats[] = "from_floats";
  static inline constexpr char kFromTuple[] = "from_tuple";
  static inline constexpr char kFromList[] = "from_list";

  // One-argument methods taking `other`: binding plus the exact-type check.
  static bool bind_other(const char* fname, PyObject* const* args, Py_ssize_t n, PyObject* kw,
                         PyObject** out) {
    const rt::Params p{fname, kOther, 1, 1};
    return rt::bind_fast(p, args, n, kw, out);
  }
  static bool bind_vector(const char* fname, const char* param, PyObject* const* args, Py_ssize_t n,
                          PyObject* kw, Obj** out) {
    PyObject* o;
    if (!bind_other(fname, args, n, kw, &o)) return false;
    if (!check(o)) {
      rt::arg_type_error(param, Traits::full_name, o);
      return false;
    }
    *out = as(o);
    return true;
  }

  static PyObject* py_from_self(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
    Obj* o;
    if (!bind_vector(Traits::from_self_name, "other", args, n, kw, &o)) {
      traceback(Traits::from_self_name);
      return nullptr;
    }
    return cfrom_self(o);
  }
  template <bool List>
  static PyObject* py_from_seq(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
    const char* name = List ? kFromList : kFromTuple;
    PyObject* o;
    PyObject* r = nullptr;
    if (bind_other(name, args, n, kw, &o)) {
      if (List ? !PyList_CheckExact(o) : !PyTuple_CheckExact(o))
        rt::arg_type_error("other", List ? "list" : "tuple", o);
      else
        r = List ? cfrom_list(o) : cfrom_tuple(o);
    }
    if (!r) traceback(name);
    return r;
  }

  // --------------------------------------------------------- methods
  // A method without parameters; a binding error gets the method's
  // traceback entry like every other error of the type.
  template <PyObject* (*Entry)(Obj*, int), const char* Name>
  static PyObject* py_noargs(PyObject* self, PyObject* const*, Py_ssize_t n, PyObject* kw) {
    if (!rt::no_args(Name, n, kw)) [[unlikely]] {
      traceback(Name);
      return nullptr;
    }
    return Entry(as(self), 0);
  }
  template <PyObject* (*Entry)(Obj*, int), const char* Name>
  static PyMethodDef noargs_def() {
    return {Name, rt::cfunc(py_noargs<Entry, Name>), METH_FASTCALL | METH_KEYWORDS, nullptr};
  }
  static inline constexpr char kCopy[] = "copy", kDunderCopy[] = "__copy__", kToAbs[] = "to_abs",
                               kGetAbs[] = "get_abs", kToNeg[] = "to_neg", kGetNeg[] = "get_neg",
                               kToRound[] = "to_round", kGetRound[] = "get_round",
                               kToNormalized[] = "to_normalized",
                               kGetNormalized[] = "get_normalized", kGetTuple[] = "get_tuple",
                               kGetIntTuple[] = "get_int_tuple",
                               kGetRoundedTuple[] = "get_rounded_tuple";
  static PyObject* py_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
    static const char* const names[] = {"memo"};
    static const rt::Params p{"__deepcopy__", names, 1, 1};
    PyObject* memo;
    if (!rt::bind_fast(p, args, n, kw, &memo)) {
      traceback("__deepcopy__");
      return nullptr;
    }
    return copy(as(self), 0);
  }
  template <double (*Entry)(Obj*, Obj*, int), const char* Name>
  static PyObject* py_measure(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
    Obj* o;
    if (n == 1 && !kw && check(args[0])) return PyFloat_FromDouble(Entry(as(self), as(args[0]), 0));
    if (!bind_vector(Name, "other", args, n, kw, &o)) {
      traceback(Name);
      return nullptr;
    }
    return PyFloat_FromDouble(Entry(as(self), o, 0));
  }
  static inline constexpr char kDot[] = "dot";
  static inline constexpr char kDistanceTo[] = "distance_to";
  static inline constexpr char kDistanceSquaredTo[] = "distance_squared_to";
  static inline constexpr char kCross[] = "cross";
  static inline constexpr char kSadd[] = "sadd";

  static PyObject* py_cross(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
    Obj* o;
    if (!bind_vector(kCross, "other", args, n, kw, &o)) {
      traceback(kCross);
      return nullptr;
    }
    return cross(as(self), o, 0);
  }
  static PyObject* py_sadd(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
    static const char* const names[] = {"new_vec", "old_vec"};
    static const rt::Params p{kSadd, names, 2, 2};
    PyObject* a[2];
    if (!rt::bind_fast(p, args, n, kw, a)) {
      traceback(kSadd);
      return nullptr;
    }
    for (int i = 0; i < 2; ++i) {
      if (!check(a[i])) {
        rt::arg_type_error(names[i], Traits::full_name, a[i]);
        traceback(kSadd);
        return nullptr;
      }
    }
    return sadd(as(self), as(a[0]), as(a[1]), 0);
  }

  // ---------------------------------------------------------- number slots
  static PyObject* wrong_operand(PyObject* other, const char* slot) {
    rt::arg_type_error("other", Traits::full_name, other);
    traceback(slot);
    return nullptr;
  }
  static PyObject* nb_add(PyObject* a, PyObject* b) {
    if (!check(a)) Py_RETURN_NOTIMPLEMENTED;
    if (!check(b)) return wrong_operand(b, "__add__");
    return add(as(a), as(b));
  }
  static PyObject* nb_sub(PyObject* a, PyObject* b) {
    if (!check(a)) Py_RETURN_NOTIMPLEMENTED;
    if (!check(b)) return wrong_operand(b, "__sub__");
    return sub(as(a), as(b));
  }
  template <void (*Op)(Obj*, Obj*)>
  static PyObject* nb_inplace(PyObject* a, PyObject* b, const char* slot) {
    if (!check(a)) Py_RETURN_NOTIMPLEMENTED;
    if (!check(b)) return wrong_operand(b, slot);
    Op(as(a), as(b));
    return Py_NewRef(a);
  }
  static PyObject* nb_iadd(PyObject* a, PyObject* b) { return nb_inplace<iadd>(a, b, "__iadd__"); }
  static PyObject* nb_isub(PyObject* a, PyObject* b) { return nb_inplace<isub>(a, b, "__isub__"); }
  static PyObject* nb_imul(PyObject* a, PyObject* b) { return nb_inplace<imul>(a, b, "__imul__"); }

  // Scalar operand of *, / and //: an int or float (or subclass), else none.
  enum class Scalar { no, yes, error };
  static Scalar scalar_operand(PyObject* b, double* s, const char* slot) {
    if (PyFloat_Check(b)) {
      *s = PyFloat_AS_DOUBLE(b);
      return Scalar::yes;
    }
    if (PyLong_Check(b)) {
      *s = PyLong_AsDouble(b);
      if (*s == -1.0 && PyErr_Occurred()) {
        traceback(slot);
        return Scalar::error;
      }
      return Scalar::yes;
    }
    return Scalar::no;
  }
  template <class VecOp, class ScalarOp>
  static PyObject* scaled(PyObject* a, PyObject* b, const char* slot, VecOp vop, ScalarOp sop) {
    if (!check(a)) Py_RETURN_NOTIMPLEMENTED;
    if (check(b)) return make(zip(load(as(a)), load(as(b)), vop));
    double s;
    switch (scalar_operand(b, &s, slot)) {
      case Scalar::no:
        Py_RETURN_NOTIMPLEMENTED;
      case Scalar::error:
        return nullptr;
      case Scalar::yes:
        break;
    }
    return make_map(load(as(a)), [&](S c) { return sop(static_cast<double>(c), s); });
  }
  static PyObject* nb_mul(PyObject* a, PyObject* b) {
    return scaled(a, b, "__mul__", std::multiplies<S>(),
                  [](double c, double s) { return narrow_to<S>(c * s); });
  }
  static PyObject* nb_truediv(PyObject* a, PyObject* b) {
    return scaled(a, b, "__truediv__", std::divides<S>(), [](double c, double s) {
      if constexpr (Traits::reciprocal_division)
        return narrow_to<S>(c * (1.0 / s));
      else
        return narrow_to<S>(c / s);
    });
  }
  static PyObject* nb_floordiv(PyObject* a, PyObject* b) {
    return scaled(
        a, b, "__floordiv__", [](S x, S y) { return static_cast<S>(std::floor(x / y)); },
        [](double c, double s) {
          if constexpr (Traits::reciprocal_division)
            return narrow_to<S>(std::floor(c * (1.0 / s)));
          else
            return narrow_to<S>(std::floor(c / s));
        });
  }
  static PyObject* nb_neg(PyObject* a) { return get_neg(as(a), 0); }

  // ------------------------------------------------------- protocol slots
  static PyObject* repr(PyObject* self) {
    Arr a = load(as(self));
    double d[N];
    for (int i = 0; i < N; ++i) d[i] = static_cast<double>(a[i]);
    return rt::repr_components(Traits::short_name, d, N);
  }
  static Py_hash_t hash(PyObject* self) {
    Arr a = load(as(self));
    double d[N];
    for (int i = 0; i < N; ++i) d[i] = static_cast<double>(a[i]);
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
  static Py_ssize_t length(PyObject*) { return N; }
  static PyObject* index_error() {
    PyErr_SetString(PyExc_IndexError, "Vector index out of range");
    return nullptr;
  }
  static PyObject* sq_item(PyObject* self, Py_ssize_t i) {
    if (i < 0 || i >= N) {
      index_error();
      traceback("__getitem__");
      return nullptr;
    }
    return PyFloat_FromDouble(static_cast<double>(get(as(self), static_cast<int>(i))));
  }
  static PyObject* mp_subscript(PyObject* self, PyObject* key) {
    Py_ssize_t i;
    if (PyLong_CheckExact(key)) {
      i = PyLong_AsSsize_t(key);
    } else {
      i = PyNumber_AsSsize_t(key, PyExc_OverflowError);
    }
    if (i == -1 && PyErr_Occurred()) {
      traceback("__getitem__");
      return nullptr;
    }
    return sq_item(self, i);
  }
  static int mp_ass_subscript(PyObject* self, PyObject* key, PyObject* value) {
    if (!value) {
      rt::subscript_deletion_error(&type);
      traceback("__setitem__");
      return -1;
    }
    double d;
    if (!rt::to_double(value, &d)) {
      traceback("__setitem__");
      return -1;
    }
    Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_OverflowError);
    if (i == -1 && PyErr_Occurred()) {
      traceback("__setitem__");
      return -1;
    }
    if (i < 0 || i >= N) {
      index_error();
      traceback("__setitem__");
      return -1;
    }
    set(as(self), static_cast<int>(i), narrow_to<S>(d));
    return 0;
  }

  // ------------------------------------------------------------ properties
  static PyObject* get_component(PyObject* self, void* closure) {
    return PyFloat_FromDouble(
        static_cast<double>(get(as(self), static_cast<int>(reinterpret_cast<intptr_t>(closure)))));
  }
  static int set_component(PyObject* self, PyObject* value, void* closure) {
    int i = static_cast<int>(reinterpret_cast<intptr_t>(closure));
    if (!value) {
      rt::property_deletion_error();
    } else {
      double d;
      if (rt::to_double(value, &d)) {
        set(as(self), i, narrow_to<S>(d));
        return 0;
      }
    }
    char name[32];
    std::snprintf(name, sizeof name, "%c.__set__", Traits::letters[i]);
    traceback(name);
    return -1;
  }
  static PyObject* get_length(PyObject* self, void*) {
    return PyFloat_FromDouble(static_cast<double>(std::sqrt(sq_length(load(as(self))))));
  }

  static constexpr int kSwizzleLen = Traits::swizzle_length;
  static constexpr SwizzleTable<N, kSwizzleLen> swizzles{Traits::letters};
  static PyObject* get_swizzle(PyObject* self, void* closure) {
    const unsigned char* idx = static_cast<const unsigned char*>(closure);
    Arr a = load(as(self));
    Arr r;
    for (int i = 0; i < N; ++i) r[i] = a[idx[i]];
    return make(r);
  }

  static constexpr int kGetsetCount =
      N + 1 + Traits::extra_getsets + SwizzleTable<N, kSwizzleLen>::count + 1;
  static inline PyGetSetDef getsets[kGetsetCount] = {};
  static constexpr const char* component_letter_names[4] = {"x", "y", "z", "w"};

  static void fill_getsets() {
    int k = 0;
    for (int i = 0; i < N; ++i)
      getsets[k++] = {component_letter_names[i], get_component, set_component, nullptr,
                      reinterpret_cast<void*>(static_cast<intptr_t>(i))};
    Traits::add_getsets(getsets, k);
    getsets[k++] = {"length", get_length, nullptr, nullptr, nullptr};
    for (int s = 0; s < swizzles.count; ++s)
      getsets[k++] = {swizzles.names[s], get_swizzle, nullptr, nullptr,
                      const_cast<unsigned char*>(swizzles.index[s])};
    getsets[k] = {};
  }

  // --------------------------------------------------------------- type
  static inline PyMethodDef methods[] = {
      {Traits::from_self_name, rt::cfunc(py_from_self), METH_STATIC | METH_FASTCALL | METH_KEYWORDS,
       nullptr},
      {kFromTuple, rt::cfunc(py_from_seq<false>), METH_STATIC | METH_FASTCALL | METH_KEYWORDS,
       nullptr},
      {kFromList, rt::cfunc(py_from_seq<true>), METH_STATIC | METH_FASTCALL | METH_KEYWORDS,
       nullptr},
      {kFromInts, rt::cfunc(from_components<AsInt, Creators::cfrom_ints, kFromInts>),
       METH_STATIC | METH_FASTCALL | METH_KEYWORDS, nullptr},
      {kFromFloats, rt::cfunc(from_components<AsFloat, Creators::cfrom_floats, kFromFloats>),
       METH_STATIC | METH_FASTCALL | METH_KEYWORDS, nullptr},
      {Traits::from_components_name,
       rt::cfunc(from_components<AsDouble, Creators::new_, Traits::from_components_name>),
       METH_STATIC | METH_FASTCALL | METH_KEYWORDS, nullptr},
      noargs_def<copy, kCopy>(),
      noargs_def<copy, kDunderCopy>(),
      {"__deepcopy__", rt::cfunc(py_deepcopy), METH_FASTCALL | METH_KEYWORDS, nullptr},
      {kSadd, rt::cfunc(py_sadd), METH_FASTCALL | METH_KEYWORDS, nullptr},
      noargs_def<to_abs, kToAbs>(),
      noargs_def<get_abs, kGetAbs>(),
      noargs_def<to_neg, kToNeg>(),
      noargs_def<get_neg, kGetNeg>(),
      noargs_def<to_round, kToRound>(),
      noargs_def<get_round, kGetRound>(),
      noargs_def<to_normalized, kToNormalized>(),
      noargs_def<get_normalized, kGetNormalized>(),
      noargs_def<get_tuple, kGetTuple>(),
      noargs_def<get_int_tuple, kGetIntTuple>(),
      noargs_def<get_rounded_tuple, kGetRoundedTuple>(),
      {kDistanceTo, rt::cfunc(py_measure<distance_to, kDistanceTo>), METH_FASTCALL | METH_KEYWORDS,
       nullptr},
      {kDistanceSquaredTo, rt::cfunc(py_measure<distance_squared_to, kDistanceSquaredTo>),
       METH_FASTCALL | METH_KEYWORDS, nullptr},
      {kDot, rt::cfunc(py_measure<dot, kDot>), METH_FASTCALL | METH_KEYWORDS, nullptr},
      // Only Vector3 keeps this entry; the others end their table before it.
      {Traits::has_cross ? kCross : nullptr, rt::cfunc(py_cross), METH_FASTCALL | METH_KEYWORDS,
       nullptr},
      {nullptr, nullptr, 0, nullptr},
  };

  static inline PyNumberMethods number = {};
  static inline PySequenceMethods sequence = {};
  static inline PyMappingMethods mapping = {};

  // Interned names read from foreign vectors.
  static inline PyObject* s_foreign_attr = nullptr;
  static inline PyObject* s_component[N] = {};

  // Sets up the constants and the static type; called by the module before
  // it readies the type.
  static int prepare() {
    s_foreign_attr = PyUnicode_InternFromString("clamp_magnitude_ip");
    if (!s_foreign_attr) return -1;
    for (int i = 0; i < N; ++i) {
      s_component[i] = PyUnicode_InternFromString(component_letter_names[i]);
      if (!s_component[i]) return -1;
    }
    fill_vtable();
    fill_getsets();
    number.nb_add = nb_add;
    number.nb_subtract = nb_sub;
    number.nb_multiply = nb_mul;
    number.nb_negative = nb_neg;
    number.nb_true_divide = nb_truediv;
    number.nb_floor_divide = nb_floordiv;
    number.nb_inplace_add = nb_iadd;
    number.nb_inplace_subtract = nb_isub;
    number.nb_inplace_multiply = nb_imul;
    sequence.sq_length = length;
    sequence.sq_item = sq_item;
    mapping.mp_length = length;
    mapping.mp_subscript = mp_subscript;
    mapping.mp_ass_subscript = mp_ass_subscript;

    PyTypeObject& t = type;
    t.tp_name = Traits::full_name;
    t.tp_basicsize = sizeof(Obj);
    t.tp_itemsize = 0;
    t.tp_dealloc = dealloc;
    t.tp_repr = repr;
    t.tp_as_number = &number;
    t.tp_as_sequence = &sequence;
    t.tp_as_mapping = &mapping;
    t.tp_hash = hash;
    t.tp_flags = Py_TPFLAGS_DEFAULT;
    t.tp_richcompare = richcompare;
    t.tp_methods = methods;
    t.tp_getset = getsets;
    t.tp_init = tp_init;
    t.tp_new = tp_new;
    t.tp_vectorcall = vectorcall;
    return 0;
  }

  static PyMethodDef* pickle_refusal() {
    return rt::PickleRefusal<Traits::pickle_message, Traits::full_name, Traits::file>::defs;
  }
};

// The module of one vector type: the type is its only attribute.
template <class Traits>
struct VectorModule {
  using V = Vec<Traits>;
  static int constants() { return V::prepare(); }
  static inline rt::TypeEntry types[] = {
      {&V::type, Traits::short_name, &V::vtable, V::pickle_refusal()}};
  static inline rt::Module frame{{Traits::module_short_name, Traits::module_name, Traits::file,
                                  types, 1, nullptr, 0, constants, nullptr}};
};

}  // namespace tarvex::vec
