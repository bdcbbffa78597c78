// C-level benchmark loops: each function runs an operation `n` times in C
// and returns the mean time per operation in nanoseconds.
#include <time.h>

#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/parser.h"
#include "tarvex/rect/rect.h"
#include "tarvex/vector2/vector2.h"

namespace {

namespace rt = tarvex::rt;

double now_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

// Keeps results observable so the loops are not optimised away.
volatile double sink;

template <class F>
PyObject* timed(PyObject* arg, F body) {
  Py_ssize_t n = PyLong_AsSsize_t(arg);
  if (n <= 0) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "n must be positive");
    return nullptr;
  }
  double t0 = now_ns();
  for (Py_ssize_t i = 0; i < n; ++i)
    if (!body()) return nullptr;
  return PyFloat_FromDouble((now_ns() - t0) / static_cast<double>(n));
}

PyTypeObject* v2_type;
tarvex_Vector2VTable* v2_vt;

PyObject* vector2_new(PyObject*, PyObject* n) {
  return timed(n, [] {
    PyObject* v = v2_vt->new_(1.0, 2.0);
    if (!v) return false;
    Py_DECREF(v);
    return true;
  });
}

// PyArg_ParseTuple "(ff)" on a one-item args tuple holding the pair.
PyObject* argparse_ff(PyObject*, PyObject* args) {
  PyObject *pair, *n;
  if (!PyArg_ParseTuple(args, "OO", &pair, &n)) return nullptr;
  rt::Ref wrapped(PyTuple_Pack(1, pair));
  if (!wrapped) return nullptr;
  PyObject* w = wrapped.get();
  return timed(n, [w] {
    float x, y;
    if (!PyArg_ParseTuple(w, "(ff)", &x, &y)) return false;
    sink = x + y;
    return true;
  });
}

tarvex_ParserAPI parser_api;
bool parser_ready = false;

PyObject* parse_vector2(PyObject*, PyObject* args) {
  PyObject *obj, *n;
  if (!PyArg_ParseTuple(args, "OO", &obj, &n)) return nullptr;
  if (!parser_ready) {
    if (tarvex_import_parser(&parser_api) < 0) return nullptr;
    parser_ready = true;
  }
  return timed(n, [obj] {
    Vector2 v = parser_api.parse_vector2_like(obj);
    if (PyErr_Occurred()) return false;
    sink = v.x;
    return true;
  });
}

PyTypeObject* rect_type;
tarvex_RectVTable* rect_vt;

PyObject* rect_collide_rect_rect(PyObject*, PyObject* args) {
  PyObject *a, *b, *n;
  if (!PyArg_ParseTuple(args, "O!O!O", rect_type, &a, rect_type, &b, &n)) return nullptr;
  auto* ra = reinterpret_cast<tarvex_RectObject*>(a);
  auto* rb = reinterpret_cast<tarvex_RectObject*>(b);
  return timed(n, [ra, rb] {
    int hit = rect_vt->collide_rect_rect(ra, rb, 0);
    if (hit == 0 && PyErr_Occurred()) return false;
    sink = hit;
    return true;
  });
}

PyObject* gen_image_color(PyObject*, PyObject* args) {
  int w, h;
  PyObject* n;
  if (!PyArg_ParseTuple(args, "iiO", &w, &h, &n)) return nullptr;
  return timed(n, [w, h] {
    Image img = GenImageColor(w, h, Color{1, 2, 3, 255});
    bool ok = img.data != nullptr;
    UnloadImage(img);
    return ok;
  });
}

PyMethodDef methods[] = {
    {"vector2_new", vector2_new, METH_O, nullptr},
    {"argparse_ff", argparse_ff, METH_VARARGS, nullptr},
    {"parse_vector2", parse_vector2, METH_VARARGS, nullptr},
    {"rect_collide_rect_rect", rect_collide_rect_rect, METH_VARARGS, nullptr},
    {"gen_image_color", gen_image_color, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

rt::Sibling siblings[] = {
    {"tarvex.vector2.vector2", "Vector2", sizeof(tarvex_Vector2Object), &v2_type,
     reinterpret_cast<void**>(&v2_vt)},
    {"tarvex.rect.rect", "Rect", sizeof(tarvex_RectObject), &rect_type,
     reinterpret_cast<void**>(&rect_vt)},
};

int body(PyObject* module) {
  SetTraceLogLevel(LOG_WARNING);
  return PyModule_AddFunctions(module, methods);
}

rt::Module module_frame("_tarvex_bench", {.siblings = siblings,
                                          .body = body,
                                          .full_name = "_tarvex_bench",
                                          .file = "benchmarks/native/bench_helper"});

}  // namespace

PyMODINIT_FUNC PyInit__tarvex_bench() { return module_frame.init(); }
