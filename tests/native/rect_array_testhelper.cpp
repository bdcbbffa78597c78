// Test-only module that binds RectArray the way a native caller does and
// calls its C method table: the data pointer and count of the rectangles,
// creation from a C array, and the collision entries.
#include <raylib.h>

#include <cstddef>
#include <vector>

#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect_array/rect_array.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;

PyTypeObject* array_type;
tarvex_RectArrayVTable* vt;

const rt::Sibling siblings[] = {
    rt::sibling<tarvex_RectArrayObject>("tarvex.rect_array.rect_array", "RectArray", &array_type,
                                        &vt),
};

tarvex_RectArrayObject* array_arg(PyObject* o) {
  if (o == Py_None) return nullptr;
  if (Py_IS_TYPE(o, array_type)) return reinterpret_cast<tarvex_RectArrayObject*>(o);
  PyErr_SetString(PyExc_TypeError, "a RectArray is needed");
  return nullptr;
}

// The rectangles read straight from the pointer, as (x, y, width, height).
PyObject* rows(PyObject*, PyObject* arg) {
  tarvex_RectArrayObject* a = array_arg(arg);
  if (!a) return nullptr;
  const Rectangle* r = vt->get_data(a);
  const Py_ssize_t count = vt->get_count(a);
  Ref out(PyList_New(count));
  for (Py_ssize_t i = 0; out && i < count; ++i) {
    PyObject* t = Py_BuildValue("(dddd)", double{r[i].x}, double{r[i].y}, double{r[i].width},
                                double{r[i].height});
    if (!t) return nullptr;
    PyList_SET_ITEM(out.get(), i, t);
  }
  return out.release();
}

// A new array from a C array built from a flat sequence of numbers.
PyObject* from_floats(PyObject*, PyObject* arg) {
  Ref seq(PySequence_Fast(arg, "a sequence of numbers"));
  if (!seq) return nullptr;
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get()) / 4;
  std::vector<float> v(static_cast<std::size_t>(4 * n));
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<float>(PyFloat_AsDouble(PySequence_Fast_ITEMS(seq.get())[i]));
  if (PyErr_Occurred()) return nullptr;
  return vt->cfrom_data(reinterpret_cast<const Rectangle*>(v.data()), n);
}

PyObject* make(PyObject*, PyObject* arg) {
  const Py_ssize_t n = PyLong_AsSsize_t(arg);
  if (n == -1 && PyErr_Occurred()) return nullptr;
  return vt->new_(n);
}

// collide_pairs(a, b or None) through the table.
PyObject* pairs(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 2) {
    PyErr_SetString(PyExc_TypeError, "pairs(array, other)");
    return nullptr;
  }
  tarvex_RectArrayObject* a = array_arg(args[0]);
  tarvex_RectArrayObject* b = array_arg(args[1]);
  if (!a || PyErr_Occurred()) return nullptr;
  return vt->collide_pairs(a, b);
}

// collide_rect_all(a, x, y, width, height) through the table.
PyObject* hits(PyObject*, PyObject* args) {
  PyObject* o;
  Rectangle r;
  if (!PyArg_ParseTuple(args, "O(ffff)", &o, &r.x, &r.y, &r.width, &r.height)) return nullptr;
  tarvex_RectArrayObject* a = array_arg(o);
  if (!a) return nullptr;
  return vt->collide_rect_all(a, r);
}

PyMethodDef methods[] = {
    {"rows", rows, METH_O, nullptr},
    {"from_floats", from_floats, METH_O, nullptr},
    {"make", make, METH_O, nullptr},
    {"pairs", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(pairs)), METH_FASTCALL,
     nullptr},
    {"hits", hits, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_rect_array_testhelper", {.siblings = siblings,
                                                   .body = body,
                                                   .full_name = "_rect_array_testhelper",
                                                   .file = "tests/native/rect_array_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__rect_array_testhelper() { return module_frame.init(); }
