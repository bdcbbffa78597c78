// The whole-array operations of Vector2Array and Vector3Array: each runs
// the single-value type's kernel on every element (see vector_array.h), in
// a C loop over the packed storage. Operations come as get_<op> (a new
// array, or the array given as `out`) and to_<op> (this array, changed in
// place where the optional mask `where` is true); queries give one number
// or one truth value per element in a result buffer (array_support.h).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <raylib.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>

#include "tarvex/_array/vector_array.h"
#include "tarvex/_vector/vector_family.h"
#include "tarvex/_vector/vector_geometry.h"

namespace tarvex::arr {

// Whether the m floats at p are all finite: one pass without jumps. The
// flat loops below take only finite components, so that no operation meets
// two NaNs, where the result's sign and payload would depend on which
// operand the compiler put first; the general path (the vector type's own
// order of operations) takes the rest.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
inline bool all_finite(const float* p, Py_ssize_t m) noexcept {
  bool finite = true;
  for (Py_ssize_t j = 0; j < m; ++j) finite &= std::fabs(p[j]) <= FLT_MAX;
  return finite;
}

// r[j] = a[j] + b[j] * f in 64 bits, rounded once, for m components. On
// x86-64 a copy for AVX2 is chosen at run time where the processor has it:
// the same operations on wider registers, so the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
inline void add_scaled(const float* a, const float* b, double f, float* r, Py_ssize_t m) noexcept {
  for (Py_ssize_t j = 0; j < m; ++j)
    r[j] = rt::narrow_flat(static_cast<double>(a[j]) + static_cast<double>(b[j]) * f);
}

// moved_towards of the vector type for n elements of K components toward one
// goal, by steps[i] (PerElement) or steps[0]: the distance in 64 bits,
// within reach the goal itself, else x + (goal - x) * (step / distance)
// rounded once. Both results are computed and one selected, so the loop
// has no jumps (the same bits as the branch of the single value: a goal
// that is reached has no NaN, and its widened components narrow back to
// themselves).
template <int K, bool PerElement>
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
inline void moved_towards_flat(const float* a, const float* goal, const double* steps, float* r,
                               Py_ssize_t n) noexcept {
  double y[K];
  for (int k = 0; k < K; ++k) y[k] = static_cast<double>(goal[k]);
  for (Py_ssize_t i = 0; i < n; ++i) {
    const double reach = steps[PerElement ? i : 0];
    double x[K], d[K];
    double s = 0.0;
    for (int k = 0; k < K; ++k) {
      x[k] = static_cast<double>(a[i * K + k]);
      d[k] = y[k] - x[k];
      s += d[k] * d[k];
    }
    const double distance = std::sqrt(s);
    const double f = reach / distance;
    const bool arrive = (distance <= reach) | (distance == 0.0);
    for (int k = 0; k < K; ++k) r[i * K + k] = rt::narrow_flat(arrive ? y[k] : x[k] + d[k] * f);
  }
}

template <class Traits>
struct VecArrayOps : VecArray<Traits> {
  using C = VecArray<Traits>;
  using B = typename C::B;
  using typename C::Arr;
  using typename C::Elem;
  using typename C::G;
  using typename C::Obj;
  using typename C::Operand;
  using typename C::Other;
  using typename C::V;
  using typename C::VT;
  using S = typename VT::Scalar;
  static constexpr int K = C::K;
  using C::as;
  using C::check;
  using C::load;
  using C::py;
  using C::read_other;
  using C::run_get;
  using C::run_query;
  using C::run_to;
  using C::store;
  using C::unchanged;
  using C::with_numbers;
  using C::with_other;

