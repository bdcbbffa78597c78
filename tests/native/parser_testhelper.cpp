// Test-only module that uses tarvex.parser.parser the way a third-party
// native module does, through include/tarvex/parser.h.
#include <tarvex/parser.h>

#include <cmath>
#include <cstring>

#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;

tarvex_ParserAPI parser;

// Calls the parser for `kind` ("vector2", "rect" or "color") and returns the
// result as a tuple of its fields, or null. `zero` tells whether every field
// of the result was zero.
PyObject* run(PyObject* kind, PyObject* obj, bool* zero) {
  const char* k = PyUnicode_Check(kind) ? PyUnicode_AsUTF8(kind) : nullptr;
  if (!k) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "kind must be a str");
    return nullptr;
  }
  Ref out;
  if (std::strcmp(k, "vector2") == 0) {
    Vector2 v = parser.parse_vector2_like(obj);
    *zero = v.x == 0 && v.y == 0 && !std::signbit(v.x) && !std::signbit(v.y);
    out.reset(Py_BuildValue("(dd)", double(v.x), double(v.y)));
  } else if (std::strcmp(k, "rect") == 0) {
    Rectangle r = parser.parse_rect_like(obj);
    unsigned char bytes[sizeof r];
    std::memcpy(bytes, &r, sizeof r);
    *zero = true;
    for (unsigned char b : bytes) *zero = *zero && b == 0;
    out.reset(Py_BuildValue("(dddd)", double(r.x), double(r.y), double(r.width), double(r.height)));
  } else if (std::strcmp(k, "color") == 0) {
    Color c = parser.parse_color_like(obj);
    *zero = c.r == 0 && c.g == 0 && c.b == 0 && c.a == 0;
    out.reset(Py_BuildValue("(iiii)", c.r, c.g, c.b, c.a));
  } else {
    PyErr_Format(PyExc_ValueError, "no parser for %s", k);
    return nullptr;
  }
  return out.release();
}

// parse(kind, obj): the result, or the parser's exception.
PyObject* parse(PyObject*, PyObject* const* args, Py_ssize_t n) {
  if (n != 2) {
    PyErr_SetString(PyExc_TypeError, "parse(kind, obj)");
    return nullptr;
  }
  bool zero;
  Ref r(run(args[0], args[1], &zero));
  if (PyErr_Occurred()) return nullptr;  // the caller's test after every call
  return r.release();
}

// outcome(kind, obj): (result, exception or None, whether all fields were 0),
// so that a failure's returned structure can be inspected.
PyObject* outcome(PyObject*, PyObject* const* args, Py_ssize_t n) {
  if (n != 2) {
    PyErr_SetString(PyExc_TypeError, "outcome(kind, obj)");
    return nullptr;
  }
  bool zero = false;
  Ref r(run(args[0], args[1], &zero));
  Ref exc(PyErr_GetRaisedException());
  if (!r)
    return nullptr == exc.get() ? nullptr : Py_BuildValue("(OOO)", Py_None, exc.get(), Py_False);
  return Py_BuildValue("(OOO)", r.get(), exc ? exc.get() : Py_None, zero ? Py_True : Py_False);
}

// null_argument(kind, pending): passes a null object, with or without an
// exception already pending, and returns (exception, all-zero).
PyObject* null_argument(PyObject*, PyObject* const* args, Py_ssize_t n) {
  if (n != 2) {
    PyErr_SetString(PyExc_TypeError, "null_argument(kind, pending)");
    return nullptr;
  }
  if (PyObject_IsTrue(args[1])) PyErr_SetString(PyExc_LookupError, "pending before the call");
  bool zero = false;
  Ref r(run(args[0], nullptr, &zero));
  Ref exc(PyErr_GetRaisedException());
  return Py_BuildValue("(OO)", exc ? exc.get() : Py_None, zero ? Py_True : Py_False);
}

// import_from(module): runs the header's import step against any module and
// returns the three function addresses.
PyObject* import_from(PyObject*, PyObject* name) {
  const char* s = PyUnicode_AsUTF8(name);
  if (!s) return nullptr;
  tarvex_ParserAPI api{};
  if (tarvex_import_parser_from(s, &api) < 0) return nullptr;
  return Py_BuildValue("(NNN)", PyLong_FromVoidPtr(reinterpret_cast<void*>(api.parse_vector2_like)),
                       PyLong_FromVoidPtr(reinterpret_cast<void*>(api.parse_rect_like)),
                       PyLong_FromVoidPtr(reinterpret_cast<void*>(api.parse_color_like)));
}

#define FAST(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)), METH_FASTCALL

PyMethodDef methods[] = {
    {"parse", FAST(parse), nullptr},
    {"outcome", FAST(outcome), nullptr},
    {"null_argument", FAST(null_argument), nullptr},
    {"import_from", import_from, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) {
  if (tarvex_import_parser(&parser) < 0) return -1;
  return PyModule_AddFunctions(module, methods);
}

rt::Module module_frame("_parser_testhelper", {.body = body,
                                               .full_name = "_parser_testhelper",
                                               .file = "tests/native/parser_testhelper"});

// _frame_probe: a second module in this library, loaded from its file under
// that name, whose exec step fails as sys._frame_probe says: "raise" (with
// an exception), "silent" (without one), anything else succeeds and sets
// `constants_calls`.
int probe_constants_calls = 0;

int probe_constants() {
  ++probe_constants_calls;
  return 0;
}

int probe_body(PyObject* module) {
  Ref sys(PyImport_ImportModule("sys"));
  PyObject* mode = nullptr;
  if (!sys || PyObject_GetOptionalAttrString(sys.get(), "_frame_probe", &mode) < 0) return -1;
  Ref owned(mode);
  if (mode && PyUnicode_Check(mode)) {
    if (PyUnicode_EqualToUTF8(mode, "raise")) {
      PyErr_SetString(PyExc_ArithmeticError, "probe failed");
      return -1;
    }
    if (PyUnicode_EqualToUTF8(mode, "silent")) return -1;
  }
  Ref calls(PyLong_FromLong(probe_constants_calls));
  return calls ? PyModule_AddObjectRef(module, "constants_calls", calls.get()) : -1;
}

rt::Module probe_frame("_frame_probe", {.constants = probe_constants,
                                        .body = probe_body,
                                        .full_name = "_frame_probe",
                                        .file = "tests/native/frame_probe"});

}  // namespace

PyMODINIT_FUNC PyInit__parser_testhelper() { return module_frame.init(); }
PyMODINIT_FUNC PyInit__frame_probe() { return probe_frame.init(); }
