// The vector family's geometry: rotation, interpolation, reflection and
// projection, magnitude limits, angles, polar and spherical forms, and
// component-wise limits. Python-level only: the C method tables keep their
// shape.
//
// Precision:
//  - the 2-D cross product and the squared length work in the storage
//    precision S, as `dot` and `length` do;
//  - every other operation (rotations, interpolation, reflection,
//    projection, magnitude limits, is_normalized) works in 64-bit floats
//    from the widened components and rounds once to S; norms and angles
//    scale a vector by a power of two first where its squares would leave
//    the range of doubles;
//  - angles and polar or spherical forms are computed in 64-bit floats;
//  - component-wise minimum, maximum and clamping select values, rounding a
//    Python number once when it is selected.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cmath>
#include <numbers>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_vector/vector_family.h"

namespace tarvex::vec {

// sin and cos of an angle in degrees, exact at multiples of 90 degrees. The
// angle is reduced modulo 360 first, which is exact.
inline void sincos_degrees(double degrees, double* s, double* c) noexcept {
  const double r = std::fabs(degrees) < 360.0 ? degrees : std::fmod(degrees, 360.0);
  // Below 360 in magnitude, r / 90 is a whole number exactly when r is a
  // multiple of 90: the quotient of any other r lies at least 0.7 of an
  // ulp away from every whole number.
  const double q = r / 90.0;
  if (std::trunc(q) == q) {
    static constexpr double kSin[] = {0.0, 1.0, 0.0, -1.0};
    static constexpr double kCos[] = {1.0, 0.0, -1.0, 0.0};
    const int k = (static_cast<int>(q) + 4) % 4;
    *s = kSin[k];
    *c = kCos[k];
    return;
  }
  const double rad = r * (std::numbers::pi / 180.0);
  *s = std::sin(rad);
  *c = std::cos(rad);
}

inline double degrees_of(double radians) noexcept { return radians * (180.0 / std::numbers::pi); }

// An angle from atan2 in degrees, in (-180, 180]: atan2 gives -180 for a
// negative x with y -0.0 (or a y so small that the angle rounds to -180).
inline double half_open_degrees(double radians) noexcept {
  const double d = degrees_of(radians);
  return d == -180.0 ? 180.0 : d;
}

// a * f, except that an exact zero factor gives a zero term even when a is
// infinite: the rotations multiply by sines and cosines that are exactly 0
// at multiples of 90 degrees, where an infinite component must move to its
// new place rather than turn into NaN. For finite a it is a * f.
inline double times(double a, double f) noexcept {
  return f == 0.0 && std::isinf(a) ? std::copysign(0.0, a) * f : a * f;
}

template <class Traits>
struct VecGeometry {
  using V = Vec<Traits>;
  using Obj = typename V::Obj;
  using S = typename V::S;
  using Arr = typename V::Arr;
  static constexpr int N = V::N;
  using D = std::array<double, N>;  // components widened to 64 bits

