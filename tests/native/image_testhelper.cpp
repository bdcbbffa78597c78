// Test-only module that binds Image the way a sibling module does and calls
// its C method table by entry name, builds raylib Image values over buffers
// the test owns, and reads the instance layout directly.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/image/image.h"

namespace {

namespace rt = tarvex::rt;

PyTypeObject* image_type;
tarvex_ImageVTable* image_vt;

rt::Sibling siblings[] = {
    {"tarvex.image.image", "Image", sizeof(tarvex_ImageObject), &image_type,
     reinterpret_cast<void**>(&image_vt)},
};

template <class F>
PyCFunction cfunc(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

bool int_arg(PyObject* o, int* out) {
  long v = PyLong_AsLong(o);
  if (v == -1 && PyErr_Occurred()) return false;
  *out = static_cast<int>(v);
  return true;
}

bool image_arg(PyObject* o, tarvex_ImageObject** out) {
  if (!PyObject_TypeCheck(o, image_type)) {
    rt::arg_type_error("image", image_type->tp_name, o);
    return false;
  }
  *out = reinterpret_cast<tarvex_ImageObject*>(o);
  return true;
}

bool expect(Py_ssize_t n, Py_ssize_t want) {
  if (n == want) return true;
  PyErr_Format(PyExc_TypeError, "the entry takes %zd arguments after its name (%zd given)", want,
               n);
  return false;
}

// An entry's int result: an exception pending means failure, which must come
// with 0.
PyObject* int_result(int r) {
  if (PyErr_Occurred()) {
    if (r != 0) {
      PyErr_Clear();
      PyErr_Format(PyExc_AssertionError, "entry returned %d with an exception set", r);
    }
    return nullptr;
  }
  return PyLong_FromLong(r);
}

// call(entry, *args): entries 1 to 9 with Python arguments.
PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs < 1 || !PyUnicode_Check(args[0])) {
    PyErr_SetString(PyExc_TypeError, "call(entry, *args)");
    return nullptr;
  }
  const char* s = PyUnicode_AsUTF8(args[0]);
  if (!s) return nullptr;
  std::string_view e = s;
  PyObject* const* a = args + 1;
  Py_ssize_t n = nargs - 1;
  tarvex_ImageObject* self;
  int v[4];
  if (e == "c_load") return expect(n, 1) ? image_vt->c_load(a[0]) : nullptr;
  if (e == "c_load_raw") {
    if (!expect(n, 5)) return nullptr;
    for (int i = 0; i < 4; ++i)
      if (!int_arg(a[i + 1], &v[i])) return nullptr;
    return image_vt->c_load_raw(a[0], v[0], v[1], v[2], v[3]);
  }
  if (e == "c_load_anim") {
    if (!expect(n, 1)) return nullptr;
    int frames = -1;
    PyObject* r = image_vt->c_load_anim(a[0], &frames);
    if (!r) return nullptr;
    return Py_BuildValue("(Ni)", r, frames);
  }
  if (e == "c_load_from_screen") return expect(n, 0) ? image_vt->c_load_from_screen() : nullptr;
  if (e == "c_copy")
    return expect(n, 1) && image_arg(a[0], &self) ? image_vt->c_copy(self) : nullptr;
  if (e == "export") {
    if (!expect(n, 3) || !image_arg(a[0], &self) || !int_arg(a[2], &v[0])) return nullptr;
    return int_result(image_vt->export_(self, a[1], v[0]));
  }
  if (e == "unload") {
    if (!expect(n, 2) || !image_arg(a[0], &self) || !int_arg(a[1], &v[0])) return nullptr;
    image_vt->unload(self, v[0]);
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
  }
  if (e == "copy") {
    if (!expect(n, 2) || !image_arg(a[0], &self) || !int_arg(a[1], &v[0])) return nullptr;
    return image_vt->copy(self, v[0]);
  }
  if (e == "from_channel") {
    if (!expect(n, 3) || !image_arg(a[0], &self) || !int_arg(a[1], &v[0]) || !int_arg(a[2], &v[1]))
      return nullptr;
    return image_vt->from_channel(self, v[0], v[1]);
  }
  PyErr_Format(PyExc_ValueError, "no entry named %s", s);
  return nullptr;
}

