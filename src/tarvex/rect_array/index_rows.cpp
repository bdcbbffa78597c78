// Inside tarvex.rect_array.rect_array: the owner of a query's indices.
#include "tarvex/rect_array/index_rows.h"

#include <cstdint>

#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect_array/broadphase.h"

namespace tarvex::rect_array {

namespace {

// Exports its indices as a writable buffer of format "q"; the memoryview a
// query returns holds it, so the storage lives as long as any view of it.
struct IndexRows {
  PyObject_HEAD std::int64_t* data;
  int ndim;
  Py_ssize_t shape[2];
  Py_ssize_t strides[2];
};

std::int64_t no_indices[2];

int get_buffer(PyObject* self, Py_buffer* view, int flags) {
  auto* o = reinterpret_cast<IndexRows*>(self);
  Py_ssize_t items = o->shape[0] * (o->ndim == 2 ? o->shape[1] : 1);
  view->buf = o->data ? static_cast<void*>(o->data) : static_cast<void*>(no_indices);
  view->obj = Py_NewRef(self);
  view->len = items * static_cast<Py_ssize_t>(sizeof(std::int64_t));
  view->readonly = 0;
  view->itemsize = sizeof(std::int64_t);
  view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("q") : nullptr;
  const bool nd = (flags & PyBUF_ND) == PyBUF_ND;
  view->ndim = nd ? o->ndim : 1;
  view->shape = nd ? o->shape : nullptr;
  view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? o->strides : nullptr;
  view->suboffsets = nullptr;
  view->internal = nullptr;
  return 0;
}

PyBufferProcs buffer = {get_buffer, nullptr};

void dealloc(PyObject* self) {
  PyMem_RawFree(reinterpret_cast<IndexRows*>(self)->data);
  Py_TYPE(self)->tp_free(self);
}

PyTypeObject index_rows_type = {
    .ob_base = rt::kStaticTypeHead[0],
    .tp_name = "tarvex.rect_array.rect_array._IndexRows",
    .tp_basicsize = sizeof(IndexRows),
    .tp_dealloc = dealloc,
    .tp_as_buffer = &buffer,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    .tp_doc = "The storage of a collision query's indices, viewed through a memoryview.",
};

}  // namespace

int ready_index_rows() { return PyType_Ready(&index_rows_type); }

PyObject* index_view(Int64Run& run, int columns) {
  rt::Ref owner(reinterpret_cast<PyObject*>(PyObject_New(IndexRows, &index_rows_type)));
  if (!owner) return nullptr;
  auto* o = reinterpret_cast<IndexRows*>(owner.get());
  const auto size = static_cast<Py_ssize_t>(run.size());
  o->ndim = columns == 1 ? 1 : 2;
  o->shape[0] = size / columns;
  o->shape[1] = columns;
  o->strides[0] = columns * static_cast<Py_ssize_t>(sizeof(std::int64_t));
  o->strides[1] = sizeof(std::int64_t);
  o->data = run.release();
  return PyMemoryView_FromObject(owner.get());
}

}  // namespace tarvex::rect_array
