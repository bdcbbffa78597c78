// tarvex.parser.parser: coercion of vector-, rect- and colour-like Python
// arguments into raylib structures, published for native modules as C
// functions in __pyx_capi__ (see include/tarvex/parser.h).
//
// Every function returns the structure by value; on failure it sets an
// exception and returns all zeros. The package's own value types, exact
// tuples and exact lists are recognised by their type pointer and read
// without creating any object; any other sequence is read through its
// iterator into a short temporary list.
#include "tarvex/parser.h"

#include <type_traits>
#include <utility>

#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/color/color.h"
#include "tarvex/rect/rect.h"
#include "tarvex/vector2/vector2.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;

PyTypeObject* vector2_type;
tarvex_Vector2VTable* vector2_vt;
PyTypeObject* vector4_type;
tarvex_Vector4VTable* vector4_vt;
PyTypeObject* color_type;
tarvex_ColorVTable* color_vt;
PyTypeObject* rect_type;
tarvex_RectVTable* rect_vt;

// How one function names its argument kind in messages and which lengths it
// takes.
struct Kind {
  const char* name;     // "vector2", "rect", "color"
  const char* fname;    // the C function, in a traceback entry
  Py_ssize_t min, max;  // accepted item counts
  const char* counts;   // "2", "4", "3-4"
};

constexpr rt::Where kWhere{TARVEX_PARSER_MODULE, "src/tarvex/parser/parser"};

constexpr Kind kVector2{"vector2", "parse_vector2_like", 2, 2, "2"};
constexpr Kind kRect{"rect", "parse_rect_like", 4, 4, "4"};
constexpr Kind kColor{"color", "parse_color_like", 3, 4, "3-4"};
constexpr Py_ssize_t kMaxItems = 4;

bool length_error(const Kind& k, const char* form) {
  PyErr_Format(PyExc_ValueError, "%s for %s-like argument must have only %s elements.", form,
               k.name, k.counts);
  return false;
}

// Fills items[0..n) with new references to the items of a sequence and *n
// with their count. Exact tuples and lists are read in place (a list under
// its critical section, so a concurrent change cannot tear the read); the
// references are taken before any item is converted, since converting runs
// the items' own code, which may change the list. Any other sequence goes
// through its iterator, read for at most one item more than the longest
// accepted length, so an endless sequence is refused instead of being
// materialised. Returns false with an exception set; nothing is held then.
// On success *handled tells whether obj was a sequence at all.
bool sequence_items(const Kind& k, PyObject* obj, Ref* items, Py_ssize_t* n, bool* handled) {
  *handled = true;
  if (PyTuple_CheckExact(obj)) {
    *n = PyTuple_GET_SIZE(obj);
    if (*n < k.min || *n > k.max) return length_error(k, "tuple");
    for (Py_ssize_t i = 0; i < *n; ++i) items[i] = Ref::borrow(PyTuple_GET_ITEM(obj, i));
    return true;
  }
  if (PyList_CheckExact(obj)) {
    bool ok;
    Py_BEGIN_CRITICAL_SECTION(obj);
    *n = PyList_GET_SIZE(obj);
    ok = *n >= k.min && *n <= k.max;
    if (ok)
      for (Py_ssize_t i = 0; i < *n; ++i) items[i] = Ref::borrow(PyList_GET_ITEM(obj, i));
    Py_END_CRITICAL_SECTION();
    return ok || length_error(k, "list");
  }
  if (!PySequence_Check(obj)) {
    *handled = false;
    return false;
  }
  Ref it(PyObject_GetIter(obj));
  if (!it) {
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
      PyErr_Clear();
      PyErr_SetString(PyExc_TypeError, "expected sequence");
    }
    return false;
  }
  // As when a list is built from the iterator: its length hint is asked
  // first, so an error from the argument's own __len__ (behind a sequence
  // iterator's hint) propagates; a TypeError there only means no hint.
  if (PyObject_LengthHint(it.get(), 0) < 0) return false;
  Py_ssize_t count = 0;
  for (;;) {
    PyObject* item;
    int r = PyIter_NextItem(it.get(), &item);
    if (r < 0) return false;
    if (r == 0) break;
    Ref owned(item);
    if (count == k.max) return length_error(k, "sequence");  // one too many
    items[count++] = std::move(owned);
  }
  if (count < k.min) return length_error(k, "sequence");
  *n = count;
  return true;
}

