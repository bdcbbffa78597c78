// The pixel view of tarvex.image.image: items, slices, the buffer protocol
// and the type.
#include "tarvex/image/pixel_view.h"

#include <climits>
#include <cstddef>
#include <vector>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/image/image_module.h"

namespace tarvex::image {

namespace {

View* as_view(PyObject* o) noexcept { return reinterpret_cast<View*>(o); }

void dealloc(PyObject* o) {
  View* v = as_view(o);
  PyObject_GC_UnTrack(o);
  PyObject* image = v->image;
  Py_BEGIN_CRITICAL_SECTION(image);
  --as(image)->_exports;
  Py_END_CRITICAL_SECTION();
  Py_DECREF(image);
  PyObject_GC_Del(o);
}

int traverse(PyObject* o, visitproc visit, void* arg) {
  Py_VISIT(as_view(o)->image);
  return 0;
}

// ---------------------------------------------------------------------------
// Items and slices

Py_ssize_t length(PyObject* o) { return as_view(o)->shape[0]; }

unsigned char* at(View* v, Py_ssize_t i) { return v->base + i * v->strides[0]; }

// Normalises an index; false with IndexError when it is out of range.
bool normalise(View* v, Py_ssize_t* i) {
  if (*i < 0) *i += v->shape[0];
  if (*i < 0 || *i >= v->shape[0]) {
    PyErr_Format(PyExc_IndexError, "Out of bounds on buffer access (axis %zd)",
                 static_cast<Py_ssize_t>(0));
    return false;
  }
  return true;
}

PyObject* item(PyObject* o, Py_ssize_t i) {
  View* v = as_view(o);
  if (!normalise(v, &i)) return nullptr;
  return PyLong_FromLong(*at(v, i));
}

// The sequence slot: the interpreter has already added the length to a
// negative index, so one that is still negative is out of range.
PyObject* sequence_item(PyObject* o, Py_ssize_t i) {
  return i < 0 ? item(o, as_view(o)->shape[0]) : item(o, i);
}

// The bytes a slice selects: its first byte, its stride and its length. A
// slice of at most one byte keeps the parent's stride (it never steps, and
// the parent's stride times a huge step would overflow), and an empty one
// starts at the parent's first byte.
bool slice_of(View* v, PyObject* key, unsigned char** first, Py_ssize_t* stride, Py_ssize_t* len) {
  Py_ssize_t start, stop, step;
  if (PySlice_Unpack(key, &start, &stop, &step) < 0) return false;
  *len = PySlice_AdjustIndices(v->shape[0], &start, &stop, step);
  *first = *len > 0 ? at(v, start) : v->base;
  *stride = *len > 1 ? v->strides[0] * step : v->strides[0];
  return true;
}

void index_type_error(PyObject* key) {
  PyErr_Format(PyExc_TypeError, "view indices must be integers or slices, not %.200s",
               Py_TYPE(key)->tp_name);
}

PyObject* subscript(PyObject* o, PyObject* key) {
  View* v = as_view(o);
  if (PyIndex_Check(key)) {
    Py_ssize_t i = PyNumber_AsSsize_t(key, nullptr);
    if (i == -1 && PyErr_Occurred()) return nullptr;
    return item(o, i);
  }
  if (PySlice_Check(key)) {
    unsigned char* first;
    Py_ssize_t stride, len;
    if (!slice_of(v, key, &first, &stride, &len)) return nullptr;
    return make_view(v->image, first, len, stride);
  }
  index_type_error(key);
  return nullptr;
}

// An item value as an unsigned char: the value's int, read by the runtime's
// C int conversion, then the byte range, with the messages of an unsigned
// char conversion.
bool to_byte(PyObject* value, unsigned char* out) {
  rt::Ref number = rt::int_object(value);
  if (!number) return false;
  int n;
  if (!rt::to_c_int(number.get(), &n)) {
    // Beyond the C int range: too large either way, and the sign says which.
    int sign;
    if (!PyErr_ExceptionMatches(PyExc_OverflowError) || PyLong_GetSign(number.get(), &sign) < 0)
      return false;
    PyErr_Clear();
    n = sign < 0 ? -1 : UCHAR_MAX + 1;
  }
  if (n < 0) {
    PyErr_Format(PyExc_OverflowError, "can't convert negative value to %.200s", "unsigned char");
    return false;
  }
  if (n > UCHAR_MAX) {
    PyErr_Format(PyExc_OverflowError, "value too large to convert to %.200s", "unsigned char");
    return false;
  }
  *out = static_cast<unsigned char>(n);
  return true;
}

int assign_slice(View* v, PyObject* key, PyObject* value) {
  unsigned char* first;
  Py_ssize_t stride, len;
  if (!slice_of(v, key, &first, &stride, &len)) return -1;
  if (PyIndex_Check(value) || !PyObject_CheckBuffer(value)) {
    unsigned char b;
    if (!to_byte(value, &b)) return -1;
    for (Py_ssize_t i = 0; i < len; ++i) first[i * stride] = b;
    return 0;
  }
  Py_buffer src;
  if (PyObject_GetBuffer(value, &src, PyBUF_SIMPLE) < 0) return -1;
  int r = 0;
  if (src.len != len) {
    PyErr_Format(PyExc_ValueError, "cannot assign %zd bytes to a slice of %zd bytes", src.len, len);
    r = -1;
  } else {
    // The source may be these very pixels: copy it out first.
    std::vector<unsigned char> tmp(static_cast<const unsigned char*>(src.buf),
                                   static_cast<const unsigned char*>(src.buf) + len);
    for (Py_ssize_t i = 0; i < len; ++i) first[i * stride] = tmp[static_cast<std::size_t>(i)];
  }
  PyBuffer_Release(&src);
  return r;
}

int assign(PyObject* o, PyObject* key, PyObject* value) {
  View* v = as_view(o);
  if (!value) return rt::subscript_deletion_error(&view_type);
  if (PyIndex_Check(key)) {
    Py_ssize_t i = PyNumber_AsSsize_t(key, nullptr);
    if (i == -1 && PyErr_Occurred()) return -1;
    if (!normalise(v, &i)) return -1;
    unsigned char b;
    if (!to_byte(value, &b)) return -1;
    *at(v, i) = b;
    return 0;
  }
  if (PySlice_Check(key)) return assign_slice(v, key, value);
  index_type_error(key);
  return -1;
}

// ---------------------------------------------------------------------------
// Buffer protocol, repr and properties

int get_buffer(PyObject* o, Py_buffer* b, int flags) {
  View* v = as_view(o);
  bool contiguous = v->strides[0] == 1 || v->shape[0] <= 1;
  bool wants_strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES;
  bool wants_contiguous = (flags & PyBUF_C_CONTIGUOUS) == PyBUF_C_CONTIGUOUS ||
                          (flags & PyBUF_F_CONTIGUOUS) == PyBUF_F_CONTIGUOUS ||
                          (flags & PyBUF_ANY_CONTIGUOUS) == PyBUF_ANY_CONTIGUOUS;
  if (!contiguous && (!wants_strides || wants_contiguous)) {
    PyErr_SetString(PyExc_BufferError, "the view is not contiguous");
    b->obj = nullptr;
    return -1;
  }
  b->buf = v->base;
  b->obj = Py_NewRef(o);
  b->len = v->shape[0];
  b->readonly = 0;
  b->itemsize = 1;
  b->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("B") : nullptr;
  b->ndim = 1;
  b->shape = (flags & PyBUF_ND) ? v->shape : nullptr;
  b->strides = wants_strides ? v->strides : nullptr;
  b->suboffsets = nullptr;
  b->internal = nullptr;
  return 0;
}

PyObject* repr(PyObject* o) {
  return PyUnicode_FromFormat("<PixelView of %zd bytes of %R>", as_view(o)->shape[0],
                              as_view(o)->image);
}

PyObject* nbytes(View* v) { return PyLong_FromSsize_t(v->shape[0]); }
PyObject* shape(View* v) { return Py_BuildValue("(n)", v->shape[0]); }
PyObject* strides(View* v) { return Py_BuildValue("(n)", v->strides[0]); }
PyObject* one(View*) { return PyLong_FromLong(1); }
PyObject* format(View*) { return PyUnicode_FromString("B"); }
bool readonly(View*) { return false; }
PyObject* obj(View* v) { return Py_NewRef(v->image); }

template <rt::Name N, auto Get>
using Property = rt::Property<kViewWhere, View, N, Get>;

PyGetSetDef properties[] = {
    Property<"nbytes", nbytes>::def(
        rt::docstring<"The number of bytes in the view, an int. Read-only.">),
    Property<"shape", shape>::def(rt::docstring<"(length,), a one-item tuple. Read-only.">),
    Property<"strides", strides>::def(
        rt::docstring<
            "(step,), the distance in bytes between items (1 unless the view is a stepped slice). "
            "Read-only.">),
    Property<"ndim", one>::def(rt::docstring<"1: views are one-dimensional. Read-only.">),
    Property<"itemsize", one>::def(rt::docstring<"1: each item is one byte. Read-only.">),
    Property<"format", format>::def(
        rt::docstring<"\"B\": items are unsigned bytes, as in the struct module. Read-only.">),
    Property<"readonly", readonly>::def(rt::docstring<"False: views are writable. Read-only.">),
    Property<"obj", obj>::def(rt::docstring<"The Image whose pixels the view shows. Read-only.">),
    rt::kEndOfProperties,
};

PySequenceMethods sequence = {.sq_length = length, .sq_item = sequence_item};
PyMappingMethods mapping = {
    .mp_length = length, .mp_subscript = subscript, .mp_ass_subscript = assign};
PyBufferProcs buffer = {.bf_getbuffer = get_buffer};

}  // namespace

PyTypeObject view_type = {
    TARVEX_TYPE_HEAD(kViewWhere, View, dealloc),
    .tp_repr = repr,
    .tp_as_sequence = &sequence,
    .tp_as_mapping = &mapping,
    .tp_as_buffer = &buffer,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    .tp_doc = rt::docstring<
        "A writable one-dimensional view of an Image's pixel bytes.\n\n"
        "Made by `Image.data_view`; it cannot be created directly. It behaves like a memoryview "
        "of unsigned bytes: `len(view)` is the byte count, `view[i]` is an int from 0 to 255 "
        "(negative indices count from the end; out of range raises IndexError), `view[i] = n` "
        "writes one byte (n an int from 0 to 255, else OverflowError; a float is truncated), "
        "`view[a:b:c]` is a further PixelView of the same bytes, and a slice assignment takes "
        "one int, which fills the slice, or a bytes-like object of the same length. Items "
        "cannot be deleted.\n\n"
        "It supports the buffer protocol (format \"B\", writable), so `memoryview(view)`, "
        "`bytes(view)` and array libraries read and write the pixels directly. The view holds "
        "its Image: the image stays alive and refuses to unload while the view, or a buffer "
        "taken from it, exists.">,
    .tp_traverse = traverse,
    .tp_getset = properties,
};

}  // namespace tarvex::image
