// Errors and traceback entries of the tarvex runtime.
#include "tarvex/_runtime/errors.h"

#include <frameobject.h>

#include <cstdio>

#include "tarvex/_runtime/ref.h"

namespace tarvex::rt {

void add_traceback(const char* prefix, const char* name, const char* file) {
  PyObject* exc = PyErr_GetRaisedException();
  if (!exc) return;  // nothing to attach the entry to
  char func[512];
  if (name)
    std::snprintf(func, sizeof func, "%s.%s", prefix, name);
  else
    std::snprintf(func, sizeof func, "%s", prefix);
  PyCodeObject* code = PyCode_NewEmpty(file, func, 0);
  Ref globals(code ? PyDict_New() : nullptr);
  PyFrameObject* frame =
      globals ? PyFrame_New(PyThreadState_Get(), code, globals.get(), nullptr) : nullptr;
  Py_XDECREF(reinterpret_cast<PyObject*>(code));
  // Whatever failed above, the original exception is what the caller sees.
  PyErr_Clear();
  PyErr_SetRaisedException(exc);
  if (frame) {
    PyTraceBack_Here(frame);
    Py_DECREF(reinterpret_cast<PyObject*>(frame));
  }
}

void arg_type_error(const char* param, const char* expected, PyObject* got) {
  PyErr_Format(PyExc_TypeError,
               "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", param,
               expected, Py_TYPE(got)->tp_name);
}

int property_deletion_error() {
  PyErr_SetString(PyExc_NotImplementedError, "__del__");
  return -1;
}

int subscript_deletion_error(PyTypeObject* type) {
  PyErr_Format(PyExc_NotImplementedError, "Subscript %.10s not supported by %.200s", "deletion",
               type->tp_name);
  return -1;
}

PyObject* expect_instance(PyObject* r, PyTypeObject* expected) {
  if (!r || r == Py_None || PyObject_TypeCheck(r, expected)) return r;
  PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(r)->tp_name,
               expected->tp_name);
  Py_DECREF(r);
  return nullptr;
}

void unexpected_keyword(const char* fname, PyObject* kw) {
  PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", fname, kw);
}

bool keywords_refused(const char* fname, PyObject* kwds) {
  if (!kwds || PyDict_GET_SIZE(kwds) == 0) return false;
  PyObject *key, *value;
  Py_ssize_t pos = 0;
  PyDict_Next(kwds, &pos, &key, &value);
  unexpected_keyword(fname, key);
  return true;
}

}  // namespace tarvex::rt
