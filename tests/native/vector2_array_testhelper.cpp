// Test-only module that binds Vector2Array the way a raylib binding does
// and calls its C method table: the data pointer and count that
// DrawLineStrip(points, count, color) takes, creation from a pointer and a
// count, and growth and resizing from C.
#include <raylib.h>

#include <cstddef>
#include <vector>

#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/vector2_array/vector2_array.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;

PyTypeObject* array_type;
tarvex_Vector2ArrayVTable* vt;

const rt::Sibling siblings[] = {
    rt::sibling<tarvex_Vector2ArrayObject>("tarvex.vector2_array.vector2_array", "Vector2Array",
                                           &array_type, &vt),
};

tarvex_Vector2ArrayObject* array_arg(PyObject* o) {
  if (Py_IS_TYPE(o, array_type)) return reinterpret_cast<tarvex_Vector2ArrayObject*>(o);
  PyErr_SetString(PyExc_TypeError, "a Vector2Array is needed");
  return nullptr;
}

// What a DrawLineStrip binding would hand raylib, read back as a list of
// (x, y) tuples straight from the pointer.
PyObject* strip(PyObject*, PyObject* arg) {
  tarvex_Vector2ArrayObject* a = array_arg(arg);
  if (!a) return nullptr;
  const Vector2* points = vt->get_data(a);
  const Py_ssize_t count = vt->get_count(a);
  Ref out(PyList_New(count));
  for (Py_ssize_t i = 0; out && i < count; ++i) {
    PyObject* t =
        Py_BuildValue("(dd)", static_cast<double>(points[i].x), static_cast<double>(points[i].y));
    if (!t) return nullptr;
    PyList_SET_ITEM(out.get(), i, t);
  }
  return out.release();
}

// A new array from a C array of Vector2 built from a flat list of numbers.
PyObject* from_floats(PyObject*, PyObject* arg) {
  Ref seq(PySequence_Fast(arg, "a sequence of numbers"));
  if (!seq) return nullptr;
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get()) / 2;
  std::vector<Vector2> v(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    v[static_cast<std::size_t>(i)].x =
        static_cast<float>(PyFloat_AsDouble(PySequence_Fast_ITEMS(seq.get())[2 * i]));
    v[static_cast<std::size_t>(i)].y =
        static_cast<float>(PyFloat_AsDouble(PySequence_Fast_ITEMS(seq.get())[2 * i + 1]));
  }
  if (PyErr_Occurred()) return nullptr;
  return vt->cfrom_data(v.data(), n);
}

PyObject* make(PyObject*, PyObject* arg) {
  const Py_ssize_t n = PyLong_AsSsize_t(arg);
  if (n == -1 && PyErr_Occurred()) return nullptr;
  return vt->new_(n);
}

// Appends the array to itself through extend_data, whose source then lies
// inside the storage that grows.
PyObject* doubled(PyObject*, PyObject* arg) {
  tarvex_Vector2ArrayObject* a = array_arg(arg);
  if (!a || vt->extend_data(a, vt->get_data(a), vt->get_count(a)) < 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject* resize(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 2) {
    PyErr_SetString(PyExc_TypeError, "resize(array, count)");
    return nullptr;
  }
  tarvex_Vector2ArrayObject* a = array_arg(args[0]);
  const Py_ssize_t n = a ? PyLong_AsSsize_t(args[1]) : -1;
  if (!a || (n == -1 && PyErr_Occurred()) || vt->resize(a, n) < 0) return nullptr;
  Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    {"strip", strip, METH_O, nullptr},
    {"from_floats", from_floats, METH_O, nullptr},
    {"make", make, METH_O, nullptr},
    {"doubled", doubled, METH_O, nullptr},
    {"resize", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(resize)), METH_FASTCALL,
     nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_vector2_array_testhelper",
                        {.siblings = siblings,
                         .body = body,
                         .full_name = "_vector2_array_testhelper",
                         .file = "tests/native/vector2_array_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__vector2_array_testhelper() { return module_frame.init(); }
