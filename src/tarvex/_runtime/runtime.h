// Shared runtime of the tarvex extension modules: the module frame (create and
// exec steps), sibling binding, argument binding with the package's messages,
// number conversions, traceback entries and the pickling refusal.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace tarvex::rt {

// ---------------------------------------------------------------------------
// Owned references

class Ref {
 public:
  Ref() noexcept = default;
  explicit Ref(PyObject* owned) noexcept : p_(owned) {}
  static Ref borrow(PyObject* o) noexcept { return Ref(Py_XNewRef(o)); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      PyObject* old = p_;
      p_ = o.p_;
      o.p_ = nullptr;
      Py_XDECREF(old);
    }
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }
  PyObject* get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  void reset(PyObject* owned = nullptr) noexcept {
    PyObject* old = p_;
    p_ = owned;
    Py_XDECREF(old);
  }

 private:
  PyObject* p_ = nullptr;
};

// ---------------------------------------------------------------------------
// Module frame

// One extension type defined by a module.
struct TypeEntry {
  PyTypeObject* type;
  const char* attr;     // module attribute name (the type's short name)
  void* vtable;         // C method table published in __pyx_vtable__, or null
  PyMethodDef* pickle;  // two refusal methods (__reduce__, __setstate__), or null
};

// A type of another module, bound at exec time.
struct Sibling {
  const char* module;   // full module name
  const char* name;     // type's short name
  Py_ssize_t size;      // instance size this module was built against
  PyTypeObject** type;  // receives a strong reference to the type
  void** vtable;        // receives the C method table, or null if unused
};

struct ModuleSpec {
  const char* short_name;
  const char* full_name;
  const char* file;  // source path used in traceback entries
  TypeEntry* types;
  std::size_t ntypes;
  Sibling* siblings;
  std::size_t nsiblings;
  int (*constants)();             // builds interned constants; may be null
  int (*body)(PyObject* module);  // module body; may be null
};

// Holds the definition and the process-wide state of one extension module.
// The definition comes first so the create step can find the frame from it.
class Module {
 public:
  explicit Module(const ModuleSpec& desc) noexcept;
  PyObject* init() noexcept { return PyModuleDef_Init(&def_); }
  const ModuleSpec& description() const noexcept { return spec_; }

 private:
  static PyObject* create(PyObject* import_spec, PyModuleDef* def);
  static int exec(PyObject* module);
  int exec_steps(PyObject* module);

  PyModuleDef def_;
  PyModuleDef_Slot slots_[4];
  ModuleSpec spec_;
  PyObject* module_ = nullptr;  // strong reference once created
  int64_t interpreter_ = -1;
  bool constants_ready_ = false;  // the constants step has succeeded
  bool executed_ = false;
};

// Binds one sibling type: import, type check, size check, method table.
int bind_sibling(const Sibling& s);

// ---------------------------------------------------------------------------
// Errors and tracebacks

// Adds the traceback entry "<prefix>.<name>" (or "<prefix>" when name is
// null) in file `file` to the pending exception.
void add_traceback(const char* prefix, const char* name, const char* file);

// TypeError "Argument 'param' has incorrect type (expected E, got T)".
void arg_type_error(const char* param, const char* expected, PyObject* got);

// NotImplementedError "__del__" for deleting a writable property.
int property_deletion_error();
// NotImplementedError "Subscript deletion not supported by <type>".
int subscript_deletion_error(PyTypeObject* type);

// ---------------------------------------------------------------------------
// Argument binding (METH_FASTCALL | METH_KEYWORDS)

struct Params {
  const char* fname;         // name used in the messages
  const char* const* names;  // parameter names
  Py_ssize_t count;          // number of parameters (all positional-or-keyword)
  Py_ssize_t required;       // how many of them are required
};

// Fills out[0..count) with borrowed references (null for an omitted optional
// parameter). Returns false with TypeError set on a binding error.
bool bind_params(const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 PyObject** out);

// Fast path: exactly `count` positional arguments and no keywords.
inline bool bind_fast(const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      PyObject** out) {
  if (nargs == p.count && (kwnames == nullptr || PyTuple_GET_SIZE(kwnames) == 0)) {
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    return true;
  }
  return bind_params(p, args, nargs, kwnames, out);
}

// TypeError "<fname>() got an unexpected keyword argument '<kw>'".
void unexpected_keyword(const char* fname, PyObject* kw);

// For a tp_init that takes no keywords: true, with the unexpected-keyword
// TypeError for the first one set, when `kwds` holds any.
bool keywords_refused(const char* fname, PyObject* kwds);

// Binding of a method without parameters: true when no argument was given,
// else false with the package's count or keyword TypeError set.
inline bool no_args(const char* fname, Py_ssize_t nargs, PyObject* kwnames) {
  if (nargs == 0 && (kwnames == nullptr || PyTuple_GET_SIZE(kwnames) == 0)) [[likely]]
    return true;
  const Params p{fname, nullptr, 0, 0};
  return bind_params(p, nullptr, nargs, kwnames, nullptr);
}

