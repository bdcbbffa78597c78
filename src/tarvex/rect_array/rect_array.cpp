// tarvex.rect_array.rect_array: a resizable, contiguous run of raylib
// Rectangle structures on the shared array base (storage, buffer export,
// construction, sequence protocol, growth, copying, pickling), with the
// rectangle operations on top: moving by one vector or by a Vector2Array,
// one rectangle against all, and all overlapping pairs (broadphase.cpp).
#include "tarvex/rect_array/rect_array.h"

#include <cstddef>

#include "tarvex/_array/array_base.h"
#include "tarvex/_array/array_support.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect.h"
#include "tarvex/rect_array/broadphase.h"
#include "tarvex/rect_array/index_rows.h"
#include "tarvex/vector2/vector2.h"
#include "tarvex/vector2_array/vector2_array.h"

namespace {

namespace arr = tarvex::arr;
namespace rt = tarvex::rt;
using namespace tarvex::rect_array;
using rt::Ref;
using Obj = tarvex_RectArrayObject;

// Bound at exec time.
PyTypeObject* rect_type;
tarvex_RectVTable* rect_vt;
PyTypeObject* v2_type;
tarvex_Vector2VTable* v2_vt;
PyTypeObject* v2a_type;
tarvex_Vector2ArrayVTable* v2a_vt;

// The rect-like forms and messages of the package's coercion.
constexpr arr::LikeForm kRectForm{"rect-like",
                                  "rect_like argument must be Rect, tuple, or list, got %U"};

struct Traits {
  using Object = Obj;
  using VTable = tarvex_RectArrayVTable;
  using Elem = Rectangle;
  static constexpr int K = 4;
  static constexpr rt::Where where{"tarvex.rect_array.rect_array.RectArray",
                                   "src/tarvex/rect_array/rect_array"};
  static constexpr const char* short_name = "RectArray";
  static PyObject* element_new(const Rectangle& r) { return rect_vt->new_(r); }
  // A Rect's stored values; anything else as the rect-like coercion reads
  // it (a tuple, list or other sequence of 4 numbers, rounded to 32 bits).
  static bool element_read(PyObject* o, Rectangle* out) {
    if (Py_IS_TYPE(o, rect_type)) {
      *out = reinterpret_cast<tarvex_RectObject*>(o)->_raw;
      return true;
    }
    return arr::read_like(o, 4, kRectForm, &out->x);
  }
};

using Base = arr::ArrayBase<Traits>;

constexpr const rt::Where& kWhere = Traits::where;

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
PyObject* py(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }

std::size_t size_of(const Obj* o) noexcept { return static_cast<std::size_t>(o->count); }

// ---------------------------------------------------------------------------
// Moving

// Rect.get_moved's arithmetic: each position plus its offset in 64 bits,
// rounded once to 32 bits.
inline void move(Rectangle& r, double dx, double dy) noexcept {
  r.x = rt::narrow(static_cast<double>(r.x) + dx);
  r.y = rt::narrow(static_cast<double>(r.y) + dy);
}

// What a RectArray moves by: one offset for every rectangle, or the
// elements of a Vector2Array of the same length.
struct Offset {
  const Vector2* each = nullptr;
  double dx = 0.0, dy = 0.0;
};

// vector2-like reading with the coercion's messages, kept in 64 bits so
// that moving by (0.1, 0.2) is moving each Rect by 0.1 and 0.2.
bool vector_doubles(PyObject* o, double* x, double* y) {
  if (PyObject_TypeCheck(o, v2_type)) {
    const Vector2& v = reinterpret_cast<tarvex_Vector2Object*>(o)->data;
    *x = v.x;
    *y = v.y;
    return true;
  }
  Ref list;
  const char* kind = "sequence";
  PyObject* seq = o;
  if (PyTuple_CheckExact(o)) {
    kind = "tuple";
  } else if (PyList_CheckExact(o)) {
    kind = "list";
  } else if (PySequence_Check(o) && !PyDict_Check(o)) {
    list = Ref(PySequence_List(o));
    if (!list) return false;
    seq = list.get();
  } else {
    PyErr_Format(PyExc_TypeError, "vector2-like argument must be Vector2, or any sequence, got %s.",
                 Py_TYPE(o)->tp_name);
    return false;
  }
  if (PySequence_Fast_GET_SIZE(seq) != 2) {
    PyErr_Format(PyExc_ValueError, "%s for vector2-like argument must have only 2 elements.", kind);
    return false;
  }
  Ref hold = Ref::borrow(seq);
  Ref first = Ref::borrow(PySequence_Fast_GET_ITEM(seq, 0));
  Ref second = Ref::borrow(PySequence_Fast_GET_ITEM(seq, 1));
  return rt::to_double(first.get(), x) && rt::to_double(second.get(), y);
}

bool read_offset(PyObject* o, Py_ssize_t n, Offset* out) {
  if (Py_IS_TYPE(o, v2a_type)) {
    auto* v = reinterpret_cast<tarvex_Vector2ArrayObject*>(o);
    if (v->count != n) return arr::length_mismatch("offset", v->count, n);
    out->each = v->data;
    return true;
  }
  return vector_doubles(o, &out->dx, &out->dy);
}

void apply(Obj* self, const Offset& by) noexcept {
  Rectangle* r = self->data;
  const Py_ssize_t n = self->count;
  if (by.each) {
    for (Py_ssize_t i = 0; i < n; ++i) move(r[i], by.each[i].x, by.each[i].y);
  } else {
    for (Py_ssize_t i = 0; i < n; ++i) move(r[i], by.dx, by.dy);
  }
}

PyObject* get_moved(Obj* self, PyObject* offset) {
  Offset by;
  if (!read_offset(offset, self->count, &by)) return nullptr;
  Ref out(Base::copy(self));
  if (!out) return nullptr;
  apply(as(out.get()), by);
  return out.release();
}

PyObject* to_moved(Obj* self, PyObject* offset) {
  Offset by;
  if (!read_offset(offset, self->count, &by)) return nullptr;
  apply(self, by);
  return Py_NewRef(py(self));
}

// ---------------------------------------------------------------------------
// Collision queries (C-level entries; they trace themselves)

PyObject* out_of_memory(const char* entry) {
  PyErr_NoMemory();
  rt::add_traceback(kWhere, entry);
  return nullptr;
}

PyObject* entry_collide_rect_all(Obj* self, Rectangle r) {
  Int64Run hits;
  if (!collide_one(self->data, size_of(self), r, hits)) return out_of_memory("collide_rect_all");
  PyObject* out = index_view(hits, 1);
  if (!out) rt::add_traceback(kWhere, "collide_rect_all");
  return out;
}

PyObject* entry_collide_pairs(Obj* self, Obj* other) {
  Int64Run pairs;
  const bool done =
      other ? pairs_between(self->data, size_of(self), other->data, size_of(other), pairs)
            : pairs_within(self->data, size_of(self), pairs);
  if (!done) return out_of_memory("collide_pairs");
  PyObject* out = index_view(pairs, 2);
  if (!out) rt::add_traceback(kWhere, "collide_pairs");
  return out;
}

// The Python-visible forms: the arguments read first, then the entries.
PyObject* collide_rect_all(Obj* self, PyObject* rect) {
  Rectangle r;
  if (!Traits::element_read(rect, &r)) return nullptr;
  return entry_collide_rect_all(self, r);
}

PyObject* collide_pairs(Obj* self, PyObject* other) {
  if (!other || other == Py_None) return entry_collide_pairs(self, nullptr);
  if (Base::check(other)) return entry_collide_pairs(self, as(other));
  Ref converted(Base::from(other));
  if (!converted) return nullptr;
  return entry_collide_pairs(self, as(converted.get()));
}

// ---------------------------------------------------------------------------
// Docstrings

#define TARVEX_EXACT_MOVE                                                                      \
  "Element `i` of the result equals `self[i].get_moved(dx, dy)` bit for bit, with `dx`, `dy` " \
  "the offset of that element: each position plus its offset in 64 bits, rounded once to 32 "  \
  "bits, NaN and infinities included. "
#define TARVEX_OFFSET                                                                          \
  "`offset` is a Vector2Array of the same length (ValueError otherwise), one offset for each " \
  "rectangle, or one vector for all: a `Vector2`, or a tuple, list or other sequence of 2 "    \
  "numbers, each kept as the 64-bit value `float()` gives."
#define TARVEX_COLLIDE                                                                          \
  "The test is `Rect.collide_rect`'s: open edges (rectangles that only touch do not overlap), " \
  "the receiver's far edges as 32-bit sums, the argument's as 64-bit sums; negative sizes are " \
  "used as given, and a NaN anywhere in a rectangle makes it overlap nothing."

constexpr rt::Name kGetMovedDoc =
    "A new RectArray with every rectangle moved by `offset`; sizes are unchanged.\n\n" TARVEX_OFFSET
    "\n\n" TARVEX_EXACT_MOVE;
constexpr rt::Name kToMovedDoc =
    "Moves every rectangle of this array by `offset` as `get_moved` does; returns the array.";
constexpr rt::Name kCollideRectAllDoc =
    "The indices of the rectangles that `rect` overlaps, in ascending order: the same as "
    "`Rect(rect).collide_list_all(self)`, run in C.\n\n"
    "`rect` is a Rect or any rect-like value (a tuple, list or other sequence of 4 numbers, "
    "rounded to 32 bits as `Rect(rect)` rounds them). The result is a memoryview of int64 "
    "(format 'q') shaped (k,); `numpy.asarray` views it without copying. " TARVEX_COLLIDE;
constexpr rt::Name kCollidePairsDoc =
    "All overlapping pairs, as a memoryview of int64 (format 'q') shaped (k, 2), one pair "
    "(i, j) per row, in ascending order of i, then j; `numpy.asarray` views it without "
    "copying.\n\n"
    "Without `other`: the pairs i < j of this array for which `self[i].collide_rect(self[j])` "
    "is true. With `other` (a RectArray, or anything `RectArray(other)` takes): the pairs for "
    "which `self[i].collide_rect(other[j])` is true. Either way the result is, pair for pair, "
    "the double loop over `collide_rect` in that order.\n\n" TARVEX_COLLIDE
    "\n\n"
    "The rectangles are sorted along one axis and swept, so the time grows as n log n plus the "
    "number of pairs whose extents overlap along that axis (the axis along which the "
    "rectangles lie most spread out), not as n squared.";

using Declare = rt::Declare<kWhere, Obj>;
using Offset_ = rt::Object<"offset">;

// ---------------------------------------------------------------------------
// The C method table and the type

constexpr rt::Name kTypeDoc =
    "RectArray(source=None)\n--\n\n"
    "A resizable, contiguous run of raylib Rectangle structures (x, y, width, height as 32-bit "
    "floats, 16 bytes each): a population of rectangles in one object.\n\n"
    "`source` is nothing (an empty array), a count (that many zero rectangles), another "
    "RectArray (a copy), a buffer of float32 or float64 values shaped (n, 4) such as a numpy "
    "array (float64 values rounded once to 32 bits), or any iterable of Rects and rect-like "
    "values (tuples, lists or other sequences of 4 numbers, each rounded to 32 bits). A "
    "failure part-way builds nothing.\n\n"
    "`len(a)`, `a[i]` (a new Rect, a copy), `a[i] = rect_like`, slices (a new RectArray), "
    "iteration and `==` (same length and values) work as for a list. The array exports its "
    "storage as a writable buffer of format 'f' shaped (n, 4): `numpy.asarray(a)` is a view "
    "without copying, and while any view exists, resizing raises BufferError. `copy.copy`, "
    "`copy.deepcopy` and pickling work (unlike Rect's).\n\n"
    "Whole-array work runs in C: `get_moved`/`to_moved`, `collide_rect_all` (one rectangle "
    "against all) and `collide_pairs` (all overlapping pairs, by a sort-and-sweep broadphase).";

PyMethodDef own_methods[] = {
    Declare::method<"get_moved", get_moved, Offset_>::def<kGetMovedDoc>(),
    Declare::method<"to_moved", to_moved, Offset_>::def<kToMovedDoc>(),
    Declare::method<"collide_rect_all", collide_rect_all,
                    rt::Object<"rect">>::def<kCollideRectAllDoc>(),
    Declare::method<"collide_pairs", collide_pairs,
                    rt::Optional<rt::Object<"other">, nullptr, "None">>::def<kCollidePairsDoc>(),
    rt::kEndOfMethods,
};

auto methods = rt::join_methods(Base::base_methods, own_methods);

}  // namespace

