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

#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect.h"

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

inline bool is_rect(PyObject* o) noexcept { return PyObject_TypeCheck(o, &rect_type); }
inline bool is_vector2(PyObject* o) noexcept { return PyObject_TypeCheck(o, v2_type); }
inline bool is_vector4(PyObject* o) noexcept { return PyObject_TypeCheck(o, v4_type); }
inline bool is_list_or_tuple(PyObject* o) noexcept { return PyTuple_Check(o) || PyList_Check(o); }

float component(const Rectangle& r, int i) noexcept;
void set_component(Rectangle& r, int i, float v) noexcept;
Rectangle narrow_rect(const double* d) noexcept;

// ---------------------------------------------------------------------------
// Arguments converted to doubles

// len() of a list or tuple; subclasses go through their own __len__.
Py_ssize_t seq_length(PyObject* o);
// Item i, converted; exact lists are bounds-checked, since converting an
// earlier item can run code that shrinks the list.
bool item_double(PyObject* o, int i, double* out);
// Items 0..n-1, each read and converted in turn.
bool items_double(PyObject* o, int n, double* out);
// Components of a Vector2 or Vector4: from the structure of an exact
// instance (the same numbers, without making Python floats), otherwise
// through the attributes.
bool vector2_xy(PyObject* v, double* x, double* y);
bool vector4_xyzw(PyObject* v, double* out);

// The closed point test and the open overlap test, in C on 64-bit values.
bool point_test(const Rectangle& r, double px, double py) noexcept;
bool rect_test(const Rectangle& r, const double* o) noexcept;

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
