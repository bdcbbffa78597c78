/* tarvex.parser.parser for native extension modules: coercion of vector-,
 * rect- and colour-like Python arguments into raylib structures.
 *
 *     tarvex_ParserAPI parser;
 *     if (tarvex_import_parser(&parser) < 0) return -1;   // once, at init
 *     Vector2 v = parser.parse_vector2_like(obj);
 *     if (PyErr_Occurred()) return NULL;                    // after every call
 *
 * Each function takes a borrowed reference, keeps nothing, and returns the
 * structure by value. On failure it sets an exception and returns an
 * all-zero structure; as zeros are also a valid result, test for a pending
 * exception after every call. Call with the thread state held. */
#ifndef TARVEX_PARSER_H
#define TARVEX_PARSER_H

#include <Python.h>

/* The structures are raylib's. Without raylib's header, layout-identical
 * definitions stand in (and tell raymath.h and rlgl.h they exist). */
#if defined(RAYLIB_H)
#elif defined(__has_include)
#if __has_include(<raylib.h>)
#include <raylib.h>
#endif
#endif

#if !defined(RAYLIB_H)
#ifndef RL_VECTOR2_TYPE
#define RL_VECTOR2_TYPE
typedef struct Vector2 {
  float x;
  float y;
} Vector2;
#endif
#ifndef RL_RECTANGLE_TYPE
#define RL_RECTANGLE_TYPE
typedef struct Rectangle {
  float x;
  float y;
  float width;
  float height;
} Rectangle;
#endif
#ifndef RL_COLOR_TYPE
#define RL_COLOR_TYPE
typedef struct Color {
  unsigned char r;
  unsigned char g;
  unsigned char b;
  unsigned char a;
} Color;
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Vector2 (*tarvex_parse_vector2_like_t)(PyObject* obj);
typedef struct Rectangle (*tarvex_parse_rect_like_t)(PyObject* obj);
typedef struct Color (*tarvex_parse_color_like_t)(PyObject* obj);

/* Capsule names in tarvex.parser.parser.__pyx_capi__: the signatures. */
#define TARVEX_PARSER_MODULE "tarvex.parser.parser"
#define TARVEX_PARSE_VECTOR2_LIKE_SIG "struct Vector2 (PyObject *)"
#define TARVEX_PARSE_RECT_LIKE_SIG "struct Rectangle (PyObject *)"
#define TARVEX_PARSE_COLOR_LIKE_SIG "struct Color (PyObject *)"

typedef struct tarvex_ParserAPI {
  /* Vector2; exact tuple or list of 2 numbers; any other sequence of 2. */
  tarvex_parse_vector2_like_t parse_vector2_like;
  /* Rect; exact tuple or list of 4 numbers; any other sequence of 4. */
  tarvex_parse_rect_like_t parse_rect_like;
  /* Color; tuple, list or other sequence of 3 or 4 ints, clamped to 0..255
   * (alpha 255 when omitted). */
  tarvex_parse_color_like_t parse_color_like;
} tarvex_ParserAPI;

/* Reads one function out of the module's __pyx_capi__, checking its
 * signature. Returns null with an exception set on failure. */
static inline void* tarvex_parser_lookup_(PyObject* capi, const char* module, const char* name,
                                          const char* sig) {
  PyObject* capsule = NULL;
  void* function = NULL;
  int found = PyDict_GetItemStringRef(capi, name, &capsule);
  if (found < 0) return NULL;
  if (found == 0) {
    PyErr_Format(PyExc_ImportError, "%.200s does not export expected C function %.200s", module,
                 name);
    return NULL;
  }
  if (PyCapsule_CheckExact(capsule) && PyCapsule_IsValid(capsule, sig)) {
    function = PyCapsule_GetPointer(capsule, sig);
  } else {
    const char* got = PyCapsule_CheckExact(capsule) ? PyCapsule_GetName(capsule) : NULL;
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError,
                 "C function %.200s.%.200s has wrong signature (expected %.500s, got %.500s)",
                 module, name, sig, got ? got : "(not a named capsule)");
  }
  Py_DECREF(capsule);
  return function;
}

/* Imports `module` and fills *api from its __pyx_capi__; *api is left
 * untouched on failure. Returns 0, or -1 with an exception set. */
static inline int tarvex_import_parser_from(const char* module, tarvex_ParserAPI* api) {
  tarvex_ParserAPI found;
  PyObject* capi = NULL;
  PyObject* mod = PyImport_ImportModule(module);
  int ok = 0;
  if (!mod) return -1;
  capi = PyObject_GetAttrString(mod, "__pyx_capi__");
  Py_DECREF(mod);
  if (!capi) return -1;
  if (!PyDict_Check(capi)) {
    PyErr_Format(PyExc_TypeError, "%.200s.__pyx_capi__ is not a dict", module);
  } else {
    found.parse_vector2_like = (tarvex_parse_vector2_like_t)tarvex_parser_lookup_(
        capi, module, "parse_vector2_like", TARVEX_PARSE_VECTOR2_LIKE_SIG);
    found.parse_rect_like = found.parse_vector2_like
                                ? (tarvex_parse_rect_like_t)tarvex_parser_lookup_(
                                      capi, module, "parse_rect_like", TARVEX_PARSE_RECT_LIKE_SIG)
                                : NULL;
    found.parse_color_like =
        found.parse_rect_like ? (tarvex_parse_color_like_t)tarvex_parser_lookup_(
                                    capi, module, "parse_color_like", TARVEX_PARSE_COLOR_LIKE_SIG)
                              : NULL;
    ok = found.parse_color_like != NULL;
  }
  Py_DECREF(capi);
  if (!ok) return -1;
  *api = found;
  return 0;
}

/* tarvex_import_parser_from(TARVEX_PARSER_MODULE, api). */
static inline int tarvex_import_parser(tarvex_ParserAPI* api) {
  return tarvex_import_parser_from(TARVEX_PARSER_MODULE, api);
}

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_PARSER_H */