  static D wide(const Arr& a) noexcept {
    D d;
    for (int i = 0; i < N; ++i) d[i] = static_cast<double>(a[i]);
    return d;
  }
  // The components read one by one from the object: a whole-array copy
  // here would be reloaded in pieces the stores cannot forward.
  static D wide_of(const Obj* o) noexcept {
    D d;
    for (int i = 0; i < N; ++i) d[i] = V::widened(o, i);
    return d;
  }
  static Arr narrowed(const D& d) noexcept {
    Arr a;
    for (int i = 0; i < N; ++i) a[i] = narrow_to<S>(d[i]);
    return a;
  }
  static double dot(const D& a, const D& b) noexcept {
    double s = 0.0;
    for (int i = 0; i < N; ++i) s += a[i] * b[i];
    return s;
  }
  // The power of two 2^e that brings the largest component of v within
  // [2^-250, 2^250], where the squares of products (in `wedge`) neither
  // overflow nor lose bits to underflow; 0 when it already lies there, and
  // for a zero, infinite or NaN vector. Widened 32-bit components need none.
  static int scale_exponent(const D& v) noexcept {
    if constexpr (sizeof(S) == 4) {
      return 0;
    } else {
      double m = 0.0;
      for (double c : v) m = std::fmax(m, std::fabs(c));
      if (m >= 0x1p-250 && m <= 0x1p250) return 0;
      return m > 0.0 && std::isfinite(m) ? std::ilogb(m) : 0;
    }
  }
  // v times 2^e, exact but where the result leaves the range of doubles.
  static D scaled(const D& v, int e) noexcept {
    D r;
    for (int i = 0; i < N; ++i) r[i] = std::ldexp(v[i], e);
    return r;
  }
  // A vector in the direction of v whose products stay in range: v scaled
  // by a power of two, or, when v has infinite components, the limit of its
  // direction (+-1 for each infinite component, 0 for each finite one).
  static D direction_of(const D& v) noexcept {
    if (all_finite(v)) {
      const int e = scale_exponent(v);
      return e ? scaled(v, -e) : v;
    }
    bool infinite = false;
    for (double c : v) infinite = infinite || std::isinf(c);
    if (infinite) {
      D r;
      for (int i = 0; i < N; ++i)
        r[i] = std::isinf(v[i]) ? std::copysign(1.0, v[i]) : std::copysign(0.0, v[i]);
      return r;
    }
    const int e = scale_exponent(v);
    return e ? scaled(v, -e) : v;
  }
  // The Euclidean norm, without overflow or underflow of the squares: the
  // same bits as sqrt(v . v) wherever that is exact enough to be used.
  // Whether every component is finite, in one pass without branches.
  static bool all_finite(const D& v) noexcept {
    double z = 0.0;
    for (double c : v) z += c * 0.0;  // NaN for an infinite or NaN component
    return z == 0.0;
  }
  static double norm(const D& a) noexcept {
    const int e = scale_exponent(a);
    if (e == 0) return std::sqrt(dot(a, a));
    const D s = scaled(a, -e);
    return std::ldexp(std::sqrt(dot(s, s)), e);
  }
  // |a ^ b|: the area of the parallelogram of a and b, summed over the
  // planes of the coordinate pairs (no cancellation for near-parallel
  // vectors).
  static double wedge(const D& a, const D& b) noexcept {
    double s = 0.0;
    for (int i = 0; i < N; ++i)
      for (int j = i + 1; j < N; ++j) {
        const double w = a[i] * b[j] - a[j] * b[i];
        s += w * w;
      }
    return std::sqrt(s);
  }
  // a + (b - a) * t, exactly a at t == 0 and exactly b at t == 1. A
  // difference of finite ends that overflows is taken in halves (the same
  // bits as an unbounded b - a); infinite ends interpolate as their limits.
  static double lerp(double a, double b, double t) noexcept {
    if (t == 0.0) return a;
    if (t == 1.0) return b;
    const double d = b - a;
    if (std::isfinite(d)) return t < 0.5 ? a + d * t : b - d * (1.0 - t);
    if (std::isfinite(a) && std::isfinite(b)) {
      const double h = b * 0.5 - a * 0.5;
      return t < 0.5 ? a + h * t * 2.0 : b - h * (1.0 - t) * 2.0;
    }
    if (a == b) return a;
    return a * (1.0 - t) + b * t;
  }

  static bool value_error(const char* message) {
    PyErr_SetString(PyExc_ValueError, message);
    return false;
  }

  // ----------------------------------------------------------- operations
  // Each computes the new value of `self` into `out`, or returns false with
  // the exception set.

