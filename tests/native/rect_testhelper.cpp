// Test-only module that binds Rect (and the vectors it uses) the way a
// sibling module does, and calls Rect's C method table by entry name.
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect.h"
#include "tarvex/vector2/vector2.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;

PyTypeObject* v2_type;
PyTypeObject* v4_type;
PyTypeObject* rect_type;
tarvex_Vector2VTable* v2_vt;
tarvex_Vector4VTable* v4_vt;
tarvex_RectVTable* rect_vt;

rt::Sibling siblings[] = {
    {"tarvex.vector2.vector2", "Vector2", sizeof(tarvex_Vector2Object), &v2_type,
     reinterpret_cast<void**>(&v2_vt)},
    {"tarvex.vector4.vector4", "Vector4", sizeof(tarvex_Vector4Object), &v4_type,
     reinterpret_cast<void**>(&v4_vt)},
    {"tarvex.rect.rect", "Rect", sizeof(tarvex_RectObject), &rect_type,
     reinterpret_cast<void**>(&rect_vt)},
};

using RectObj = tarvex_RectObject;

bool want_rect(PyObject* o, RectObj** out) {
  if (!PyObject_TypeCheck(o, rect_type)) {
    rt::arg_type_error("self", rect_type->tp_name, o);
    return false;
  }
  *out = reinterpret_cast<RectObj*>(o);
  return true;
}

bool want_flag(PyObject* o, int* out) { return rt::to_c_int(o, out); }

// A collision entry's result: 0 or 1, and an exception only with 0.
PyObject* truth_result(int r) {
  if (PyErr_Occurred()) {
    if (r == 0) return nullptr;
    PyErr_Clear();
    PyErr_Format(PyExc_SystemError, "entry returned %d with an exception pending", r);
    return nullptr;
  }
  if (r != 0 && r != 1) {
    PyErr_Format(PyExc_SystemError, "entry returned %d", r);
    return nullptr;
  }
  return PyLong_FromLong(r);
}

// Runs collision entry `e` on (self, arg, flag); 2 when `e` is no such entry.
int run_collide(std::string_view e, RectObj* s, PyObject* arg, int flag) {
  auto* vt = rect_vt;
  if (e == "collide_point") return vt->collide_point(s, arg, flag);
  if (e == "collide_point_vector2")
    return vt->collide_point_vector2(s, reinterpret_cast<tarvex_Vector2Object*>(arg), flag);
  if (e == "collide_point_tuple") return vt->collide_point_tuple(s, arg, flag);
  if (e == "collide_point_list") return vt->collide_point_list(s, arg, flag);
  if (e == "collide_rect") return vt->collide_rect(s, arg, flag);
  if (e == "collide_rect_vector4")
    return vt->collide_rect_vector4(s, reinterpret_cast<tarvex_Vector4Object*>(arg), flag);
  if (e == "collide_rect_rect")
    return vt->collide_rect_rect(s, reinterpret_cast<RectObj*>(arg), flag);
  if (e == "collide_rect_tuple") return vt->collide_rect_tuple(s, arg, flag);
  if (e == "collide_rect_list") return vt->collide_rect_list(s, arg, flag);
  return 2;
}

bool entry_name(PyObject* const* args, Py_ssize_t n, std::string_view* out) {
  if (n < 1 || !PyUnicode_Check(args[0])) {
    PyErr_SetString(PyExc_TypeError, "the first argument names the entry");
    return false;
  }
  Py_ssize_t len;
  const char* s = PyUnicode_AsUTF8AndSize(args[0], &len);
  if (!s) return false;
  *out = std::string_view(s, static_cast<size_t>(len));
  return true;
}

PyObject* bad_call(std::string_view e) {
  PyErr_Format(PyExc_TypeError, "bad arguments for entry %.*s", static_cast<int>(e.size()),
               e.data());
  return nullptr;
}

// call(entry, ...): new(x, y, w, h); get_*(rect, flag); collide_*(rect, arg, flag).
// Typed entries get their argument unchecked, as a C caller may pass it;
// collide_rect_rect only a Rect or None, which the entry can read.
PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t n) {
  std::string_view e;
  if (!entry_name(args, n, &e)) return nullptr;
  if (e == "new") {
    if (n != 5) return bad_call(e);
    double d[4];
    for (int i = 0; i < 4; ++i)
      if (!rt::to_double(args[i + 1], &d[i])) return nullptr;
    return rect_vt->new_(
        Rectangle{rt::narrow(d[0]), rt::narrow(d[1]), rt::narrow(d[2]), rt::narrow(d[3])});
  }
  RectObj* self;
  int flag;
  if (e.starts_with("get_")) {
    if (n != 3) return bad_call(e);
    if (!want_rect(args[1], &self) || !want_flag(args[2], &flag)) return nullptr;
    if (e == "get_width") return rect_vt->get_width(self, flag);
    if (e == "get_height") return rect_vt->get_height(self, flag);
    if (e == "get_tuple") return rect_vt->get_tuple(self, flag);
    if (e == "get_vector4") return rect_vt->get_vector4(self, flag);
    return bad_call(e);
  }
  if (n != 4) return bad_call(e);
  if (!want_rect(args[1], &self) || !want_flag(args[3], &flag)) return nullptr;
  if (e == "collide_rect_rect" && args[2] != Py_None && !PyObject_TypeCheck(args[2], rect_type)) {
    rt::arg_type_error("other", rect_type->tp_name, args[2]);
    return nullptr;
  }
  int r = run_collide(e, self, args[2], flag);
  if (r == 2) return bad_call(e);
  return truth_result(r);
}

