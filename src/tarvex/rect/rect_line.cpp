// Inside tarvex.rect.rect: clip_line, the part of a line segment that lies
// inside the rectangle.
#include <algorithm>
#include <cmath>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect_ops.h"
#include "tarvex/rect/rect_values.h"

namespace tarvex::rect {

namespace {

constexpr const char* kPointMessage = "Point must be a Vector2, tuple, or list of length 2";
constexpr const char* kLineMessage = "line must be a tuple or list of 4 numbers or of 2 points";

bool value_error(const char* message) {
  PyErr_SetString(PyExc_ValueError, message);
  return false;
}

// A point as collide_point reads it: a Vector2, or a list or tuple of
// exactly 2 numbers.
bool read_point(PyObject* p, double* out) {
  if (is_vector2(p)) return vector2_xy(p, &out[0], &out[1]);
  Py_ssize_t len = is_list_or_tuple(p) ? seq_length(p) : -2;
  if (len == -1) return false;
  if (len != 2) return value_error(kPointMessage);
  return items_double(p, 2, out);
}

// The segment from the arguments: four numbers, two points, or one list or
// tuple of either.
bool read_line(PyObject* const* args, Py_ssize_t n, double* d) {
  switch (n) {
    case 4:
      for (int i = 0; i < 4; ++i)
        if (!rt::to_double(args[i], &d[i])) return false;
      return true;
    case 2:
      return read_point(args[0], d) && read_point(args[1], d + 2);
    case 1:
      break;
    default:
      PyErr_Format(PyExc_TypeError, "clip_line expected 1, 2, or 4 arguments, got %zd", n);
      return false;
  }
  PyObject* line = args[0];
  Py_ssize_t len = is_list_or_tuple(line) ? seq_length(line) : -2;
  if (len == -1) return false;
  if (len == 4) return items_double(line, 4, d);
  if (len != 2) return value_error(kLineMessage);
  for (Py_ssize_t i = 0; i < 2; ++i) {
    // Held: reading the first point can shrink a list.
    rt::Ref p(PySequence_GetItem(line, i));
    if (!p || !read_point(p.get(), d + 2 * i)) return false;
  }
  return true;
}

// x1 * y0 - x0 * y1 to within 1.5 units in the last place of the result
// (Kahan's determinant): the products' rounding errors are recovered with
// fused multiply-adds, so the difference does not cancel to noise.
double cross_of(double x0, double y0, double x1, double y1) noexcept {
  const double a = x1 * y0, b = x0 * y1, plain = a - b;
  // Without a cancellation of more than 10 bits the plain difference is
  // good to 2^-43 of itself, finer than the 32-bit points need.
  if (std::fabs(plain) >= 0x1p-10 * (std::fabs(a) + std::fabs(b))) return plain;
  const double w = x0 * y1;
  const double e = std::fma(-x0, y1, w);
  return std::fma(x1, y0, -w) + e;
}

// The segment (u0, v0) to (u1, v1) clipped to the closed box [lo_u, hi_u] x
// [lo_v, hi_v], where |du| >= |dv| (u is the coordinate the segment moves
// along the most). The line is held as du * v - dv * u = c, anchored at the
// origin rather than at an end: a point on it is computed with errors of
// the size of the box's own coordinates, however far away the ends lie. The
// u range is cut first, exactly (comparisons only); the v range then cuts
// where the line crosses lo_v or hi_v.
struct Frame {
  double p[4];     // u0, v0, u1, v1
  double edge[4];  // lo_u, hi_u, lo_v, hi_v
  double du, dv, c;
  double v_at(double u) const noexcept { return dv == 0.0 ? p[1] : (dv * u + c) / du; }
  double u_at(double v) const noexcept { return (du * v - c) / dv; }

  // One end: the u it was cut to (or its own u) and the v there; `own` says
  // whether that u is the end's own. Writes the end's point inside the box.
  void end(double u, double v, bool own, double ua, double ub, double* out) const noexcept {
    const double lo = std::fmin(ua, ub), hi = std::fmax(ua, ub);
    if (v < edge[2] || v > edge[3]) {
      const double cut = v < edge[2] ? edge[2] : edge[3];
      out[0] = std::fmin(std::fmax(u_at(cut), lo), hi);
      out[1] = cut;
      return;
    }
    out[0] = u;
    out[1] = own ? v : std::fmin(std::fmax(v, edge[2]), edge[3]);
  }

