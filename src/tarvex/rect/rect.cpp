// tarvex.rect.rect: the axis-aligned rectangle stored as raylib's Rectangle.
//
// Arithmetic widths matter here and differ on purpose:
//  - the far edges (right, bottom) are 32-bit sums of the stored floats, in
//    the properties and in every collision test;
//  - the centres are computed in 64 bits from the widened values;
//  - the general collision tests convert their argument to doubles and test
//    in C; the typed tuple, list and vector variants compare and add with
//    the interpreter's own operators, reading items lazily.
#include "tarvex/rect/rect.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "tarvex/_runtime/runtime.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;
using Obj = tarvex_RectObject;

constexpr char kFullName[] = "tarvex.rect.rect.Rect";
constexpr char kFile[] = "src/tarvex/rect/rect";
constexpr char kPickleMessage[] =
    "self._raw is a structure member: pickling of structure members must be requested "
    "explicitly";

PyTypeObject rect_type = {PyVarObject_HEAD_INIT(nullptr, 0)};
tarvex_RectVTable vtable{};

// Bound at exec time.
PyTypeObject* v2_type;
PyTypeObject* v4_type;
tarvex_Vector2VTable* v2_vt;
tarvex_Vector4VTable* v4_vt;

rt::Sibling siblings[] = {
    {"tarvex.vector2.vector2", "Vector2", sizeof(tarvex_Vector2Object), &v2_type,
     reinterpret_cast<void**>(&v2_vt)},
    {"tarvex.vector4.vector4", "Vector4", sizeof(tarvex_Vector4Object), &v4_type,
     reinterpret_cast<void**>(&v4_vt)},
};

// Interned constants.
PyObject* s_attr[4];   // "x", "y", "z", "w"
PyObject* s_index[4];  // 0, 1, 2, 3

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
PyObject* obj(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }
bool is_rect(PyObject* o) noexcept { return PyObject_TypeCheck(o, &rect_type); }
bool is_vector2(PyObject* o) noexcept { return PyObject_TypeCheck(o, v2_type); }
bool is_vector4(PyObject* o) noexcept { return PyObject_TypeCheck(o, v4_type); }
bool is_list_or_tuple(PyObject* o) noexcept { return PyTuple_Check(o) || PyList_Check(o); }

void traceback(const char* name) { rt::add_traceback(kFullName, name, kFile); }

double wide(float f) noexcept { return static_cast<double>(f); }
// A far edge: the sum rounded to 32 bits.
float far_edge(float a, float b) noexcept { return a + b; }

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
// Reading arguments

// The interpreter's float conversion; an exact int is converted without the
// temporary float its __float__ would make (same value, same OverflowError).
bool to_double(PyObject* o, double* out) {
  if (PyLong_CheckExact(o)) {
    double d = PyLong_AsDouble(o);
    if (d == -1.0 && PyErr_Occurred()) return false;
    *out = d;
    return true;
  }
  return rt::to_double(o, out);
}

// len() of a list or tuple; subclasses go through their own __len__.
Py_ssize_t seq_length(PyObject* o) {
  if (PyTuple_CheckExact(o)) return PyTuple_GET_SIZE(o);
  if (PyList_CheckExact(o)) return PyList_GET_SIZE(o);
  return PyObject_Size(o);
}

// o[i] by item access. Exact lists are read with a bounds check, since
// converting an earlier item can run code that shrinks the list.
Ref get_item(PyObject* o, int i) {
  if (PyTuple_CheckExact(o)) {
    if (i < PyTuple_GET_SIZE(o)) return Ref::borrow(PyTuple_GET_ITEM(o, i));
    PyErr_SetString(PyExc_IndexError, "tuple index out of range");
    return Ref();
  }
  if (PyList_CheckExact(o)) return Ref(PyList_GetItemRef(o, i));
  return Ref(PyObject_GetItem(o, s_index[i]));
}

bool item_double(PyObject* o, int i, double* out) {
  Ref v = get_item(o, i);
  return v && to_double(v.get(), out);
}

bool attr_double(PyObject* o, int letter, double* out) {
  Ref v(PyObject_GetAttr(o, s_attr[letter]));
  return v && to_double(v.get(), out);
}