// A borrowed argument must be an object; a null one (an unchecked failed
// call in the caller) keeps the caller's exception, or gets SystemError.
bool null_argument(const Kind& k, PyObject* obj) {
  if (obj) return false;
  if (!PyErr_Occurred()) {
    PyErr_Format(PyExc_SystemError, "%s() called with a NULL object", k.fname);
    rt::add_traceback(kWhere, k.fname);
  }
  return true;
}

// The failure result: the pending exception gets the function's traceback
// entry, and the structure is all zeros.
template <class T>
T failed(const Kind& k) {
  rt::add_traceback(kWhere, k.fname);
  return T{};
}

// TypeError `prefix` + the __name__ of obj's type + `suffix`. A class made
// in Python keeps its whole __name__ in tp_name, dots included, so the name
// is asked of the type rather than cut out of tp_name.
void kind_error(PyObject* obj, const char* prefix, const char* suffix) {
  Ref name(PyType_GetName(Py_TYPE(obj)));
  if (name) PyErr_Format(PyExc_TypeError, "%s%U%s", prefix, name.get(), suffix);
}

// The general path: any other sequence, converted from a short list of its
// items; anything else raises TypeError `prefix` + its type's name + `suffix`.
[[gnu::noinline]] bool floats_general(const Kind& k, PyObject* obj, double* out, const char* prefix,
                                      const char* suffix) {
  Ref items[kMaxItems + 1];
  Py_ssize_t n = 0;
  bool handled;
  if (!sequence_items(k, obj, items, &n, &handled)) {
    if (!handled) kind_error(obj, prefix, suffix);
    return false;
  }
  for (Py_ssize_t i = 0; i < n; ++i)
    if (!rt::to_double(items[i].get(), &out[i])) return false;
  return true;
}

// Reads the numbers of a vector- or rect-like argument that is not one of the
// package's own types as doubles; the caller narrows them once it has them
// all, so no float is stored and read back as part of a wider load. The
// common forms are read in place, inline in the caller: an exact tuple holds
// its items for as long as the caller holds it, so they are converted
// whatever code their conversion runs; a list of exact floats is read under
// its critical section, as converting those runs no code that could change
// the list.
[[gnu::always_inline]] inline bool floats_from(const Kind& k, PyObject* obj, double* out,
                                               const char* prefix, const char* suffix) {
  if (PyTuple_CheckExact(obj) && PyTuple_GET_SIZE(obj) == k.min) [[likely]] {
    for (Py_ssize_t i = 0; i < k.min; ++i)
      if (!rt::to_double(PyTuple_GET_ITEM(obj, i), &out[i])) return false;
    return true;
  }
  if (PyList_CheckExact(obj)) {
    bool done = false;
    Py_BEGIN_CRITICAL_SECTION(obj);
    if (PyList_GET_SIZE(obj) == k.min) {
      done = true;
      for (Py_ssize_t i = 0; done && i < k.min; ++i) {
        PyObject* item = PyList_GET_ITEM(obj, i);
        done = PyFloat_CheckExact(item);
        if (done) out[i] = PyFloat_AS_DOUBLE(item);
      }
    }
    Py_END_CRITICAL_SECTION();
    if (done) return true;
  }
  return floats_general(k, obj, out, prefix, suffix);
}

