/* The part of the packed array types' declarations that all of them share
 * (Vector2Array, Vector3Array, RectArray): the instance fields and the
 * first entries of the C method table, for an element structure E (a raylib
 * Vector2, Vector3, Rectangle) and the instance type T.
 *
 * Instance fields, after the object header and the table pointer:
 *   data      the elements, packed and contiguous (null while capacity is 0)
 *   count     the number of elements
 *   capacity  the number of elements the storage holds
 *   exports   buffer views open on the storage; while it is above zero the
 *             array cannot be resized (BufferError), so `data` stays put
 *   shape     (count, components) and strides, read by the buffer views
 *
 * Common table entries, slot 0 first:
 *   new_        a new array of `count` zero elements, or null
 *   get_data    the element pointer; valid until the array is resized
 *               (never while a buffer view is open), null when empty
 *   get_count   the element count
 *   cfrom_data  a new array holding a copy of data[0 .. count), or null
 *   extend_data appends a copy of data[0 .. count); 0, or -1 with the
 *               exception set (BufferError while a view is open,
 *               MemoryError); `data` may point into the array itself
 *   resize      sets the element count, new elements zero; 0 or -1
 * Entries cannot be called with a negative count (they raise ValueError). */
#ifndef TARVEX_ARRAY_H
#define TARVEX_ARRAY_H

#include <Python.h>

/* The type names go into declarations, where parentheses cannot stand. */
/* NOLINTBEGIN(bugprone-macro-parentheses) */
#define TARVEX_ARRAY_FIELDS(VT, E)     \
  PyObject_HEAD struct VT* __pyx_vtab; \
  E* data;                             \
  Py_ssize_t count;                    \
  Py_ssize_t capacity;                 \
  Py_ssize_t exports;                  \
  Py_ssize_t shape[2];                 \
  Py_ssize_t strides[2];

#define TARVEX_ARRAY_COMMON_ENTRIES(T, E)                               \
  PyObject* (*new_)(Py_ssize_t count);                                  \
  E* (*get_data)(struct T * self);                                      \
  Py_ssize_t (*get_count)(struct T * self);                             \
  PyObject* (*cfrom_data)(const E* data, Py_ssize_t count);             \
  int (*extend_data)(struct T * self, const E* data, Py_ssize_t count); \
  int (*resize)(struct T * self, Py_ssize_t count);
/* NOLINTEND(bugprone-macro-parentheses) */

#endif /* TARVEX_ARRAY_H */