  bool clip(double* out) const noexcept {
    double ua, ub;
    if (du >= 0.0) {
      ua = std::fmax(p[0], edge[0]);
      ub = std::fmin(p[2], edge[1]);
      if (ua > ub) return false;
    } else {
      ua = std::fmin(p[0], edge[1]);
      ub = std::fmax(p[2], edge[0]);
      if (ua < ub) return false;
    }
    const bool own_a = ua == p[0], own_b = ub == p[2];
    const double va = own_a ? p[1] : v_at(ua), vb = own_b ? p[3] : v_at(ub);
    if ((va < edge[2] && vb < edge[2]) || (va > edge[3] && vb > edge[3])) return false;
    end(ua, va, own_a, ua, ub, out);
    end(ub, vb, own_b, ua, ub, out + 2);
    return true;
  }
};

// The power of two 2^k that brings the segment's largest coordinate within
// [2^-500, 2^500], so that the products of the line's equation neither
// overflow nor underflow; the box's 32-bit edges stay exact under it.
int scale_exponent(const double* d) noexcept {
  double m = 0.0;
  for (int i = 0; i < 4; ++i) m = std::fmax(m, std::fabs(d[i]));
  if (m > 0x1p500) return 500 - std::ilogb(m);
  if (m > 0.0 && m < 0x1p-500) return std::min(-std::ilogb(m), 800);
  return 0;
}

// The segment d (x1, y1, x2, y2) clipped to the closed box (left, right,
// top, bottom); false when no point of it is inside.
bool clip(const double* box, const double* d, double* out) {
  const int k = scale_exponent(d);
  double s[4], b[4];
  for (int i = 0; i < 4; ++i) {
    s[i] = k ? std::ldexp(d[i], k) : d[i];
    b[i] = k ? std::ldexp(box[i], k) : box[i];
  }
  const double dx = s[2] - s[0], dy = s[3] - s[1];
  const double c = cross_of(s[0], s[1], s[2], s[3]);
  // Along y the roles swap: dy * x - dx * y = -c.
  const bool along_x = std::fabs(dx) >= std::fabs(dy);
  const Frame f = along_x ? Frame{{s[0], s[1], s[2], s[3]}, {b[0], b[1], b[2], b[3]}, dx, dy, c}
                          : Frame{{s[1], s[0], s[3], s[2]}, {b[2], b[3], b[0], b[1]}, dy, dx, -c};
  double uv[4];
  if (!f.clip(uv)) return false;
  for (int i = 0; i < 4; ++i) {
    // An end inside the box is the given point; unscaling is exact there.
    const int j = along_x ? i : i ^ 1;
    out[j] = k ? std::ldexp(uv[i], -k) : uv[i];
  }
  return true;
}

PyObject* clip_line_of(Obj* self, const double* d) {
  for (int i = 0; i < 4; ++i) {
    if (std::isnan(d[i])) return PyTuple_New(0);
    if (std::isinf(d[i])) {
      PyErr_SetString(PyExc_ValueError, "clip_line needs a segment with finite coordinates");
      return nullptr;
    }
  }
  const Rectangle& r = self->_raw;
  const double b[4] = {wide(r.x), wide(far_edge(r.x, r.width)), wide(r.y),
                       wide(far_edge(r.y, r.height))};
  // A negative size (or a NaN edge) leaves no point inside, as in collide_point.
  double out[4];
  if (!(b[0] <= b[1] && b[2] <= b[3]) || !clip(b, d, out)) return PyTuple_New(0);
  rt::Ref a(v2_vt->new_(out[0], out[1]));
  rt::Ref z(a ? v2_vt->new_(out[2], out[3]) : nullptr);
  return z ? PyTuple_Pack(2, a.get(), z.get()) : nullptr;
}

PyObject* clip_line(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* r = nullptr;
  double d[4];
  if (kwnames && PyTuple_GET_SIZE(kwnames))
    rt::unexpected_keyword("clip_line", PyTuple_GET_ITEM(kwnames, 0));
  else if (read_line(args, nargs, d))
    r = clip_line_of(reinterpret_cast<Obj*>(self), d);
  if (!r) rt::add_traceback(kRectWhere, "clip_line");
  return r;
}

constexpr const char* kClipLineDoc = rt::docstring<
    "clip_line($self, /, *line)\n--\n\n"
    "The part of a line segment inside this Rect, as a tuple of two Vector2 points, or an "
    "empty tuple when no point of it is inside. The segment is given as pygame's `clipline` "
    "takes it: four numbers `x1, y1, x2, y2`, two points, or one tuple or list of either "
    "(a point is a Vector2, or a tuple or list of 2 numbers, as `collide_point` takes it). "
    "The Rect is closed, as in `collide_point`: a segment along an edge, or touching a "
    "corner, is inside, and a Rect of negative size contains no point. pygame's integer "
    "rectangle leaves out its last column and row; this one keeps its far edges (32-bit sums, "
    "as in `right`).\n\n"
    "The points keep the segment's direction. An end inside the Rect comes back as given; an "
    "end that was cut lies exactly on the edge it was cut at, its other coordinate computed in "
    "64 bits from the converted coordinates; both are then rounded to 32 bits by Vector2. The "
    "line is taken through its distance from the origin (a cross product of the ends with its "
    "rounding error recovered) and scaled by a power of two where its coordinates are huge or "
    "tiny, so the points are accurate to the Rect's own scale however long the segment: "
    "whether a segment that only grazes a corner touches the Rect is decided within that "
    "rounding. A NaN coordinate gives an empty tuple; an infinite one raises ValueError.">;

}  // namespace

PyMethodDef clip_line_def() {
  return {"clip_line", rt::cfunc(clip_line), METH_FASTCALL | METH_KEYWORDS, kClipLineDoc};
}

}  // namespace tarvex::rect
