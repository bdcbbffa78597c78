// An outside native extension, as a third-party package writes one: built
// against the header an installed tarvex carries, with no raylib header, and
// calling tarvex.parser.parser through that header's import step.
#include <Python.h>
#include <tarvex/parser.h>

namespace {

tarvex_ParserAPI parser;

// vector2(obj) -> (x, y): obj read as a vector-like argument.
PyObject* vector2(PyObject*, PyObject* obj) {
  Vector2 v = parser.parse_vector2_like(obj);
  if (PyErr_Occurred()) return nullptr;
  return Py_BuildValue("(dd)", static_cast<double>(v.x), static_cast<double>(v.y));
}

// rect(obj) -> (x, y, width, height).
PyObject* rect(PyObject*, PyObject* obj) {
  Rectangle r = parser.parse_rect_like(obj);
  if (PyErr_Occurred()) return nullptr;
  return Py_BuildValue("(dddd)", static_cast<double>(r.x), static_cast<double>(r.y),
                       static_cast<double>(r.width), static_cast<double>(r.height));
}

// color(obj) -> (r, g, b, a).
PyObject* color(PyObject*, PyObject* obj) {
  Color c = parser.parse_color_like(obj);
  if (PyErr_Occurred()) return nullptr;
  return Py_BuildValue("(iiii)", c.r, c.g, c.b, c.a);
}

// raylib_header() -> whether raylib's own header was seen at compile time.
PyObject* raylib_header(PyObject*, PyObject*) {
#ifdef RAYLIB_H
  Py_RETURN_TRUE;
#else
  Py_RETURN_FALSE;
#endif
}

PyMethodDef methods[] = {
    {"vector2", vector2, METH_O, "vector2(obj) -> (x, y)"},
    {"rect", rect, METH_O, "rect(obj) -> (x, y, width, height)"},
    {"color", color, METH_O, "color(obj) -> (r, g, b, a)"},
    {"raylib_header", raylib_header, METH_NOARGS, "whether raylib.h was compiled in"},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject*) { return tarvex_import_parser(&parser); }

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef definition = {PyModuleDef_HEAD_INIT,
                          "wheel_consumer",
                          "Calls tarvex's parser.",
                          0,
                          methods,
                          slots,
                          nullptr,
                          nullptr,
                          nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_wheel_consumer() { return PyModuleDef_Init(&definition); }
