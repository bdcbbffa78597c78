/* Declarations of tarvex.glyph_info.glyph_info.GlyphInfo shared with sibling
 * modules: the instance layout and the C method table published in
 * __pyx_vtable__. */
#ifndef TARVEX_GLYPH_INFO_H
#define TARVEX_GLYPH_INFO_H

#include <Python.h>
#include <raylib.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_GlyphInfoVTable {
  /* 0: new GlyphInfo holding `raw`, with a borrowing Image over raw.image;
   * the caller keeps raw.image.data alive while the glyph or its image is
   * in use. A new reference, or null with an exception set. */
  PyObject* (*new_)(GlyphInfo raw);
};

struct tarvex_GlyphInfoObject {
  PyObject_HEAD struct tarvex_GlyphInfoVTable* __pyx_vtab;
  GlyphInfo _raw;
  /* an Image (borrowing raw.image's pixels), or None */
  PyObject* _image;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_GLYPH_INFO_H */
