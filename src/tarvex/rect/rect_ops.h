// Inside tarvex.rect.rect: what the rectangle operations (rect_geometry.cpp,
// rect_line.cpp) and the batch collision queries (rect_batch.cpp) share, and
// the tables through which rect.cpp adds them to the type.
//
// These are Python-level only: the C method table keeps its shape.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <raylib.h>

#include <array>
#include <cstddef>
#include <initializer_list>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect.h"
#include "tarvex/rect/rect_values.h"

namespace tarvex::rect {

using Obj = tarvex_RectObject;

inline constexpr rt::Where kRectWhere{"tarvex.rect.rect.Rect", "src/tarvex/rect/rect"};
using OpsDeclare = rt::Declare<kRectWhere, Obj>;

extern tarvex_RectVTable vtable;
using RectInstances =
    rt::Instances<&rect_type, &vtable, &Obj::_raw, Rectangle{0.0f, 0.0f, 0.0f, 0.0f}>;

// A new exact Rect holding r, or null.
inline PyObject* make_rect(const Rectangle& r) noexcept {
  Obj* o = RectInstances::create();
  if (o) o->_raw = r;
  return reinterpret_cast<PyObject*>(o);
}

// ---------------------------------------------------------------------------
// Tables added to the type by rect.cpp, each ending with its terminator.

inline constexpr std::size_t kGeometryMethodCount = 21;
inline constexpr std::size_t kGeometryPropertyCount = 9;
inline constexpr std::size_t kBatchMethodCount = 6;

const PyMethodDef* geometry_methods();
const PyGetSetDef* geometry_properties();
const PyMethodDef* batch_methods();
// clip_line's entry, in the geometry table.
PyMethodDef clip_line_def();
// The interned names the batch queries look up; -1 with the exception set.
int batch_constants();

inline bool named(const PyMethodDef& d) noexcept { return d.ml_name != nullptr; }
inline bool named(const PyGetSetDef& d) noexcept { return d.name != nullptr; }

// The definitions of `tables` without their terminators, then `end`: N is
// the total count with one terminator.
template <std::size_t N, class Def>
std::array<Def, N> joined(std::initializer_list<const Def*> tables, const Def& end) {
  std::array<Def, N> out{};
  std::size_t k = 0;
  for (const Def* t : tables)
    for (; named(*t) && k + 1 < N; ++t) out[k++] = *t;
  out[k] = end;
  return out;
}

// ---------------------------------------------------------------------------
// Reading rectangle arguments

// collide_rect's reading of `other` as four doubles: a Rect's stored values
// widened; a Vector4's x, y, z, w; items 0 to 3 of a list or tuple of
// exactly 4 items (subclasses included), each converted; anything else is
// ValueError `message`. False with the exception set.
bool rect_doubles(PyObject* other, double* out, const char* message);

// collide_rect's message, which the batch queries give for an item that is
// no rectangle.
inline constexpr const char* kCollisionMessage =
    "rect for collision must be a Rect, Vector4, tuple, or list of length 4";
// The message of the operations' rectangle arguments.
inline constexpr const char* kRectMessage =
    "rect must be a Rect, Vector4, tuple, or list of length 4";

// A rectangle argument as `Rect(other)` reads it: a Rect's stored values;
// otherwise each value converted to a double and rounded once to 32 bits.
inline bool rect_value(PyObject* other, Rectangle* out) {
  if (is_rect(other)) {
    *out = reinterpret_cast<Obj*>(other)->_raw;
    return true;
  }
  double d[4];
  if (!rect_doubles(other, d, kRectMessage)) return false;
  *out = narrow_rect(d);
  return true;
}

// A parameter read by rect_value, after the numbers.
template <rt::Name N>
struct RectLike : rt::Param<N> {
  using type = Rectangle;
  static constexpr rt::Phase phase = rt::Phase::check;
  static bool read(PyObject* o, Rectangle* out) { return rect_value(o, out); }
};

// ---------------------------------------------------------------------------
// Walking a sequence of items

// A parameter that takes any iterable: an exact list or tuple goes through
// the fast walk below; anything else with __iter__ or the sequence protocol
// is iterated. Anything else is the argument-type TypeError.
inline bool is_iterable(PyObject* o) {
  return PyList_CheckExact(o) || PyTuple_CheckExact(o) || Py_TYPE(o)->tp_iter ||
         PySequence_Check(o);
}
template <rt::Name N>
using Iterable = rt::Checked<N, is_iterable, "iterable">;

// Calls visit(item, index) for each item of `items` in order, the item
// borrowed: it stays alive until visit runs Python code, so a visit that
// may run code holds it first. visit gives 1 to go on, 0 to stop, -1 on
// error. An exact list is bounds-checked at every step, so a list that
// shrinks while it is walked is never read past its end. Returns -1 with
// the exception set, else 0.
template <class Visit>
int walk(PyObject* items, Visit visit) {
  if (PyList_CheckExact(items)) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items); ++i) {
#ifdef Py_GIL_DISABLED
      rt::Ref item(PyList_GetItemRef(items, i));
      if (!item) {
        // Another thread shrank it between the size and the read.
        PyErr_Clear();
        break;
      }
      int r = visit(item.get(), i);
#else
      int r = visit(PyList_GET_ITEM(items, i), i);
#endif
      if (r <= 0) return r;
    }
    return 0;
  }
  if (PyTuple_CheckExact(items)) {
    const Py_ssize_t n = PyTuple_GET_SIZE(items);
    for (Py_ssize_t i = 0; i < n; ++i) {
      int r = visit(PyTuple_GET_ITEM(items, i), i);
      if (r <= 0) return r;
    }
    return 0;
  }
  rt::Ref it(PyObject_GetIter(items));
  if (!it) return -1;
  for (Py_ssize_t i = 0;; ++i) {
    rt::Ref item(PyIter_Next(it.get()));
    if (!item) return PyErr_Occurred() ? -1 : 0;
    int r = visit(item.get(), i);
    if (r <= 0) return r;
  }
}

}  // namespace tarvex::rect