// Components of a Vector2 or Vector4 as doubles. Both types are final and
// their component getters return the stored value widened, so an exact
// instance is read from its structure, which gives the same numbers without
// making Python floats; anything else is read through its attributes.
bool vector2_xy(PyObject* v, double* x, double* y) {
  if (Py_IS_TYPE(v, v2_type)) {
    const Vector2& d = reinterpret_cast<tarvex_Vector2Object*>(v)->data;
    *x = wide(d.x);
    *y = wide(d.y);
    return true;
  }
  return attr_double(v, 0, x) && attr_double(v, 1, y);
}

bool vector4_xyzw(PyObject* v, double* out) {
  if (Py_IS_TYPE(v, v4_type)) {
    const vector4_t& d = reinterpret_cast<tarvex_Vector4Object*>(v)->data;
    out[0] = d.x;
    out[1] = d.y;
    out[2] = d.z;
    out[3] = d.w;
    return true;
  }
  for (int i = 0; i < 4; ++i)
    if (!attr_double(v, i, &out[i])) return false;
  return true;
}

// Items 0..n-1 of a sequence, each read and converted in turn.
bool items_double(PyObject* o, int n, double* out) {
  for (int i = 0; i < n; ++i)
    if (!item_double(o, i, &out[i])) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Creation and construction

Obj* alloc() noexcept {
  Obj* o = PyObject_New(Obj, &rect_type);
  if (o) {
    o->__pyx_vtab = &vtable;
    o->_raw = Rectangle{0.0f, 0.0f, 0.0f, 0.0f};
  }
  return o;
}

PyObject* new_(Rectangle r) {
  Obj* o = alloc();
  if (!o) return nullptr;
  o->_raw = r;
  return obj(o);
}

PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
  PyObject* o = t->tp_alloc(t, 0);
  if (o) {
    as(o)->__pyx_vtab = &vtable;
    as(o)->_raw = Rectangle{0.0f, 0.0f, 0.0f, 0.0f};
  }
  return o;
}

void dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

