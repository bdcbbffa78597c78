// The pixel view of tarvex.image.image: a writable one-dimensional view of
// an Image's pixels as unsigned bytes, with strided slices and the buffer
// protocol. It holds the Image, and the Image refuses to unload while any
// view exists, so a view never reaches released pixels.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "tarvex/_runtime/errors.h"
#include "tarvex/image/image_module.h"

namespace tarvex::image {

inline constexpr rt::Where kViewWhere{"tarvex.image.image.PixelView", "src/tarvex/image/image"};

struct View {
  PyObject_HEAD PyObject* image;  // strong reference
  unsigned char* base;
  Py_ssize_t shape[1];
  Py_ssize_t strides[1];
};

// Not a module attribute: readied with the module's constants.
extern PyTypeObject view_type;

// A new view of `len` bytes of `image`'s pixels, `stride` apart, from
// `base`; it counts as one of the image's exports.
inline PyObject* make_view(PyObject* image, unsigned char* base, Py_ssize_t len,
                           Py_ssize_t stride) {
  View* v = PyObject_GC_New(View, &view_type);
  if (!v) return nullptr;
  v->image = Py_NewRef(image);
  v->base = base;
  v->shape[0] = len;
  v->strides[0] = stride;
  Py_BEGIN_CRITICAL_SECTION(image);
  ++as(image)->_exports;
  Py_END_CRITICAL_SECTION();
  PyObject_GC_Track(v);
  return reinterpret_cast<PyObject*>(v);
}

}  // namespace tarvex::image
