/* Declarations of tarvex.vector3.vector3.Vector3 shared with sibling modules:
 * the instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_VECTOR3_H
#define TARVEX_VECTOR3_H

#include <Python.h>
#include <raylib.h>

#include "tarvex/_vector/vector_table.h"

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_Vector3Object;

struct tarvex_Vector3VTable {
  PyObject* (*new_)(double x, double y, double z);
  PyObject* (*cfrom_list)(PyObject* list);
  PyObject* (*cfrom_ints)(int x, int y, int z);
  PyObject* (*cfrom_floats)(float x, float y, float z);
  PyObject* (*cfrom_tuple)(PyObject* tuple);
  PyObject* (*cfrom_vector3)(struct tarvex_Vector3Object* other);
  PyObject* (*cfrom_xyz)(double x, double y, double z);
  TARVEX_VECTOR_COMMON_ENTRIES(tarvex_Vector3Object)
  PyObject* (*cross)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other,
                     int skip_dispatch);
};

struct tarvex_Vector3Object {
  PyObject_HEAD struct tarvex_Vector3VTable* __pyx_vtab;
  Vector3 data;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_VECTOR3_H */
