// Number and text conversions of the tarvex runtime.
#include "tarvex/_runtime/convert.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::rt {

Ref int_object(PyObject* o) {
  if (PyLong_Check(o)) return Ref::borrow(o);
  PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
  if (!nb || !nb->nb_int) {
    PyErr_SetString(PyExc_TypeError, "an integer is required");
    return Ref();
  }
  Ref r(nb->nb_int(o));
  if (!r || PyLong_CheckExact(r.get())) return r;
  if (!PyLong_Check(r.get())) {
    PyErr_Format(PyExc_TypeError, "__int__ returned non-int (type %.200s)",
                 Py_TYPE(r.get())->tp_name);
    return Ref();
  }
  if (PyErr_WarnFormat(PyExc_DeprecationWarning, 1,
                       "__int__ returned non-int (type %.200s).  The ability to return an "
                       "instance of a strict subclass of int is deprecated, and may be "
                       "removed in a future version of Python.",
                       Py_TYPE(r.get())->tp_name) < 0)
    return Ref();
  return r;
}

bool to_c_int(PyObject* o, int* out) {
  Ref number = int_object(o);
  if (!number) return false;
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(number.get(), &overflow);
  if (v == -1 && PyErr_Occurred()) return false;
  constexpr long long kOwnLimit = 1LL << 60;
  if (overflow || v > kOwnLimit || v < -kOwnLimit) {
    // Past 2**60 the interpreter's own conversion reports the overflow.
    int r = PyLong_AsInt(number.get());
    if (r == -1 && PyErr_Occurred()) return false;
    *out = r;
    return true;
  }
  if (v > INT32_MAX || v < INT32_MIN) {
    PyErr_Format(PyExc_OverflowError, "value too large to convert to %.200s", "int");
    return false;
  }
  *out = static_cast<int>(v);
  return true;
}

bool utf8_argument(PyObject* o, const char* param, const char** out) {
  if (o == Py_None) {
    PyErr_Format(PyExc_AttributeError, "'NoneType' object has no attribute '%.30s'", "encode");
    return false;
  }
  if (!PyUnicode_CheckExact(o)) {
    arg_type_error(param, "str", o);
    return false;
  }
  Py_ssize_t len;
  const char* s = PyUnicode_AsUTF8AndSize(o, &len);
  if (!s) return false;
  if (std::strlen(s) != static_cast<std::size_t>(len)) {
    PyErr_Format(PyExc_ValueError, "embedded null character in %s", param);
    return false;
  }
  *out = s;
  return true;
}

char* float_repr(double v) { return PyOS_double_to_string(v, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr); }

PyObject* repr_components(const char* name, const double* v, int n) {
  PyUnicodeWriter* w = PyUnicodeWriter_Create(0);
  if (!w) return nullptr;
  bool ok = PyUnicodeWriter_WriteUTF8(w, name, -1) == 0 && PyUnicodeWriter_WriteChar(w, '(') == 0;
  for (int i = 0; ok && i < n; ++i) {
    char* s = float_repr(v[i]);
    ok = s && (i == 0 || PyUnicodeWriter_WriteUTF8(w, ", ", 2) == 0) &&
         PyUnicodeWriter_WriteUTF8(w, s, -1) == 0;
    PyMem_Free(s);
  }
  if (ok && PyUnicodeWriter_WriteChar(w, ')') == 0) return PyUnicodeWriter_Finish(w);
  PyUnicodeWriter_Discard(w);
  return nullptr;
}

Py_hash_t hash_float_tuple(PyObject* self, const double* v, int n) {
  // The interpreter's tuple hash (xxHash-style mixing of the item hashes).
#if SIZEOF_PY_UHASH_T > 4
  constexpr Py_uhash_t kPrime1 = 11400714785074694791ULL;
  constexpr Py_uhash_t kPrime2 = 14029467366897019727ULL;
  constexpr Py_uhash_t kPrime5 = 2870177450012600261ULL;
  auto rotate = [](Py_uhash_t x) { return (x << 31) | (x >> 33); };
#else
  constexpr Py_uhash_t kPrime1 = 2654435761UL;
  constexpr Py_uhash_t kPrime2 = 2246822519UL;
  constexpr Py_uhash_t kPrime5 = 374761393UL;
  auto rotate = [](Py_uhash_t x) { return (x << 13) | (x >> 19); };
#endif
  Py_uhash_t acc = kPrime5;
  for (int i = 0; i < n; ++i) {
    Py_uhash_t lane = static_cast<Py_uhash_t>(_Py_HashDouble(self, v[i]));
    acc += lane * kPrime2;
    acc = rotate(acc);
    acc *= kPrime1;
  }
  acc += static_cast<Py_uhash_t>(n) ^ (kPrime5 ^ 3527539UL);
  if (acc == static_cast<Py_uhash_t>(-1)) return 1546275796;
  return static_cast<Py_hash_t>(acc);
}

namespace {

// A new tuple of the n objects make(v[i]).
template <class T, class Make>
PyObject* tuple_of(const T* v, int n, Make make) {
  Ref t(PyTuple_New(n));
  for (int i = 0; t && i < n; ++i) {
    PyObject* item = make(v[i]);
    if (!item) return nullptr;
    PyTuple_SET_ITEM(t.get(), i, item);
  }
  return t.release();
}

}  // namespace

PyObject* float_tuple(const double* v, int n) { return tuple_of(v, n, PyFloat_FromDouble); }

PyObject* int_tuple(const int32_t* v, int n) {
  return tuple_of(v, n, [](int32_t x) { return PyLong_FromLong(x); });
}

}  // namespace tarvex::rt