  // The rotations multiply through `times`, so that where a sine, cosine or
  // axis component is exactly 0 an infinite component contributes nothing.
  // Finite components take the plain products, which `times` equals there.
  static bool rotated_2d(const Arr& a, double s, double c, Arr& out) {
    const D v = wide(a);
    if (all_finite(v))
      out = narrowed(D{v[0] * c - v[1] * s, v[0] * s + v[1] * c});
    else
      out = narrowed(D{times(v[0], c) - times(v[1], s), times(v[0], s) + times(v[1], c)});
    return true;
  }
  // Rotation of v about the unit axis k (Rodrigues' formula), in 64 bits.
  static D rotated_about(const D& v, const D& k, double s, double c) noexcept {
    if (all_finite(v)) {
      const D kxv{k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
      const double kv = (0.0 + v[0] * k[0] + v[1] * k[1] + v[2] * k[2]) * (1.0 - c);
      D r;
      for (int i = 0; i < 3; ++i) r[i] = v[i] * c + kxv[i] * s + kv * k[i];
      return r;
    }
    const D kxv{times(v[2], k[1]) - times(v[1], k[2]), times(v[0], k[2]) - times(v[2], k[0]),
                times(v[1], k[0]) - times(v[0], k[1])};
    double kv = 0.0;
    for (int i = 0; i < 3; ++i) kv += times(v[i], k[i]);
    kv = times(kv, 1.0 - c);
    D r;
    for (int i = 0; i < 3; ++i) r[i] = times(v[i], c) + times(kxv[i], s) + times(kv, k[i]);
    return r;
  }
  // Rotation about coordinate axis `axis` (0 x, 1 y, 2 z): the other two
  // components turn as a 2-D vector, in the right-handed sense.
  static Arr rotated_axis(const Arr& a, int axis, double s, double c) noexcept {
    D v = wide(a);
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    const double vi = v[i], vj = v[j];
    if (all_finite(v)) {
      v[i] = vi * c - vj * s;
      v[j] = vi * s + vj * c;
    } else {
      v[i] = times(vi, c) - times(vj, s);
      v[j] = times(vi, s) + times(vj, c);
    }
    return narrowed(v);
  }
  static bool unit_axis(Obj* axis, D* k) {
    *k = direction_of(wide(V::load(axis)));
    const double n = norm(*k);
    if (!(n > 0.0)) return value_error("axis must not be a zero vector");
    for (double& x : *k) x /= n;
    return true;
  }

  // self + other * factor, in 64 bits from the stored components, rounded
  // once (with factor 1 the same as `+`).
  static bool added(const Arr& a, Obj* other, double factor, Arr& out) {
    for (int i = 0; i < N; ++i)
      out[i] = narrow_to<S>(static_cast<double>(a[i]) + V::widened(other, i) * factor);
    return true;
  }

  static bool lerped(const Arr& a, Obj* other, double t, Arr& out) {
    const D x = wide(a), y = wide(V::load(other));
    D r;
    for (int i = 0; i < N; ++i) r[i] = lerp(x[i], y[i], t);
    out = narrowed(r);
    return true;
  }

  // Directions turned through the angle between them, lengths interpolated
  // linearly. Opposite vectors turn counterclockwise in 2-D, and about an
  // axis perpendicular to both in 3-D (the cross product with the x axis, or
  // with the y axis when self lies along x).
  static bool slerped(const Arr& a, Obj* other, double t, Arr& out) {
    const D x = wide(a), y = wide(V::load(other));
    const double nx = norm(x), ny = norm(y);
    if (!(nx > 0.0) || !(ny > 0.0)) return value_error("cannot slerp from or to a zero vector");
    const double length = lerp(nx, ny, t);
    D u, w;
    for (int i = 0; i < N; ++i) {
      u[i] = x[i] / nx;
      w[i] = y[i] / ny;
    }
    // The turn, sin and cos of the angle times t; opposite directions turn
    // through 180 degrees times t, exactly at multiples of 90.
    const double sine = N == 2 ? u[0] * w[1] - u[1] * w[0] : wedge(u, w), cosine = dot(u, w);
    double s, c;
    if (sine == 0.0 && cosine < 0.0) {
      sincos_degrees(180.0 * t, &s, &c);
    } else {
      const double angle = std::atan2(sine, cosine) * t;
      s = std::sin(angle);
      c = std::cos(angle);
    }
    D r;
    if constexpr (N == 2) {
      r = D{u[0] * c - u[1] * s, u[0] * s + u[1] * c};
    } else {
      D k{u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
      double nk = norm(k);
      if (!(nk > 0.0)) {
        // Parallel or opposite: any perpendicular axis serves.
        k = std::fabs(u[0]) < 0.9 ? D{0.0, u[2], -u[1]} : D{-u[2], 0.0, u[0]};
        nk = norm(k);
      }
      for (double& axis : k) axis /= nk;
      r = rotated_about(u, k, s, c);
    }
    for (double& component : r) component *= length;
    out = narrowed(r);
    return true;
  }

  // Steps toward `target` by at most max_distance; within reach it arrives
  // exactly. A negative max_distance moves away.
  static bool moved_towards(const Arr& a, Obj* target, double max_distance, Arr& out) {
    const Arr goal = V::load(target);
    const D x = wide(a), y = wide(goal);
    D d;
    for (int i = 0; i < N; ++i) d[i] = y[i] - x[i];
    const double distance = norm(d);
    if (distance <= max_distance || distance == 0.0) {
      out = goal;
      return true;
    }
    const double f = max_distance / distance;
    for (int i = 0; i < N; ++i) d[i] = x[i] + d[i] * f;
    out = narrowed(d);
    return true;
  }

  // The products of reflection and projection are taken in 64 bits from the
  // stored components, with v and the other vector each scaled by a power of
  // two into range (exact: the result is scaled back), and rounded once.

  // v - 2 (v . u) u with u the normal normalised in 64 bits (times the
  // reciprocal of its norm, as normalisation does).
  static bool reflected(const Arr& a, Obj* normal, Arr& out) {
    D u = direction_of(wide(V::load(normal)));
    const double n = std::sqrt(dot(u, u));
    if (n == 0.0) return value_error("normal must not be a zero vector");
    const double reciprocal = 1.0 / n;
    for (double& c : u) c *= reciprocal;
    const D v = wide(a);
    const int e = scale_exponent(v);
    D r = e ? scaled(v, -e) : v;
    const double twice = 2.0 * dot(r, u);
    for (int i = 0; i < N; ++i) r[i] -= twice * u[i];
    out = narrowed(e ? scaled(r, e) : r);
    return true;
  }

  // ((v . o) / (o . o)) o, in 64 bits.
  static bool projected(const Arr& a, Obj* other, Arr& out) {
    const D o = direction_of(wide(V::load(other)));
    const double oo = dot(o, o);
    if (oo == 0.0) return value_error("cannot project onto a zero vector");
    const D v = wide(a);
    const int e = scale_exponent(v);
    const double k = dot(e ? scaled(v, -e) : v, o) / oo;
    D r;
    for (int i = 0; i < N; ++i) r[i] = k * o[i];
    out = narrowed(e ? scaled(r, e) : r);
    return true;
  }

  static bool scaled_by(const Arr& a, double factor, Arr& out) {
    D v = wide(a);
    for (double& c : v) c *= factor;
    out = narrowed(v);
    return true;
  }

  static bool clamped_magnitude(const Arr& a, double max_length, double min_length, Arr& out) {
    if (max_length < 0.0) return value_error("max_length must not be negative");
    if (min_length < 0.0) return value_error("min_length must not be negative");
    if (min_length > max_length) return value_error("min_length must not exceed max_length");
    const double length = norm(wide(a));
    if (length > max_length) return scaled_by(a, max_length / length, out);
    if (length < min_length) {
      if (length == 0.0) return value_error("cannot give a zero vector a length");
      return scaled_by(a, min_length / length, out);
    }
    out = a;
    return true;
  }

  static bool scaled_to_length(const Arr& a, double length, Arr& out) {
    const double current = norm(wide(a));
    if (!(current > 0.0) && !std::isnan(current))
      return value_error("cannot scale a zero vector to a length");
    return scaled_by(a, length / current, out);
  }

  // A bound of the component-wise operations: a vector of this type, or a
  // Python number (an int or a float) that bounds every component.
  struct Bound {
    Arr values;
  };
  static bool read_bound(PyObject* o, const char* name, Bound* out) {
    if (V::check(o)) {
      out->values = V::load(V::as(o));
      return true;
    }
    if (PyFloat_Check(o) || PyLong_Check(o)) {
      double d;
      if (!rt::to_double(o, &d)) return false;
      out->values.fill(narrow_to<S>(d));
      return true;
    }
    rt::arg_type_error(name, Traits::full_name, o);
    return false;
  }
  template <rt::Name Name>
  struct BoundArg : rt::Param<Name> {
    using type = Bound;
    static constexpr rt::Phase phase = rt::Phase::check;
    static bool read(PyObject* o, Bound* out) { return read_bound(o, Name.text, out); }
  };

  // A bound's component replaces self's when it is smaller (larger): a NaN
  // component of self stays, a NaN bound is ignored.
  static bool minimum(const Arr& a, Bound b, Arr& out) {
    for (int i = 0; i < N; ++i) out[i] = b.values[i] < a[i] ? b.values[i] : a[i];
    return true;
  }
  static bool maximum(const Arr& a, Bound b, Arr& out) {
    for (int i = 0; i < N; ++i) out[i] = b.values[i] > a[i] ? b.values[i] : a[i];
    return true;
  }
  static bool clamped(const Arr& a, Bound low, Bound high, Arr& out) {
    for (int i = 0; i < N; ++i)
      if (low.values[i] > high.values[i]) return value_error("low must not exceed high");
    Arr lowered;
    maximum(a, low, lowered);
    return minimum(lowered, high, out);
  }

  // ------------------------------------------------------------ queries

  // Degrees from self to other: signed in 2-D, counterclockwise positive, in
  // (-180, 180]; otherwise the unsigned angle between them, in [0, 180]. A
  // zero vector gives 0.
  // Each vector is taken as its direction_of, so huge, tiny and infinite
  // components neither overflow nor vanish.
  static double angle_to(Obj* self, Obj* other) {
    const D x = direction_of(wide_of(self)), y = direction_of(wide_of(other));
    if constexpr (N == 2)
      return half_open_degrees(std::atan2(x[0] * y[1] - x[1] * y[0], dot(x, y)));
    else
      return degrees_of(std::atan2(wedge(x, y), dot(x, y)));
  }
  static double length_squared(Obj* self) {
    return static_cast<double>(V::sq_length(V::load(self)));
  }
  // The squared length in 64 bits: the squares of 32-bit components are
  // exact there, so the test sees the stored vector, not a 32-bit rounding.
  static PyObject* is_normalized(Obj* self, double tolerance) {
    const D v = wide_of(self);
    return PyBool_FromLong(std::fabs(dot(v, v) - 1.0) <= tolerance);
  }
  // The 2-D cross product, x1 y2 - y1 x2, in S.
  static double cross_2d(Obj* self, Obj* other) {
    const Arr a = V::load(self), b = V::load(other);
    return static_cast<double>(a[0] * b[1] - a[1] * b[0]);
  }

  // (length, angle in degrees from the x axis in (-180, 180]).
  static PyObject* polar(Obj* self) {
    const double x = V::widened(self, 0), y = V::widened(self, 1);
    const double d[2] = {static_cast<double>(std::sqrt(V::sq_length(V::load(self)))),
                         half_open_degrees(std::atan2(y, x))};
    return rt::float_tuple(d, 2);
  }
  static PyObject* from_polar(double length, double angle) {
    double s, c;
    sincos_degrees(angle, &s, &c);
    if (std::isfinite(length)) return V::make(narrowed(D{length * c, length * s}));
    return V::make(narrowed(D{times(length, c), times(length, s)}));
  }
  // (length, polar angle from the z axis in [0, 180], azimuth from the x
  // axis in (-180, 180]); a zero vector gives zeros.
  static PyObject* spherical(Obj* self) {
    const double x = V::widened(self, 0), y = V::widened(self, 1), z = V::widened(self, 2);
    // theta as atan2(distance from the z axis, z): accurate near the poles,
    // where acos(z / r) is not.
    const double d[3] = {static_cast<double>(std::sqrt(V::sq_length(V::load(self)))),
                         degrees_of(std::atan2(std::sqrt(x * x + y * y), z)),
                         half_open_degrees(std::atan2(y, x))};
    return rt::float_tuple(d, 3);
  }
  static PyObject* from_spherical(double length, double theta, double phi) {
    double st, ct, sp, cp;
    sincos_degrees(theta, &st, &ct);
    sincos_degrees(phi, &sp, &cp);
    const double lst = times(length, st);
    return V::make(narrowed(D{times(lst, cp), times(lst, sp), times(length, ct)}));
  }

  // The Python declarations of the geometry; Py is the type's Python
  // surface (for the constructor's argument forms of `update`).
  template <class Py>
  struct Methods {
    using G = VecGeometry;
    using Declare = rt::Declare<V::where, Obj>;
    template <rt::Name Name, auto Body, class... P>
    using method = typename Declare::template method<Name, Body, P...>;
    template <rt::Name Name, auto Body, class... P>
    using static_method = typename Declare::template static_method<Name, Body, P...>;
    template <rt::Name Name>
    using Vector = rt::Instance<Name, V::type_object, Obj, true>;
    // The family's docstrings, with this type's facts filled in and wrapped;
    // {computed} says how the number work is done, {bound_note} how a number
    // bound is stored.
    static constexpr auto sub_computed = Py::template precision<
        "computed=Computed in 64-bit floats from the stored components and rounded once to "
        "32-bit floats",
        "computed=Computed in 64-bit floats from the stored components">;
    static constexpr auto sub_bound_note =
        Py::template precision<"bound_note= (rounded once to a 32-bit float)", "bound_note=">;
    template <rt::Name Text>
    static constexpr auto doc = Py::template doc<Text, sub_computed, sub_bound_note>;
    using Angle = rt::Double<"angle">;

    // get_<op> makes a new vector; to_<op> changes this one and returns it.
    template <auto Op>
    static constexpr auto get_op = [](Obj* self, auto... a) -> PyObject* {
      Arr r;
      if (!Op(V::load(self), a..., r)) return nullptr;
      return V::make(r);
    };
    template <auto Op>
    static constexpr auto to_op = [](Obj* self, auto... a) -> PyObject* {
      Arr r;
      if (!Op(V::load(self), a..., r)) return nullptr;
      V::store(self, r);
      return Py_NewRef(V::py(self));
    };

    // The pair get_<Name> and to_<Name> of one operation.
    template <rt::Name Name, auto Op, rt::Name Doc, class... P>
    static void add_pair(PyMethodDef*& at) {
      *at++ =
          method<rt::Name(rt::cat(rt::Name("get_"), Name)), get_op<Op>,
                 P...>::template def<doc<rt::Name(rt::cat(rt::Name("Return a new {T}: "), Doc))>>();
      *at++ = method<rt::Name(rt::cat(rt::Name("to_"), Name)), to_op<Op>, P...>::template def<
          doc<rt::Name(rt::cat(rt::Name("Change this {T} in place and return it: "), Doc))>>();
    }

    // sin and cos of an angle in degrees (exact at multiples of 90) or radians.
    template <bool Degrees>
    static void sincos_of(double angle, double* s, double* c) {
      if (Degrees) {
        sincos_degrees(angle, s, c);
      } else {
        *s = std::sin(angle);
        *c = std::cos(angle);
      }
    }
    template <bool Degrees>
    static bool rotated(const Arr& a, double angle, Arr& out) {
      double s, c;
      sincos_of<Degrees>(angle, &s, &c);
      return G::rotated_2d(a, s, c, out);
    }
    template <bool Degrees>
    static bool rotated_about(const Arr& a, double angle, Obj* axis, Arr& out) {
      typename G::D k;
      if (!G::unit_axis(axis, &k)) return false;
      double s, c;
      sincos_of<Degrees>(angle, &s, &c);
      out = G::narrowed(G::rotated_about(G::wide(a), k, s, c));
      return true;
    }
    template <int Axis, bool Degrees>
    static bool rotated_on(const Arr& a, double angle, Arr& out) {
      double s, c;
      sincos_of<Degrees>(angle, &s, &c);
      out = G::rotated_axis(a, Axis, s, c);
      return true;
    }

    // The rotations about coordinate axis Axis: get_ and to_rotated_<axis>,
    // and their _rad twins.
    template <int Axis>
    static void add_axis_pairs(PyMethodDef*& at) {
      static constexpr auto letter = component_name<Axis>();
      static constexpr auto name = rt::cat(rt::Name("rotated_"), letter);
      static constexpr auto about =
          rt::cat(rt::Name("this vector rotated by `angle` {unit} about the "), letter,
                  rt::Name(" axis.\n\n{rounding}"));
      add_pair<rt::Name(name), rotated_on<Axis, true>,
               rt::Name(rt::Expand<rt::Name(about), "unit=degrees",
                                   "rounding=Computed in 64-bit floats and rounded once to 32-bit "
                                   "floats; a multiple of 90 degrees rotates exactly, infinite "
                                   "components included.">::text),
               Angle>(at);
      add_pair<rt::Name(rt::cat(name, rt::Name("_rad"))), rotated_on<Axis, false>,
               rt::Name(rt::Expand<rt::Name(about), "unit=radians",
                                   "rounding=Computed in 64-bit floats and rounded once to 32-bit "
                                   "floats.">::text),
               Angle>(at);
    }

    // update(*args): the constructor's argument forms, stored into this vector.
    static PyObject* update(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
      if (kwnames && PyTuple_GET_SIZE(kwnames)) {
        rt::unexpected_keyword("update", PyTuple_GET_ITEM(kwnames, 0));
      } else if (Py::init_args(V::as(self), args, nargs, "update") == 0) {
        Py_RETURN_NONE;
      }
      rt::add_traceback(V::where, "update");
      return nullptr;
    }
    static constexpr auto update_doc = rt::cat(
        rt::Name("update($self, /, *args)\n--\n\n"),
        doc<"Set every component at once, from the same arguments as the {T} constructor.\n\n"
            "`update()` gives zeros, `update(x, y, ...)` one number per component, and one "
            "argument is read as the constructor reads it (a {T}, a tuple or list of {n} "
            "numbers, or another library's vector). Numbers are rounded to {bits} floats. "
            "A failure may leave earlier components changed. Returns None.">);

    static constexpr std::size_t kCapacity = 48;
    static inline std::array<PyMethodDef, kCapacity> methods = [] {
      std::array<PyMethodDef, kCapacity> table{};
      PyMethodDef* at = table.data();
      *at++ = method<"angle_to", G::angle_to, Vector<"other">>::template def<doc<
          "The angle in degrees from this {T} to `other`, a {T}, computed in 64-bit floats.\n\n"
          "For Vector2 it is signed, counterclockwise positive, in (-180, 180] (opposite "
          "vectors give 180.0, signed zeros included); otherwise it is the unsigned angle "
          "between the two, in [0, 180]. Each vector is first scaled by a power of two, so huge "
          "and tiny components neither overflow nor vanish; a vector with infinite components "
          "points along them (each infinite component counts as +-1, the finite ones as 0). A "
          "zero vector gives 0.0; NaN components give NaN.">>();
      add_pair<"added", G::added,
               "this vector plus `other`, a {T}, times `factor`.\n\n"
               "One step of motion, `p.to_added(v, dt)`, without the temporary vector of "
               "`p += v * dt`. {computed}, so with the default factor 1 it is exactly `p + v`.",
               Vector<"other">, rt::Optional<rt::Double<"factor">, 1.0, "1.0">>(at);
      add_pair<"lerped", G::lerped,
               "the linear interpolation toward `other`, a {T}, at `t`.\n\n"
               "{computed}: exactly this vector at t == 0 and exactly `other` at t == 1, "
               "infinite components included; a t outside [0, 1] extrapolates. Where the "
               "difference of two finite components overflows it is taken in halves, so the "
               "result between them stays finite; an infinite end gives the limit (inf toward "
               "any finite end, NaN between inf and -inf).",
               Vector<"other">, rt::Double<"t">>(at);
      add_pair<"moved_towards", G::moved_towards,
               "this vector moved toward `target`, a {T}, by at most `max_distance`.\n\n"
               "Within reach it arrives at `target` exactly; a negative max_distance moves away "
               "from `target`. {computed}.",
               Vector<"target">, rt::Double<"max_distance">>(at);
      add_pair<"reflected", G::reflected,
               "this vector reflected off a surface with the normal `normal`, a {T}.\n\n"
               "The normal is normalised first; the result is v - 2 (v . n) n. {computed}, with "
               "each vector scaled by a power of two so that huge and tiny vectors neither "
               "overflow nor vanish; a normal with infinite components points along them. A zero "
               "normal raises ValueError.",
               Vector<"normal">>(at);
      add_pair<"projected", G::projected,
               "the projection of this vector onto `other`, a {T}.\n\n"
               "((v . o) / (o . o)) o. {computed}, with each vector scaled by a power of two so "
               "that huge and tiny vectors neither overflow nor vanish; an `other` with infinite "
               "components points along them. A zero `other` raises ValueError.",
               Vector<"other">>(at);
      add_pair<"clamped_magnitude", G::clamped_magnitude,
               "this vector scaled so that its length lies in [min_length, max_length].\n\n"
               "A vector already within the limits keeps its stored components. {computed}. "
               "Negative limits, or min_length above max_length, raise ValueError; so does a zero "
               "vector with a min_length above 0 (it has no direction). NaN limits leave the "
               "vector as it is.",
               rt::Double<"max_length">, rt::Optional<rt::Double<"min_length">, 0.0, "0.0">>(at);
      add_pair<"scaled_to_length", G::scaled_to_length,
               "this vector with its direction kept and its length set to `length`.\n\n"
               "{computed}; a negative length reverses the direction. A zero vector raises "
               "ValueError.",
               rt::Double<"length">>(at);
      using Bound = typename G::template BoundArg<"other">;
      add_pair<"min", G::minimum,
               "the component-wise minimum of this vector and `other`.\n\n"
               "`other` is a {T} or a number bounding every component{bound_note}. A NaN "
               "component of this vector stays NaN; a NaN bound is ignored.",
               Bound>(at);
      add_pair<"max", G::maximum,
               "the component-wise maximum of this vector and `other`.\n\n"
               "`other` is a {T} or a number bounding every component{bound_note}. A NaN "
               "component of this vector stays NaN; a NaN bound is ignored.",
               Bound>(at);
      add_pair<"clamped", G::clamped,
               "each component limited to [low, high].\n\n"
               "`low` and `high` are each a {T} or a number for every component{bound_note}. A "
               "low above its high raises ValueError.",
               typename G::template BoundArg<"low">, typename G::template BoundArg<"high">>(at);
      *at++ = method<"is_normalized", G::is_normalized,
                     rt::Optional<rt::Double<"tolerance">, 1e-6, "1e-06">>::
          template def<doc<
              "Whether the length of this {T} is 1 within `tolerance`.\n\n"
              "True when the squared length, summed in 64-bit floats from the stored components "
              "(where the squares of 32-bit floats are exact), differs from 1 by at most "
              "`tolerance`.">>();
      *at++ = {"update", rt::cfunc(update), METH_FASTCALL | METH_KEYWORDS, update_doc.c_str()};
      if constexpr (N == 2) {
        add_pair<"rotated", rotated<true>,
                 "this vector rotated counterclockwise by `angle` degrees.\n\n"
                 "Computed in 64-bit floats and rounded once to 32-bit floats; a multiple of 90 "
                 "degrees rotates exactly, and an infinite component moves to its new place "
                 "(an exact zero sine or cosine contributes nothing, so no NaN appears).",
                 Angle>(at);
        add_pair<"rotated_rad", rotated<false>,
                 "this vector rotated counterclockwise by `angle` radians.\n\n"
                 "Computed in 64-bit floats and rounded once to 32-bit floats.",
                 Angle>(at);
        *at++ = method<"cross", G::cross_2d, Vector<"other">>::template def<
            "The 2-D cross product x * other.y - y * other.x, a number, computed in 32-bit "
            "floats.\n\nPositive when `other` lies counterclockwise of this vector.">();
        *at++ = method<"get_polar", G::polar>::template def<
            "Return (length, angle): the length as the `length` property gives it and the "
            "angle in degrees from the x axis, in (-180, 180] (a negative x with y -0.0 gives "
            "180.0).">();
        *at++ =
            static_method<"from_polar", G::from_polar, rt::Double<"length">, Angle>::template def<
                "Return a new Vector2 of the given length at `angle` degrees from the x axis.\n\n"
                "Computed in 64-bit floats and rounded once to 32-bit floats; at a multiple of 90 "
                "degrees the zero component is exactly 0, an infinite length included.">();
      }
      if constexpr (N == 3) {
        add_pair<"rotated", rotated_about<true>,
                 "this vector rotated by `angle` degrees about `axis`, a Vector3.\n\n"
                 "Right-handed: counterclockwise when the axis points at the viewer. Computed "
                 "in 64-bit floats with the axis normalised, and rounded once to 32-bit floats; "
                 "an exact zero sine, cosine or axis component contributes nothing, so an "
                 "infinite component turned about a coordinate axis by a multiple of 90 degrees "
                 "moves without NaN. An axis with infinite components points along them. A zero "
                 "axis raises ValueError.",
                 Angle, Vector<"axis">>(at);
        add_pair<"rotated_rad", rotated_about<false>,
                 "this vector rotated by `angle` radians about `axis`, a Vector3.\n\n"
                 "As `get_rotated`, with the angle in radians.",
                 Angle, Vector<"axis">>(at);
        add_axis_pairs<0>(at);
        add_axis_pairs<1>(at);
        add_axis_pairs<2>(at);
        *at++ = method<"get_spherical", G::spherical>::template def<
            "Return (length, theta, phi): the length as the `length` property gives it, the "
            "angle theta in degrees from the z axis in [0, 180], and the angle phi in degrees "
            "of the projection on the xy plane from the x axis, in (-180, 180] (a negative x "
            "with y -0.0 gives 180.0). A zero vector gives zeros.">();
        *at++ = static_method<"from_spherical", G::from_spherical, rt::Double<"length">,
                              rt::Double<"theta">, rt::Double<"phi">>::
            template def<
                "Return a new Vector3 from spherical coordinates in degrees, as `get_spherical` "
                "gives them.\n\nComputed in 64-bit floats and rounded once to 32-bit floats; at "
                "multiples of 90 degrees the zero components are exactly 0, an infinite length "
                "included.">();
      }
      if constexpr (N <= 3) {
        add_pair<"slerped", G::slerped,
                 "the spherical interpolation toward `other`, a {T}, at `t`.\n\n"
                 "The direction turns through the angle between the two at a constant rate and "
                 "the length changes linearly; computed in 64-bit floats and rounded once to "
                 "32-bit floats. Opposite vectors turn counterclockwise in 2-D and about an axis "
                 "perpendicular to both in 3-D. A zero vector at either end raises ValueError.",
                 Vector<"other">, rt::Double<"t">>(at);
      }
      *at = rt::kEndOfMethods;
      return table;
    }();
  };
};

}  // namespace tarvex::vec
