// tarvex.rect.rect: the axis-aligned rectangle stored as raylib's Rectangle.
// Argument reading and the collision tests are in rect_values.cpp; here are
// construction, the C-level entries, the Python surface and the type.
#include "tarvex/rect/rect.h"

#include <array>
#include <cstddef>
#include <iterator>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/override.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect_ops.h"
#include "tarvex/rect/rect_values.h"
#include "tarvex/vector2/vector2.h"
#include "tarvex/vector4/vector4.h"

namespace tarvex::rect {

using rt::Ref;
using Obj = tarvex_RectObject;

constexpr rt::Where kWhere{"tarvex.rect.rect.Rect", "src/tarvex/rect/rect"};

// Bound at exec time.
PyTypeObject* v2_type;
PyTypeObject* v4_type;
tarvex_Vector2VTable* v2_vt;
tarvex_Vector4VTable* v4_vt;

PyObject* s_attr[4];
PyObject* s_index[4];

namespace {

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
PyObject* py(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }

// ---------------------------------------------------------------------------
// Creation and construction

using Instances = rt::Instances<&rect_type, &vtable, &Obj::_raw, Rectangle{0.0f, 0.0f, 0.0f, 0.0f}>;
Obj* alloc() noexcept { return Instances::create(); }

PyObject* entry_new(Rectangle r) {
  Obj* o = alloc();
  if (!o) return nullptr;
  o->_raw = r;
  return py(o);
}

void dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

// Only the exact type reaches this: tp_vectorcall is not inherited.
PyObject* construct(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  if (kwnames && PyTuple_GET_SIZE(kwnames)) {
    rt::unexpected_keyword("__init__", PyTuple_GET_ITEM(kwnames, 0));
    return nullptr;
  }
  Ref o(py(alloc()));
  if (!o || init_args(as(o.get()), args, PyVectorcall_NARGS(nargsf)) < 0) return nullptr;
  return o.release();
}

int init(PyObject* self, PyObject* args, PyObject* kwds) {
  if (rt::keywords_refused("__init__", kwds)) return -1;
  return init_args(as(self), PySequence_Fast_ITEMS(args), PyTuple_GET_SIZE(args));
}

// ---------------------------------------------------------------------------
// C-level entries. Each runs the override of its method in a Python
// subclass when called with skip_dispatch 0, and adds its own traceback
// entry to a failure.

enum Method : int {
  kGetWidth,
  kGetHeight,
  kCollidePoint,
  kCollidePointVector2,
  kCollidePointTuple,
  kCollidePointList,
  kCollideRect,
  kCollideRectVector4,
  kCollideRectRect,
  kCollideRectTuple,
  kCollideRectList,
  kGetVector4,
  kGetTuple,
  kMethodCount
};

std::array<rt::Overridable, kMethodCount> overridables = {{
    {&rect_type, "get_width"},
    {&rect_type, "get_height"},
    {&rect_type, "collide_point"},
    {&rect_type, "collide_point_vector2"},
    {&rect_type, "collide_point_tuple"},
    {&rect_type, "collide_point_list"},
    {&rect_type, "collide_rect"},
    {&rect_type, "collide_rect_vector4"},
    {&rect_type, "collide_rect_rect"},
    {&rect_type, "collide_rect_tuple"},
    {&rect_type, "collide_rect_list"},
    {&rect_type, "get_vector4"},
    {&rect_type, "get_tuple"},
}};

// An entry that gives an object: Value(self), or the override's result
// passed through Check (which may refuse it).
template <Method M, PyObject* (*Value)(Obj*), PyObject* (*Check)(PyObject*)>
PyObject* value_entry(Obj* self, int skip_dispatch) {
  Ref method;
  int found = overridables[M].find(py(self), skip_dispatch, &method);
  PyObject* r = found > 0   ? Check(rt::call_override(method, nullptr).release())
                : found < 0 ? nullptr
                            : Value(self);
  if (!r) rt::add_traceback(kWhere, overridables[M].name());
  return r;
}

PyObject* any_result(PyObject* r) { return r; }
PyObject* tuple_result(PyObject* r) {
  if (!r || r == Py_None || PyTuple_CheckExact(r)) return r;
  PyErr_Format(PyExc_TypeError, "Expected %.42s, got %.200s", "tuple", Py_TYPE(r)->tp_name);
  Py_DECREF(r);
  return nullptr;
}
PyObject* vector4_result(PyObject* r) { return rt::expect_instance(r, v4_type); }

PyObject* width_of(Obj* self) { return PyFloat_FromDouble(wide(self->_raw.width)); }
PyObject* height_of(Obj* self) { return PyFloat_FromDouble(wide(self->_raw.height)); }
PyObject* tuple_of(Obj* self) {
  const Rectangle& v = self->_raw;
  const double d[4] = {wide(v.x), wide(v.y), wide(v.width), wide(v.height)};
  return rt::float_tuple(d, 4);
}
PyObject* vector4_of(Obj* self) {
  const Rectangle& v = self->_raw;
  return v4_vt->new_(wide(v.x), wide(v.y), wide(v.width), wide(v.height));
}

// A collision entry: the truth of the override's result if there is one,
// else Test(self, arg), which gives 1, 0, or -1 with the exception set. A
// failure reads as 0 with the exception pending.
template <Method M, class Arg, int (*Test)(Obj*, Arg)>
int collide_entry(Obj* self, Arg arg, int skip_dispatch) {
  Ref method;
  int r = overridables[M].find(py(self), skip_dispatch, &method);
  if (r > 0) {
    Ref res = rt::call_override(method, reinterpret_cast<PyObject*>(arg));
    r = res ? PyObject_IsTrue(res.get()) : -1;
  } else if (r == 0) {
    r = Test(self, arg);
  }
  if (r >= 0) return r;
  rt::add_traceback(kWhere, overridables[M].name());
  return 0;
}

int point_any(Obj* self, PyObject* point) {
  double p[2];
  if (is_vector2(point)) {
    if (!vector2_xy(point, &p[0], &p[1])) return -1;
  } else {
    Py_ssize_t len = is_list_or_tuple(point) ? seq_length(point) : -2;
    if (len == -1) return -1;
    if (len != 2) return value_error("Point must be a Vector2, tuple, or list of length 2");
    if (!items_double(point, 2, p)) return -1;
  }
  return point_test(self->_raw, p[0], p[1]);
}

int point_vector2(Obj* self, tarvex_Vector2Object* point) {
  return vector2_point_test(self->_raw, reinterpret_cast<PyObject*>(point));
}

template <bool List>
int point_sequence(Obj* self, PyObject* point) {
  if (check_sequence<List>(point, "point", 2) < 0) return -1;
  return sequence_point_test<List>(self->_raw, point);
}

int rect_any(Obj* self, PyObject* other) {
  double o[4];
  if (is_rect(other)) {
    const Rectangle& v = as(other)->_raw;
    o[0] = wide(v.x);
    o[1] = wide(v.y);
    o[2] = wide(v.width);
    o[3] = wide(v.height);
  } else if (is_vector4(other)) {
    if (!vector4_xyzw(other, o)) return -1;
  } else {
    Py_ssize_t len = is_list_or_tuple(other) ? seq_length(other) : -2;
    if (len == -1) return -1;
    if (len != 4)
      return value_error("rect for collision must be a Rect, Vector4, tuple, or list of length 4");
    if (!items_double(other, 4, o)) return -1;
  }
  return rect_test(self->_raw, o);
}

int rect_vector4(Obj* self, tarvex_Vector4Object* other) {
  return vector4_rect_test(self->_raw, reinterpret_cast<PyObject*>(other));
}

// Entirely on the stored 32-bit values: no object is made. Anything but a
// Rect (None included) is refused rather than read as one.
int rect_rect(Obj* self, Obj* other) {
  if (!other || !is_rect(py(other))) {
    rt::arg_type_error("other", kWhere.path, other ? py(other) : Py_None);
    return -1;
  }
  const Rectangle& a = self->_raw;
  const Rectangle& b = other->_raw;
  return far_edge(b.x, b.width) > a.x && far_edge(a.x, a.width) > b.x &&
         far_edge(b.y, b.height) > a.y && far_edge(a.y, a.height) > b.y;
}

template <bool List>
int rect_sequence(Obj* self, PyObject* other) {
  if (check_sequence<List>(other, "other", 4) < 0) return -1;
  return sequence_rect_test<List>(self->_raw, other);
}

// The entries, in slot order.
constexpr auto entry_get_width = value_entry<kGetWidth, width_of, any_result>;
constexpr auto entry_get_height = value_entry<kGetHeight, height_of, any_result>;
constexpr auto entry_collide_point = collide_entry<kCollidePoint, PyObject*, point_any>;
constexpr auto entry_collide_point_vector2 =
    collide_entry<kCollidePointVector2, tarvex_Vector2Object*, point_vector2>;
constexpr auto entry_collide_point_tuple =
    collide_entry<kCollidePointTuple, PyObject*, point_sequence<false>>;
constexpr auto entry_collide_point_list =
    collide_entry<kCollidePointList, PyObject*, point_sequence<true>>;
constexpr auto entry_collide_rect = collide_entry<kCollideRect, PyObject*, rect_any>;
constexpr auto entry_collide_rect_vector4 =
    collide_entry<kCollideRectVector4, tarvex_Vector4Object*, rect_vector4>;
constexpr auto entry_collide_rect_rect = collide_entry<kCollideRectRect, Obj*, rect_rect>;
constexpr auto entry_collide_rect_tuple =
    collide_entry<kCollideRectTuple, PyObject*, rect_sequence<false>>;
constexpr auto entry_collide_rect_list =
    collide_entry<kCollideRectList, PyObject*, rect_sequence<true>>;
constexpr auto entry_get_vector4 = value_entry<kGetVector4, vector4_of, vector4_result>;
constexpr auto entry_get_tuple = value_entry<kGetTuple, tuple_of, tuple_result>;

}  // namespace

tarvex_RectVTable vtable = {
    .new_ = entry_new,
    .get_width = entry_get_width,
    .get_height = entry_get_height,
    .collide_point = entry_collide_point,
    .collide_point_vector2 = entry_collide_point_vector2,
    .collide_point_tuple = entry_collide_point_tuple,
    .collide_point_list = entry_collide_point_list,
    .collide_rect = entry_collide_rect,
    .collide_rect_vector4 = entry_collide_rect_vector4,
    .collide_rect_rect = entry_collide_rect_rect,
    .collide_rect_tuple = entry_collide_rect_tuple,
    .collide_rect_list = entry_collide_rect_list,
    .get_vector4 = entry_get_vector4,
    .get_tuple = entry_get_tuple,
};

namespace {

// ---------------------------------------------------------------------------
// Python-visible methods: bind, check the argument, run the entry with
// dispatch skipped.

using Declare = rt::Declare<kWhere, Obj>;

// The typed parameters accept their type (subclasses for the extension
// types, exactly for tuple and list) and let None through to the entry.
template <rt::Name N, PyTypeObject** Type, class T>
using Typed = rt::Instance<N, Type, T, false, rt::NoneArg::passed>;
template <rt::Name N, bool List>
using Sequence = rt::ExactSequence<N, List, rt::NoneArg::passed>;

// The docstrings of the tuple and list variants, written once: {seq} is
// the kind.
constexpr rt::Name kPointInSequence =
    "Return True if the point in items 0 and 1 of the {seq} `point` lies inside the rectangle "
    "or on its edge.\n\n"
    "`point` must be exactly a {seq} (TypeError otherwise) with at least 2 items (ValueError "
    "otherwise); further items are ignored. The items are compared as they are, with Python's "
    "comparison against the edges as floats, so ints compare exactly.";
constexpr rt::Name kRectInSequence =
    "Return True if the rectangle in items 0 to 3 of the {seq} `other` overlaps this one.\n\n"
    "`other` must be exactly a {seq} (TypeError otherwise) with at least 4 items (ValueError "
    "otherwise); further items are ignored. The open test of `collide_rect`, using Python's own "
    "addition and comparison on the items, so ints are exact; an item is read only when the "
    "test needs it.";
template <rt::Name Text, rt::Name Kind>
constexpr auto sequence_doc =
    rt::Name(rt::Expand<Text, rt::Name(rt::cat(rt::Name("seq="), Kind))>::text);

PyMethodDef methods[] = {
    Declare::entry<"get_width",
                   entry_get_width>::def<"Return the width as a float (the same as `r.width`).">(),
    Declare::entry<"get_height", entry_get_height>::def<
        "Return the height as a float (the same as `r.height`).">(),
    Declare::entry<"get_tuple", entry_get_tuple>::def<
        "Return (x, y, width, height) as a new tuple of floats.">(),
    Declare::entry<"get_vector4",
                   entry_get_vector4>::def<"Return (x, y, width, height) as a new Vector4.">(),
    Declare::entry<"collide_point", entry_collide_point, rt::Object<"point">>::def<
        "Return True if `point` lies inside the rectangle or on its edge.\n\n"
        "`point` is a `Vector2` or a tuple or list (subclasses included) of exactly 2 numbers; "
        "anything else raises ValueError. Its coordinates are converted to 64-bit floats and "
        "compared with the edges: `x <= px <= right` and `y <= py <= bottom`, where right and "
        "bottom are the 32-bit sums. A rectangle with a negative size contains no point; nan "
        "never collides.">(),
    Declare::entry<"collide_point_vector2", entry_collide_point_vector2,
                   Typed<"point", &v2_type, tarvex_Vector2Object>>::
        def<"Return True if the Vector2 `point` lies inside the rectangle or on its edge.\n\n"
            "The closed test of `collide_point`, comparing with Python's own float comparison. "
            "`point` must be a `Vector2` (TypeError otherwise; None raises AttributeError).">(),
    Declare::entry<"collide_point_tuple", entry_collide_point_tuple,
                   Sequence<"point", false>>::def<sequence_doc<kPointInSequence, "tuple">>(),
    Declare::entry<"collide_point_list", entry_collide_point_list,
                   Sequence<"point", true>>::def<sequence_doc<kPointInSequence, "list">>(),
    Declare::entry<"collide_rect", entry_collide_rect, rt::Object<"other">>::def<
        "Return True if the rectangle `other` overlaps this one.\n\n"
        "`other` is a `Rect`, a `Vector4` (x, y, z, w as x, y, width, height), or a tuple or "
        "list (subclasses included) of exactly 4 numbers; anything else raises ValueError. The "
        "test is open: rectangles that only touch along an edge do not overlap, while a "
        "zero-size rectangle strictly inside does. The values are compared as 64-bit floats; "
        "this rectangle's far edges are its 32-bit sums. nan never overlaps.">(),
    Declare::entry<"collide_rect_vector4", entry_collide_rect_vector4,
                   Typed<"other", &v4_type, tarvex_Vector4Object>>::
        def<"Return True if the rectangle (x, y, z, w) of the Vector4 `other` overlaps this "
            "one.\n\n"
            "The open test of `collide_rect`, with `z` and `w` as width and height, using Python's "
            "own arithmetic and comparison. `other` must be a `Vector4` (TypeError otherwise; None "
            "raises AttributeError).">(),
    Declare::entry<"collide_rect_rect", entry_collide_rect_rect,
                   rt::Instance<"other", &rect_type, Obj, false, rt::NoneArg::passed>>::
        def<"Return True if the Rect `other` overlaps this one.\n\n"
            "The open test of `collide_rect` on both rectangles' 32-bit values, without creating "
            "any object. `other` must be a `Rect` (TypeError otherwise, None included).">(),
    Declare::entry<"collide_rect_tuple", entry_collide_rect_tuple,
                   Sequence<"other", false>>::def<sequence_doc<kRectInSequence, "tuple">>(),
    Declare::entry<"collide_rect_list", entry_collide_rect_list,
                   Sequence<"other", true>>::def<sequence_doc<kRectInSequence, "list">>(),
    rt::kEndOfMethods,
};

// ---------------------------------------------------------------------------
// Properties

enum class Edge { none, right, bottom, centerx, centery };

struct Field {
  const char* name;
  int index;  // component read and written (0 x, 1 y, 2 width, 3 height)
  Edge edge;
  const char* doc;
};

// What assigning an edge or a size does, and its deletion.
#define TARVEX_RECT_KEEPS(what)                                                   \
  "\n\nAssigning converts any real number and rounds it to a 32-bit float; " what \
  ". Deleting "                                                                   \
  "raises NotImplementedError."

constexpr Field kFields[] = {
    {"x", 0, Edge::none,
     rt::docstring<"The left edge, a float (alias `left`)." TARVEX_RECT_KEEPS(
         "the width is unchanged")>},
    {"left", 0, Edge::none,
     rt::docstring<"The left edge, a float (alias `x`)." TARVEX_RECT_KEEPS(
         "the width is unchanged")>},
    {"y", 1, Edge::none,
     rt::docstring<"The top edge, a float (alias `top`)." TARVEX_RECT_KEEPS(
         "the height is unchanged")>},
    {"top", 1, Edge::none,
     rt::docstring<"The top edge, a float (alias `y`)." TARVEX_RECT_KEEPS(
         "the height is unchanged")>},
    {"w", 2, Edge::none,
     rt::docstring<"The width, a float (alias `width`)." TARVEX_RECT_KEEPS(
         "negative widths are kept")>},
    {"width", 2, Edge::none,
     rt::docstring<"The width, a float (alias `w`)." TARVEX_RECT_KEEPS(
         "negative widths are kept")>},
    {"h", 3, Edge::none,
     rt::docstring<"The height, a float (alias `height`)." TARVEX_RECT_KEEPS(
         "negative heights are kept")>},
    {"height", 3, Edge::none,
     rt::docstring<"The height, a float (alias `h`)." TARVEX_RECT_KEEPS(
         "negative heights are kept")>},
    {"right", 0, Edge::right,
     rt::docstring<"The right edge, `x + width` summed in 32-bit floats.\n\n"
                   "Assigning moves the rectangle so that its right edge is at the value: `x` "
                   "becomes the value minus the width (the value must support subtraction of a "
                   "float); the width is unchanged. Deleting raises NotImplementedError.">},
    {"bottom", 1, Edge::bottom,
     rt::docstring<"The bottom edge, `y + height` summed in 32-bit floats.\n\n"
                   "Assigning moves the rectangle so that its bottom edge is at the value: `y` "
                   "becomes the value minus the height (the value must support subtraction of a "
                   "float); the height is unchanged. Deleting raises NotImplementedError.">},
    {"centerx", 0, Edge::centerx,
     rt::docstring<"The horizontal centre, `x + width * 0.5` in 64-bit floats.\n\n"
                   "Assigning moves the rectangle so that its centre is at the value: `x` becomes "
                   "the value minus half the width, rounded to 32 bits; the width is unchanged. "
                   "Deleting raises NotImplementedError.">},
    {"centery", 1, Edge::centery,
     rt::docstring<"The vertical centre, `y + height * 0.5` in 64-bit floats.\n\n"
                   "Assigning moves the rectangle so that its centre is at the value: `y` becomes "
                   "the value minus half the height, rounded to 32 bits; the height is unchanged. "
                   "Deleting raises NotImplementedError.">},
};
#undef TARVEX_RECT_KEEPS

double edge_value(const Rectangle& r, Edge e, int index) noexcept {
  switch (e) {
    case Edge::none:
      return wide(component(r, index));
    case Edge::right:
      return wide(far_edge(r.x, r.width));
    case Edge::bottom:
      return wide(far_edge(r.y, r.height));
    case Edge::centerx:
      return wide(r.x) + wide(r.width) * 0.5;
    case Edge::centery:
      return wide(r.y) + wide(r.height) * 0.5;
  }
  return 0.0;
}

// What a mover subtracts from the given value (64 bits).
double edge_offset(const Rectangle& r, Edge e) noexcept {
  switch (e) {
    case Edge::right:
      return wide(r.width);
    case Edge::bottom:
      return wide(r.height);
    case Edge::centerx:
      return wide(r.width) * 0.5;
    case Edge::centery:
      return wide(r.height) * 0.5;
    case Edge::none:
      break;
  }
  return 0.0;
}

double get_field(Obj* self, const Field& f) { return edge_value(self->_raw, f.edge, f.index); }

// `value - offset` with the interpreter's subtraction of a float; exact
// floats and ints are done in C with the same result.
bool subtract(PyObject* value, double offset, double* out) {
  if (PyFloat_CheckExact(value) || PyLong_CheckExact(value)) {
    if (!rt::to_double(value, out)) return false;
    *out -= offset;
    return true;
  }
  Ref f(PyFloat_FromDouble(offset));
  Ref diff(f ? PyNumber_Subtract(value, f.get()) : nullptr);
  return diff && rt::to_double(diff.get(), out);
}

bool set_field(Obj* self, const Field& f, PyObject* value) {
  double d;
  if (f.edge == Edge::none ? !rt::to_double(value, &d)
                           : !subtract(value, edge_offset(self->_raw, f.edge), &d))
    return false;
  set_component(self->_raw, f.index, rt::narrow(d));
  return true;
}

using FieldProperty =
    rt::FieldProperty<kWhere, Obj, Field, get_field, set_field, rt::Object<"value">>;

PyObject* get_center(Obj* self) {
  const Rectangle& r = self->_raw;
  return v2_vt->new_(edge_value(r, Edge::centerx, 0), edge_value(r, Edge::centery, 1));
}

bool set_center(Obj* self, PyObject* value) {
  double cx, cy;
  if (!(is_vector2(value) ? vector2_xy(value, &cx, &cy)
                          : item_double(value, 0, &cx) && item_double(value, 1, &cy)))
    return false;
  Rectangle& r = self->_raw;
  r.x = rt::narrow(cx - wide(r.width) * 0.5);
  r.y = rt::narrow(cy - wide(r.height) * 0.5);
  return true;
}

constexpr std::size_t kFieldCount = std::size(kFields);
std::array<PyGetSetDef, kFieldCount + 2> properties = [] {
  std::array<PyGetSetDef, kFieldCount + 2> g{};
  std::size_t k = 0;
  for (const Field& f : kFields) g[k++] = FieldProperty::def(f, f.doc);
  g[k++] = rt::Property<kWhere, Obj, "center", get_center, set_center>::def(
      rt::docstring<
          "The centre as a new Vector2, (centerx, centery) rounded to 32 bits.\n\n"
          "Assigning a `Vector2`, or any sequence whose items 0 and 1 are numbers, moves the "
          "rectangle so that its centre is there; the size is unchanged. Changing the returned "
          "vector does not move the rectangle. Deleting raises NotImplementedError.">);
  g[k] = rt::kEndOfProperties;
  return g;
}();

// The operations and batch queries (rect_geometry.cpp, rect_line.cpp,
// rect_batch.cpp) follow the tables above.
auto all_methods = joined<std::size(methods) + kGeometryMethodCount + kBatchMethodCount>(
    {methods, geometry_methods(), batch_methods()}, rt::kEndOfMethods);
auto all_properties = joined<properties.size() + kGeometryPropertyCount>(
    {properties.data(), geometry_properties()}, rt::kEndOfProperties);

// ---------------------------------------------------------------------------
// Protocol slots

PyObject* repr(PyObject* self) {
  const Rectangle& r = as(self)->_raw;
  const double d[4] = {wide(r.x), wide(r.y), wide(r.width), wide(r.height)};
  char* s[4] = {};
  PyObject* out = nullptr;
  int i = 0;
  for (; i < 4; ++i) {
    s[i] = rt::float_repr(d[i]);
    if (!s[i]) break;
  }
  if (i == 4)
    out = PyUnicode_FromFormat("Rect(position=(%s, %s), size=(%s, %s))", s[0], s[1], s[2], s[3]);
  for (char* p : s) PyMem_Free(p);
  return out;
}

// Equal only to another Rect with the same four values as floats; never
// defers to the other operand.
PyObject* richcompare(PyObject* a, PyObject* b, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  bool eq = is_rect(a) && is_rect(b);
  if (eq) {
    const Rectangle& x = as(a)->_raw;
    const Rectangle& y = as(b)->_raw;
    eq = x.x == y.x && x.y == y.y && x.width == y.width && x.height == y.height;
  }
  return PyBool_FromLong((op == Py_EQ) == eq);
}

double item(PyObject* self, int i) { return wide(component(as(self)->_raw, i)); }
void set_item(PyObject* self, int i, double d) { set_component(as(self)->_raw, i, rt::narrow(d)); }
using Indexing = rt::Indexed<kWhere, "Rect index out of range", 4, item, set_item>;

}  // namespace

PyTypeObject rect_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_repr = rt::Slot<kWhere, "__repr__", repr>::call,
    .tp_as_sequence = &Indexing::sequence,
    .tp_as_mapping = &Indexing::mapping,
    .tp_hash = PyObject_HashNotImplemented,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = rt::docstring<
        "Rect(*args)\n--\n\n"
        "Mutable axis-aligned rectangle of 32-bit floats, stored as raylib's Rectangle.\n\n"
        "`x` and `y` are the top-left corner (y grows downward), `width` and `height` the size; "
        "negative sizes are kept as given. The forms: `Rect()` is (0, 0, 0, 0); "
        "`Rect(x, y, width, height)`; `Rect(size)` with a `Vector2` gives a rectangle of that "
        "size at the origin; `Rect(other)` copies a `Rect`, takes x, y, z, w of a `Vector4`, or "
        "takes a tuple or list of exactly 4 numbers; `Rect(position, size)` takes two "
        "`Vector2`, or a tuple or list of 2 numbers and then a `Vector2` or a tuple or list of "
        "2 numbers. Other arguments raise ValueError (a `Vector2` position with a size that is "
        "not a `Vector2` raises AttributeError), a wrong argument count TypeError; keywords are "
        "refused.\n\n"
        "Precision: every number is converted as `float()` converts it and rounded to the "
        "nearest 32-bit float (`Rect(0.1, 0, 0, 0).x` is 0.10000000149011612). `right` and "
        "`bottom` are 32-bit sums, the centres are computed in 64 bits.\n\n"
        "Operations: `r == o` compares the four values and is False for anything that is not a "
        "Rect; rectangles are unhashable. `len(r)` is 4; `r[0]` to `r[3]` read and assign x, "
        "y, width and height (other indices raise IndexError; no slices); r iterates and "
        "unpacks as (x, y, width, height). `r.copy()` and `Rect(r)` make a copy; `copy.copy` and "
        "`copy.deepcopy` raise TypeError, as pickling does. Rect can be subclassed; the "
        "C-level callers then reach a subclass's collision methods too.">,
    .tp_richcompare = richcompare,
    .tp_methods = all_methods.data(),
    .tp_getset = all_properties.data(),
    .tp_init = rt::Slot<kWhere, "__init__", init>::call,
    .tp_new = Instances::tp_new,
    .tp_vectorcall = rt::Slot<kWhere, "__init__", construct>::call,
};

