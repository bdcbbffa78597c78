// The shared base of the packed array types (Vector2Array, Vector3Array,
// RectArray): one implementation of the storage, the buffer protocol, the
// construction forms, the sequence protocol, growth and compaction, copying
// and pickling, and the common C-level entries, parameterised by a traits
// class. A type adds its own operations on top (see vector_array.h).
//
// Interface for a type built on it:
//
//   struct Traits {
//     using Object = ...;   // layout: TARVEX_ARRAY_FIELDS(VTable, Elem)
//     using VTable = ...;   // starts with TARVEX_ARRAY_COMMON_ENTRIES
//     using Elem = ...;     // the raylib structure of one element
//     static constexpr int K = ...;             // floats per element
//     static constexpr rt::Where where = ...;   // type path and source file
//     static constexpr const char* short_name;  // "Vector2Array"
//     static constexpr const char* element_name;  // "Vector2", for docs
//     static PyObject* element_new(const Elem&);  // new element object
//     // One element from any of its forms; false with the exception set.
//     static bool element_read(PyObject* o, Elem* out);
//   };
//   template <> PyTypeObject ArrayBase<Traits>::type = {...};  // the type:
//     // tp_repr, tp_as_sequence, tp_as_mapping, tp_as_buffer, tp_hash
//     // (PyObject_HashNotImplemented), tp_richcompare, tp_new, tp_vectorcall
//     // and tp_dealloc from below, tp_methods joining base_methods with its own
//   template <> VT ArrayBase<Traits>::vtable = ...;  // fill_common_entries
//
// What ArrayBase<Traits> gives:
//  - storage: alloc(n) (n zero elements), reserve(), resize(), extend(),
//    at(self, i) (element pointer), load/store of one element; every
//    resize refuses with BufferError while a buffer view is open, and every
//    size is overflow-checked (MemoryError);
//  - from(source): the constructor's forms (a count, another array of the
//    type, a buffer of float32/float64 shaped (n, K), any iterable of
//    element forms), whole or not at all;
//  - out_array(out, n): the destination of an operation with an `out=`
//    argument (a new array, or `out` checked for type and length);
//  - the slots: buffer, sequence and mapping (len, items, slices, item and
//    slice assignment), iteration, ==, repr, dealloc, the constructor;
//  - base_methods: append, extend, remove_where, clear, resize, copy,
//    __copy__, __deepcopy__, __reduce__, __setstate__;
//  - the common C table entries (fill_common_entries).
// Per-element results and arguments (masks, numbers, `out=` buffers) are in
// array_support.h.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "tarvex/_array/array.h"
#include "tarvex/_array/array_support.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::arr {

using rt::Ref;

template <class Traits>
struct ArrayBase {
  using Obj = typename Traits::Object;
  using VT = typename Traits::VTable;
  using Elem = typename Traits::Elem;
  static constexpr int K = Traits::K;
  static constexpr const rt::Where& where = Traits::where;
  static_assert(sizeof(Elem) == K * sizeof(float), "an element is K packed floats");

  static PyTypeObject type;  // defined by the type's module
  static VT vtable;          // likewise; fill_common_entries sets the shared part

  // ------------------------------------------------------------ access
  static Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
  static PyObject* py(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }
  static bool check(PyObject* o) noexcept { return Py_IS_TYPE(o, &type); }
  static float* floats(Obj* o) noexcept { return reinterpret_cast<float*>(o->data); }
  static const float* floats(const Obj* o) noexcept {
    return reinterpret_cast<const float*>(o->data);
  }