  // ------------------------------------------------------------ kernels
  // The single-value operations, element by element, exactly as the
  // vector type computes them.
  template <S (*F)(S)>
  static Arr map(const Arr& a) noexcept {
    Arr r;
    for (int i = 0; i < K; ++i) r[i] = F(a[i]);
    return r;
  }
  static S scaled_component(S c, double s) noexcept {
    return vec::narrow_to<S>(static_cast<double>(c) * s);
  }
  static S divided_component(S c, double s) noexcept {
    if constexpr (VT::reciprocal_division)
      return vec::narrow_to<S>(static_cast<double>(c) * (1.0 / s));
    else
      return vec::narrow_to<S>(static_cast<double>(c) / s);
  }
  static double length_of(const Arr& a) noexcept {
    return static_cast<double>(std::sqrt(V::sq_length(a)));
  }
  static double length_squared_of(const Arr& a) noexcept {
    return static_cast<double>(V::sq_length(a));
  }
  static double dot_of(const Arr& a, const Arr& b) noexcept {
    Operand x(a), y(b);
    return V::entry_dot(x.get(), y.get(), 1);
  }
  static double distance_of(const Arr& a, const Arr& b) noexcept {
    Operand x(a), y(b);
    return V::entry_distance_to(x.get(), y.get(), 1);
  }
  static double distance_squared_of(const Arr& a, const Arr& b) noexcept {
    Operand x(a), y(b);
    return V::entry_distance_squared_to(x.get(), y.get(), 1);
  }

  // ---------------------------------------------------------- arguments
  // The optional mask of a to_<op>: null when not given.
  struct Where {
    Mask mask;
    bool given = false;
    const Mask* get() const noexcept { return given ? &mask : nullptr; }
  };
  static bool read_where(PyObject* w, Py_ssize_t n, Where* out) {
    if (!w || w == Py_None) return true;
    out->given = true;
    return out->mask.acquire(w, n);
  }
  // A bound of min, max and clamped: also a number, for every component
  // (rounded once to the storage precision, as the vector type does).
  static bool read_bound(PyObject* o, Py_ssize_t n, const char* name, Other* out) {
    if (PyFloat_Check(o) || PyLong_Check(o)) {
      double d;
      if (!rt::to_double(o, &d)) return false;
      out->single.fill(vec::narrow_to<S>(d));
      return true;
    }
    return read_other(o, n, name, out);
  }

  // Runs an operation in the form Get (a new array or `out`) or To (in
  // place, masked by `where`): `dst` is `out` or `where`.
  enum class Form { get, to };
  template <Form F, bool Fallible, class Fn>
  static PyObject* run(Obj* self, PyObject* dst, Fn f) {
    if constexpr (F == Form::get) {
      return C::template run_get<Fallible>(self, dst, f);
    } else {
      const Py_ssize_t n = self->count;
      Where w;
      if (!read_where(dst, n, &w) || !unchanged(self, n)) return nullptr;
      return C::template run_to<Fallible>(self, w.get(), f);
    }
  }