// A method-table function pointer for a function of any calling
// convention (METH_FASTCALL, with or without METH_KEYWORDS, and the rest).
template <class F>
PyCFunction cfunc(F* f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// A method-table entry for a method without parameters named `name` that
// returns `call(self)`, with the package's argument messages; an argument
// error gets the entry "<type_path>.<name>" in `file`.
#define TARVEX_NOARGS_METHOD(name, call, doc, type_path, file)                      \
  PyMethodDef {                                                                     \
    name,                                                                           \
        ::tarvex::rt::cfunc(+[](PyObject* self, PyObject* const*, Py_ssize_t nargs, \
                                PyObject* kwnames) -> PyObject* {                   \
          if (::tarvex::rt::no_args(name, nargs, kwnames)) return call(self);       \
          ::tarvex::rt::add_traceback(type_path, name, file);                       \
          return nullptr;                                                           \
        }),                                                                         \
        METH_FASTCALL | METH_KEYWORDS, doc                                          \
  }

// ---------------------------------------------------------------------------
// Number conversions

// The interpreter's float conversion; false with the exception set on failure.
inline bool to_double(PyObject* o, double* out) {
  if (PyFloat_CheckExact(o)) {
    *out = PyFloat_AS_DOUBLE(o);
    return true;
  }
  // An exact int converts without the float object its __float__ would make;
  // the result and the overflow error are the same.
  double d = PyLong_CheckExact(o) ? PyLong_AsDouble(o) : PyFloat_AsDouble(o);
  if (d == -1.0 && PyErr_Occurred()) return false;
  *out = d;
  return true;
}

// Rounds a double to the nearest float (ties to even); magnitudes beyond the
// float range become infinities. Written out so that the out-of-range case
// is not left to an undefined conversion.
inline float narrow(double d) noexcept {
  if (std::fabs(d) <= static_cast<double>(FLT_MAX)) [[likely]]
    return static_cast<float>(d);
  if (std::isnan(d)) {
    float q = std::numeric_limits<float>::quiet_NaN();
    return std::signbit(d) ? -q : q;
  }
  // Between FLT_MAX and FLT_MAX + half an ulp the value still rounds down;
  // the tie itself rounds to even, which is infinity.
  constexpr double kHalfway = 0x1.ffffffp127;
  float mag = std::fabs(d) >= kHalfway ? std::numeric_limits<float>::infinity() : FLT_MAX;
  return std::signbit(d) ? -mag : mag;
}

// Truncates toward zero into a signed 32-bit integer; NaN gives 0 and values
// outside the range saturate (the conversion itself would be undefined).
template <class F>
inline int32_t truncate_i32(F v) noexcept {
  if (!(v == v)) return 0;
  if (v >= static_cast<F>(2147483648.0)) return INT32_MAX;
  if (v <= static_cast<F>(-2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// C `int` conversion with the package's messages.
bool to_c_int(PyObject* o, int* out);

// ---------------------------------------------------------------------------
// Pickling refusal: a pair of methods that raise TypeError with `Msg`, and
// add the traceback entry "<TypePath>.__reduce__" (or "__setstate__") in
// `File` to it, or to their argument error.

template <const char* Msg, const char* TypePath, const char* File>
struct PickleRefusal {
  static PyObject* reduce(PyObject*, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
    if (no_args("__reduce__", nargs, kwnames)) PyErr_SetString(PyExc_TypeError, Msg);
    add_traceback(TypePath, "__reduce__", File);
    return nullptr;
  }
  static PyObject* setstate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"state"};
    static const Params p{"__setstate__", names, 1, 1};
    PyObject* state;
    if (bind_fast(p, args, nargs, kwnames, &state)) PyErr_SetString(PyExc_TypeError, Msg);
    add_traceback(TypePath, "__setstate__", File);
    return nullptr;
  }
  static inline PyMethodDef defs[3] = {
      {"__reduce__", cfunc(reduce), METH_FASTCALL | METH_KEYWORDS, nullptr},
      {"__setstate__", cfunc(setstate), METH_FASTCALL | METH_KEYWORDS, nullptr},
      {nullptr, nullptr, 0, nullptr},
  };
};

// Float repr as the interpreter writes it; returns a PyMem buffer or null.
char* float_repr(double v);

// Builds "<name>(" repr, ", " repr ... ")" from doubles.
PyObject* repr_components(const char* name, const double* v, int n);

// Hash of a tuple of `n` floats, equal to hash(tuple(v)) for non-NaN values.
Py_hash_t hash_float_tuple(PyObject* self, const double* v, int n);

// New tuple of n Python floats / ints.
PyObject* float_tuple(const double* v, int n);
PyObject* int_tuple(const int32_t* v, int n);

}  // namespace tarvex::rt
