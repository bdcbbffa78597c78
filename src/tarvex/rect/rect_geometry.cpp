// Inside tarvex.rect.rect: the rectangle operations (each as get_, giving a
// new Rect, and to_, changing this one), copy, contains, and the corner,
// mid-edge and size properties.
//
// Arithmetic: every new value is computed in 64 bits from the stored values
// widened, then rounded once to 32 bits when it is stored. Far edges are the
// 32-bit sums that `right` and `bottom` give; centres are 64-bit, as in
// `centerx`.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect_ops.h"
#include "tarvex/rect/rect_values.h"

namespace tarvex::rect {

bool rect_doubles(PyObject* other, double* out, const char* message) {
  if (is_rect(other)) {
    const Rectangle& v = reinterpret_cast<Obj*>(other)->_raw;
    out[0] = wide(v.x);
    out[1] = wide(v.y);
    out[2] = wide(v.width);
    out[3] = wide(v.height);
    return true;
  }
  if (is_vector4(other)) return vector4_xyzw(other, out);
  Py_ssize_t len = is_list_or_tuple(other) ? seq_length(other) : -2;
  if (len == -1) return false;
  if (len != 4) {
    PyErr_SetString(PyExc_ValueError, message);
    return false;
  }
  return items_double(other, 4, out);
}

namespace {

using rt::narrow;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One axis of a rectangle: position and size, and its far edge.
struct Axis {
  float pos, size;
  double near() const noexcept { return wide(pos); }
  double far() const noexcept { return wide(far_edge(pos, size)); }
  bool has_nan() const noexcept { return std::isnan(pos) || std::isnan(size); }
};
Axis axis_x(const Rectangle& r) noexcept { return {r.x, r.width}; }
Axis axis_y(const Rectangle& r) noexcept { return {r.y, r.height}; }

// min and max that give a NaN when either value is one.
double min_nan(double a, double b) noexcept { return a < b || std::isnan(a) ? a : b; }
double max_nan(double a, double b) noexcept { return a > b || std::isnan(a) ? a : b; }

// ---------------------------------------------------------------------------
// The operations, each changing a rectangle in place. They cannot fail: the
// arguments are read before they run.

void moved(Rectangle& r, double x, double y) {
  r.x = narrow(wide(r.x) + x);
  r.y = narrow(wide(r.y) + y);
}

void inflated(Rectangle& r, double x, double y) {
  r.x = narrow(wide(r.x) - x * 0.5);
  r.y = narrow(wide(r.y) - y * 0.5);
  r.width = narrow(wide(r.width) + x);
  r.height = narrow(wide(r.height) + y);
}

// The size scaled by the magnitudes of the factors, about the same centre.
void scaled_axis(float& pos, float& size, double factor) {
  const double s = wide(size);
  const double centre = wide(pos) + s * 0.5;
  const double grown = s * std::fabs(factor);
  pos = narrow(centre - grown * 0.5);
  size = narrow(grown);
}
void scaled(Rectangle& r, double x, rt::MaybeDouble y) {
  scaled_axis(r.x, r.width, x);
  scaled_axis(r.y, r.height, y.given ? y.value : x);
}

// This axis moved inside the other's.
float clamped_axis(const Axis& a, const Axis& o) {
  if (a.has_nan() || o.has_nan()) return narrow(kNaN);
  if (a.size >= o.size) return narrow(o.near() + wide(o.size) * 0.5 - wide(a.size) * 0.5);
  if (a.pos < o.pos) return o.pos;
  if (a.far() > o.far()) return narrow(o.far() - wide(a.size));
  return a.pos;
}
void clamped(Rectangle& r, Rectangle other) {
  r.x = clamped_axis(axis_x(r), axis_x(other));
  r.y = clamped_axis(axis_y(r), axis_y(other));
}

void clipped(Rectangle& r, Rectangle other) {
  const Axis ax = axis_x(r), ay = axis_y(r), bx = axis_x(other), by = axis_y(other);
  if (!(bx.far() > ax.near() && ax.far() > bx.near() && by.far() > ay.near() &&
        ay.far() > by.near())) {
    r.width = r.height = 0.0f;
    return;
  }
  // No NaN gets here: every comparison with one is false.
  const double left = std::max(ax.near(), bx.near()), top = std::max(ay.near(), by.near());
  r = Rectangle{narrow(left), narrow(top), narrow(std::min(ax.far(), bx.far()) - left),
                narrow(std::min(ay.far(), by.far()) - top)};
}

// The covering edges of several rectangles, gathered one at a time.
struct Cover {
  double left, top, right, bottom;
  explicit Cover(const Rectangle& r) noexcept
      : left(wide(r.x)), top(wide(r.y)), right(axis_x(r).far()), bottom(axis_y(r).far()) {}
  void add(const Cover& o) noexcept {
    left = min_nan(left, o.left);
    top = min_nan(top, o.top);
    right = max_nan(right, o.right);
    bottom = max_nan(bottom, o.bottom);
  }
  Rectangle rect() const noexcept {
    return Rectangle{narrow(left), narrow(top), narrow(right - left), narrow(bottom - top)};
  }
};

void united(Rectangle& r, Rectangle other) {
  Cover c(r);
  c.add(Cover(other));
  r = c.rect();
}

// The cover of every rectangle in `rects` into *items (*any false when
// there is none); false with the exception set. Reading the rectangles can
// run code, which may change the receiver: it is read after them.
bool cover_of(PyObject* rects, Cover* items, bool* any) {
  *any = false;
  return walk(rects, [&](PyObject* item, Py_ssize_t) {
           Rectangle v;
           if (is_rect(item)) {
             v = reinterpret_cast<Obj*>(item)->_raw;
           } else {
             rt::Ref hold = rt::Ref::borrow(item);
             if (!rect_value(item, &v)) return -1;
           }
           if (*any)
             items->add(Cover(v));
           else
             *items = Cover(v);
           *any = true;
           return 1;
         }) == 0;
}

// This rectangle united with the cover of `rects`, into *out.
bool united_all(const Obj* self, PyObject* rects, Rectangle* out) {
  Cover items(Rectangle{0.0f, 0.0f, 0.0f, 0.0f});
  bool any;
  if (!cover_of(rects, &items, &any)) return false;
  *out = self->_raw;
  if (any) {
    Cover c(*out);
    c.add(items);
    *out = c.rect();
  }
  return true;
}

// An axis as the area it covers: a negative size moves the position to the
// far edge (the 32-bit sum) and counts by its magnitude.
Axis normalized_axis(Axis a) noexcept {
  if (a.size < 0.0f) return {far_edge(a.pos, a.size), -a.size};
  return a;
}
void normalized(Rectangle& r) {
  const Axis x = normalized_axis(axis_x(r)), y = normalized_axis(axis_y(r));
  r = Rectangle{x.pos, y.pos, x.size, y.size};
}

// How many times `size` goes into `room`; x / 0 is infinite for x > 0.
double ratio(double size, double room) noexcept {
  if (room > 0.0) return size / room;
  return size > 0.0 ? std::numeric_limits<double>::infinity() : 0.0;
}

void fitted(Rectangle& r, Rectangle other) {
  const Axis ax = normalized_axis(axis_x(r)), ay = normalized_axis(axis_y(r));
  const Axis ox = normalized_axis(axis_x(other)), oy = normalized_axis(axis_y(other));
  if (ax.has_nan() || ay.has_nan() || ox.has_nan() || oy.has_nan()) {
    const float n = narrow(kNaN);
    r = Rectangle{n, n, n, n};
    return;
  }
  const double aw = wide(ax.size), ah = wide(ay.size), ow = wide(ox.size), oh = wide(oy.size);
  const double rx = ratio(aw, ow), ry = ratio(ah, oh);
  double w = 0.0, h = 0.0;
  if (rx >= ry && rx > 0.0 && !std::isinf(rx)) {
    w = ow;
    h = ah / rx;
  } else if (ry > rx && !std::isinf(ry)) {
    w = aw / ry;
    h = oh;
  }
  r = Rectangle{narrow(ox.near() + (ow - w) * 0.5), narrow(oy.near() + (oh - h) * 0.5), narrow(w),
                narrow(h)};
}

// ---------------------------------------------------------------------------
// get_ and to_ from one operation

template <auto Op>
struct Changed;
template <class... A, void (*Op)(Rectangle&, A...)>
struct Changed<Op> {
  static PyObject* get(Obj* self, A... a) {
    Rectangle r = self->_raw;
    Op(r, a...);
    return make_rect(r);
  }
  static PyObject* to(Obj* self, A... a) {
    Op(self->_raw, a...);
    return Py_NewRef(reinterpret_cast<PyObject*>(self));
  }
};

PyObject* get_union_all(Obj* self, PyObject* rects) {
  Rectangle r;
  return united_all(self, rects, &r) ? make_rect(r) : nullptr;
}
PyObject* to_union_all(Obj* self, PyObject* rects) {
  if (!united_all(self, rects, &self->_raw)) return nullptr;
  return Py_NewRef(reinterpret_cast<PyObject*>(self));
}

PyObject* copy(Obj* self) { return make_rect(self->_raw); }

bool contains(Obj* self, Rectangle other) {
  const Axis ax = axis_x(self->_raw), ay = axis_y(self->_raw);
  const Axis bx = axis_x(other), by = axis_y(other);
  return ax.near() <= bx.near() && ay.near() <= by.near() && ax.far() >= bx.far() &&
         ay.far() >= by.far() && ax.far() > bx.near() && ay.far() > by.near();
}

// ---------------------------------------------------------------------------
// Corner, mid-edge and size properties

// Where a corner or mid-edge point lies along one axis.
enum class Along { near, centre, far };

struct Corner {
  const char* name;
  Along h, v;
  const char* doc;
};

double along_value(const Axis& a, Along k) noexcept {
  switch (k) {
    case Along::near:
      return a.near();
    case Along::centre:
      return wide(a.pos) + wide(a.size) * 0.5;
    case Along::far:
      return a.far();
  }
  return 0.0;
}

// What a setter subtracts from the given coordinate to get the position.
double along_offset(const Axis& a, Along k) noexcept {
  switch (k) {
    case Along::near:
      return 0.0;
    case Along::centre:
      return wide(a.size) * 0.5;
    case Along::far:
      return wide(a.size);
  }
  return 0.0;
}

// A point as `center` reads it: a Vector2's x and y, otherwise items 0 and
// 1 by item access; each converted to a double.
bool point_value(PyObject* value, double* x, double* y) {
  return is_vector2(value) ? vector2_xy(value, x, y)
                           : item_double(value, 0, x) && item_double(value, 1, y);
}

PyObject* get_corner(Obj* self, const Corner& c) {
  const Rectangle& r = self->_raw;
  return v2_vt->new_(along_value(axis_x(r), c.h), along_value(axis_y(r), c.v));
}

// The point is read first: reading it can run code that changes the size.
bool set_corner(Obj* self, const Corner& c, PyObject* value) {
  double px, py;
  if (!point_value(value, &px, &py)) return false;
  Rectangle& r = self->_raw;
  r.x = narrow(px - along_offset(axis_x(r), c.h));
  r.y = narrow(py - along_offset(axis_y(r), c.v));
  return true;
}

#define TARVEX_MOVES                                                                         \
  " Setting it moves the Rect so that this point is at the value given, a Vector2 (its `x` " \
  "and `y`) or anything indexable by 0 and 1, as `center` reads it: each coordinate is "     \
  "converted to a 64-bit float, the position computed in 64 bits and rounded once to 32 "    \
  "bits. The size does not change."
#define TARVEX_CORNER(what) \
  rt::docstring<"The " what ", as a Vector2 (rounded to 32 bits)." TARVEX_MOVES>

constexpr Corner kCorners[] = {
    {"topleft", Along::near, Along::near, TARVEX_CORNER("top-left corner (`x`, `y`)")},
    {"topright", Along::far, Along::near, TARVEX_CORNER("top-right corner (`right`, `y`)")},
    {"bottomleft", Along::near, Along::far, TARVEX_CORNER("bottom-left corner (`x`, `bottom`)")},
    {"bottomright", Along::far, Along::far,
     TARVEX_CORNER("bottom-right corner (`right`, `bottom`)")},
    {"midtop", Along::centre, Along::near,
     TARVEX_CORNER("middle of the top edge (`centerx`, `y`)")},
    {"midbottom", Along::centre, Along::far,
     TARVEX_CORNER("middle of the bottom edge (`centerx`, `bottom`)")},
    {"midleft", Along::near, Along::centre,
     TARVEX_CORNER("middle of the left edge (`x`, `centery`)")},
    {"midright", Along::far, Along::centre,
     TARVEX_CORNER("middle of the right edge (`right`, `centery`)")},
};

using CornerProperty =
    rt::FieldProperty<kRectWhere, Obj, Corner, get_corner, set_corner, rt::Object<"value">>;

PyObject* get_size(Obj* self) {
  return v2_vt->new_(wide(self->_raw.width), wide(self->_raw.height));
}

bool set_size(Obj* self, PyObject* value) {
  double w, h;
  if (!point_value(value, &w, &h)) return false;
  self->_raw.width = narrow(w);
  self->_raw.height = narrow(h);
  return true;
}

constexpr const char* kSizeDoc = rt::docstring<
    "(`width`, `height`), as a Vector2. Setting it changes the width and the height, the "
    "position staying, from a Vector2 (its `x` and `y`) or anything indexable by 0 and 1, as "
    "`center` reads it: each value converted to a 64-bit float and rounded once to 32 bits.">;

// ---------------------------------------------------------------------------
// Docstrings

#define TARVEX_SIZE_AS_GIVEN "Sizes are used as given (see `get_normalized`). "
#define TARVEX_OTHER                                                                      \
  "`other` is a Rect, a Vector4, or a tuple or list of 4 numbers, read as `Rect(other)` " \
  "reads it (each value converted to a 64-bit float and rounded to 32 bits)."

constexpr rt::Name kMovedDoc =
    "A new Rect moved by `x` and `y`: its position is `self.x + x`, `self.y + y`, added in 64 "
    "bits and rounded once to 32 bits; the size is unchanged. pygame's `move` rounds to "
    "integers; here the values stay fractional.";
constexpr rt::Name kToMovedDoc = "Moves this Rect by `x` and `y` as `get_moved` does; returns it.";
constexpr rt::Name kInflatedDoc =
    "A new Rect grown by `x` in width and `y` in height about the same centre: position "
    "`self.x - x / 2`, `self.y - y / 2` and size `self.width + x`, `self.height + y`, each "
    "computed in 64 bits and rounded once to 32 bits. Negative amounts shrink it, past zero to "
    "negative sizes. pygame's `inflate` halves the amounts in integers; here they stay "
    "fractional.";
constexpr rt::Name kToInflatedDoc =
    "Grows this Rect by `x` and `y` about its centre as `get_inflated` does; returns it.";
constexpr rt::Name kScaledDoc =
    "A new Rect with its width multiplied by `x` and its height by `y` (by `x` when `y` is "
    "None), about the same centre. As in pygame's `scale_by`, the factors count by magnitude: "
    "a negative factor scales like its absolute value. The new sizes and positions are "
    "computed in 64 bits from the stored values and each rounded once to 32 bits.";
constexpr rt::Name kToScaledDoc =
    "Scales this Rect about its centre as `get_scaled` does; returns it.";
constexpr rt::Name kClampedDoc =
    "A new Rect of this size moved inside `other`, each axis on its own: at least as large as "
    "`other` on an axis, it is centred on `other` there; else, starting before `other`'s near "
    "edge, it moves to that edge; else, ending past `other`'s far edge, it moves back until the "
    "far edges meet; else it stays. Far edges are 32-bit sums, as in `right`; the new position "
    "is computed in 64 bits and rounded once to 32 bits. A NaN among the position and size of "
    "either rectangle on an axis makes the position on that axis NaN. " TARVEX_SIZE_AS_GIVEN
        TARVEX_OTHER;
constexpr rt::Name kToClampedDoc =
    "Moves this Rect inside `other` as `get_clamped` does; returns it.";
constexpr rt::Name kClippedDoc =
    "A new Rect, the part of this one inside `other`: from the larger near edges to the "
    "smaller far edges (32-bit sums, as in `right`), the size computed in 64 bits and rounded "
    "once to 32 bits. When the two do not overlap by the test of `collide_rect_rect` (edges "
    "that only touch do not, and a NaN never does), the result is the zero-size Rect at this "
    "one's position, `(self.x, self.y, 0, 0)`, as in pygame's `clip`. A zero-size rectangle "
    "inside the other clips to itself. " TARVEX_SIZE_AS_GIVEN TARVEX_OTHER;
constexpr rt::Name kToClippedDoc =
    "Reduces this Rect to its part inside `other` as `get_clipped` does; returns it.";
constexpr rt::Name kUnionDoc =
    "A new Rect, the smallest covering this one and `other`: from the smaller near edges to the "
    "larger far edges (32-bit sums, as in `right`), the size computed in 64 bits and rounded "
    "once to 32 bits. Sizes are used as given, as in pygame's `union`: a negative size puts a "
    "far edge before its near edge. A NaN edge of either rectangle makes that edge of the "
    "result NaN. " TARVEX_OTHER;
constexpr rt::Name kToUnionDoc =
    "Grows this Rect to cover `other` as `get_union` does; returns it.";
constexpr rt::Name kUnionAllDoc =
    "A new Rect covering this one and every rectangle in `rects`, any iterable of what "
    "`get_union` takes, read in order; with no items, a copy of this one. Edges as in "
    "`get_union`; the size is rounded to 32 bits once, at the end, so it can differ in the last "
    "bit from a chain of `get_union` calls. A wrong item raises ValueError \"rect must be a "
    "Rect, Vector4, tuple, or list of length 4\", or its conversion's error.";
constexpr rt::Name kToUnionAllDoc =
    "Grows this Rect to cover every rectangle in `rects` as `get_union_all` does; returns it. "
    "The items are all read before this Rect changes, so a failure leaves it as it was.";
constexpr rt::Name kFittedDoc =
    "A new Rect with this one's proportions, as large as fits inside `other` and centred in it, "
    "as pygame's `fit` makes it. Both rectangles count as the area they cover (a negative size "
    "by its magnitude, as `get_normalized` reads it), so the result's size is never negative. "
    "The dimension that limits the scale takes `other`'s size exactly; the other dimension, "
    "and the position, are computed in 64 bits and rounded once to 32 bits. A zero-size Rect, "
    "or one that cannot fit because `other` has no extent along an axis where it has some, gives "
    "the zero-size Rect at `other`'s centre; a NaN in either rectangle gives four NaNs. "
    "" TARVEX_OTHER;
constexpr rt::Name kToFittedDoc =
    "Scales and moves this Rect to fit inside `other` as `get_fitted` does; returns it.";
constexpr rt::Name kNormalizedDoc =
    "A new Rect covering the same area with no negative size: a negative width moves `x` to "
    "the far edge `self.x + self.width` (the 32-bit sum, as in `right`) and negates the "
    "width; the same for the height. Other values stay as they are, a NaN size included.";
constexpr rt::Name kToNormalizedDoc =
    "Flips the negative sizes of this Rect as `get_normalized` does (pygame's `normalize`); "
    "returns it.";
constexpr rt::Name kCopyDoc = "A new Rect with the same four values.";
constexpr rt::Name kContainsDoc =
    "True when `other` lies entirely inside this Rect, edges included: its near edges are not "
    "before this one's, its far edges not past this one's, and this one's far edges lie past "
    "its near edges, so that, as in pygame, a zero-size Rect contains nothing. Far edges are "
    "32-bit sums of the stored values. A NaN in either rectangle, or a negative size of this "
    "one, gives False. " TARVEX_OTHER;

template <rt::Name N, auto Body, class... P>
using method = OpsDeclare::method<N, Body, P...>;
using X = rt::Double<"x">;
using Y = rt::Double<"y">;
using OptionalY = rt::Optional<rt::DoubleOrNone<"y">, rt::MaybeDouble{0.0, false}, "None">;
using Other = RectLike<"other">;

}  // namespace

const PyMethodDef* geometry_methods() {
  static const PyMethodDef defs[] = {
      method<"get_moved", Changed<moved>::get, X, Y>::def<kMovedDoc>(),
      method<"to_moved", Changed<moved>::to, X, Y>::def<kToMovedDoc>(),
      method<"get_inflated", Changed<inflated>::get, X, Y>::def<kInflatedDoc>(),
      method<"to_inflated", Changed<inflated>::to, X, Y>::def<kToInflatedDoc>(),
      method<"get_scaled", Changed<scaled>::get, X, OptionalY>::def<kScaledDoc>(),
      method<"to_scaled", Changed<scaled>::to, X, OptionalY>::def<kToScaledDoc>(),
      method<"get_clamped", Changed<clamped>::get, Other>::def<kClampedDoc>(),
      method<"to_clamped", Changed<clamped>::to, Other>::def<kToClampedDoc>(),
      method<"get_clipped", Changed<clipped>::get, Other>::def<kClippedDoc>(),
      method<"to_clipped", Changed<clipped>::to, Other>::def<kToClippedDoc>(),
      method<"get_union", Changed<united>::get, Other>::def<kUnionDoc>(),
      method<"to_union", Changed<united>::to, Other>::def<kToUnionDoc>(),
      method<"get_union_all", get_union_all, Iterable<"rects">>::def<kUnionAllDoc>(),
      method<"to_union_all", to_union_all, Iterable<"rects">>::def<kToUnionAllDoc>(),
      method<"get_fitted", Changed<fitted>::get, Other>::def<kFittedDoc>(),
      method<"to_fitted", Changed<fitted>::to, Other>::def<kToFittedDoc>(),
      method<"get_normalized", Changed<normalized>::get>::def<kNormalizedDoc>(),
      method<"to_normalized", Changed<normalized>::to>::def<kToNormalizedDoc>(),
      method<"copy", copy>::def<kCopyDoc>(),
      method<"contains", contains, Other>::def<kContainsDoc>(),
      clip_line_def(),
      rt::kEndOfMethods,
  };
  static_assert(std::size(defs) == kGeometryMethodCount + 1);
  return defs;
}

const PyGetSetDef* geometry_properties() {
  static const auto defs = [] {
    std::array<PyGetSetDef, kGeometryPropertyCount + 1> g{};
    std::size_t k = 0;
    for (const Corner& c : kCorners) g[k++] = CornerProperty::def(c, c.doc);
    g[k++] = rt::Property<kRectWhere, Obj, "size", get_size, set_size>::def(kSizeDoc);
    g[k] = rt::kEndOfProperties;
    return g;
  }();
  static_assert(std::size(kCorners) + 2 == kGeometryPropertyCount + 1);
  return defs.data();
}

}  // namespace tarvex::rect
