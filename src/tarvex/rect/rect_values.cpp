// Inside tarvex.rect.rect: argument reading and the collision tests.
#include "tarvex/rect/rect_values.h"

#include <utility>

#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/vector2/vector2.h"
#include "tarvex/vector4/vector4.h"

namespace tarvex::rect {

using rt::Ref;

float component(const Rectangle& r, int i) noexcept {
  switch (i) {
    case 0:
      return r.x;
    case 1:
      return r.y;
    case 2:
      return r.width;
    default:
      return r.height;
  }
}

void set_component(Rectangle& r, int i, float v) noexcept {
  switch (i) {
    case 0:
      r.x = v;
      break;
    case 1:
      r.y = v;
      break;
    case 2:
      r.width = v;
      break;
    default:
      r.height = v;
      break;
  }
}

Rectangle narrow_rect(const double* d) noexcept {
  return Rectangle{rt::narrow(d[0]), rt::narrow(d[1]), rt::narrow(d[2]), rt::narrow(d[3])};
}

// ---------------------------------------------------------------------------
// Arguments converted to doubles

namespace {

bool attr_double(PyObject* o, int letter, double* out) {
  Ref v(PyObject_GetAttr(o, s_attr[letter]));
  return v && rt::to_double(v.get(), out);
}

}  // namespace

// Both vector types are final and their component getters return the stored
// value widened, which is what the inline readers take from the structure;
// anything else is read through its attributes.
bool vector2_xy_attributes(PyObject* v, double* x, double* y) {
  return attr_double(v, 0, x) && attr_double(v, 1, y);
}

bool vector4_xyzw_attributes(PyObject* v, double* out) {
  for (int i = 0; i < 4; ++i)
    if (!attr_double(v, i, &out[i])) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Values compared and added with the interpreter's operators

namespace {

// A coordinate taken from the argument as it is. An exact float, or an exact
// int small enough that its sums with another such int stay exact in a
// double, is compared and added in C with the same result as the
// interpreter's operators; anything else keeps its object and goes through
// them.
struct Num {
  Ref obj;  // the object, when there is one
  double d = 0.0;
  bool fast = false;
};

constexpr long long kExactIntLimit = 1LL << 52;

Num num_from(Ref o) {
  Num n;
  if (PyFloat_CheckExact(o.get())) {
    n.d = PyFloat_AS_DOUBLE(o.get());
    n.fast = true;
  } else if (PyLong_CheckExact(o.get())) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(o.get(), &overflow);
    if (!overflow && v >= -kExactIntLimit && v <= kExactIntLimit) {
      n.d = static_cast<double>(v);
      n.fast = true;
    }
  }
  n.obj = std::move(o);
  return n;
}

Num num_fast(double d) {
  Num n;
  n.d = d;
  n.fast = true;
  return n;
}

// The value as an object; a fast value without one came from a float.
PyObject* num_object(Num& n) {
  if (!n.obj) n.obj.reset(PyFloat_FromDouble(n.d));
  return n.obj.get();
}

// a + b with the interpreter's addition; false on failure.
bool num_add(Num& a, Num& b, Num* out) {
  if (a.fast && b.fast) {
    *out = num_fast(a.d + b.d);
    return true;
  }
  PyObject* pa = num_object(a);
  PyObject* pb = pa ? num_object(b) : nullptr;
  if (!pb) return false;
  Ref sum(PyNumber_Add(pa, pb));
  if (!sum) return false;
  *out = num_from(std::move(sum));
  return true;
}

bool c_compare(double a, double b, int op) noexcept {
  switch (op) {
    case Py_LE:
      return a <= b;
    case Py_GT:
      return a > b;
    default:
      return false;
  }
}

// `recv op n` (recv_left) or `n op recv`, where recv is one of the
// receiver's values entering as a Python float. 1, 0, or -1 on error.
int num_compare(double recv, Num& n, int op, bool recv_left) {
  if (n.fast) return recv_left ? c_compare(recv, n.d, op) : c_compare(n.d, recv, op);
  PyObject* other = num_object(n);
  if (!other) return -1;
  Ref f(PyFloat_FromDouble(recv));
  if (!f) return -1;
  return recv_left ? PyObject_RichCompareBool(f.get(), other, op)
                   : PyObject_RichCompareBool(other, f.get(), op);
}

// Closed point test with the interpreter's comparisons; read(i, &num) gives
// coordinate i (0: px, 1: py). py is read only once px is inside.
template <class Read>
int typed_point_test(const Rectangle& r, Read read) {
  const Edges e(r);
  Num px;
  if (!read(0, &px)) return -1;
  int c = num_compare(e.x, px, Py_LE, true);
  if (c > 0) c = num_compare(e.right, px, Py_LE, false);
  if (c <= 0) return c;
  Num py;
  if (!read(1, &py)) return -1;
  c = num_compare(e.y, py, Py_LE, true);
  return c > 0 ? num_compare(e.bottom, py, Py_LE, false) : c;
}

// Open overlap test with the interpreter's additions and comparisons;
// read(i, &num) gives value i of the other rectangle (x, y, width, height),
// read when its step needs it and again for a later step.
template <class Read>
int typed_rect_test(const Rectangle& r, Read read) {
  const Edges e(r);
  for (int axis = 0; axis < 2; ++axis) {
    const double near = axis ? e.y : e.x;
    const double far = axis ? e.bottom : e.right;
    Num pos, size, end;
    if (!read(axis, &pos) || !read(axis + 2, &size) || !num_add(pos, size, &end)) return -1;
    int c = num_compare(near, end, Py_GT, false);  // oend > near
    if (c <= 0) return c;
    Num again;
    if (!read(axis, &again)) return -1;
    c = num_compare(far, again, Py_GT, true);  // far > opos
    if (c <= 0) return c;
  }
  return 1;
}

template <bool List>
auto sequence_reader(PyObject* seq) {
  return [seq](int i, Num* out) {
    Ref item = List ? Ref(PyList_GetItemRef(seq, i)) : Ref::borrow(PyTuple_GET_ITEM(seq, i));
    if (!item) return false;
    *out = num_from(std::move(item));
    return true;
  };
}

double vector_component(const tarvex_Vector2Object* v, int i) noexcept {
  return i ? wide(v->data.y) : wide(v->data.x);
}
double vector_component(const tarvex_Vector4Object* v, int i) noexcept {
  switch (i) {
    case 0:
      return v->data.x;
    case 1:
      return v->data.y;
    case 2:
      return v->data.z;
    default:
      return v->data.w;
  }
}

// Reads components of a vector: from the structure of an exact instance,
// else (None included) through the attributes.
template <class VecObj>
auto vector_reader(PyObject* v, PyTypeObject* type) {
  return [v, type](int i, Num* out) {
    if (Py_IS_TYPE(v, type)) {
      *out = num_fast(vector_component(reinterpret_cast<VecObj*>(v), i));
      return true;
    }
    Ref a(PyObject_GetAttr(v, s_attr[i]));
    if (!a) return false;
    *out = num_from(std::move(a));
    return true;
  };
}

}  // namespace

template <bool List>
int check_sequence(PyObject* o, const char* param, int need) {
  const char* kind = List ? "list" : "tuple";
  if (List ? PyList_Check(o) : PyTuple_Check(o)) {
    Py_ssize_t n = List ? PyList_GET_SIZE(o) : PyTuple_GET_SIZE(o);
    if (n >= need) return 0;
    PyErr_Format(PyExc_ValueError, "%s needs at least %d items, got %zd", kind, need, n);
  } else if (o == Py_None) {
    PyErr_Format(PyExc_TypeError, "'%.200s' object is not subscriptable", Py_TYPE(o)->tp_name);
  } else {
    rt::arg_type_error(param, kind, o);
  }
  return -1;
}

template <bool List>
int sequence_point_test(const Rectangle& r, PyObject* point) {
  return typed_point_test(r, sequence_reader<List>(point));
}

template <bool List>
int sequence_rect_test(const Rectangle& r, PyObject* other) {
  return typed_rect_test(r, sequence_reader<List>(other));
}

int vector2_point_test(const Rectangle& r, PyObject* point) {
  return typed_point_test(r, vector_reader<tarvex_Vector2Object>(point, v2_type));
}

int vector4_rect_test(const Rectangle& r, PyObject* other) {
  return typed_rect_test(r, vector_reader<tarvex_Vector4Object>(other, v4_type));
}

// ---------------------------------------------------------------------------
// The constructor's argument forms

int value_error(const char* msg) {
  PyErr_SetString(PyExc_ValueError, msg);
  return -1;
}

namespace {

// One argument: Vector2 (a size), Rect, Vector4, or a sequence of four.
int init_one(PyObject* a, Rectangle* out) {
  double d[4] = {0.0, 0.0, 0.0, 0.0};
  if (PyTuple_CheckExact(a) || PyList_CheckExact(a)) {
    // Neither can be one of the vector or rectangle types: skip those tests.
  } else if (is_vector2(a)) {
    if (!vector2_xy(a, &d[2], &d[3])) return -1;
    *out = narrow_rect(d);
    return 0;
  } else if (is_rect(a)) {
    *out = reinterpret_cast<tarvex_RectObject*>(a)->_raw;
    return 0;
  } else if (is_vector4(a)) {
    if (!vector4_xyzw(a, d)) return -1;
    *out = narrow_rect(d);
    return 0;
  } else if (!is_list_or_tuple(a)) {
    return value_error("Rect takes Vector2, Rect, Vector4, or list/tuple of length 4");
  }
  Py_ssize_t len = seq_length(a);
  if (len < 0) return -1;
  if (len != 4) return value_error("list/tuple for rect must have 4 elements");
  if (!items_double(a, 4, d)) return -1;
  *out = narrow_rect(d);
  return 0;
}

// Two arguments, position and size. The sequence form stores its four
// values before it checks the kind of `size`.
int init_two(tarvex_RectObject* self, PyObject* pos, PyObject* size) {
  double d[4];
  if (is_vector2(pos)) {
    if (!vector2_xy(pos, &d[0], &d[1]) || !vector2_xy(size, &d[2], &d[3])) return -1;
    self->_raw = narrow_rect(d);
    return 0;
  }
  if (is_list_or_tuple(pos)) {
    Py_ssize_t len = seq_length(pos);
    if (len < 0) return -1;
    if (len == 2) {
      if (!item_double(pos, 0, &d[0]) || !item_double(pos, 1, &d[1]) ||
          !item_double(size, 0, &d[2]) || !item_double(size, 1, &d[3]))
        return -1;
      self->_raw = narrow_rect(d);
      if (is_vector2(size)) return 0;
      if (is_list_or_tuple(size)) {
        Py_ssize_t slen = seq_length(size);
        if (slen < 0) return -1;
        if (slen == 2) return 0;
      }
      return value_error("Second argument must be a Vector2 or list/tuple of length 2");
    }
  }
  return value_error("First argument must be a Vector2 or list/tuple of length 2");
}

}  // namespace

// Every form but the two-argument one converts first and stores at the end,
// so a failure leaves the previous values in place.
int init_args(tarvex_RectObject* self, PyObject* const* args, Py_ssize_t n) {
  Rectangle r{0.0f, 0.0f, 0.0f, 0.0f};
  switch (n) {
    case 0:
      break;
    case 1:
      if (init_one(args[0], &r) < 0) return -1;
      break;
    case 2:
      return init_two(self, args[0], args[1]);
    case 4: {
      double d[4];
      for (int i = 0; i < 4; ++i)
        if (!rt::to_double(args[i], &d[i])) return -1;
      r = narrow_rect(d);
      break;
    }
    default:
      PyErr_Format(PyExc_TypeError, "Rect expected 0, 1, 2, or 4 arguments, got %zd", n);
      return -1;
  }
  self->_raw = r;
  return 0;
}

template int check_sequence<false>(PyObject*, const char*, int);
template int check_sequence<true>(PyObject*, const char*, int);
template int sequence_point_test<false>(const Rectangle&, PyObject*);
template int sequence_point_test<true>(const Rectangle&, PyObject*);
template int sequence_rect_test<false>(const Rectangle&, PyObject*);
template int sequence_rect_test<true>(const Rectangle&, PyObject*);

}  // namespace tarvex::rect
