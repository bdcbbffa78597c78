/* Declarations of tarvex.vector4.vector4.Vector4 shared with sibling modules:
 * the instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_VECTOR4_H
#define TARVEX_VECTOR4_H

#include <Python.h>

#include "tarvex/_vector/vector_table.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The package's own four-component value: four 64-bit floats (raylib's
 * Vector4 has 32-bit floats and is not used). */
typedef struct vector4_t {
  double x;
  double y;
  double z;
  double w;
} vector4_t;

struct tarvex_Vector4Object;

struct tarvex_Vector4VTable {
  PyObject* (*new_)(double x, double y, double z, double w);
  PyObject* (*cfrom_list)(PyObject* list);
  PyObject* (*cfrom_ints)(int x, int y, int z, int w);
  PyObject* (*cfrom_floats)(float x, float y, float z, float w);
  PyObject* (*cfrom_tuple)(PyObject* tuple);
  PyObject* (*cfrom_vector4)(struct tarvex_Vector4Object* other);
  PyObject* (*cfrom_xyzw)(double x, double y, double z, double w);
  TARVEX_VECTOR_COMMON_ENTRIES(tarvex_Vector4Object)
};

struct tarvex_Vector4Object {
  PyObject_HEAD struct tarvex_Vector4VTable* __pyx_vtab;
  vector4_t data;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_VECTOR4_H */
