// The interpreter's C API as the package uses it, on every supported
// CPython (3.13, 3.14, 3.15). The package is written against the newest
// API; for an older interpreter this header supplies, under the same names
// and with the same behaviour, the few calls its headers lack. Code outside
// this file never tests the interpreter's version.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>  // IWYU pragma: export

#include <cstddef>
#include <cstring>

#if PY_VERSION_HEX < 0x030E0000  // before 3.14

// The next item of an iterator: 1 and a new reference in *item, 0 at the
// end (StopIteration cleared), or -1 with an exception set.
inline int PyIter_NextItem(PyObject* iter, PyObject** item) {
  iternextfunc next = Py_TYPE(iter)->tp_iternext;
  if (!next) {
    *item = nullptr;
    PyErr_Format(PyExc_TypeError, "expected an iterator, got '%T'", iter);
    return -1;
  }
  *item = next(iter);
  if (*item) return 1;
  if (!PyErr_Occurred()) return 0;
  if (PyErr_ExceptionMatches(PyExc_StopIteration)) {
    PyErr_Clear();
    return 0;
  }
  return -1;
}

// The sign of an int (-1, 0 or 1) in *sign; -1 with TypeError for anything
// that is not an int. Like the real one it leaves a pending exception alone
// (callers ask the sign of a value whose conversion just overflowed).
inline int PyLong_GetSign(PyObject* obj, int* sign) {
  if (!PyLong_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "expect int, got %s", Py_TYPE(obj)->tp_name);
    return -1;
  }
  // Cannot fail for an int: beyond a long it reports the sign as overflow.
  int overflow = 0;
  long v = PyLong_AsLongAndOverflow(obj, &overflow);
  *sign = overflow != 0 ? overflow : (v > 0) - (v < 0);
  return 0;
}

// A string built piece by piece (the calls the package uses): the pieces
// collect as UTF-8 in one growing buffer, decoded once by
// PyUnicodeWriter_Finish. Written UTF-8 is checked as it is written, so a
// failure is reported by the call that caused it.
struct PyUnicodeWriter {
  char* data;
  Py_ssize_t size;
  Py_ssize_t capacity;
};

namespace tarvex::rt::compat {

inline int writer_append(PyUnicodeWriter* w, const char* s, Py_ssize_t n) {
  if (n > PY_SSIZE_T_MAX - w->size) {
    PyErr_NoMemory();
    return -1;
  }
  if (w->size + n > w->capacity) {
    Py_ssize_t want = w->capacity > PY_SSIZE_T_MAX / 2 ? PY_SSIZE_T_MAX : w->capacity * 2;
    if (want < w->size + n) want = w->size + n;
    void* grown = PyMem_Realloc(w->data, static_cast<std::size_t>(want));
    if (!grown) {
      PyErr_NoMemory();
      return -1;
    }
    w->data = static_cast<char*>(grown);
    w->capacity = want;
  }
  if (n > 0) std::memcpy(w->data + w->size, s, static_cast<std::size_t>(n));
  w->size += n;
  return 0;
}

}  // namespace tarvex::rt::compat

inline PyUnicodeWriter* PyUnicodeWriter_Create(Py_ssize_t length) {
  if (length < 0) {
    PyErr_SetString(PyExc_ValueError, "length must be positive");
    return nullptr;
  }
  auto* w = static_cast<PyUnicodeWriter*>(PyMem_Malloc(sizeof(PyUnicodeWriter)));
  if (!w) {
    PyErr_NoMemory();
    return nullptr;
  }
  *w = {nullptr, 0, 0};
  Py_ssize_t capacity = length < 16 ? 16 : length;
  w->data = static_cast<char*>(PyMem_Malloc(static_cast<std::size_t>(capacity)));
  if (!w->data) {
    PyMem_Free(w);
    PyErr_NoMemory();
    return nullptr;
  }
  w->capacity = capacity;
  return w;
}

inline void PyUnicodeWriter_Discard(PyUnicodeWriter* w) {
  if (!w) return;
  PyMem_Free(w->data);
  PyMem_Free(w);
}

// Surrogates can only have come from PyUnicodeWriter_WriteChar, which
// writes any code point as a str may hold it; written UTF-8 was checked.
inline PyObject* PyUnicodeWriter_Finish(PyUnicodeWriter* w) {
  PyObject* s = PyUnicode_DecodeUTF8(w->data, w->size, "surrogatepass");
  PyUnicodeWriter_Discard(w);
  return s;
}

inline int PyUnicodeWriter_WriteChar(PyUnicodeWriter* w, Py_UCS4 ch) {
  if (ch > 0x10FFFF) {
    PyErr_SetString(PyExc_ValueError, "character must be in range(0x110000)");
    return -1;
  }
  char buf[4];
  Py_ssize_t n;
  if (ch < 0x80) {
    buf[0] = static_cast<char>(ch);
    n = 1;
  } else if (ch < 0x800) {
    buf[0] = static_cast<char>(0xC0 | (ch >> 6));
    buf[1] = static_cast<char>(0x80 | (ch & 0x3F));
    n = 2;
  } else if (ch < 0x10000) {
    buf[0] = static_cast<char>(0xE0 | (ch >> 12));
    buf[1] = static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    buf[2] = static_cast<char>(0x80 | (ch & 0x3F));
    n = 3;
  } else {
    buf[0] = static_cast<char>(0xF0 | (ch >> 18));
    buf[1] = static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
    buf[2] = static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    buf[3] = static_cast<char>(0x80 | (ch & 0x3F));
    n = 4;
  }
  return tarvex::rt::compat::writer_append(w, buf, n);
}

// `size` -1 takes the NUL-terminated length. Text that is not strict UTF-8
// raises UnicodeDecodeError and writes nothing.
inline int PyUnicodeWriter_WriteUTF8(PyUnicodeWriter* w, const char* str, Py_ssize_t size) {
  if (size < 0) size = static_cast<Py_ssize_t>(std::strlen(str));
  for (Py_ssize_t i = 0; i < size; ++i) {
    if (static_cast<unsigned char>(str[i]) >= 0x80) {
      PyObject* check = PyUnicode_DecodeUTF8(str, size, "strict");
      if (!check) return -1;
      Py_DECREF(check);
      break;
    }
  }
  return tarvex::rt::compat::writer_append(w, str, size);
}

#if defined(Py_GIL_DISABLED)
// Deferred reference counting is the 3.14 free-threaded interpreter's; on
// 3.13 the package enables it only for its static types, which are immortal
// there already.
inline int PyUnstable_Object_EnableDeferredRefcount(PyObject*) { return 0; }
#endif

#endif  // before 3.14
