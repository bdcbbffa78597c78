// Test-only module with the C library stand-ins the wheels' modules carry
// (src/tarvex/_runtime/libc_compat.cpp), linked the way the modules are, next
// to glibc's own functions where the running C library has them.
#include <Python.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string_view>

#include "tarvex/_runtime/libc_compat.h"

namespace {

using Strtoul = unsigned long (*)(const char*, char**, int);
using FindObject = int (*)(void*, dl_find_object*);

// (value, characters read, errno) of one strtoul.
PyObject* strtoul_result(Strtoul f, const char* s, int base) {
  char* end = nullptr;
  errno = 0;
  unsigned long v = f(s, &end, base);
  int err = errno;
  return Py_BuildValue("(knN)", v, static_cast<Py_ssize_t>(end - s), PyLong_FromLong(err));
}

// strtoul(text, base) -> (ours, glibc's or None)
PyObject* py_strtoul(PyObject*, PyObject* args) {
  const char* s;
  int base;
  if (!PyArg_ParseTuple(args, "yi", &s, &base)) return nullptr;
  auto theirs = reinterpret_cast<Strtoul>(dlsym(RTLD_DEFAULT, "__isoc23_strtoul"));
  PyObject* other = theirs ? strtoul_result(theirs, s, base) : Py_NewRef(Py_None);
  if (!other) return nullptr;
  return Py_BuildValue("(NN)", strtoul_result(__isoc23_strtoul, s, base), other);
}

PyObject* object_of(FindObject f, void* pc) {
  dl_find_object found{};
  if (f(pc, &found) != 0) return Py_NewRef(Py_None);
  return Py_BuildValue(
      "(KKK)", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(found.dlfo_map_start)),
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(found.dlfo_map_end)),
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(found.dlfo_eh_frame)));
}

// find_object(where) -> (ours, glibc's or None) for an address in this
// module ("helper"), in the interpreter ("python") or in the C library
// ("libc"), or for 0 ("none"); each None when not found.
PyObject* py_find_object(PyObject*, PyObject* arg) {
  const char* where = PyUnicode_AsUTF8(arg);
  if (!where) return nullptr;
  void* pc = nullptr;
  std::string_view w = where;
  if (w == "helper") {
    pc = reinterpret_cast<void*>(&py_find_object);
  } else if (w == "python") {
    pc = reinterpret_cast<void*>(&PyLong_FromLong);
  } else if (w == "libc") {
    pc = dlsym(RTLD_DEFAULT, "getpid");
  } else if (w != "none") {
    PyErr_SetString(PyExc_ValueError, "where must be helper, python, libc or none");
    return nullptr;
  }
  auto theirs = reinterpret_cast<FindObject>(dlsym(RTLD_DEFAULT, "_dl_find_object"));
  PyObject* other = theirs ? object_of(theirs, pc) : Py_NewRef(Py_None);
  return Py_BuildValue("(NN)", object_of(_dl_find_object, pc), other);
}

// A C++ exception thrown and caught here: the static unwinder finds its frames
// through the _dl_find_object above.
[[gnu::noinline]] void thrower(int depth) {
  if (depth == 0) throw std::runtime_error("unwound");
  thrower(depth - 1);
}

PyObject* py_throw_and_catch(PyObject*, PyObject*) {
  try {
    thrower(5);
  } catch (const std::exception& e) {
    return PyUnicode_FromString(e.what());
  }
  Py_RETURN_NONE;
}

PyObject* py_random_words(PyObject*, PyObject* arg) {
  Py_ssize_t n = PyLong_AsSsize_t(arg);
  if (n < 0) return PyErr_Occurred() ? nullptr : PyList_New(0);
  PyObject* out = PyList_New(n);
  if (!out) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) PyList_SET_ITEM(out, i, PyLong_FromUnsignedLong(arc4random()));
  return out;
}

PyObject* py_single_threaded(PyObject*, PyObject*) {
  return PyLong_FromLong(__libc_single_threaded);
}

PyMethodDef methods[] = {{"strtoul", py_strtoul, METH_VARARGS, nullptr},
                         {"find_object", py_find_object, METH_O, nullptr},
                         {"throw_and_catch", py_throw_and_catch, METH_NOARGS, nullptr},
                         {"random_words", py_random_words, METH_O, nullptr},
                         {"single_threaded", py_single_threaded, METH_NOARGS, nullptr},
                         {nullptr, nullptr, 0, nullptr}};

PyModuleDef_Slot slots[] = {{Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},
                            {Py_mod_gil, Py_MOD_GIL_NOT_USED},
                            {0, nullptr}};

PyModuleDef def = {PyModuleDef_HEAD_INIT,
                   "_libc_compat_testhelper",
                   nullptr,
                   0,
                   methods,
                   slots,
                   nullptr,
                   nullptr,
                   nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__libc_compat_testhelper() { return PyModuleDef_Init(&def); }