// new(pixels, width, height, mipmaps, format, record): entry 0 over
//   pixels None: a null data pointer;
//   pixels ("borrow", buffer): the buffer's own bytes (the test keeps it alive);
//   pixels ("malloc", bytes): a malloc'd copy, for an owning image to free;
// record None passes a null record, (count, is_owner) passes that record.
PyObject* new_image(PyObject*, PyObject* const* a, Py_ssize_t n) {
  if (!expect(n, 6)) return nullptr;
  Image raw{};
  if (!int_arg(a[1], &raw.width) || !int_arg(a[2], &raw.height) || !int_arg(a[3], &raw.mipmaps) ||
      !int_arg(a[4], &raw.format))
    return nullptr;
  void* owned = nullptr;
  if (a[0] != Py_None) {
    const char* how;
    PyObject* src;
    if (!PyArg_ParseTuple(a[0], "sO", &how, &src)) return nullptr;
    Py_buffer b;
    bool borrow = std::strcmp(how, "borrow") == 0;
    if (PyObject_GetBuffer(src, &b, borrow ? PyBUF_WRITABLE : PyBUF_SIMPLE) < 0) return nullptr;
    if (borrow) {
      raw.data = b.buf;
    } else {
      owned = std::malloc(b.len ? static_cast<size_t>(b.len) : 1);
      if (!owned) {
        PyBuffer_Release(&b);
        return PyErr_NoMemory();
      }
      std::memcpy(owned, b.buf, static_cast<size_t>(b.len));
      raw.data = owned;
    }
    PyBuffer_Release(&b);
  }
  tarvex_ImageNewArgs rec{};
  tarvex_ImageNewArgs* recp = nullptr;
  if (a[5] != Py_None) {
    if (!PyArg_ParseTuple(a[5], "ii", &rec.count, &rec.is_owner)) {
      std::free(owned);
      return nullptr;
    }
    recp = &rec;
  }
  PyObject* r = image_vt->new_(raw, recp);
  if (!r) std::free(owned);
  return r;
}

// fields(image): (table pointer is the bound table, data address, width,
// height, mipmaps, format, is_owner, view count)
PyObject* fields(PyObject*, PyObject* o) {
  tarvex_ImageObject* im;
  if (!image_arg(o, &im)) return nullptr;
  return Py_BuildValue("(ONiiiiii)", im->__pyx_vtab == image_vt ? Py_True : Py_False,
                       PyLong_FromVoidPtr(im->_raw.data), im->_raw.width, im->_raw.height,
                       im->_raw.mipmaps, im->_raw.format, im->is_owner, im->_exports);
}

// read(image, n): n bytes straight from the data pointer.
PyObject* read(PyObject*, PyObject* const* a, Py_ssize_t n) {
  tarvex_ImageObject* im;
  if (!expect(n, 2) || !image_arg(a[0], &im)) return nullptr;
  Py_ssize_t len = PyLong_AsSsize_t(a[1]);
  if (len == -1 && PyErr_Occurred()) return nullptr;
  if (!im->_raw.data) Py_RETURN_NONE;
  return PyBytes_FromStringAndSize(static_cast<const char*>(im->_raw.data), len);
}

// address(buffer): where a writable buffer's bytes are.
PyObject* address(PyObject*, PyObject* o) {
  Py_buffer b;
  if (PyObject_GetBuffer(o, &b, PyBUF_WRITABLE) < 0) return nullptr;
  PyObject* r = PyLong_FromVoidPtr(b.buf);
  PyBuffer_Release(&b);
  return r;
}

// adopt(dst, src): moves src's image value and ownership into dst (any
// Image, a Python subclass instance included), leaving src empty.
PyObject* adopt(PyObject*, PyObject* const* a, Py_ssize_t n) {
  tarvex_ImageObject *dst, *src;
  if (!expect(n, 2) || !image_arg(a[0], &dst) || !image_arg(a[1], &src)) return nullptr;
  dst->_raw = src->_raw;
  dst->is_owner = src->is_owner;
  src->_raw = Image{};
  src->is_owner = 0;
  Py_RETURN_NONE;
}

PyObject* instance_size(PyObject*, PyObject*) {
  return PyLong_FromSize_t(sizeof(tarvex_ImageObject));
}

PyMethodDef methods[] = {
    {"call", cfunc(call), METH_FASTCALL, nullptr},
    {"new", cfunc(new_image), METH_FASTCALL, nullptr},
    {"fields", fields, METH_O, nullptr},
    {"read", cfunc(read), METH_FASTCALL, nullptr},
    {"address", address, METH_O, nullptr},
    {"adopt", cfunc(adopt), METH_FASTCALL, nullptr},
    {"instance_size", instance_size, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_image_testhelper", {.siblings = siblings,
                                              .body = body,
                                              .full_name = "_image_testhelper",
                                              .file = "tests/native/image_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__image_testhelper() { return module_frame.init(); }