template <>
tarvex_RectArrayVTable tarvex::arr::ArrayBase<Traits>::vtable = [] {
  tarvex_RectArrayVTable t{};
  Base::fill_common_entries(t);
  t.collide_rect_all = entry_collide_rect_all;
  t.collide_pairs = entry_collide_pairs;
  return t;
}();

template <>
PyTypeObject tarvex::arr::ArrayBase<Traits>::type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, Base::dealloc),
    .tp_repr = Base::repr,
    .tp_as_sequence = &Base::sequence,
    .tp_as_mapping = &Base::mapping,
    .tp_hash = PyObject_HashNotImplemented,
    .tp_as_buffer = &Base::buffer,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_SEQUENCE,
    .tp_doc = rt::docstring<kTypeDoc>,
    .tp_richcompare = Base::richcompare,
    .tp_methods = methods.data(),
    .tp_new = Base::tp_new,
    .tp_vectorcall = Base::construct,
};

namespace {

// ---------------------------------------------------------------------------
// Module

int constants() { return ready_index_rows(); }

const rt::TypeEntry types[] = {{&Base::type, &Base::vtable}};
const rt::Sibling siblings[] = {
    rt::sibling<tarvex_RectObject>("tarvex.rect.rect", "Rect", &rect_type, &rect_vt),
    rt::sibling<tarvex_Vector2Object>("tarvex.vector2.vector2", "Vector2", &v2_type, &v2_vt),
    rt::sibling<tarvex_Vector2ArrayObject>("tarvex.vector2_array.vector2_array", "Vector2Array",
                                           &v2a_type, &v2a_vt),
};

}  // namespace

TARVEX_MODULE(rect_array, {.types = types, .siblings = siblings, .constants = constants})
