/* Declarations of tarvex.vector3_array.vector3_array.Vector3Array shared with
 * sibling modules: the instance layout and the C method table published in
 * __pyx_vtable__. The elements are raylib Vector3 structures (x, y, z), packed and
 * contiguous: what raylib's array calls take as a pointer and a count. */
#ifndef TARVEX_VECTOR3_ARRAY_H
#define TARVEX_VECTOR3_ARRAY_H

#include <Python.h>
#include <raylib.h>

#include "tarvex/_array/array.h"

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_Vector3ArrayObject;

/* Entries in slot order (see tarvex/_array/array.h for their contracts). */
struct tarvex_Vector3ArrayVTable {
  TARVEX_ARRAY_COMMON_ENTRIES(tarvex_Vector3ArrayObject, Vector3)
};

struct tarvex_Vector3ArrayObject {
  TARVEX_ARRAY_FIELDS(tarvex_Vector3ArrayVTable, Vector3)
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_VECTOR3_ARRAY_H */
