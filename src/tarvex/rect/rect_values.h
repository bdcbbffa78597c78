// Inside tarvex.rect.rect: reading rectangle and point arguments, and the
// collision tests on them.
//
// Arithmetic widths matter here and differ on purpose:
//  - the far edges (right, bottom) are 32-bit sums of the stored floats, in
//    the properties and in every collision test;
//  - the centres are computed in 64 bits from the widened values;
//  - the general collision tests convert their argument to doubles and test
//    in C; the typed tuple, list and vector variants compare and add with
//    the interpreter's own operators, reading items lazily.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <raylib.h>

#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect.h"
#include "tarvex/vector2/vector2.h"
#include "tarvex/vector4/vector4.h"

namespace tarvex::rect {

// The module's types and constants, set up by its exec step.
extern PyTypeObject rect_type;
extern PyTypeObject* v2_type;
extern PyTypeObject* v4_type;
extern tarvex_Vector2VTable* v2_vt;
extern tarvex_Vector4VTable* v4_vt;
extern PyObject* s_attr[4];   // "x", "y", "z", "w"
extern PyObject* s_index[4];  // 0, 1, 2, 3

inline double wide(float f) noexcept { return static_cast<double>(f); }
// A far edge: the sum rounded to 32 bits.
inline float far_edge(float a, float b) noexcept { return a + b; }

inline bool is_rect(PyObject* o) noexcept {
  return Py_IS_TYPE(o, &rect_type) || PyObject_TypeCheck(o, &rect_type);
}
inline bool is_vector2(PyObject* o) noexcept { return PyObject_TypeCheck(o, v2_type); }
inline bool is_vector4(PyObject* o) noexcept { return PyObject_TypeCheck(o, v4_type); }
inline bool is_list_or_tuple(PyObject* o) noexcept { return PyTuple_Check(o) || PyList_Check(o); }

float component(const Rectangle& r, int i) noexcept;
void set_component(Rectangle& r, int i, float v) noexcept;
Rectangle narrow_rect(const double* d) noexcept;

// ---------------------------------------------------------------------------
// Arguments converted to doubles

// len() of a list or tuple; subclasses go through their own __len__.
inline Py_ssize_t seq_length(PyObject* o) {
  if (PyTuple_CheckExact(o)) return PyTuple_GET_SIZE(o);
  if (PyList_CheckExact(o)) return PyList_GET_SIZE(o);
  return PyObject_Size(o);
}
// Item i, converted; exact lists are bounds-checked, since converting an
// earlier item can run code that shrinks the list.
inline bool item_double(PyObject* o, int i, double* out) {
  rt::Ref v;
  if (PyTuple_CheckExact(o)) {
    if (i >= PyTuple_GET_SIZE(o)) {
      PyErr_SetString(PyExc_IndexError, "tuple index out of range");
      return false;
    }
    v = rt::Ref::borrow(PyTuple_GET_ITEM(o, i));
  } else if (PyList_CheckExact(o)) {
    v.reset(PyList_GetItemRef(o, i));
  } else {
    v.reset(PyObject_GetItem(o, s_index[i]));
  }
  return v && rt::to_double(v.get(), out);
}
// Items 0..n-1, each read and converted in turn.
inline bool items_double(PyObject* o, int n, double* out) {
  for (int i = 0; i < n; ++i)
    if (!item_double(o, i, &out[i])) return false;
  return true;
}
// Components of a Vector2 or Vector4: from the structure of an exact
// instance (the same numbers, without making Python floats), otherwise
// through the attributes.
bool vector2_xy_attributes(PyObject* v, double* x, double* y);
bool vector4_xyzw_attributes(PyObject* v, double* out);
inline bool vector2_xy(PyObject* v, double* x, double* y) {
  if (Py_IS_TYPE(v, v2_type)) {
    const Vector2& d = reinterpret_cast<tarvex_Vector2Object*>(v)->data;
    *x = wide(d.x);
    *y = wide(d.y);
    return true;
  }
  return vector2_xy_attributes(v, x, y);
}
inline bool vector4_xyzw(PyObject* v, double* out) {
  if (Py_IS_TYPE(v, v4_type)) {
    const vector4_t& d = reinterpret_cast<tarvex_Vector4Object*>(v)->data;
    out[0] = d.x;
    out[1] = d.y;
    out[2] = d.z;
    out[3] = d.w;
    return true;
  }
  return vector4_xyzw_attributes(v, out);
}

// The receiver's near and far edges.
struct Edges {
  double x, y, right, bottom;
  explicit Edges(const Rectangle& r)
      : x(wide(r.x)),
        y(wide(r.y)),
        right(wide(far_edge(r.x, r.width))),
        bottom(wide(far_edge(r.y, r.height))) {}
};

// ValueError `msg`; -1.
int value_error(const char* msg);

// The constructor's forms: no argument, one (a Vector2 size, a Rect, a
// Vector4, a sequence of four), position and size, or four numbers. 0, or
// -1 with the exception set.
int init_args(tarvex_RectObject* self, PyObject* const* args, Py_ssize_t n);

// The closed point test and the open overlap test, in C on 64-bit values
// (inline: they are the whole of the hot general tests).
inline bool point_test(const Rectangle& r, double px, double py) noexcept {
  const Edges e(r);
  return e.x <= px && px <= e.right && e.y <= py && py <= e.bottom;
}
inline bool rect_test(const Rectangle& r, const double* o) noexcept {
  const Edges e(r);
  return o[0] + o[2] > e.x && e.right > o[0] && o[1] + o[3] > e.y && e.bottom > o[1];
}

// ---------------------------------------------------------------------------
// Typed tests with the interpreter's arithmetic: 1, 0, or -1 on error

// Checks the argument of a typed tuple (List false) or list test: 0 when it
// can be read, -1 with the exception set. None is "not subscriptable".
template <bool List>
int check_sequence(PyObject* o, const char* param, int need);

// Point test reading point[0] and point[1] of a checked tuple or list.
template <bool List>
int sequence_point_test(const Rectangle& r, PyObject* point);
// Overlap test reading items 0 to 3 of a checked tuple or list.
template <bool List>
int sequence_rect_test(const Rectangle& r, PyObject* other);
// Point test on point.x and point.y (any object; None raises the attribute
// lookup's AttributeError).
int vector2_point_test(const Rectangle& r, PyObject* point);
// Overlap test on other.x, .y, .z and .w.
int vector4_rect_test(const Rectangle& r, PyObject* other);

}  // namespace tarvex::rect
