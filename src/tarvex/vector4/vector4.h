/* Declarations of tarvex.vector4.vector4.Vector4 shared with sibling modules:
 * the instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_VECTOR4_H
#define TARVEX_VECTOR4_H

#include <Python.h>

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
  PyObject* (*_add)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* other);
  PyObject* (*_sub)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* other);
  void (*_iadd)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* other);
  void (*_isub)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* other);
  void (*_imul)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* other);
  void (*_sadd)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* new_vec,
                struct tarvex_Vector4Object* old_vec);
  PyObject* (*sadd)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* new_vec,
                    struct tarvex_Vector4Object* old_vec, int dispatch);
  PyObject* (*get_tuple)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*c_get_tuple)(struct tarvex_Vector4Object* self);
  PyObject* (*to_round)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*get_round)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*to_abs)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*get_abs)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*to_neg)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*get_neg)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*get_int_tuple)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*get_rounded_tuple)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*copy)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*to_normalized)(struct tarvex_Vector4Object* self, int dispatch);
  PyObject* (*get_normalized)(struct tarvex_Vector4Object* self, int dispatch);
  double (*distance_to)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* other,
                        int dispatch);
  double (*distance_squared_to)(struct tarvex_Vector4Object* self,
                                struct tarvex_Vector4Object* other, int dispatch);
  double (*dot)(struct tarvex_Vector4Object* self, struct tarvex_Vector4Object* other,
                int dispatch);
};

struct tarvex_Vector4Object {
  PyObject_HEAD struct tarvex_Vector4VTable* __pyx_vtab;
  vector4_t data;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_VECTOR4_H */