// Counts objects made while a collision entry runs (dispatch off).
int count_creations(PyObject*, PyRefTracerEvent event, void* data) {
  if (event == PyRefTracer_CREATE) ++*static_cast<long*>(data);
  return 0;
}

// created(entry, rect, arg) -> (result, number of objects made)
PyObject* created(PyObject*, PyObject* const* args, Py_ssize_t n) {
  std::string_view e;
  if (!entry_name(args, n, &e)) return nullptr;
  RectObj* self;
  if (n != 3 || !want_rect(args[1], &self)) return n != 3 ? bad_call(e) : nullptr;
  if (e == "collide_rect_rect" && !PyObject_TypeCheck(args[2], rect_type)) return bad_call(e);
  void* old_data = nullptr;
  PyRefTracer old = PyRefTracer_GetTracer(&old_data);
  long count = 0;
  if (PyRefTracer_SetTracer(count_creations, &count) < 0) return nullptr;
  int r = run_collide(e, self, args[2], 1);
  PyObject* pending = PyErr_GetRaisedException();
  PyRefTracer_SetTracer(old, old_data);
  PyErr_SetRaisedException(pending);
  if (r == 2) return bad_call(e);
  Ref truth(truth_result(r));
  if (!truth) return nullptr;
  return Py_BuildValue("(Ol)", truth.get(), count);
}

// raw(rect): the Rectangle read straight from the instance layout, and
// whether the instance points at the table bound from __pyx_vtable__.
PyObject* raw(PyObject*, PyObject* arg) {
  RectObj* r;
  if (!want_rect(arg, &r)) return nullptr;
  return Py_BuildValue("((dddd)O)", static_cast<double>(r->_raw.x), static_cast<double>(r->_raw.y),
                       static_cast<double>(r->_raw.width), static_cast<double>(r->_raw.height),
                       r->__pyx_vtab == rect_vt ? Py_True : Py_False);
}

// layout() -> (offset of the table pointer, offset of _raw, instance size,
// table size, entry names ordered by their offset in the table), as a
// sibling compiled against the declarations sees them.
PyObject* layout(PyObject*, PyObject*) {
  struct Slot {
    const char* name;
    std::size_t offset;
  };
#define SLOT(entry) Slot{#entry, offsetof(tarvex_RectVTable, entry)}
  Slot slots[] = {SLOT(get_tuple),           SLOT(get_vector4),
                  SLOT(collide_rect_list),   SLOT(collide_rect_tuple),
                  SLOT(collide_rect_rect),   SLOT(collide_rect_vector4),
                  SLOT(collide_rect),        SLOT(collide_point_list),
                  SLOT(collide_point_tuple), SLOT(collide_point_vector2),
                  SLOT(collide_point),       SLOT(get_height),
                  SLOT(get_width),           SLOT(new_)};
#undef SLOT
  std::sort(std::begin(slots), std::end(slots),
            [](const Slot& a, const Slot& b) { return a.offset < b.offset; });
  Ref names(PyList_New(0));
  if (!names) return nullptr;
  for (const Slot& s : slots) {
    Ref item(Py_BuildValue("(sn)", s.name, static_cast<Py_ssize_t>(s.offset / sizeof(void*))));
    if (!item || PyList_Append(names.get(), item.get()) < 0) return nullptr;
  }
  return Py_BuildValue("(nnnnO)", static_cast<Py_ssize_t>(offsetof(RectObj, __pyx_vtab)),
                       static_cast<Py_ssize_t>(offsetof(RectObj, _raw)),
                       static_cast<Py_ssize_t>(sizeof(RectObj)),
                       static_cast<Py_ssize_t>(sizeof(tarvex_RectVTable)), names.get());
}

PyMethodDef methods[] = {
    {"layout", layout, METH_NOARGS, nullptr},
    {"call", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call)), METH_FASTCALL,
     nullptr},
    {"created", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(created)), METH_FASTCALL,
     nullptr},
    {"raw", raw, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_rect_testhelper", {.siblings = siblings,
                                             .body = body,
                                             .full_name = "_rect_testhelper",
                                             .file = "tests/native/rect_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__rect_testhelper() { return module_frame.init(); }
