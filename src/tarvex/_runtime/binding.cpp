// Argument binding with the package's messages.
#include "tarvex/_runtime/binding.h"

#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/ref.h"

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

int with_vectorcall_arguments(PyObject* args, PyObject* kwds,
                              int (*f)(void*, PyObject* const*, Py_ssize_t, PyObject*),
                              void* context) {
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  const Py_ssize_t nkw = kwds ? PyDict_GET_SIZE(kwds) : 0;
  if (nkw == 0) return f(context, &PyTuple_GET_ITEM(args, 0), nargs, nullptr);
  Ref kwnames(PyTuple_New(nkw));
  if (!kwnames) return -1;
  PyObject** stack = PyMem_New(PyObject*, nargs + nkw);
  if (!stack) {
    PyErr_NoMemory();
    return -1;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) stack[i] = PyTuple_GET_ITEM(args, i);
  PyObject *key, *value;
  Py_ssize_t pos = 0, k = 0;
  while (k < nkw && PyDict_Next(kwds, &pos, &key, &value)) {
    PyTuple_SET_ITEM(kwnames.get(), k, Py_NewRef(key));
    stack[nargs + k++] = value;
  }
  int r = f(context, stack, nargs, kwnames.get());
  PyMem_Free(static_cast<void*>(stack));
  return r;
}

}  // namespace tarvex::rt