  // ------------------------------------------------------- operation kinds
  // No argument: Kern(a).
  template <Form F, Arr (*Kern)(const Arr&)>
  static PyObject* unary(Obj* self, PyObject* dst) {
    return run<F, false>(self, dst, [](Py_ssize_t, const Arr& a, Arr& r) {
      r = Kern(a);
      return true;
    });
  }
  // One vector operand (Bound: numbers too): Kern(a, b, r).
  template <Form F, bool (*Kern)(const Arr&, const Arr&, Arr&), bool Fallible = false,
            bool Bound = false>
  static PyObject* with_vector(Obj* self, PyObject* other, PyObject* dst) {
    Other o;
    if (!(Bound ? read_bound(other, self->count, "other", &o)
                : read_other(other, self->count, "other", &o)))
      return nullptr;
    return with_other(o, [&](auto b) {
      return run<F, Fallible>(
          self, dst, [&b](Py_ssize_t i, const Arr& a, Arr& r) { return Kern(a, b(i), r); });
    });
  }
  // A vector operand and a number: Kern(a, b, x, r).
  template <Form F, bool (*Kern)(const Arr&, const Arr&, double, Arr&), rt::Name Name,
            double Fallback = 0.0>
  static PyObject* with_vector_number(Obj* self, PyObject* other, PyObject* amount, PyObject* dst) {
    const Py_ssize_t n = self->count;
    Numbers x;
    Other o;
    if (!x.acquire(amount, n, Name.text, Fallback) || !unchanged(self, n) ||
        !read_other(other, n, "other", &o))
      return nullptr;
    // The two population steps of a game loop run as flat loops without
    // jumps when no mask is given: the motion step pos.to_added(vel, dt)
    // and the chase pos.get_moved_towards(target, steps).
    if constexpr (Kern == added_k) {
      if (o.array && !x.per_element() && flat_form<F>(dst) &&
          all_finite(floats(self), self->count * K) &&
          all_finite(floats(o.array), self->count * K)) {
        Obj* to = flat_destination<F>(self, dst);
        if (to) add_scaled(floats(self), floats(o.array), x.single(), floats(to), self->count * K);
        return py(to);
      }
    }
    if constexpr (Kern == moved_towards_k) {
      const double* steps = x.contiguous_doubles();
      if (!o.array && (steps || !x.per_element()) && flat_form<F>(dst) &&
          all_finite(o.single.data(), K) && all_finite(floats(self), self->count * K)) {
        Obj* to = flat_destination<F>(self, dst);
        const double step = x.single();
        if (to && steps)
          moved_towards_flat<K, true>(floats(self), o.single.data(), steps, floats(to),
                                      self->count);
        else if (to)
          moved_towards_flat<K, false>(floats(self), o.single.data(), &step, floats(to),
                                       self->count);
        return py(to);
      }
    }
    return with_other(o, [&](auto b) {
      return with_numbers(x, [&](auto num) {
        return run<F, false>(self, dst, [&b, &num](Py_ssize_t i, const Arr& a, Arr& r) {
          return Kern(a, b(i), num(i), r);
        });
      });
    });
  }
  // Whether a flat loop can take the operation: always for get_<op>; for
  // to_<op> only without a mask (the mask is read once, by the general path).
  template <Form F>
  static bool flat_form(PyObject* dst) noexcept {
    return F == Form::get || !dst || dst == Py_None;
  }
  // The array a flat loop writes (a new reference): `out` or a new array for
  // get_<op>, this array for to_<op>; null with the exception set.
  template <Form F>
  static Obj* flat_destination(Obj* self, PyObject* dst) {
    if constexpr (F == Form::get) return B::out_array(dst, self->count);
    return C::as(Py_NewRef(py(self)));
  }
  static float* floats(const Obj* o) noexcept {
    return reinterpret_cast<float*>(const_cast<Elem*>(o->data));
  }
  // Numbers only: Kern(a, x, y, r) (y is Fallback2 when not given).
  template <Form F, bool (*Kern)(const Arr&, double, double, Arr&), bool Fallible, rt::Name Name1,
            rt::Name Name2 = "", double Fallback2 = 0.0>
  static PyObject* with_numbers2(Obj* self, PyObject* first, PyObject* second, PyObject* dst) {
    const Py_ssize_t n = self->count;
    Numbers x, y;
    if (!x.acquire(first, n, Name1.text) || !y.acquire(second, n, Name2.text, Fallback2) ||
        !unchanged(self, n))
      return nullptr;
    return with_numbers(x, [&](auto u) {
      return with_numbers(y, [&](auto v) {
        return run<F, Fallible>(self, dst, [&u, &v](Py_ssize_t i, const Arr& a, Arr& r) {
          return Kern(a, u(i), v(i), r);
        });
      });
    });
  }
  template <Form F, bool (*Kern)(const Arr&, double, double, Arr&), bool Fallible, rt::Name Name>
  static PyObject* with_number(Obj* self, PyObject* amount, PyObject* dst) {
    return with_numbers2<F, Kern, Fallible, Name>(self, amount, nullptr, dst);
  }

