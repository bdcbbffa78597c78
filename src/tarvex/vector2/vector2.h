/* Declarations of tarvex.vector2.vector2.Vector2 shared with sibling modules:
 * the instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_VECTOR2_H
#define TARVEX_VECTOR2_H

#include <Python.h>
#include <raylib.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_Vector2Object;

struct tarvex_Vector2VTable {
  PyObject* (*new_)(double x, double y);
  PyObject* (*cfrom_struct)(Vector2 v);
  PyObject* (*cfrom_list)(PyObject* list);
  PyObject* (*cfrom_ints)(int x, int y);
  PyObject* (*cfrom_floats)(float x, float y);
  PyObject* (*cfrom_tuple)(PyObject* tuple);
  PyObject* (*cfrom_vector2)(struct tarvex_Vector2Object* other);
  PyObject* (*cfrom_xy)(double x, double y);
  PyObject* (*_add)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* other);
  PyObject* (*_sub)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* other);
  void (*_iadd)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* other);
  void (*_isub)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* other);
  void (*_imul)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* other);
  void (*_sadd)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* new_vec,
                struct tarvex_Vector2Object* old_vec);
  PyObject* (*sadd)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* new_vec,
                    struct tarvex_Vector2Object* old_vec, int dispatch);
  PyObject* (*get_tuple)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*c_get_tuple)(struct tarvex_Vector2Object* self);
  PyObject* (*to_round)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*get_round)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*to_abs)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*get_abs)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*to_neg)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*get_neg)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*get_int_tuple)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*get_rounded_tuple)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*copy)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*to_normalized)(struct tarvex_Vector2Object* self, int dispatch);
  PyObject* (*get_normalized)(struct tarvex_Vector2Object* self, int dispatch);
  double (*distance_to)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* other,
                        int dispatch);
  double (*distance_squared_to)(struct tarvex_Vector2Object* self,
                                struct tarvex_Vector2Object* other, int dispatch);
  double (*dot)(struct tarvex_Vector2Object* self, struct tarvex_Vector2Object* other,
                int dispatch);
};

struct tarvex_Vector2Object {
  PyObject_HEAD struct tarvex_Vector2VTable* __pyx_vtab;
  Vector2 data;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_VECTOR2_H */