namespace {

// ---------------------------------------------------------------------------
// Module

int constants() {
  static const char* const letters[4] = {"x", "y", "z", "w"};
  for (int i = 0; i < 4; ++i) {
    s_attr[i] = PyUnicode_InternFromString(letters[i]);
    s_index[i] = s_attr[i] ? PyLong_FromLong(i) : nullptr;
    if (!s_index[i]) return -1;
  }
  if (batch_constants() < 0) return -1;
  return rt::prepare_overridables(overridables);
}

using Pickling = rt::PickleRefusal<
    kWhere,
    "self._raw is a structure member: pickling of structure members must be requested "
    "explicitly",
    "`copy.copy` and `copy.deepcopy` raise it too: `r.copy()` or `Rect(r)` makes a copy. Pickle "
    "`r.get_tuple()` and rebuild with `Rect(t)`.">;

const rt::TypeEntry types[] = {{&rect_type, &vtable, Pickling::defs}};
const rt::Sibling siblings[] = {
    rt::sibling<tarvex_Vector2Object>("tarvex.vector2.vector2", "Vector2", &v2_type, &v2_vt),
    rt::sibling<tarvex_Vector4Object>("tarvex.vector4.vector4", "Vector4", &v4_type, &v4_vt),
};

}  // namespace
}  // namespace tarvex::rect

TARVEX_MODULE(rect, {.types = tarvex::rect::types,
                     .siblings = tarvex::rect::siblings,
                     .constants = tarvex::rect::constants})
