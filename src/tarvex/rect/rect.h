/* Declarations of tarvex.rect.rect.Rect shared with sibling modules: the
 * instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_RECT_H
#define TARVEX_RECT_H

#include <Python.h>
#include <raylib.h>

#include "tarvex/vector2/vector2.h"
#include "tarvex/vector4/vector4.h"

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_RectObject;

/* Entries in slot order. Every entry but new_ takes a final dispatch flag:
 * with 0, an instance of a Python subclass that overrides the method of the
 * same name has that override called instead. The collision entries return 1
 * or 0, and 0 with an exception pending on failure. */
struct tarvex_RectVTable {
  /* 0: new Rect holding r (the initialiser is not run) */
  PyObject* (*new_)(Rectangle r);
  /* 1, 2: new Python float, or null */
  PyObject* (*get_width)(struct tarvex_RectObject* self, int skip_dispatch);
  PyObject* (*get_height)(struct tarvex_RectObject* self, int skip_dispatch);
  /* 3 to 6: closed point tests */
  int (*collide_point)(struct tarvex_RectObject* self, PyObject* point, int skip_dispatch);
  int (*collide_point_vector2)(struct tarvex_RectObject* self, struct tarvex_Vector2Object* point,
                               int skip_dispatch);
  /* point must be a tuple (list) of at least 2 items */
  int (*collide_point_tuple)(struct tarvex_RectObject* self, PyObject* point, int skip_dispatch);
  int (*collide_point_list)(struct tarvex_RectObject* self, PyObject* point, int skip_dispatch);
  /* 7 to 11: open overlap tests */
  int (*collide_rect)(struct tarvex_RectObject* self, PyObject* other, int skip_dispatch);
  int (*collide_rect_vector4)(struct tarvex_RectObject* self, struct tarvex_Vector4Object* other,
                              int skip_dispatch);
  int (*collide_rect_rect)(struct tarvex_RectObject* self, struct tarvex_RectObject* other,
                           int skip_dispatch);
  /* other must be a tuple (list) of at least 4 items */
  int (*collide_rect_tuple)(struct tarvex_RectObject* self, PyObject* other, int skip_dispatch);
  int (*collide_rect_list)(struct tarvex_RectObject* self, PyObject* other, int skip_dispatch);
  /* 12: new Vector4 (x, y, width, height), or null */
  PyObject* (*get_vector4)(struct tarvex_RectObject* self, int skip_dispatch);
  /* 13: new tuple (x, y, width, height), or null */
  PyObject* (*get_tuple)(struct tarvex_RectObject* self, int skip_dispatch);
};

struct tarvex_RectObject {
  PyObject_HEAD struct tarvex_RectVTable* __pyx_vtab;
  Rectangle _raw;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_RECT_H */
