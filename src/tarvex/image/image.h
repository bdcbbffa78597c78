/* Declarations of tarvex.image.image.Image shared with sibling modules: the
 * instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_IMAGE_H
#define TARVEX_IMAGE_H

#include <Python.h>
#include <raylib.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_ImageObject;

/* Optional argument of entry `new_`: `count` is how many optional values
 * follow (0 or 1). A null record or a count of 0 means `is_owner` 1. */
struct tarvex_ImageNewArgs {
  int count;
  int is_owner;
};

/* Entries in slot order. Object results are new references, or null with an
 * exception set. `skip_dispatch` non-zero runs the built-in code; zero lets a
 * Python subclass's method of the same name run instead. */
struct tarvex_ImageVTable {
  /* 0: new Image holding `rl_image` (taken as it is) with the given ownership */
  PyObject* (*new_)(Image rl_image, struct tarvex_ImageNewArgs* optional_args);
  /* 1-4: the loaders; file names are str objects */
  PyObject* (*c_load)(PyObject* file_name);
  PyObject* (*c_load_raw)(PyObject* file_name, int width, int height, int format, int header_size);
  PyObject* (*c_load_anim)(PyObject* file_name, int* frames);
  PyObject* (*c_load_from_screen)(void);
  /* 5: an owning copy, never dispatched */
  PyObject* (*c_copy)(struct tarvex_ImageObject* self);
  /* 6: export to a file; 1 or 0, and 0 with an exception set on error
   * (named export_ because `export` is a C++ keyword) */
  int (*export_)(struct tarvex_ImageObject* self, PyObject* file_name, int skip_dispatch);
  /* 7: release the pixels; may leave an exception set */
  void (*unload)(struct tarvex_ImageObject* self, int skip_dispatch);
  /* 8, 9 */
  PyObject* (*copy)(struct tarvex_ImageObject* self, int skip_dispatch);
  PyObject* (*from_channel)(struct tarvex_ImageObject* self, int selected_channel,
                            int skip_dispatch);
};

struct tarvex_ImageObject {
  PyObject_HEAD struct tarvex_ImageVTable* __pyx_vtab;
  Image _raw;
  /* non-zero when this object releases _raw.data */
  int is_owner;
  /* Number of buffers exported over the pixels. It lives in what would be
   * the structure's tail padding, so the instance size is that of the three
   * fields above. Siblings never touch it. */
  int _exports;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_IMAGE_H */
