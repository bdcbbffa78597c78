// What the files of tarvex.image.image share: the Image type and its C
// method table, the sibling types bound at exec time, and the wrapping of
// raylib results into Images.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <raylib.h>

#include <array>
#include <cstddef>

#include "tarvex/_runtime/errors.h"
#include "tarvex/image/image.h"

namespace tarvex::image {

using Obj = tarvex_ImageObject;

inline constexpr rt::Where kWhere{"tarvex.image.image.Image", "src/tarvex/image/image"};

extern PyTypeObject image_type;
extern tarvex_ImageVTable vtable;
// Bound at exec time.
extern PyTypeObject* color_type;

inline Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
inline PyObject* py(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }

// A new Image, not yet holding anything.
inline Obj* alloc() {
  PyObject* o = image_type.tp_alloc(&image_type, 0);
  if (!o) return nullptr;
  as(o)->__pyx_vtab = &vtable;
  return as(o);
}

// A new owning Image over a raylib result. A result that is not a valid
// image becomes the invalid (empty) Image: its pixels, if any, are released
// here. Null (the pixels released) when the object cannot be made.
inline PyObject* wrap_result(Image raw) {
  if (!IsImageValid(raw)) {
    if (raw.data) UnloadImage(raw);
    raw = Image{};
  }
  Obj* o = alloc();
  if (!o) {
    UnloadImage(raw);
    return nullptr;
  }
  o->_raw = raw;
  o->is_owner = 1;
  return py(o);
}

// ---------------------------------------------------------------------------
// Loaders and generators (image_creators.cpp)

// The C-level loaders, entries 1 to 4.
PyObject* entry_c_load(PyObject* file_name);
PyObject* entry_c_load_raw(PyObject* file_name, int width, int height, int format, int header);
PyObject* entry_c_load_anim(PyObject* file_name, int* frames);
PyObject* entry_c_load_from_screen();

// The static methods that make Images, first in the type's method table.
inline constexpr std::size_t kCreatorCount = 14;
std::array<PyMethodDef, kCreatorCount> creator_methods();

}  // namespace tarvex::image
