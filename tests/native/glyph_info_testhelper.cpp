// Test-only module that binds GlyphInfo the way a sibling module does: it
// fills glyph records over pixel buffers the test owns, calls entry `new`,
// and reads the record and its image straight from the instances.
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/glyph_info/glyph_info.h"
#include "tarvex/image/image.h"

namespace {

namespace rt = tarvex::rt;

PyTypeObject* glyph_type;
tarvex_GlyphInfoVTable* glyph_vt;
PyTypeObject* image_type;
tarvex_ImageVTable* image_vt;

rt::Sibling siblings[] = {
    {"tarvex.glyph_info.glyph_info", "GlyphInfo", sizeof(tarvex_GlyphInfoObject), &glyph_type,
     reinterpret_cast<void**>(&glyph_vt)},
    {"tarvex.image.image", "Image", sizeof(tarvex_ImageObject), &image_type,
     reinterpret_cast<void**>(&image_vt)},
};

// new(value, offset_x, offset_y, advance_x, pixels, width, height, mipmaps,
// format): entry `new` over the bytes of the writable buffer `pixels`, or a
// null data pointer for None.
PyObject* make(PyObject*, PyObject* args) {
  GlyphInfo g{};
  PyObject* pixels;
  if (!PyArg_ParseTuple(args, "iiiiOiiii", &g.value, &g.offsetX, &g.offsetY, &g.advanceX, &pixels,
                        &g.image.width, &g.image.height, &g.image.mipmaps, &g.image.format))
    return nullptr;
  if (pixels != Py_None) {
    Py_buffer b;
    if (PyObject_GetBuffer(pixels, &b, PyBUF_WRITABLE) < 0) return nullptr;
    g.image.data = b.buf;  // the test keeps the buffer alive and unresized
    PyBuffer_Release(&b);
  }
  return glyph_vt->new_(g);
}

// fields(glyph): (table pointer is the bound table, value, offset_x,
// offset_y, advance_x, (data address, width, height, mipmaps, format), _image)
PyObject* fields(PyObject*, PyObject* o) {
  if (!PyObject_TypeCheck(o, glyph_type)) {
    rt::arg_type_error("glyph", glyph_type->tp_name, o);
    return nullptr;
  }
  auto* g = reinterpret_cast<tarvex_GlyphInfoObject*>(o);
  const Image& im = g->_raw.image;
  return Py_BuildValue("(Oiiii(Niiii)O)", g->__pyx_vtab == glyph_vt ? Py_True : Py_False,
                       g->_raw.value, g->_raw.offsetX, g->_raw.offsetY, g->_raw.advanceX,
                       PyLong_FromVoidPtr(im.data), im.width, im.height, im.mipmaps, im.format,
                       g->_image);
}

// image_fields(image): (data address, width, height, mipmaps, format, is_owner)
PyObject* image_fields(PyObject*, PyObject* o) {
  if (!PyObject_TypeCheck(o, image_type)) {
    rt::arg_type_error("image", image_type->tp_name, o);
    return nullptr;
  }
  auto* im = reinterpret_cast<tarvex_ImageObject*>(o);
  return Py_BuildValue("(Niiiii)", PyLong_FromVoidPtr(im->_raw.data), im->_raw.width,
                       im->_raw.height, im->_raw.mipmaps, im->_raw.format, im->is_owner);
}

PyObject* address(PyObject*, PyObject* o) {
  Py_buffer b;
  if (PyObject_GetBuffer(o, &b, PyBUF_WRITABLE) < 0) return nullptr;
  PyObject* r = PyLong_FromVoidPtr(b.buf);
  PyBuffer_Release(&b);
  return r;
}

PyMethodDef methods[] = {
    {"new", make, METH_VARARGS, nullptr},
    {"fields", fields, METH_O, nullptr},
    {"image_fields", image_fields, METH_O, nullptr},
    {"address", address, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_glyph_info_testhelper", {.siblings = siblings,
                                                   .body = body,
                                                   .full_name = "_glyph_info_testhelper",
                                                   .file = "tests/native/glyph_info_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__glyph_info_testhelper() { return module_frame.init(); }