  // ------------------------------------------------------------ storage
  static bool exported(Obj* self) {
    if (self->exports == 0) return false;
    PyErr_Format(PyExc_BufferError, "Existing exports of data: %s cannot be re-sized",
                 Traits::short_name);
    return true;
  }
  // Storage for exactly `capacity` elements.
  static bool reallocate(Obj* self, Py_ssize_t capacity) {
    std::size_t bytes;
    if (!byte_size(capacity, sizeof(Elem), &bytes)) return false;
    void* p = PyMem_Realloc(self->data, bytes);
    if (!p) {
      PyErr_NoMemory();
      return false;
    }
    self->data = static_cast<Elem*>(p);
    self->capacity = capacity;
    return true;
  }
  // Room for n elements; growth doubles, so appends take amortised O(1).
  static bool reserve(Obj* self, Py_ssize_t n) {
    if (n <= self->capacity) return true;
    if (exported(self)) return false;
    Py_ssize_t want = self->capacity > PY_SSIZE_T_MAX / 2 ? n : std::max(n, self->capacity * 2);
    if (self->count > 0 && want < 8) want = 8;
    return reallocate(self, want);
  }
  // Exactly n elements, the new ones zero.
  static bool resize(Obj* self, Py_ssize_t n) {
    if (n < 0) {
      PyErr_SetString(PyExc_ValueError, "count must not be negative");
      return false;
    }
    if (n == self->count) return true;
    if (exported(self)) return false;
    // An exact size when growing by hand: from a count, no spare room.
    if (n > self->capacity && !reallocate(self, n)) return false;
    if (n > self->count)
      std::memset(static_cast<void*>(self->data + self->count), 0,
                  static_cast<std::size_t>(n - self->count) * sizeof(Elem));
    self->count = n;
    return true;
  }
  // Appends a copy of src[0 .. n); src may lie inside this array.
  static bool extend(Obj* self, const Elem* src, Py_ssize_t n) {
    if (n < 0) {
      PyErr_SetString(PyExc_ValueError, "count must not be negative");
      return false;
    }
    if (n == 0) return true;
    if (n > PY_SSIZE_T_MAX - self->count) {
      PyErr_NoMemory();
      return false;
    }
    const bool inside = self->data && src >= self->data && src < self->data + self->count;
    const std::ptrdiff_t offset = inside ? src - self->data : 0;
    if (!reserve(self, self->count + n)) return false;
    if (inside) src = self->data + offset;
    std::memmove(static_cast<void*>(self->data + self->count), src,
                 static_cast<std::size_t>(n) * sizeof(Elem));
    self->count += n;
    return true;
  }
  static Elem* at(Obj* self, Py_ssize_t i) noexcept { return self->data + i; }

  // A new, empty array of the exact type, with room for n elements.
  static Obj* alloc_empty(Py_ssize_t n = 0) {
    Obj* o = PyObject_New(Obj, &type);
    if (!o) return nullptr;
    o->__pyx_vtab = &vtable;
    o->data = nullptr;
    o->count = o->capacity = o->exports = 0;
    o->shape[0] = o->shape[1] = o->strides[0] = o->strides[1] = 0;
    if (n > 0 && !reserve(o, n)) {
      Py_DECREF(o);
      return nullptr;
    }
    return o;
  }
  // A new array of n zero elements.
  static Obj* alloc(Py_ssize_t n) {
    Obj* o = alloc_empty();
    if (o && !resize(o, n)) Py_CLEAR(o);
    return o;
  }
  static PyObject* from_data(const Elem* src, Py_ssize_t n) {
    Ref o(py(alloc_empty(n)));
    if (!o || !extend(as(o.get()), src, n)) return nullptr;
    return o.release();
  }
  static PyObject* copy(Obj* self) { return from_data(self->data, self->count); }

  // The array an operation writes to: a new one of n elements, or `out`,
  // which must be an array of this type with n elements (it may be one of
  // the operands). A new reference.
  static Obj* out_array(PyObject* out, Py_ssize_t n) {
    if (!out || out == Py_None) return alloc(n);
    if (!check(out)) {
      rt::arg_type_error("out", where.path, out);
      return nullptr;
    }
    if (as(out)->count != n) {
      length_mismatch("out", as(out)->count, n);
      return nullptr;
    }
    return as(Py_NewRef(out));
  }

