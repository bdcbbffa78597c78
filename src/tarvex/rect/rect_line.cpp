// Inside tarvex.rect.rect: clip_line, the part of a line segment that lies
// inside the rectangle.
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

enum Edge : int { kNone = -1, kLeft, kRight, kTop, kBottom };

struct Box {
  double edge[4];  // left, right, top, bottom
  double clamp_x(double v) const noexcept {
    return std::fmin(std::fmax(v, edge[kLeft]), edge[kRight]);
  }
  double clamp_y(double v) const noexcept {
    return std::fmin(std::fmax(v, edge[kTop]), edge[kBottom]);
  }
};

// The end at t along the segment, inside the box. An end that was cut (e
// is its edge) lies exactly on that edge; an end that was not is the given
// point. Either is pulled in where rounding left it just outside: a given
// point only when the segment misses the box by less than the rounding.
void end_at(const Box& b, const double* d, double t, Edge e, const double* given, double* out) {
  if (e == kNone) {
    out[0] = b.clamp_x(given[0]);
    out[1] = b.clamp_y(given[1]);
    return;
  }
  const double x = d[0] + t * (d[2] - d[0]);
  const double y = d[1] + t * (d[3] - d[1]);
  out[0] = (e == kLeft || e == kRight) ? b.edge[e] : b.clamp_x(x);
  out[1] = (e == kTop || e == kBottom) ? b.edge[e] : b.clamp_y(y);
}

// Liang and Barsky's clipping of the segment d (x1, y1, x2, y2) to the
// closed box; false when no point of it is inside.
bool clip(const Box& b, const double* d, double* out) {
  const double dx = d[2] - d[0], dy = d[3] - d[1];
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {d[0] - b.edge[kLeft], b.edge[kRight] - d[0], d[1] - b.edge[kTop],
                       b.edge[kBottom] - d[1]};
  double t0 = 0.0, t1 = 1.0;
  Edge e0 = kNone, e1 = kNone;
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;  // parallel to this edge and outside it
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      if (t > t0) {
        t0 = t;
        e0 = static_cast<Edge>(i);
      }
    } else if (t < t1) {
      t1 = t;
      e1 = static_cast<Edge>(i);
    }
  }
  if (t0 > t1) return false;
  end_at(b, d, t0, e0, d, out);
  end_at(b, d, t1, e1, d + 2, out + 2);
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
  const Box b{{wide(r.x), wide(far_edge(r.x, r.width)), wide(r.y), wide(far_edge(r.y, r.height))}};
  // A negative size (or a NaN edge) leaves no point inside, as in collide_point.
  double out[4];
  if (!(b.edge[kLeft] <= b.edge[kRight] && b.edge[kTop] <= b.edge[kBottom]) || !clip(b, d, out))
    return PyTuple_New(0);
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
    "64 bits from the converted coordinates; both are then rounded to 32 bits by Vector2. A "
    "NaN coordinate gives an empty tuple; an infinite one raises ValueError.">;

}  // namespace

PyMethodDef clip_line_def() {
  return {"clip_line", rt::cfunc(clip_line), METH_FASTCALL | METH_KEYWORDS, kClipLineDoc};
}

}  // namespace tarvex::rect