int value_error(const char* msg) {
  PyErr_SetString(PyExc_ValueError, msg);
  return -1;
}

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
    *out = as(a)->_raw;
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
int init_two(Obj* self, PyObject* pos, PyObject* size) {
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

// Every form but the two-argument one converts first and stores at the end,
// so a failure leaves the previous values in place.
int init_args(Obj* self, PyObject* const* args, Py_ssize_t n) {
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
        if (!to_double(args[i], &d[i])) return -1;
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

// Only the exact type reaches this: tp_vectorcall is not inherited.
PyObject* vectorcall(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  if (kwnames && PyTuple_GET_SIZE(kwnames)) {
    rt::unexpected_keyword("__init__", PyTuple_GET_ITEM(kwnames, 0));
    traceback("__init__");
    return nullptr;
  }
  Ref o(obj(alloc()));
  if (!o) return nullptr;
  if (init_args(as(o.get()), args, PyVectorcall_NARGS(nargsf)) < 0) {
    traceback("__init__");
    return nullptr;
  }
  return o.release();
}

int tp_init(PyObject* self, PyObject* args, PyObject* kwds) {
  if (rt::keywords_refused("__init__", kwds) ||
      init_args(as(self), PySequence_Fast_ITEMS(args), PyTuple_GET_SIZE(args)) < 0) {
    traceback("__init__");
    return -1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Override dispatch of the C-level entries

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

constexpr const char* kMethodNames[kMethodCount] = {"get_width",
                                                    "get_height",
                                                    "collide_point",
                                                    "collide_point_vector2",
                                                    "collide_point_tuple",
                                                    "collide_point_list",
                                                    "collide_rect",
                                                    "collide_rect_vector4",
                                                    "collide_rect_rect",
                                                    "collide_rect_tuple",
                                                    "collide_rect_list",
                                                    "get_vector4",
                                                    "get_tuple"};

PyObject* s_method[kMethodCount];      // interned names
PyCFunction own_method[kMethodCount];  // the built-in functions behind them

// With dispatch 0 on an instance of a Python subclass, finds the method of
// the entry's name. Returns 1 with *out set when it is an override, 0 when
// the built-in code should run, -1 on error.
int find_override(Obj* self, int dispatch, Method m, Ref* out) {
  if (dispatch) return 0;
  PyTypeObject* t = Py_TYPE(self);
  if (t == &rect_type) return 0;
  if (t->tp_dictoffset == 0 && !(t->tp_flags & (Py_TPFLAGS_HEAPTYPE | Py_TPFLAGS_IS_ABSTRACT)))
    return 0;
  Ref found(PyObject_GetAttr(obj(self), s_method[m]));
  if (!found) return -1;
  if (PyCFunction_Check(found.get()) && PyCFunction_GET_FUNCTION(found.get()) == own_method[m])
    return 0;
  *out = std::move(found);
  return 1;
}

// Calls the override with the entry's argument (or none).
Ref call_override(const Ref& method, PyObject* arg) {
  return Ref(arg ? PyObject_CallOneArg(method.get(), arg) : PyObject_CallNoArgs(method.get()));
}

// Collision entries: 1 or 0, and 0 with the exception pending on failure.
// An override's result counts by its truth value.
int collide_override(const Ref& method, PyObject* arg, Method m) {
  Ref r = call_override(method, arg);
  int truth = r ? PyObject_IsTrue(r.get()) : -1;
  if (truth < 0) {
    traceback(kMethodNames[m]);
    return 0;
  }
  return truth;
}

// ---------------------------------------------------------------------------
// Values compared and added with the interpreter's operators

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

// The receiver's near and far edges.
struct Edges {
  double x, y, right, bottom;
  explicit Edges(const Rectangle& r)
      : x(wide(r.x)),
        y(wide(r.y)),
        right(wide(far_edge(r.x, r.width))),
        bottom(wide(far_edge(r.y, r.height))) {}
};

// Closed point test with the interpreter's comparisons; read(i, &num) gives
// coordinate i (0: px, 1: py). py is read only once px is inside.
template <class Read>
int typed_point_test(Obj* self, Read read) {
  const Edges e(self->_raw);
  int c;
  Num px;
  if (!read(0, &px)) return -1;
  if ((c = num_compare(e.x, px, Py_LE, true)) <= 0) return c;
  if ((c = num_compare(e.right, px, Py_LE, false)) <= 0) return c;
  Num py;
  if (!read(1, &py)) return -1;
  if ((c = num_compare(e.y, py, Py_LE, true)) <= 0) return c;
  return num_compare(e.bottom, py, Py_LE, false);
}

// Open overlap test with the interpreter's additions and comparisons;
// read(i, &num) gives value i of the other rectangle (x, y, width, height),
// read when its step needs it and again for a later step.
template <class Read>
int typed_rect_test(Obj* self, Read read) {
  const Edges e(self->_raw);
  int c;
  for (int axis = 0; axis < 2; ++axis) {
    const double near = axis ? e.y : e.x;
    const double far = axis ? e.bottom : e.right;
    Num pos, size, end;
    if (!read(axis, &pos) || !read(axis + 2, &size) || !num_add(pos, size, &end)) return -1;
    if ((c = num_compare(near, end, Py_GT, false)) <= 0) return c;  // oend > near
    Num again;
    if (!read(axis, &again)) return -1;
    if ((c = num_compare(far, again, Py_GT, true)) <= 0) return c;  // far > opos
  }
  return 1;
}

bool point_test(const Rectangle& r, double px, double py) noexcept {
  const Edges e(r);
  return e.x <= px && px <= e.right && e.y <= py && py <= e.bottom;
}

bool rect_test(const Rectangle& r, const double* o) noexcept {
  const Edges e(r);
  return o[0] + o[2] > e.x && e.right > o[0] && o[1] + o[3] > e.y && e.bottom > o[1];
}

// Refusals of the typed entries, for C-level callers too.
void not_subscriptable(PyObject* o) {
  PyErr_Format(PyExc_TypeError, "'%.200s' object is not subscriptable", Py_TYPE(o)->tp_name);
}
int too_short(const char* kind, int need, Py_ssize_t got) {
  PyErr_Format(PyExc_ValueError, "%s needs at least %d items, got %zd", kind, need, got);
  return -1;
}
// Checks a tuple (List false) or list argument: 0 when it can be read.
template <bool List>
int check_sequence(PyObject* o, const char* param, int need) {
  if (List ? PyList_Check(o) : PyTuple_Check(o)) {
    Py_ssize_t n = List ? PyList_GET_SIZE(o) : PyTuple_GET_SIZE(o);
    return n < need ? too_short(List ? "list" : "tuple", need, n) : 0;
  }
  if (o == Py_None)
    not_subscriptable(o);
  else
    rt::arg_type_error(param, List ? "list" : "tuple", o);
  return -1;
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

// ---------------------------------------------------------------------------
// C-level entries

PyObject* get_width(Obj* self, int dispatch) {
  Ref m;
  if (int o = find_override(self, dispatch, kGetWidth, &m)) {
    Ref r = o > 0 ? call_override(m, nullptr) : Ref();
    if (!r) traceback("get_width");
    return r.release();
  }
  PyObject* r = PyFloat_FromDouble(wide(self->_raw.width));
  if (!r) traceback("get_width");
  return r;
}

PyObject* get_height(Obj* self, int dispatch) {
  Ref m;
  if (int o = find_override(self, dispatch, kGetHeight, &m)) {
    Ref r = o > 0 ? call_override(m, nullptr) : Ref();
    if (!r) traceback("get_height");
    return r.release();
  }
  PyObject* r = PyFloat_FromDouble(wide(self->_raw.height));
  if (!r) traceback("get_height");
  return r;
}

PyObject* get_tuple(Obj* self, int dispatch) {
  Ref m;
  if (int o = find_override(self, dispatch, kGetTuple, &m)) {
    Ref r = o > 0 ? call_override(m, nullptr) : Ref();
    if (r && r.get() != Py_None && !PyTuple_CheckExact(r.get())) {
      PyErr_Format(PyExc_TypeError, "Expected %.42s, got %.200s", "tuple",
                   Py_TYPE(r.get())->tp_name);
      r.reset();
    }
    if (!r) traceback("get_tuple");
    return r.release();
  }
  const Rectangle& v = self->_raw;
  const double d[4] = {wide(v.x), wide(v.y), wide(v.width), wide(v.height)};
  PyObject* r = rt::float_tuple(d, 4);
  if (!r) traceback("get_tuple");
  return r;
}

PyObject* get_vector4(Obj* self, int dispatch) {
  Ref m;
  if (int o = find_override(self, dispatch, kGetVector4, &m)) {
    Ref r = o > 0 ? call_override(m, nullptr) : Ref();
    if (r && r.get() != Py_None && !is_vector4(r.get())) {
      PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(r.get())->tp_name,
                   v4_type->tp_name);
      r.reset();
    }
    if (!r) traceback("get_vector4");
    return r.release();
  }
  const Rectangle& v = self->_raw;
  PyObject* r = v4_vt->new_(wide(v.x), wide(v.y), wide(v.width), wide(v.height));
  if (!r) traceback("get_vector4");
  return r;
}

// Runs the override of collision entry `m` if there is one: returns true
// with *result set (1, 0, or 0 with the exception pending) when it ran or
// the lookup failed.
bool collide_dispatch(Obj* self, int dispatch, Method m, PyObject* arg, int* result) {
  Ref method;
  int o = find_override(self, dispatch, m, &method);
  if (o == 0) return false;
  if (o < 0) {
    traceback(kMethodNames[m]);
    *result = 0;
  } else {
    *result = collide_override(method, arg, m);
  }
  return true;
}

int collide_fail(Method m) {
  traceback(kMethodNames[m]);
  return 0;
}

// A typed test's result: -1 becomes 0 with the exception and its traceback.
int collide_result(int r, Method m) { return r < 0 ? collide_fail(m) : r; }

int collide_point(Obj* self, PyObject* point, int dispatch) {
  int r;
  if (collide_dispatch(self, dispatch, kCollidePoint, point, &r)) return r;
  double p[2];
  if (is_vector2(point)) {
    if (!vector2_xy(point, &p[0], &p[1])) return collide_fail(kCollidePoint);
  } else {
    Py_ssize_t len = is_list_or_tuple(point) ? seq_length(point) : -2;
    if (len == -1) return collide_fail(kCollidePoint);
    if (len != 2) {
      value_error("Point must be a Vector2, tuple, or list of length 2");
      return collide_fail(kCollidePoint);
    }
    if (!items_double(point, 2, p)) return collide_fail(kCollidePoint);
  }
  return point_test(self->_raw, p[0], p[1]);
}

int collide_point_vector2(Obj* self, tarvex_Vector2Object* point, int dispatch) {
  PyObject* p = reinterpret_cast<PyObject*>(point);
  int r;
  if (collide_dispatch(self, dispatch, kCollidePointVector2, p, &r)) return r;
  return collide_result(typed_point_test(self, vector_reader<tarvex_Vector2Object>(p, v2_type)),
                        kCollidePointVector2);
}

template <bool List>
int collide_point_seq(Obj* self, PyObject* point, int dispatch) {
  const Method m = List ? kCollidePointList : kCollidePointTuple;
  int r;
  if (collide_dispatch(self, dispatch, m, point, &r)) return r;
  if (check_sequence<List>(point, "point", 2) < 0) return collide_fail(m);
  return collide_result(typed_point_test(self, sequence_reader<List>(point)), m);
}

int collide_rect(Obj* self, PyObject* other, int dispatch) {
  int r;
  if (collide_dispatch(self, dispatch, kCollideRect, other, &r)) return r;
  double o[4];
  if (is_rect(other)) {
    const Rectangle& v = as(other)->_raw;
    o[0] = wide(v.x);
    o[1] = wide(v.y);
    o[2] = wide(v.width);
    o[3] = wide(v.height);
  } else if (is_vector4(other)) {
    if (!vector4_xyzw(other, o)) return collide_fail(kCollideRect);
  } else {
    Py_ssize_t len = is_list_or_tuple(other) ? seq_length(other) : -2;
    if (len == -1) return collide_fail(kCollideRect);
    if (len != 4) {
      value_error("rect for collision must be a Rect, Vector4, tuple, or list of length 4");
      return collide_fail(kCollideRect);
    }
    if (!items_double(other, 4, o)) return collide_fail(kCollideRect);
  }
  return rect_test(self->_raw, o);
}

int collide_rect_vector4(Obj* self, tarvex_Vector4Object* other, int dispatch) {
  PyObject* o = reinterpret_cast<PyObject*>(other);
  int r;
  if (collide_dispatch(self, dispatch, kCollideRectVector4, o, &r)) return r;
  return collide_result(typed_rect_test(self, vector_reader<tarvex_Vector4Object>(o, v4_type)),
                        kCollideRectVector4);
}

// Entirely on the stored 32-bit values: no object is made.
int collide_rect_rect(Obj* self, Obj* other, int dispatch) {
  int r;
  if (collide_dispatch(self, dispatch, kCollideRectRect, obj(other), &r)) return r;
  if (!other || obj(other) == Py_None) {
    // None gets through the argument check of extension-typed parameters;
    // there is no rectangle to read.
    PyErr_Format(PyExc_TypeError,
                 "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", "other",
                 kFullName, "NoneType");
    return collide_fail(kCollideRectRect);
  }
  const Rectangle& a = self->_raw;
  const Rectangle& b = other->_raw;
  return far_edge(b.x, b.width) > a.x && far_edge(a.x, a.width) > b.x &&
         far_edge(b.y, b.height) > a.y && far_edge(a.y, a.height) > b.y;
}

template <bool List>
int collide_rect_seq(Obj* self, PyObject* other, int dispatch) {
  const Method m = List ? kCollideRectList : kCollideRectTuple;
  int r;
  if (collide_dispatch(self, dispatch, m, other, &r)) return r;
  if (check_sequence<List>(other, "other", 4) < 0) return collide_fail(m);
  return collide_result(typed_rect_test(self, sequence_reader<List>(other)), m);
}

// ---------------------------------------------------------------------------
// Python-visible methods: bind, check the argument, run the entry with
// dispatch disabled.

template <Method M>
bool no_arguments(PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  if (n == 0 && (!kw || PyTuple_GET_SIZE(kw) == 0)) return true;
  static const rt::Params p{kMethodNames[M], nullptr, 0, 0};
  PyObject* unused = nullptr;
  rt::bind_params(p, args, n, kw, &unused);
  traceback(kMethodNames[M]);
  return false;
}

template <Method M, PyObject* (*Entry)(Obj*, int)>
PyObject* py_getter(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  if (!no_arguments<M>(args, n, kw)) return nullptr;
  return Entry(as(self), 1);
}

enum class ArgKind { any, vector2, vector4, rect, tuple, list };

// The typed parameters accept their type (subclasses for the extension
// types, exactly for tuple and list) and None.
bool check_arg(ArgKind k, const char* param, PyObject* o) {
  const char* expected = nullptr;
  switch (k) {
    case ArgKind::any:
      return true;
    case ArgKind::vector2:
      if (is_vector2(o)) return true;
      expected = v2_type->tp_name;
      break;
    case ArgKind::vector4:
      if (is_vector4(o)) return true;
      expected = v4_type->tp_name;
      break;
    case ArgKind::rect:
      if (is_rect(o)) return true;
      expected = kFullName;
      break;
    case ArgKind::tuple:
      if (PyTuple_CheckExact(o)) return true;
      expected = "tuple";
      break;
    case ArgKind::list:
      if (PyList_CheckExact(o)) return true;
      expected = "list";
      break;
  }
  if (o == Py_None) return true;
  rt::arg_type_error(param, expected, o);
  return false;
}

constexpr const char* kPointParam[] = {"point"};
constexpr const char* kOtherParam[] = {"other"};

template <Method M, ArgKind K, class Arg, int (*Entry)(Obj*, Arg, int)>
PyObject* py_collide(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  constexpr bool point = M <= kCollidePointList;
  static const rt::Params p{kMethodNames[M], point ? kPointParam : kOtherParam, 1, 1};
  PyObject* a;
  if (!rt::bind_fast(p, args, n, kw, &a) || !check_arg(K, p.names[0], a)) {
    traceback(kMethodNames[M]);
    return nullptr;
  }
  int r = Entry(as(self), reinterpret_cast<Arg>(a), 1);
  if (!r && PyErr_Occurred()) return nullptr;  // the entry added the traceback
  return PyBool_FromLong(r);
}

constexpr int kFlags = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"get_width", rt::cfunc(py_getter<kGetWidth, get_width>), kFlags, nullptr},
    {"get_height", rt::cfunc(py_getter<kGetHeight, get_height>), kFlags, nullptr},
    {"get_tuple", rt::cfunc(py_getter<kGetTuple, get_tuple>), kFlags, nullptr},
    {"get_vector4", rt::cfunc(py_getter<kGetVector4, get_vector4>), kFlags, nullptr},
    {"collide_point", rt::cfunc(py_collide<kCollidePoint, ArgKind::any, PyObject*, collide_point>),
     kFlags, nullptr},
    {"collide_point_vector2",
     rt::cfunc(py_collide<kCollidePointVector2, ArgKind::vector2, tarvex_Vector2Object*,
                          collide_point_vector2>),
     kFlags, nullptr},
    {"collide_point_tuple",
     rt::cfunc(py_collide<kCollidePointTuple, ArgKind::tuple, PyObject*, collide_point_seq<false>>),
     kFlags, nullptr},
    {"collide_point_list",
     rt::cfunc(py_collide<kCollidePointList, ArgKind::list, PyObject*, collide_point_seq<true>>),
     kFlags, nullptr},
    {"collide_rect", rt::cfunc(py_collide<kCollideRect, ArgKind::any, PyObject*, collide_rect>),
     kFlags, nullptr},
    {"collide_rect_vector4",
     rt::cfunc(py_collide<kCollideRectVector4, ArgKind::vector4, tarvex_Vector4Object*,
                          collide_rect_vector4>),
     kFlags, nullptr},
    {"collide_rect_rect",
     rt::cfunc(py_collide<kCollideRectRect, ArgKind::rect, Obj*, collide_rect_rect>), kFlags,
     nullptr},
    {"collide_rect_tuple",
     rt::cfunc(py_collide<kCollideRectTuple, ArgKind::tuple, PyObject*, collide_rect_seq<false>>),
     kFlags, nullptr},
    {"collide_rect_list",
     rt::cfunc(py_collide<kCollideRectList, ArgKind::list, PyObject*, collide_rect_seq<true>>),
     kFlags, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// ---------------------------------------------------------------------------
// Properties

enum class Edge { none, right, bottom, centerx, centery };

struct Field {
  const char* name;
  int index;  // component read and written (0 x, 1 y, 2 width, 3 height)
  Edge edge;
};

constexpr Field kFields[] = {
    {"x", 0, Edge::none},        {"left", 0, Edge::none},       {"y", 1, Edge::none},
    {"top", 1, Edge::none},      {"w", 2, Edge::none},          {"width", 2, Edge::none},
    {"h", 3, Edge::none},        {"height", 3, Edge::none},     {"right", 0, Edge::right},
    {"bottom", 1, Edge::bottom}, {"centerx", 0, Edge::centerx}, {"centery", 1, Edge::centery},
};

void accessor_traceback(const char* name, const char* which) {
  char entry[64];
  std::snprintf(entry, sizeof entry, "%s.%s", name, which);
  traceback(entry);
}

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

PyObject* get_field(PyObject* self, void* closure) {
  const Field& f = *static_cast<const Field*>(closure);
  PyObject* r = PyFloat_FromDouble(edge_value(as(self)->_raw, f.edge, f.index));
  if (!r) accessor_traceback(f.name, "__get__");
  return r;
}

// `value - offset` with the interpreter's subtraction of a float; exact
// floats and ints are done in C with the same result.
bool subtract(PyObject* value, double offset, double* out) {
  if (PyFloat_CheckExact(value)) {
    *out = PyFloat_AS_DOUBLE(value) - offset;
    return true;
  }
  if (PyLong_CheckExact(value)) {
    double v = PyLong_AsDouble(value);
    if (v == -1.0 && PyErr_Occurred()) return false;
    *out = v - offset;
    return true;
  }
  Ref f(PyFloat_FromDouble(offset));
  Ref diff(f ? PyNumber_Subtract(value, f.get()) : nullptr);
  return diff && to_double(diff.get(), out);
}

int set_field(PyObject* self, PyObject* value, void* closure) {
  const Field& f = *static_cast<const Field*>(closure);
  Rectangle& r = as(self)->_raw;
  double d;
  if (!value) {
    rt::property_deletion_error();
  } else if (f.edge == Edge::none ? to_double(value, &d)
                                  : subtract(value, edge_offset(r, f.edge), &d)) {
    set_component(r, f.index, rt::narrow(d));
    return 0;
  }
  accessor_traceback(f.name, "__set__");
  return -1;
}

PyObject* get_center(PyObject* self, void*) {
  const Rectangle& r = as(self)->_raw;
  PyObject* v = v2_vt->new_(edge_value(r, Edge::centerx, 0), edge_value(r, Edge::centery, 1));
  if (!v) accessor_traceback("center", "__get__");
  return v;
}

int set_center(PyObject* self, PyObject* value, void*) {
  double cx, cy;
  if (!value) {
    rt::property_deletion_error();
  } else if (is_vector2(value) ? vector2_xy(value, &cx, &cy)
                               : item_double(value, 0, &cx) && item_double(value, 1, &cy)) {
    Rectangle& r = as(self)->_raw;
    r.x = rt::narrow(cx - wide(r.width) * 0.5);
    r.y = rt::narrow(cy - wide(r.height) * 0.5);
    return 0;
  }
  accessor_traceback("center", "__set__");
  return -1;
}

constexpr int kFieldCount = sizeof kFields / sizeof kFields[0];
PyGetSetDef getsets[kFieldCount + 2] = {};

// ---------------------------------------------------------------------------
// Protocol slots

PyObject* repr(PyObject* self) {
  const Rectangle& r = as(self)->_raw;
  const double d[4] = {wide(r.x), wide(r.y), wide(r.width), wide(r.height)};
  char* s[4] = {};
  PyObject* out = nullptr;
  int i = 0;
  for (; i < 4; ++i)
    if (!(s[i] = rt::float_repr(d[i]))) break;
  if (i == 4)
    out = PyUnicode_FromFormat("Rect(position=(%s, %s), size=(%s, %s))", s[0], s[1], s[2], s[3]);
  for (char* p : s) PyMem_Free(p);
  if (!out) traceback("__repr__");
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

Py_ssize_t length(PyObject*) { return 4; }

PyObject* index_error(const char* slot) {
  PyErr_SetString(PyExc_IndexError, "Rect index out of range");
  traceback(slot);
  return nullptr;
}

PyObject* sq_item(PyObject* self, Py_ssize_t i) {
  if (i < 0 || i >= 4) return index_error("__getitem__");
  return PyFloat_FromDouble(wide(component(as(self)->_raw, static_cast<int>(i))));
}

PyObject* mp_subscript(PyObject* self, PyObject* key) {
  Py_ssize_t i =
      PyLong_CheckExact(key) ? PyLong_AsSsize_t(key) : PyNumber_AsSsize_t(key, PyExc_OverflowError);
  if (i == -1 && PyErr_Occurred()) {
    traceback("__getitem__");
    return nullptr;
  }
  return sq_item(self, i);
}

int mp_ass_subscript(PyObject* self, PyObject* key, PyObject* value) {
  if (!value) {
    rt::subscript_deletion_error(Py_TYPE(self));
    traceback("__setitem__");
    return -1;
  }
  double d;
  if (!to_double(value, &d)) {
    traceback("__setitem__");
    return -1;
  }
  Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_OverflowError);
  if (i == -1 && PyErr_Occurred()) {
    traceback("__setitem__");
    return -1;
  }
  if (i < 0 || i >= 4) {
    index_error("__setitem__");
    return -1;
  }
  set_component(as(self)->_raw, static_cast<int>(i), rt::narrow(d));
  return 0;
}

PySequenceMethods sequence = {};
PyMappingMethods mapping = {};

// ---------------------------------------------------------------------------
// Module

int constants() {
  static const char* const letters[4] = {"x", "y", "z", "w"};
  for (int i = 0; i < 4; ++i) {
    if (!(s_attr[i] = PyUnicode_InternFromString(letters[i]))) return -1;
    if (!(s_index[i] = PyLong_FromLong(i))) return -1;
  }
  for (int m = 0; m < kMethodCount; ++m) {
    if (!(s_method[m] = PyUnicode_InternFromString(kMethodNames[m]))) return -1;
    for (const PyMethodDef* d = methods; d->ml_name; ++d)
      if (std::strcmp(d->ml_name, kMethodNames[m]) == 0) own_method[m] = d->ml_meth;
  }

  vtable.new_ = new_;
  vtable.get_width = get_width;
  vtable.get_height = get_height;
  vtable.collide_point = collide_point;
  vtable.collide_point_vector2 = collide_point_vector2;
  vtable.collide_point_tuple = collide_point_seq<false>;
  vtable.collide_point_list = collide_point_seq<true>;
  vtable.collide_rect = collide_rect;
  vtable.collide_rect_vector4 = collide_rect_vector4;
  vtable.collide_rect_rect = collide_rect_rect;
  vtable.collide_rect_tuple = collide_rect_seq<false>;
  vtable.collide_rect_list = collide_rect_seq<true>;
  vtable.get_vector4 = get_vector4;
  vtable.get_tuple = get_tuple;

  int k = 0;
  for (const Field& f : kFields)
    getsets[k++] = {f.name, get_field, set_field, nullptr, const_cast<Field*>(&f)};
  getsets[k++] = {"center", get_center, set_center, nullptr, nullptr};
  getsets[k] = {};

  sequence.sq_length = length;
  sequence.sq_item = sq_item;
  mapping.mp_length = length;
  mapping.mp_subscript = mp_subscript;
  mapping.mp_ass_subscript = mp_ass_subscript;

  PyTypeObject& t = rect_type;
  t.tp_name = kFullName;
  t.tp_basicsize = sizeof(Obj);
  t.tp_itemsize = 0;
  t.tp_dealloc = dealloc;
  t.tp_repr = repr;
  t.tp_as_sequence = &sequence;
  t.tp_as_mapping = &mapping;
  t.tp_hash = PyObject_HashNotImplemented;
  t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  t.tp_richcompare = richcompare;
  t.tp_methods = methods;
  t.tp_getset = getsets;
  t.tp_init = tp_init;
  t.tp_new = tp_new;
  t.tp_vectorcall = vectorcall;
  return 0;
}

rt::TypeEntry types[] = {
    {&rect_type, "Rect", &vtable, rt::PickleRefusal<kPickleMessage, kFullName, kFile>::defs}};
rt::Module module_frame({"rect", "tarvex.rect.rect", kFile, types, 1, siblings, 2, constants,
                         nullptr});

}  // namespace

PyMODINIT_FUNC PyInit_rect() { return module_frame.init(); }
