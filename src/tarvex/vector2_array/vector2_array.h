/* Declarations of tarvex.vector2_array.vector2_array.Vector2Array shared with
 * sibling modules: the instance layout and the C method table published in
 * __pyx_vtable__. The elements are raylib Vector2 structures (x, y), packed and
 * contiguous: what raylib's array calls take as a pointer and a count. */
#ifndef TARVEX_VECTOR2_ARRAY_H
#define TARVEX_VECTOR2_ARRAY_H

#include <Python.h>
#include <raylib.h>

#include "tarvex/_array/array.h"

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_Vector2ArrayObject;

/* Entries in slot order (see tarvex/_array/array.h for their contracts). */
struct tarvex_Vector2ArrayVTable {
  TARVEX_ARRAY_COMMON_ENTRIES(tarvex_Vector2ArrayObject, Vector2)
};

struct tarvex_Vector2ArrayObject {
  TARVEX_ARRAY_FIELDS(tarvex_Vector2ArrayVTable, Vector2)
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_VECTOR2_ARRAY_H */
