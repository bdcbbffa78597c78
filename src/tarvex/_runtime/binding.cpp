// Argument binding with the package's messages.
#include "tarvex/_runtime/binding.h"

#include "tarvex/_runtime/errors.h"

namespace tarvex::rt {

namespace {

void count_error(const Params& p, Py_ssize_t given) {
  const char* how;
  Py_ssize_t expected;
  if (p.required == p.count) {
    how = "exactly";
    expected = p.count;
  } else if (given < p.required) {
    how = "at least";
    expected = p.required;
  } else {
    how = "at most";
    expected = p.count;
  }
  PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
               p.fname, how, expected, expected == 1 ? "" : "s", given);
}

}  // namespace

bool bind_params(const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 PyObject** out) {
  if (nargs > p.count) {
    count_error(p, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < p.count; ++i) out[i] = i < nargs ? args[i] : nullptr;
  Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    if (!PyUnicode_Check(key)) {
      PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", p.fname);
      return false;
    }
    Py_ssize_t i = 0;
    for (; i < p.count; ++i)
      if (PyUnicode_EqualToUTF8(key, p.names[i])) break;
    if (i == p.count) {
      unexpected_keyword(p.fname, key);
      return false;
    }
    if (out[i]) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", p.fname,
                   key);
      return false;
    }
    out[i] = args[nargs + k];
  }
  for (Py_ssize_t i = 0; i < p.required; ++i) {
    if (!out[i]) {
      count_error(p, nargs);
      return false;
    }
  }
  return true;
}

}  // namespace tarvex::rt
