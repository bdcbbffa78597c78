// The element-independent helpers of the packed array types.
#include "tarvex/_array/array_support.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::arr {

using rt::Ref;

bool byte_size(Py_ssize_t n, std::size_t size, std::size_t* out) {
  if (n < 0 || static_cast<std::size_t>(n) > static_cast<std::size_t>(PY_SSIZE_T_MAX) / size) {
    PyErr_NoMemory();
    return false;
  }
  *out = static_cast<std::size_t>(n) * size;
  return true;
}

bool length_mismatch(const char* what, Py_ssize_t got, Py_ssize_t want) {
  PyErr_Format(PyExc_ValueError, "%s has %zd elements, the array %zd", what, got, want);
  return false;
}

namespace {

// The format character of a native-order buffer, or 0: "f", "@f", "=f" and
// "<f" are float32 on this little-endian target.
char native_format(const char* format) noexcept {
  if (!format) return 'B';
  if (format[0] == '@' || format[0] == '=' || format[0] == '<') ++format;
  return format[0] && !format[1] ? format[0] : 0;
}

// "(3,)", "(2, 5)": a shape for the messages.
std::string shape_text(const Py_buffer& v) {
  std::string s = "(";
  for (int i = 0; i < v.ndim; ++i) {
    if (i) s += ", ";
    s += std::to_string(v.shape ? v.shape[i] : v.len / (v.itemsize ? v.itemsize : 1));
  }
  if (v.ndim == 1) s += ",";
  return s + ")";
}

}  // namespace

bool FloatRows::acquire(PyObject* o, int k, const char* type_name) {
  if (PyObject_GetBuffer(o, &view_, PyBUF_STRIDES | PyBUF_FORMAT) < 0) return false;
  held_ = true;
  k_ = k;
  const char f = native_format(view_.format);
  if ((f != 'f' || view_.itemsize != 4) && (f != 'd' || view_.itemsize != 8)) {
    PyErr_Format(PyExc_TypeError,
                 "%s() needs a buffer of float32 or float64 values (format 'f' or 'd'), got "
                 "format '%s'",
                 type_name, view_.format ? view_.format : "B");
    return false;
  }
  if (view_.ndim != 2 || view_.shape[1] != k) {
    PyErr_Format(PyExc_ValueError, "%s() needs a buffer shaped (n, %d), got shape %s", type_name, k,
                 shape_text(view_).c_str());
    return false;
  }
  is_double_ = f == 'd';
  rows_ = view_.shape[0];
  return true;
}

void FloatRows::copy_to(float* dst) const noexcept {
  const char* row = static_cast<const char*>(view_.buf);
  const Py_ssize_t rs = view_.strides[0], cs = view_.strides[1];
  for (Py_ssize_t i = 0; i < rows_; ++i, row += rs) {
    const char* p = row;
    for (int j = 0; j < k_; ++j, p += cs) {
      if (is_double_) {
        double d;
        std::memcpy(&d, p, sizeof d);
        *dst++ = rt::narrow(d);
      } else {
        std::memcpy(dst++, p, sizeof(float));
      }
    }
  }
}

bool read_like(PyObject* o, int k, const LikeForm& form, float* out) {
  const char* what = nullptr;
  Ref list;
  PyObject* seq = o;
  if (PyTuple_CheckExact(o)) {
    what = "tuple";
  } else if (PyList_CheckExact(o)) {
    what = "list";
  } else if (PySequence_Check(o) && !PyDict_Check(o)) {
    what = "sequence";
    list = Ref(PySequence_List(o));
    if (!list) {
      if (PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, "expected sequence");
      }
      return false;
    }
    seq = list.get();
  } else {
    Ref name(PyType_GetName(Py_TYPE(o)));
    if (name) PyErr_Format(PyExc_TypeError, form.type_format, name.get());
    return false;
  }
  if (PySequence_Fast_GET_SIZE(seq) != k) {
    PyErr_Format(PyExc_ValueError, "%s for %s argument must have only %d elements.", what,
                 form.kind, k);
    return false;
  }
  for (int i = 0; i < k; ++i) {
    // A list can shrink while its items are converted: each read is checked.
    Ref item(PyList_Check(seq) ? PyList_GetItemRef(seq, i) : Py_NewRef(PyTuple_GET_ITEM(seq, i)));
    double d;
    if (!item || !rt::to_double(item.get(), &d)) return false;
    out[i] = rt::narrow(d);
  }
  return true;
}