extern "C" {

static Vector2 parse_vector2_like(PyObject* obj) {
  if (null_argument(kVector2, obj)) return Vector2{};
  if (Py_IS_TYPE(obj, vector2_type)) return reinterpret_cast<tarvex_Vector2Object*>(obj)->data;
  double v[2];
  if (!floats_from(kVector2, obj, v, "vector2-like argument must be Vector2, or any sequence, got ",
                   "."))
    return failed<Vector2>(kVector2);
  return Vector2{rt::narrow(v[0]), rt::narrow(v[1])};
}

static Rectangle parse_rect_like(PyObject* obj) {
  if (null_argument(kRect, obj)) return Rectangle{};
  if (Py_IS_TYPE(obj, rect_type)) return reinterpret_cast<tarvex_RectObject*>(obj)->_raw;
  double v[4];
  if (!floats_from(kRect, obj, v, "rect_like argument must be Rect, tuple, or list, got ", ""))
    return failed<Rectangle>(kRect);
  return Rectangle{rt::narrow(v[0]), rt::narrow(v[1]), rt::narrow(v[2]), rt::narrow(v[3])};
}

static Color parse_color_like(PyObject* obj) {
  if (null_argument(kColor, obj)) return Color{};
  if (Py_IS_TYPE(obj, color_type)) return reinterpret_cast<tarvex_ColorObject*>(obj)->_raw;
  Ref items[kMaxItems + 1];
  Py_ssize_t n = 0;
  bool handled;
  if (!sequence_items(kColor, obj, items, &n, &handled)) {
    if (!handled) kind_error(obj, "color-like argument must be Color, or any sequence, got ", ".");
    return failed<Color>(kColor);
  }
  unsigned char ch[4] = {0, 0, 0, 255};
  for (Py_ssize_t i = 0; i < n; ++i) {
    int v;
    if (!rt::to_c_int(items[i].get(), &v)) return failed<Color>(kColor);
    ch[i] = static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
  return Color{ch[0], ch[1], ch[2], ch[3]};
}

}  // extern "C"

// The functions the public header declares, with the signatures it checks.
static_assert(std::is_same_v<decltype(&parse_vector2_like), tarvex_parse_vector2_like_t>);
static_assert(std::is_same_v<decltype(&parse_rect_like), tarvex_parse_rect_like_t>);
static_assert(std::is_same_v<decltype(&parse_color_like), tarvex_parse_color_like_t>);

struct Export {
  const char* name;
  const char* signature;
  void* function;
};

const Export kExports[] = {
    {"parse_color_like", TARVEX_PARSE_COLOR_LIKE_SIG, reinterpret_cast<void*>(parse_color_like)},
    {"parse_rect_like", TARVEX_PARSE_RECT_LIKE_SIG, reinterpret_cast<void*>(parse_rect_like)},
    {"parse_vector2_like", TARVEX_PARSE_VECTOR2_LIKE_SIG,
     reinterpret_cast<void*>(parse_vector2_like)},
};

int body(PyObject* module) {
  Ref capi(PyDict_New());
  if (!capi) return -1;
  for (const Export& e : kExports) {
    Ref capsule(PyCapsule_New(e.function, e.signature, nullptr));
    if (!capsule || PyDict_SetItemString(capi.get(), e.name, capsule.get()) < 0) return -1;
  }
  if (PyModule_AddObjectRef(module, "__pyx_capi__", capi.get()) < 0) return -1;
  Ref test(PyDict_New());
  if (!test) return -1;
  return PyModule_AddObjectRef(module, "__test__", test.get());
}

const rt::Sibling siblings[] = {
    rt::sibling<tarvex_Vector2Object>("tarvex.vector2.vector2", "Vector2", &vector2_type,
                                      &vector2_vt),
    rt::sibling<tarvex_Vector4Object>("tarvex.vector4.vector4", "Vector4", &vector4_type,
                                      &vector4_vt),
    rt::sibling<tarvex_ColorObject>("tarvex.color.color", "Color", &color_type, &color_vt),
    rt::sibling<tarvex_RectObject>("tarvex.rect.rect", "Rect", &rect_type, &rect_vt),
};

}  // namespace

TARVEX_MODULE(parser, {.siblings = siblings, .body = body})
