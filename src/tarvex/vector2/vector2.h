/* Declarations of tarvex.vector2.vector2.Vector2 shared with sibling modules:
 * the instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_VECTOR2_H
#define TARVEX_VECTOR2_H

#include <Python.h>
#include <raylib.h>

#include "tarvex/_vector/vector_table.h"

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_Vector2Object;

struct tarvex_Vector2VTable {
  PyObject* (*new_)(double x, double y);
  PyObject* (*cfrom_struct)(Vector2 v);
  PyObject* (*cfrom_list)(PyObject* list);
  PyObject* (*cfrom_ints)(int x, int y);
  PyObject* (*cfrom_floats)(float x, float y);
  PyObject* (*cfrom_tuple)(PyObject* tuple);
  PyObject* (*cfrom_vector2)(struct tarvex_Vector2Object* other);
  PyObject* (*cfrom_xy)(double x, double y);
  TARVEX_VECTOR_COMMON_ENTRIES(tarvex_Vector2Object)
};

struct tarvex_Vector2Object {
  PyObject_HEAD struct tarvex_Vector2VTable* __pyx_vtab;
  Vector2 data;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_VECTOR2_H */
