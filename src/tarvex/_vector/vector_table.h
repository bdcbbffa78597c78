/* The part of the vector types' C method tables that the three share: the
 * entries after the creators, in slot order, for the instance type T
 * (tarvex_Vector2Object, ...). Entries with a final int take the dispatch
 * flag of the tables' convention, which these final types ignore. */
#ifndef TARVEX_VECTOR_TABLE_H
#define TARVEX_VECTOR_TABLE_H

#define TARVEX_VECTOR_COMMON_ENTRIES(T)                                                          \
  PyObject* (*_add)(struct T * self, struct T * other);                                          \
  PyObject* (*_sub)(struct T * self, struct T * other);                                          \
  void (*_iadd)(struct T * self, struct T * other);                                              \
  void (*_isub)(struct T * self, struct T * other);                                              \
  void (*_imul)(struct T * self, struct T * other);                                              \
  void (*_sadd)(struct T * self, struct T * new_vec, struct T * old_vec);                        \
  PyObject* (*sadd)(struct T * self, struct T * new_vec, struct T * old_vec, int skip_dispatch); \
  PyObject* (*get_tuple)(struct T * self, int skip_dispatch);                                    \
  PyObject* (*c_get_tuple)(struct T * self);                                                     \
  PyObject* (*to_round)(struct T * self, int skip_dispatch);                                     \
  PyObject* (*get_round)(struct T * self, int skip_dispatch);                                    \
  PyObject* (*to_abs)(struct T * self, int skip_dispatch);                                       \
  PyObject* (*get_abs)(struct T * self, int skip_dispatch);                                      \
  PyObject* (*to_neg)(struct T * self, int skip_dispatch);                                       \
  PyObject* (*get_neg)(struct T * self, int skip_dispatch);                                      \
  PyObject* (*get_int_tuple)(struct T * self, int skip_dispatch);                                \
  PyObject* (*get_rounded_tuple)(struct T * self, int skip_dispatch);                            \
  PyObject* (*copy)(struct T * self, int skip_dispatch);                                         \
  PyObject* (*to_normalized)(struct T * self, int skip_dispatch);                                \
  PyObject* (*get_normalized)(struct T * self, int skip_dispatch);                               \
  double (*distance_to)(struct T * self, struct T * other, int skip_dispatch);                   \
  double (*distance_squared_to)(struct T * self, struct T * other, int skip_dispatch);           \
  double (*dot)(struct T * self, struct T * other, int skip_dispatch);

#endif /* TARVEX_VECTOR_TABLE_H */