  // --------------------------------------------------------- operations
  static bool add_k(const Arr& a, const Arr& b, Arr& r) {
    r = V::zip(a, b, std::plus<S>());
    return true;
  }
  static bool sub_k(const Arr& a, const Arr& b, Arr& r) {
    r = V::zip(a, b, std::minus<S>());
    return true;
  }
  static bool mul_k(const Arr& a, const Arr& b, Arr& r) {
    r = V::zip(a, b, std::multiplies<S>());
    return true;
  }
  static bool div_k(const Arr& a, const Arr& b, Arr& r) {
    r = V::zip(a, b, std::divides<S>());
    return true;
  }
  static bool scale_k(const Arr& a, double s, double, Arr& r) {
    for (int i = 0; i < K; ++i) r[i] = scaled_component(a[i], s);
    return true;
  }
  static bool divide_k(const Arr& a, double s, double, Arr& r) {
    for (int i = 0; i < K; ++i) r[i] = divided_component(a[i], s);
    return true;
  }
  static bool added_k(const Arr& a, const Arr& b, double f, Arr& r) {
    Operand o(b);
    return G::added(a, o.get(), f, r);
  }
  static bool lerped_k(const Arr& a, const Arr& b, double t, Arr& r) {
    Operand o(b);
    return G::lerped(a, o.get(), t, r);
  }
  static bool moved_towards_k(const Arr& a, const Arr& b, double d, Arr& r) {
    Operand o(b);
    return G::moved_towards(a, o.get(), d, r);
  }
  static bool reflected_k(const Arr& a, const Arr& b, Arr& r) {
    Operand o(b);
    return G::reflected(a, o.get(), r);
  }
  static bool projected_k(const Arr& a, const Arr& b, Arr& r) {
    Operand o(b);
    return G::projected(a, o.get(), r);
  }
  static bool clamped_magnitude_k(const Arr& a, double hi, double lo, Arr& r) {
    return G::clamped_magnitude(a, hi, lo, r);
  }
  static bool scaled_to_length_k(const Arr& a, double length, double, Arr& r) {
    return G::scaled_to_length(a, length, r);
  }
  static bool min_k(const Arr& a, const Arr& b, Arr& r) {
    return G::minimum(a, typename G::Bound{b}, r);
  }
  static bool max_k(const Arr& a, const Arr& b, Arr& r) {
    return G::maximum(a, typename G::Bound{b}, r);
  }
  template <bool Degrees>
  static void sincos_of(double angle, double* s, double* c) noexcept {
    if (Degrees) {
      vec::sincos_degrees(angle, s, c);
    } else {
      *s = std::sin(angle);
      *c = std::cos(angle);
    }
  }
  template <bool Degrees>
  static bool rotated_k(const Arr& a, double angle, double, Arr& r) {
    double s, c;
    sincos_of<Degrees>(angle, &s, &c);
    return G::rotated_2d(a, s, c, r);
  }
  static Arr neg_k(const Arr& a) { return map<V::neg_of>(a); }
  static Arr abs_k(const Arr& a) { return map<V::abs_of>(a); }
  static Arr round_k(const Arr& a) { return map<V::round_half_away>(a); }
  static Arr normalized_k(const Arr& a) { return V::normalized(a); }

  // clamped(low, high): each bound a vector, an array or a number.
  template <Form F>
  static PyObject* clamped(Obj* self, PyObject* low, PyObject* high, PyObject* dst) {
    const Py_ssize_t n = self->count;
    Other lo, hi;
    if (!read_bound(low, n, "low", &lo) || !read_bound(high, n, "high", &hi)) return nullptr;
    return with_other(lo, [&](auto l) {
      return with_other(hi, [&](auto h) {
        return run<F, true>(self, dst, [&l, &h](Py_ssize_t i, const Arr& a, Arr& r) {
          return G::clamped(a, typename G::Bound{l(i)}, typename G::Bound{h(i)}, r);
        });
      });
    });
  }
  // Vector3 only: rotation by `angle` (per element or not) about one axis.
  template <Form F, bool Degrees>
  static PyObject* rotated_about(Obj* self, PyObject* angle, PyObject* axis, PyObject* dst) {
    const Py_ssize_t n = self->count;
    Numbers x;
    if (!x.acquire(angle, n, "angle") || !unchanged(self, n)) return nullptr;
    if (!Traits::is_vector(axis)) {
      rt::arg_type_error("axis", Traits::element_module_text.c_str(), axis);
      return nullptr;
    }
    typename G::D k;
    if (!G::unit_axis(reinterpret_cast<typename C::VecObj*>(axis), &k)) return nullptr;
    return with_numbers(x, [&](auto num) {
      return run<F, false>(self, dst, [&k, &num](Py_ssize_t i, const Arr& a, Arr& r) {
        double s, c;
        sincos_of<Degrees>(num(i), &s, &c);
        r = G::narrowed(G::rotated_about(G::wide(a), k, s, c));
        return true;
      });
    });
  }

