/* Declarations of tarvex.color.color.Color shared with sibling modules: the
 * instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_COLOR_H
#define TARVEX_COLOR_H

#include <Python.h>
#include <raylib.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_ColorObject;

struct tarvex_ColorVTable {
  /* new Color from four channels 0..255, red first */
  PyObject* (*new_)(int r, int g, int b, int a);
  /* 1 when both colours have the same four channels */
  int (*c_equal)(struct tarvex_ColorObject* self, struct tarvex_ColorObject* other);
  /* new Vector4 of the channels divided by 255 */
  PyObject* (*c_normalize)(struct tarvex_ColorObject* self);
  /* new Color, self tinted by other (as raylib's ColorTint) */
  PyObject* (*c_tint)(struct tarvex_ColorObject* self, struct tarvex_ColorObject* tint);
  /* stores raylib's Fade(self, alpha) into self */
  void (*fade)(struct tarvex_ColorObject* self, float alpha, int skip_dispatch);
  /* the colour packed as raylib's ColorToInt */
  int (*to_int)(struct tarvex_ColorObject* self, int skip_dispatch);
};

struct tarvex_ColorObject {
  PyObject_HEAD struct tarvex_ColorVTable* __pyx_vtab;
  Color _raw;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_COLOR_H */