bool Mask::acquire(PyObject* o, Py_ssize_t n) {
  if (PyObject_CheckBuffer(o)) {
    if (PyObject_GetBuffer(o, &view_, PyBUF_STRIDES | PyBUF_FORMAT) < 0) return false;
    held_ = true;
    const char f = native_format(view_.format);
    if (view_.itemsize != 1 || (f != '?' && f != 'b' && f != 'B') || view_.ndim != 1) {
      PyErr_Format(PyExc_TypeError,
                   "mask must be a one-dimensional buffer of bools (format '?'), got format "
                   "'%s' shape %s",
                   view_.format ? view_.format : "B", shape_text(view_).c_str());
      return false;
    }
    if (view_.shape[0] != n) return length_mismatch("mask", view_.shape[0], n);
    base_ = static_cast<const char*>(view_.buf);
    stride_ = view_.strides[0];
    return true;
  }
  Ref seq(PySequence_Fast(o, "mask must be a buffer of bools or an iterable"));
  if (!seq) return false;
  const Py_ssize_t len = PySequence_Fast_GET_SIZE(seq.get());
  if (len != n) return length_mismatch("mask", len, n);
  own_.resize(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    // The items of a list made by PySequence_Fast may go while bool() runs
    // code: each is held for its test.
    Ref item(Py_NewRef(PySequence_Fast_ITEMS(seq.get())[i]));
    const int t = PyObject_IsTrue(item.get());
    if (t < 0) return false;
    own_[static_cast<std::size_t>(i)] = static_cast<char>(t);
  }
  base_ = own_.data();
  stride_ = 1;
  return true;
}

bool Numbers::acquire(PyObject* o, Py_ssize_t n, const char* name, double fallback) {
  if (!o) {
    single_ = fallback;
    return true;
  }
  if (PyFloat_Check(o) || PyLong_Check(o) || !PyObject_CheckBuffer(o)) {
    if (rt::to_double(o, &single_)) return true;
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError,
                   "%s must be a number or a buffer of float64 or float32 values, got %.200s", name,
                   Py_TYPE(o)->tp_name);
    }
    return false;
  }
  if (PyObject_GetBuffer(o, &view_, PyBUF_STRIDES | PyBUF_FORMAT) < 0) return false;
  held_ = true;
  const char f = native_format(view_.format);
  if (((f != 'd' || view_.itemsize != 8) && (f != 'f' || view_.itemsize != 4)) || view_.ndim != 1) {
    PyErr_Format(PyExc_TypeError,
                 "%s must be a number or a one-dimensional buffer of float64 or float32 values, "
                 "got format '%s' shape %s",
                 name, view_.format ? view_.format : "B", shape_text(view_).c_str());
    return false;
  }
  if (view_.shape[0] != n) return length_mismatch(name, view_.shape[0], n);
  is_double_ = f == 'd';
  base_ = static_cast<const char*>(view_.buf);
  stride_ = view_.strides[0];
  return true;
}

Result::~Result() {
  if (held_) PyBuffer_Release(&view_);
  Py_XDECREF(object_);
}

bool Result::acquire(PyObject* out, Py_ssize_t n, char format) {
  const std::size_t item = format == 'd' ? sizeof(double) : 1;
  if (out && out != Py_None) {
    if (PyObject_GetBuffer(out, &view_, PyBUF_CONTIG | PyBUF_FORMAT) < 0) return false;
    held_ = true;
    const char f = native_format(view_.format);
    const bool same = format == 'd' ? f == 'd' && view_.itemsize == 8
                                    : view_.itemsize == 1 && (f == '?' || f == 'b' || f == 'B');
    if (!same) {
      PyErr_Format(PyExc_TypeError, "out must be a buffer of format '%c', got format '%s'", format,
                   view_.format ? view_.format : "B");
      return false;
    }
    if (view_.ndim != 1) {
      PyErr_Format(PyExc_ValueError, "out must be one-dimensional, got shape %s",
                   shape_text(view_).c_str());
      return false;
    }
    if (view_.shape[0] != n) return length_mismatch("out", view_.shape[0], n);
    object_ = Py_NewRef(out);
    data_ = view_.buf;
    return true;
  }
  std::size_t bytes;
  if (!byte_size(n, item, &bytes)) return false;
  Ref raw(PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bytes)));
  if (!raw) return false;
  Ref view(PyMemoryView_FromObject(raw.get()));
  if (!view) return false;
  static PyObject* s_cast = PyUnicode_InternFromString("cast");
  static PyObject* s_double = PyUnicode_InternFromString("d");
  static PyObject* s_bool = PyUnicode_InternFromString("?");
  if (!s_cast || !s_double || !s_bool) return false;
  object_ = PyObject_CallMethodOneArg(view.get(), s_cast, format == 'd' ? s_double : s_bool);
  if (!object_) return false;
  data_ = PyByteArray_AS_STRING(raw.get());
  return true;
}

PyObject* Result::result() noexcept {
  if (held_) {
    PyBuffer_Release(&view_);
    held_ = false;
  }
  return std::exchange(object_, nullptr);
}

PyObject* repr_rows(const char* name, const float* data, Py_ssize_t count, int k) {
  constexpr Py_ssize_t kShown = 8, kHead = 3;
  std::string s = name;
  s += "([";
  auto row = [&](Py_ssize_t i) -> bool {
    s += "(";
    for (int j = 0; j < k; ++j) {
      char* f = rt::float_repr(static_cast<double>(data[i * k + j]));
      if (!f) return false;
      if (j) s += ", ";
      s += f;
      PyMem_Free(f);
    }
    s += ")";
    return true;
  };
  const bool cut = count > kShown;
  for (Py_ssize_t i = 0; i < count; ++i) {
    if (cut && i == kHead) {
      s += ", ...";
      i = count - 1;
    }
    if (i) s += ", ";
    if (!row(i)) return nullptr;
  }
  s += "]";
  if (cut) s += ", count=" + std::to_string(count);
  s += ")";
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

}  // namespace tarvex::arr