  // ------------------------------------------------------------ queries
  template <double (*Q)(const Arr&)>
  static PyObject* query(Obj* self, PyObject* out) {
    return C::template run_query<'d'>(self, out, [](Py_ssize_t, const Arr& a) { return Q(a); });
  }
  template <double (*Q)(const Arr&, const Arr&)>
  static PyObject* query_other(Obj* self, PyObject* other, PyObject* out) {
    Other o;
    if (!read_other(other, self->count, "other", &o)) return nullptr;
    return with_other(o, [&](auto b) {
      return C::template run_query<'d'>(self, out,
                                        [&b](Py_ssize_t i, const Arr& a) { return Q(a, b(i)); });
    });
  }

  // ------------------------------------------------------- number slots
  // +, -, *, / with an array of the same length or a vector (per
  // component, in the storage precision), and * and / with an int or a
  // float (in 64-bit floats, rounded once); anything else is left to the
  // other operand. The in-place forms change the left array.
  template <Form F, bool (*VecKern)(const Arr&, const Arr&, Arr&),
            bool (*NumKern)(const Arr&, double, double, Arr&)>
  static PyObject* arithmetic(PyObject* a, PyObject* b) {
    if (!check(a)) Py_RETURN_NOTIMPLEMENTED;
    Obj* self = as(a);
    if constexpr (NumKern != nullptr) {
      if (PyFloat_Check(b) || PyLong_Check(b)) {
        double s;
        if (!rt::to_double(b, &s)) return nullptr;
        return run<F, false>(
            self, nullptr, [s](Py_ssize_t, const Arr& x, Arr& r) { return NumKern(x, s, 0.0, r); });
      }
    }
    if (!Traits::is_vector(b) && !check(b)) Py_RETURN_NOTIMPLEMENTED;
    return with_vector<F, VecKern>(self, b, nullptr);
  }
  static PyObject* negative(PyObject* a) { return unary<Form::get, neg_k>(as(a), nullptr); }
  static constexpr bool (*kNoNumber)(const Arr&, double, double, Arr&) = nullptr;
  static inline PyNumberMethods number = {
      .nb_add = rt::Slot<Traits::where, "__add__", arithmetic<Form::get, add_k, kNoNumber>>::call,
      .nb_subtract =
          rt::Slot<Traits::where, "__sub__", arithmetic<Form::get, sub_k, kNoNumber>>::call,
      .nb_multiply =
          rt::Slot<Traits::where, "__mul__", arithmetic<Form::get, mul_k, scale_k>>::call,
      .nb_negative = rt::Slot<Traits::where, "__neg__", negative>::call,
      .nb_inplace_add =
          rt::Slot<Traits::where, "__iadd__", arithmetic<Form::to, add_k, kNoNumber>>::call,
      .nb_inplace_subtract =
          rt::Slot<Traits::where, "__isub__", arithmetic<Form::to, sub_k, kNoNumber>>::call,
      .nb_inplace_multiply =
          rt::Slot<Traits::where, "__imul__", arithmetic<Form::to, mul_k, scale_k>>::call,
      .nb_true_divide =
          rt::Slot<Traits::where, "__truediv__", arithmetic<Form::get, div_k, divide_k>>::call,
      .nb_inplace_true_divide =
          rt::Slot<Traits::where, "__itruediv__", arithmetic<Form::to, div_k, divide_k>>::call,
  };
};

}  // namespace tarvex::arr