  // ------------------------------------------------------- construction
  // Appends every element of an iterable to a new array (the elements are
  // converted before anything else sees them); null on the first failure.
  static PyObject* collect(PyObject* iterable) {
    Ref it(PyObject_GetIter(iterable));
    if (!it) return nullptr;
    Py_ssize_t hint = PyObject_LengthHint(iterable, 0);
    if (hint < 0) return nullptr;
    // A hint is no promise: beyond a million elements the storage grows as
    // the elements come, rather than failing on what is only a guess.
    Ref o(py(alloc_empty(std::min<Py_ssize_t>(hint, Py_ssize_t{1} << 20))));
    if (!o) return nullptr;
    while (Ref item = Ref(PyIter_Next(it.get()))) {
      Elem e;
      if (!Traits::element_read(item.get(), &e) || !extend(as(o.get()), &e, 1)) return nullptr;
    }
    if (PyErr_Occurred()) return nullptr;
    return o.release();
  }
  static PyObject* from_buffer(PyObject* source) {
    FloatRows rows;
    if (!rows.acquire(source, K, Traits::short_name)) return nullptr;
    Ref o(py(alloc(rows.rows())));
    if (!o) return nullptr;
    rows.copy_to(floats(as(o.get())));
    return o.release();
  }
  // The constructor's forms, whole or not at all: nothing (empty), a count
  // of zero elements, another array of this type (a copy), a buffer of
  // float32 or float64 values shaped (n, K), or an iterable of elements.
  static PyObject* from(PyObject* source) {
    if (!source || source == Py_None) return py(alloc(0));
    if (check(source)) return copy(as(source));
    if (PyLong_Check(source)) {
      const Py_ssize_t n = PyLong_AsSsize_t(source);
      if (n == -1 && PyErr_Occurred()) {
        if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
          PyErr_Clear();
          PyErr_NoMemory();
        }
        return nullptr;
      }
      return py(alloc(n));
    }
    if (PyObject_CheckBuffer(source)) return from_buffer(source);
    return collect(source);
  }

  // ----------------------------------------------------- buffer protocol
  static int get_buffer(PyObject* self, Py_buffer* view, int flags) {
    static float empty[K] = {};
    Obj* o = as(self);
    if ((flags & PyBUF_F_CONTIGUOUS) == PyBUF_F_CONTIGUOUS && o->count > 1) {
      PyErr_Format(PyExc_BufferError, "%s is C-contiguous, not Fortran-contiguous",
                   Traits::short_name);
      view->obj = nullptr;
      return -1;
    }
    o->shape[0] = o->count;
    o->shape[1] = K;
    o->strides[0] = static_cast<Py_ssize_t>(sizeof(Elem));
    o->strides[1] = static_cast<Py_ssize_t>(sizeof(float));
    view->buf = o->data ? static_cast<void*>(o->data) : static_cast<void*>(empty);
    view->obj = Py_NewRef(self);
    view->len = o->count * static_cast<Py_ssize_t>(sizeof(Elem));
    view->readonly = 0;
    view->itemsize = sizeof(float);
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("f") : nullptr;
    const bool nd = (flags & PyBUF_ND) == PyBUF_ND;
    view->ndim = nd ? 2 : 1;
    view->shape = nd ? o->shape : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? o->strides : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    ++o->exports;
    return 0;
  }
  static void release_buffer(PyObject* self, Py_buffer*) { --as(self)->exports; }
  static inline PyBufferProcs buffer = {get_buffer, release_buffer};

  // --------------------------------------------------------- sequence
  static PyObject* index_error(const char* slot) {
    PyErr_Format(PyExc_IndexError, "%s index out of range", Traits::short_name);
    rt::add_traceback(where, slot);
    return nullptr;
  }
  static Py_ssize_t length(PyObject* self) { return as(self)->count; }
  static PyObject* item(PyObject* self, Py_ssize_t i) {
    Obj* o = as(self);
    if (i < 0 || i >= o->count) return index_error("__getitem__");
    PyObject* r = Traits::element_new(o->data[i]);
    if (!r) rt::add_traceback(where, "__getitem__");
    return r;
  }
  static PyObject* slice(Obj* self, PyObject* key) {
    Py_ssize_t start, stop, step;
    if (PySlice_Unpack(key, &start, &stop, &step) < 0) return nullptr;
    const Py_ssize_t n = PySlice_AdjustIndices(self->count, &start, &stop, step);
    if (step == 1) return from_data(self->data + start, n);
    Ref r(py(alloc(n)));
    if (!r) return nullptr;
    for (Py_ssize_t i = 0, j = start; i < n; ++i, j += step) as(r.get())->data[i] = self->data[j];
    return r.release();
  }
  static PyObject* subscript(PyObject* self, PyObject* key) {
    if (PySlice_Check(key)) {
      PyObject* r = slice(as(self), key);
      if (!r) rt::add_traceback(where, "__getitem__");
      return r;
    }
    Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_IndexError);
    if (i == -1 && PyErr_Occurred()) {
      rt::add_traceback(where, "__getitem__");
      return nullptr;
    }
    if (i < 0) i += as(self)->count;
    return item(self, i);
  }
  // a[i] = element, a[i:j:k] = elements of the same count. The value is
  // converted first: that can run code which changes the array's length.
  static int assign_slice(Obj* self, PyObject* key, PyObject* value) {
    Ref src(from(value));
    if (!src) return -1;
    Py_ssize_t start, stop, step;
    if (PySlice_Unpack(key, &start, &stop, &step) < 0) return -1;
    const Py_ssize_t n = PySlice_AdjustIndices(self->count, &start, &stop, step);
    if (as(src.get())->count != n) {
      length_mismatch("the assigned value", as(src.get())->count, n);
      return -1;
    }
    for (Py_ssize_t i = 0, j = start; i < n; ++i, j += step) self->data[j] = as(src.get())->data[i];
    return 0;
  }
  static int assign_item(Obj* self, PyObject* key, PyObject* value) {
    Elem e;
    if (!Traits::element_read(value, &e)) return -1;
    Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_IndexError);
    if (i == -1 && PyErr_Occurred()) return -1;
    if (i < 0) i += self->count;
    if (i < 0 || i >= self->count) {
      PyErr_Format(PyExc_IndexError, "%s assignment index out of range", Traits::short_name);
      return -1;
    }
    self->data[i] = e;
    return 0;
  }
  static int assign(PyObject* self, PyObject* key, PyObject* value) {
    int r;
    if (!value)
      r = rt::subscript_deletion_error(Py_TYPE(self));
    else
      r = PySlice_Check(key) ? assign_slice(as(self), key, value)
                             : assign_item(as(self), key, value);
    if (r < 0) rt::add_traceback(where, "__setitem__");
    return r;
  }
  static inline PySequenceMethods sequence = {.sq_length = length, .sq_item = item};
  static inline PyMappingMethods mapping = {
      .mp_length = length, .mp_subscript = subscript, .mp_ass_subscript = assign};

  // ---------------------------------------------------------- protocol
  static PyObject* richcompare(PyObject* a, PyObject* b, int op) {
    if ((op != Py_EQ && op != Py_NE) || !check(a) || !check(b)) Py_RETURN_NOTIMPLEMENTED;
    bool eq = as(a)->count == as(b)->count;
    const float* x = floats(as(a));
    const float* y = floats(as(b));
    for (Py_ssize_t i = 0, n = as(a)->count * K; eq && i < n; ++i) eq = x[i] == y[i];
    return PyBool_FromLong((op == Py_EQ) == eq);
  }
  static PyObject* repr(PyObject* self) {
    return repr_rows(Traits::short_name, floats(as(self)), as(self)->count, K);
  }
  static void dealloc(PyObject* self) {
    PyMem_Free(as(self)->data);
    Py_TYPE(self)->tp_free(self);
  }
  static PyObject* construct(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    using Sig = rt::Signature<rt::Optional<rt::Object<"source">, nullptr, "None">>;
    typename Sig::Values values;
    PyObject* r = nullptr;
    if (Sig::bind(Traits::short_name, args, PyVectorcall_NARGS(nargsf), kwnames, values))
      r = from(std::get<0>(values));
    if (!r) rt::add_traceback(where, "__init__");
    return r;
  }
  static PyObject* tp_new(PyTypeObject*, PyObject* args, PyObject* kwds) {
    PyObject* r = nullptr;
    rt::with_vectorcall_arguments(
        args, kwds,
        [](void* out, PyObject* const* a, Py_ssize_t n, PyObject* k) {
          *static_cast<PyObject**>(out) = construct(nullptr, a, static_cast<size_t>(n), k);
          return *static_cast<PyObject**>(out) ? 0 : -1;
        },
        static_cast<void*>(&r));
    return r;
  }

  // ----------------------------------------------------------- methods
  static PyObject* append(Obj* self, PyObject* value) {
    Elem e;
    if (!Traits::element_read(value, &e) || !extend(self, &e, 1)) return nullptr;
    Py_RETURN_NONE;
  }
  static PyObject* extend_with(Obj* self, PyObject* values) {
    if (check(values)) {
      if (!extend(self, as(values)->data, as(values)->count)) return nullptr;
      Py_RETURN_NONE;
    }
    Ref src(from(values));
    if (!src || !extend(self, as(src.get())->data, as(src.get())->count)) return nullptr;
    Py_RETURN_NONE;
  }
  static PyObject* remove_where(Obj* self, PyObject* mask) {
    Mask m;
    if (!m.acquire(mask, self->count)) return nullptr;
    Py_ssize_t kept = 0;
    for (Py_ssize_t i = 0; i < self->count; ++i)
      if (!m.at(i)) {
        if (kept != i && exported(self)) return nullptr;
        self->data[kept++] = self->data[i];
      }
    if (!resize(self, kept)) return nullptr;
    Py_RETURN_NONE;
  }
  static PyObject* clear(Obj* self) {
    if (!resize(self, 0)) return nullptr;
    Py_RETURN_NONE;
  }
  static PyObject* set_count(Obj* self, Py_ssize_t n) {
    if (!resize(self, n)) return nullptr;
    Py_RETURN_NONE;
  }
  static PyObject* deepcopy(Obj* self, PyObject*) { return copy(self); }
  // (type, (count,), raw bytes): the bytes are the native float32 values.
  static PyObject* reduce(Obj* self) {
    Ref raw(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(self->data),
                                      self->count * static_cast<Py_ssize_t>(sizeof(Elem))));
    if (!raw) return nullptr;
    return Py_BuildValue("O(n)O", Py_TYPE(self), self->count, raw.get());
  }
  static PyObject* set_state(Obj* self, PyObject* state) {
    Py_buffer v;
    if (PyObject_GetBuffer(state, &v, PyBUF_SIMPLE) < 0) return nullptr;
    const bool fits = v.len == self->count * static_cast<Py_ssize_t>(sizeof(Elem));
    if (fits)
      std::memcpy(static_cast<void*>(self->data), v.buf, static_cast<std::size_t>(v.len));
    else
      PyErr_Format(PyExc_ValueError, "state has %zd bytes, %zd expected", v.len,
                   self->count * static_cast<Py_ssize_t>(sizeof(Elem)));
    PyBuffer_Release(&v);
    if (!fits) return nullptr;
    Py_RETURN_NONE;
  }

  struct Count : rt::Param<"count"> {
    using type = Py_ssize_t;
    static constexpr rt::Phase phase = rt::Phase::convert;
    static bool read(PyObject* o, Py_ssize_t* out) {
      *out = PyNumber_AsSsize_t(o, PyExc_MemoryError);
      return !(*out == -1 && PyErr_Occurred());
    }
  };

  using Declare = rt::Declare<Traits::where, Obj>;
  template <rt::Name N, auto Body, class... P>
  using method = typename Declare::template method<N, Body, P...>;
  static inline PyMethodDef base_methods[] = {
      method<"append", append, rt::Object<"value">>::template def<
          "Append one element, given in any form an element of the array takes.\n\n"
          "Raises BufferError while a buffer view of the array exists.">(),
      method<"extend", extend_with, rt::Object<"values">>::template def<
          "Append the elements of `values`: an array of this type, a buffer of float32 or "
          "float64 values shaped (n, components), or an iterable of elements.\n\n"
          "Every element is converted first: a failure part-way appends nothing. Raises "
          "BufferError while a buffer view of the array exists.">(),
      method<"remove_where", remove_where, rt::Object<"mask">>::template def<
          "Remove the elements where `mask` is true, keeping the order of the others.\n\n"
          "`mask` is a buffer of bools (as the mask queries return), or any iterable of truth "
          "values, with one item per element (ValueError otherwise). Raises BufferError while a "
          "buffer view of the array exists.">(),
      method<"clear", clear>::template def<"Remove every element.">(),
      method<"resize", set_count, Count>::template def<
          "Set the number of elements to `count`; new elements are zero.\n\n"
          "Raises ValueError for a negative count, MemoryError for one too large to hold, and "
          "BufferError while a buffer view of the array exists.">(),
      method<"copy", copy>::template def<"Return a new array with the same elements.">(),
      method<"__copy__", copy>::template def<"Return `self.copy()`, for `copy.copy`.">(),
      method<"__deepcopy__", deepcopy, rt::Object<"memo">>::template def<
          "Return `self.copy()`, for `copy.deepcopy`; `memo` is ignored.">(),
      method<"__reduce__", reduce>::template def<
          "Pickle support: the type, the element count and the elements as bytes.">(),
      method<"__setstate__", set_state, rt::Object<"state">>::template def<
          "Pickle support: store the elements from the bytes `__reduce__` gave.">(),
      rt::kEndOfMethods,
  };

  // ------------------------------------------------------ C-level entries
  static PyObject* entry_new(Py_ssize_t n) {
    PyObject* r = py(alloc(n));
    if (!r) rt::add_traceback(where, "new");
    return r;
  }
  static Elem* entry_get_data(Obj* self) { return self->data; }
  static Py_ssize_t entry_get_count(Obj* self) { return self->count; }
  static PyObject* entry_cfrom_data(const Elem* src, Py_ssize_t n) {
    PyObject* r = n < 0 ? (PyErr_SetString(PyExc_ValueError, "count must not be negative"), nullptr)
                        : from_data(src, n);
    if (!r) rt::add_traceback(where, "cfrom_data");
    return r;
  }
  static int entry_extend_data(Obj* self, const Elem* src, Py_ssize_t n) {
    if (extend(self, src, n)) return 0;
    rt::add_traceback(where, "extend_data");
    return -1;
  }
  static int entry_resize(Obj* self, Py_ssize_t n) {
    if (resize(self, n)) return 0;
    rt::add_traceback(where, "resize");
    return -1;
  }
  static void fill_common_entries(VT& t) {
    t.new_ = entry_new;
    t.get_data = entry_get_data;
    t.get_count = entry_get_count;
    t.cfrom_data = entry_cfrom_data;
    t.extend_data = entry_extend_data;
    t.resize = entry_resize;
  }
};

}  // namespace tarvex::arr
