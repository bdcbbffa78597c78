/* Declarations of tarvex.vector3.vector3.Vector3 shared with sibling modules:
 * the instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_VECTOR3_H
#define TARVEX_VECTOR3_H

#include <Python.h>
#include <raylib.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_Vector3Object;

struct tarvex_Vector3VTable {
  PyObject* (*new_)(double x, double y, double z);
  PyObject* (*cfrom_list)(PyObject* list);
  PyObject* (*cfrom_ints)(int x, int y, int z);
  PyObject* (*cfrom_floats)(float x, float y, float z);
  PyObject* (*cfrom_tuple)(PyObject* tuple);
  PyObject* (*cfrom_vector3)(struct tarvex_Vector3Object* other);
  PyObject* (*cfrom_xyz)(double x, double y, double z);
  PyObject* (*_add)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other);
  PyObject* (*_sub)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other);
  void (*_iadd)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other);
  void (*_isub)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other);
  void (*_imul)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other);
  void (*_sadd)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* new_vec,
                struct tarvex_Vector3Object* old_vec);
  PyObject* (*sadd)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* new_vec,
                    struct tarvex_Vector3Object* old_vec, int dispatch);
  PyObject* (*get_tuple)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*c_get_tuple)(struct tarvex_Vector3Object* self);
  PyObject* (*to_round)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*get_round)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*to_abs)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*get_abs)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*to_neg)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*get_neg)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*get_int_tuple)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*get_rounded_tuple)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*copy)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*to_normalized)(struct tarvex_Vector3Object* self, int dispatch);
  PyObject* (*get_normalized)(struct tarvex_Vector3Object* self, int dispatch);
  double (*distance_to)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other,
                        int dispatch);
  double (*distance_squared_to)(struct tarvex_Vector3Object* self,
                                struct tarvex_Vector3Object* other, int dispatch);
  double (*dot)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other,
                int dispatch);
  PyObject* (*cross)(struct tarvex_Vector3Object* self, struct tarvex_Vector3Object* other,
                     int dispatch);
};

struct tarvex_Vector3Object {
  PyObject_HEAD struct tarvex_Vector3VTable* __pyx_vtab;
  Vector3 data;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_VECTOR3_H */
