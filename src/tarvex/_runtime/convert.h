// Number and text conversions of the tarvex runtime, with the package's
// messages, and the small builders of reprs, hashes and tuples of numbers.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "tarvex/_runtime/compat.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::rt {

// The interpreter's float conversion; false with the exception set on failure.
inline bool to_double(PyObject* o, double* out) {
  if (PyFloat_CheckExact(o)) {
    *out = PyFloat_AS_DOUBLE(o);
    return true;
  }
  // An exact int converts without the float object its __float__ would make;
  // the result and the overflow error are the same.
  double d = PyLong_CheckExact(o) ? PyLong_AsDouble(o) : PyFloat_AsDouble(o);
  if (d == -1.0 && PyErr_Occurred()) return false;
  *out = d;
  return true;
}

// Rounds a double to the nearest float (ties to even); magnitudes beyond the
// float range become infinities. Written out so that the out-of-range case
// is not left to an undefined conversion.
inline float narrow(double d) noexcept {
  if (std::fabs(d) <= static_cast<double>(FLT_MAX)) [[likely]]
    return static_cast<float>(d);
  if (std::isnan(d)) {
    float q = std::numeric_limits<float>::quiet_NaN();
    return std::signbit(d) ? -q : q;
  }
  // Between FLT_MAX and FLT_MAX + half an ulp the value still rounds down;
  // the tie itself rounds to even, which is infinity.
  constexpr double kHalfway = 0x1.ffffffp127;
  float mag = std::fabs(d) >= kHalfway ? std::numeric_limits<float>::infinity() : FLT_MAX;
  return std::signbit(d) ? -mag : mag;
}

// narrow's rounding, the same bits for every double, without jumps, for the
// loops over whole arrays that must vectorise: the IEEE conversion rounds to
// nearest and takes magnitudes beyond the float range to infinity or FLT_MAX
// as narrow does; a NaN becomes the quiet NaN of its sign (the conversion
// alone would keep part of its payload).
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);
inline float narrow_flat(double d) noexcept {
  const float r = static_cast<float>(d);
  const float q = std::copysign(std::numeric_limits<float>::quiet_NaN(), r);
  return d != d ? q : r;
}

// Truncates toward zero into a signed 32-bit integer; NaN gives 0 and values
// outside the range saturate (the conversion itself would be undefined).
template <class F>
inline int32_t truncate_i32(F v) noexcept {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<F>(2147483648.0)) return INT32_MAX;
  if (v <= static_cast<F>(-2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// The int an integer conversion reads from `o`: `o` itself when it is an
// int, else the result of its __int__ (TypeError "an integer is required"
// without one, "__int__ returned non-int (type T)" for a result that is not
// an int, and the interpreter's DeprecationWarning for an int subclass).
Ref int_object(PyObject* o);

// C `int` conversion with the package's messages: int_object, then the
// signed 32-bit range (OverflowError "value too large to convert to int").
bool to_c_int(PyObject* o, int* out);

// A file name or text handed to raylib: exactly a str, encoded to UTF-8
// (strict). None gets the AttributeError of calling None.encode, another type
// the argument-type TypeError, and an embedded NUL (where raylib would stop
// reading, silently meaning something else) ValueError. The pointer stays
// valid while the str lives.
bool utf8_argument(PyObject* o, const char* param, const char** out);

// Float repr as the interpreter writes it; returns a PyMem buffer or null.
char* float_repr(double v);

// Builds "<name>(" repr, ", " repr ... ")" from doubles.
PyObject* repr_components(const char* name, const double* v, int n);

// Hash of a tuple of `n` floats, equal to hash(tuple(v)) for non-NaN values.
Py_hash_t hash_float_tuple(PyObject* self, const double* v, int n);

// New tuple of n Python floats / ints.
PyObject* float_tuple(const double* v, int n);
PyObject* int_tuple(const int32_t* v, int n);

}  // namespace tarvex::rt
