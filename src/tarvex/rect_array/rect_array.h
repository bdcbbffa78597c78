/* Declarations of tarvex.rect_array.rect_array.RectArray shared with
 * sibling modules: the instance layout and the C method table published in
 * __pyx_vtable__. A RectArray is a resizable, contiguous run of raylib
 * Rectangle structures (16 bytes each); see tarvex/_array/array.h for the
 * fields and the common entries. */
#ifndef TARVEX_RECT_ARRAY_H
#define TARVEX_RECT_ARRAY_H

#include <Python.h>
#include <raylib.h>

#include "tarvex/_array/array.h"

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_RectArrayObject;

struct tarvex_RectArrayVTable {
  /* 0 to 5: new_, get_data, get_count, cfrom_data, extend_data, resize */
  TARVEX_ARRAY_COMMON_ENTRIES(tarvex_RectArrayObject, Rectangle)
  /* 6: a new memoryview of int64 indices i (ascending) for which
   * Rect(r).collide_rect(self[i]) is true, or null */
  PyObject* (*collide_rect_all)(struct tarvex_RectArrayObject* self, Rectangle r);
  /* 7: a new memoryview of int64 pairs (i, j) shaped (k, 2), ascending by
   * i then j, for which self[i].collide_rect(other[j]) is true; with other
   * null, the pairs i < j within self. Null on failure. */
  PyObject* (*collide_pairs)(struct tarvex_RectArrayObject* self,
                             struct tarvex_RectArrayObject* other);
};

struct tarvex_RectArrayObject {
  TARVEX_ARRAY_FIELDS(tarvex_RectArrayVTable, Rectangle)
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_RECT_ARRAY_H */
