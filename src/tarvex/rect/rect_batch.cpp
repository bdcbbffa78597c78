// Inside tarvex.rect.rect: the batch collision queries, one rectangle
// against many. Each item is tested exactly as collide_rect tests its
// argument; a Rect item, the common case, is read in place without making
// any object.
#include <cstddef>
#include <iterator>
#include <utility>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/override.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/rect/rect_ops.h"
#include "tarvex/rect/rect_values.h"

namespace tarvex::rect {

namespace {

PyObject* s_rect;  // "rect"

rt::Overridable collide_rect_method{&rect_type, "collide_rect"};

// The rectangle a query tests items against: collide_rect on each item,
// with the receiver's edges taken once. A Python subclass that overrides
// collide_rect has its override called for every item instead, so that a
// query always answers as a loop over collide_rect would.
class Receiver {
 public:
  explicit Receiver(Obj* self) noexcept
      : x_(wide(self->_raw.x)),
        y_(wide(self->_raw.y)),
        right_(wide(far_edge(self->_raw.x, self->_raw.width))),
        bottom_(wide(far_edge(self->_raw.y, self->_raw.height))),
        self_(self) {}

  // Looks the override up; false with the exception set.
  bool ready() {
    return collide_rect_method.find(reinterpret_cast<PyObject*>(self_), 0, &override_) >= 0;
  }

  // Whether testing `item` runs no Python code: a Rect without an override.
  bool in_place(PyObject* item) const noexcept { return !override_ && is_rect(item); }

  // collide_rect(item): 1, 0, or -1 with the exception set. A Rect is read in
  // place; anything else is held while it converts, since converting can
  // drop it from the collection it came from.
  int test(PyObject* item) const {
    if (in_place(item)) [[likely]]
      return overlaps(reinterpret_cast<Obj*>(item)->_raw);
    rt::Ref hold = rt::Ref::borrow(item);
    if (override_) {
      rt::Ref r = rt::call_override(override_, item);
      return r ? PyObject_IsTrue(r.get()) : -1;
    }
    double o[4];
    if (!rect_doubles(item, o, kCollisionMessage)) return -1;
    return overlaps(o);
  }

 private:
  // collide_rect's test: open edges, this rectangle's far edges as 32-bit
  // sums, the other's far edges as 64-bit sums of its values.
  bool overlaps(const double* o) const noexcept {
    return o[0] + o[2] > x_ && right_ > o[0] && o[1] + o[3] > y_ && bottom_ > o[1];
  }
  bool overlaps(const Rectangle& b) const noexcept {
    const double bx = wide(b.x), by = wide(b.y);
    return bx + wide(b.width) > x_ && right_ > bx && by + wide(b.height) > y_ && bottom_ > by;
  }

  double x_, y_, right_, bottom_;
  Obj* self_;
  rt::Ref override_;
};

// Indices of the items that overlap, gathered without an object each until
// the end. A hit past the inline room spills to the heap.
class Hits {
 public:
  Hits() = default;
  Hits(const Hits&) = delete;
  Hits& operator=(const Hits&) = delete;
  ~Hits() {
    if (data_ != inline_) PyMem_Free(data_);
  }
  bool add(Py_ssize_t i) {
    if (n_ == cap_) {
      const Py_ssize_t cap = cap_ * 2;
      auto* grown = static_cast<Py_ssize_t*>(
          PyMem_Malloc(static_cast<std::size_t>(cap) * sizeof(Py_ssize_t)));
      if (!grown) {
        PyErr_NoMemory();
        return false;
      }
      for (Py_ssize_t k = 0; k < n_; ++k) grown[k] = data_[k];
      if (data_ != inline_) PyMem_Free(data_);
      data_ = grown;
      cap_ = cap;
    }
    data_[n_++] = i;
    return true;
  }
  // A new list of the indices as ints.
  PyObject* indices() const {
    rt::Ref list(PyList_New(n_));
    if (!list) return nullptr;
    for (Py_ssize_t k = 0; k < n_; ++k) {
      PyObject* i = PyLong_FromSsize_t(data_[k]);
      if (!i) return nullptr;
      PyList_SET_ITEM(list.get(), k, i);
    }
    return list.release();
  }

 private:
  static constexpr Py_ssize_t kInline = 64;
  Py_ssize_t inline_[kInline];
  Py_ssize_t* data_ = inline_;
  Py_ssize_t n_ = 0, cap_ = kInline;
};

// ---------------------------------------------------------------------------
// Rectangles

PyObject* collide_list(Obj* self, PyObject* rects) {
  Receiver e(self);
  if (!e.ready()) return nullptr;
  Py_ssize_t found = -1;
  int r = walk(rects, [&](PyObject* item, Py_ssize_t i) {
    int hit = e.test(item);
    if (hit > 0) found = i;
    return hit < 0 ? -1 : !hit;
  });
  return r < 0 ? nullptr : PyLong_FromSsize_t(found);
}

PyObject* collide_list_all(Obj* self, PyObject* rects) {
  Receiver e(self);
  if (!e.ready()) return nullptr;
  Hits hits;
  int r = walk(rects, [&](PyObject* item, Py_ssize_t i) {
    int hit = e.test(item);
    if (hit < 0 || (hit && !hits.add(i))) return -1;
    return 1;
  });
  return r < 0 ? nullptr : hits.indices();
}

// ---------------------------------------------------------------------------
// Objects, through their `rect` attribute or a key

// A parameter that takes a callable or None.
bool callable_or_none(PyObject* o) { return o == Py_None || PyCallable_Check(o); }
template <rt::Name N>
using CallableOrNone = rt::Checked<N, callable_or_none, "callable">;

// collide_rect on the rectangle of an object: key(obj), or obj.rect when
// key is None. The caller holds the object: the lookup runs code.
int overlap_object(const Receiver& e, PyObject* obj, PyObject* key) {
  rt::Ref rect(key == Py_None ? PyObject_GetAttr(obj, s_rect) : PyObject_CallOneArg(key, obj));
  return rect ? e.test(rect.get()) : -1;
}

PyObject* collide_objects(Obj* self, PyObject* objects, PyObject* key) {
  Receiver e(self);
  if (!e.ready()) return nullptr;
  rt::Ref found;
  int r = walk(objects, [&](PyObject* obj, Py_ssize_t) {
    rt::Ref hold = rt::Ref::borrow(obj);
    int hit = overlap_object(e, obj, key);
    if (hit > 0) found = std::move(hold);
    return hit < 0 ? -1 : !hit;
  });
  if (r < 0) return nullptr;
  return found ? found.release() : Py_NewRef(Py_None);
}

PyObject* collide_objects_all(Obj* self, PyObject* objects, PyObject* key) {
  Receiver e(self);
  if (!e.ready()) return nullptr;
  rt::Ref list(PyList_New(0));
  if (!list) return nullptr;
  int r = walk(objects, [&](PyObject* obj, Py_ssize_t) {
    rt::Ref hold = rt::Ref::borrow(obj);
    int hit = overlap_object(e, obj, key);
    if (hit < 0 || (hit && PyList_Append(list.get(), obj) < 0)) return -1;
    return 1;
  });
  return r < 0 ? nullptr : list.release();
}

// ---------------------------------------------------------------------------
// Dictionaries

// A parameter that takes a dict (or a subclass).
bool is_dict(PyObject* o) { return PyDict_Check(o); }
template <rt::Name N>
using Dict = rt::Checked<N, is_dict, "dict">;

// Calls visit(key, value) for each entry in the dict's order (its own
// storage, as iterating over it reads it), both borrowed: a visit that may
// run code holds them first (entry_overlap does). visit gives 1 to go on, 0
// to stop, -1 on error. A dict that changes size meanwhile raises
// RuntimeError, as iterating over it would.
template <class Visit>
int walk_dict(PyObject* mapping, Visit visit) {
  const Py_ssize_t size = PyDict_GET_SIZE(mapping);
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  while (PyDict_Next(mapping, &pos, &key, &value)) {
    int r = visit(key, value);
    if (r <= 0) return r;
    if (PyDict_GET_SIZE(mapping) != size) {
      PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
      return -1;
    }
  }
  return 0;
}

// collide_rect on the key or the value of an entry, both borrowed. A Rect
// is read in place; otherwise both go into `hold` first (the caller keeps
// them there while it uses them), since converting can remove the entry.
int entry_overlap(const Receiver& e, PyObject* key, PyObject* value, bool use_values,
                  rt::Ref* hold) {
  PyObject* item = use_values ? value : key;
  if (e.in_place(item)) [[likely]]
    return e.test(item);
  hold[0] = rt::Ref::borrow(key);
  hold[1] = rt::Ref::borrow(value);
  return e.test(item);
}

PyObject* collide_dict(Obj* self, PyObject* mapping, bool use_values) {
  Receiver e(self);
  if (!e.ready()) return nullptr;
  rt::Ref found;
  int r = walk_dict(mapping, [&](PyObject* key, PyObject* value) {
    rt::Ref hold[2];
    int hit = entry_overlap(e, key, value, use_values, hold);
    if (hit > 0) {
      found.reset(PyTuple_Pack(2, key, value));
      if (!found) return -1;
    }
    return hit < 0 ? -1 : !hit;
  });
  if (r < 0) return nullptr;
  return found ? found.release() : Py_NewRef(Py_None);
}

PyObject* collide_dict_all(Obj* self, PyObject* mapping, bool use_values) {
  Receiver e(self);
  if (!e.ready()) return nullptr;
  rt::Ref list(PyList_New(0));
  if (!list) return nullptr;
  int r = walk_dict(mapping, [&](PyObject* key, PyObject* value) {
    rt::Ref hold[2];
    int hit = entry_overlap(e, key, value, use_values, hold);
    if (hit <= 0) return hit < 0 ? -1 : 1;
    rt::Ref pair(PyTuple_Pack(2, key, value));
    return pair && PyList_Append(list.get(), pair.get()) == 0 ? 1 : -1;
  });
  return r < 0 ? nullptr : list.release();
}

// ---------------------------------------------------------------------------
// Docstrings

#define TARVEX_TEST                                                                             \
  " Each rectangle is tested exactly as `collide_rect` tests its argument (open edges, this "   \
  "Rect's far edges as 32-bit sums, the other's values as 64-bit floats), so an item may be a " \
  "Rect, a Vector4, or a tuple or list of 4 numbers, and any other item raises collide_rect's " \
  "ValueError or its conversion's error. This Rect's edges are read once, when the query "      \
  "starts; in a Python subclass that overrides `collide_rect`, the override tests each item. "
#define TARVEX_ITEMS                                                                         \
  "`rects` is any iterable; an exact list or tuple is read in place, checked against its "   \
  "length at every step, so a list that shrinks while its items convert is never read past " \
  "its end."
#define TARVEX_OBJECTS                                                                      \
  " The rectangle of an object is `key(obj)`, or its `rect` attribute when `key` is None. " \
  "`objects` is any iterable."
#define TARVEX_DICT                                                                             \
  " The rectangle of an entry is its key, or its value when `use_values` is true (keys cannot " \
  "be Rects, which are unhashable). A dict that changes size during the query raises "          \
  "RuntimeError."

constexpr rt::Name kListDoc =
    "The index of the first rectangle in `rects` that overlaps this Rect, or -1, as pygame's "
    "`collidelist`." TARVEX_TEST TARVEX_ITEMS;
constexpr rt::Name kListAllDoc =
    "The indices, in order, of every rectangle in `rects` that overlaps this Rect, as pygame's "
    "`collidelistall`: `r.collide_list_all(rects)` equals "
    "`[i for i, b in enumerate(rects) if r.collide_rect(b)]`." TARVEX_TEST TARVEX_ITEMS;
constexpr rt::Name kObjectsDoc =
    "The first object in `objects` whose rectangle overlaps this Rect, or None, as pygame's "
    "`collideobjects`." TARVEX_OBJECTS TARVEX_TEST;
constexpr rt::Name kObjectsAllDoc =
    "The list of the objects in `objects` whose rectangle overlaps this Rect, in order, as "
    "pygame's `collideobjectsall`." TARVEX_OBJECTS TARVEX_TEST;
constexpr rt::Name kDictDoc =
    "The first `(key, value)` pair of `mapping`, a dict, whose rectangle overlaps this Rect, "
    "or None, as pygame's `collidedict`." TARVEX_DICT TARVEX_TEST;
constexpr rt::Name kDictAllDoc =
    "The list of the `(key, value)` pairs of `mapping`, a dict, whose rectangle overlaps this "
    "Rect, in the dict's order, as pygame's `collidedictall`." TARVEX_DICT TARVEX_TEST;

template <rt::Name N, auto Body, class... P>
using method = OpsDeclare::method<N, Body, P...>;
using Key = rt::Optional<CallableOrNone<"key">, nullptr, "None">;
using UseValues = rt::Optional<rt::Truth<"use_values">, false, "False">;

PyObject* collide_objects_key(Obj* self, PyObject* objects, PyObject* key) {
  return collide_objects(self, objects, key ? key : Py_None);
}
PyObject* collide_objects_all_key(Obj* self, PyObject* objects, PyObject* key) {
  return collide_objects_all(self, objects, key ? key : Py_None);
}

}  // namespace

int batch_constants() {
  s_rect = PyUnicode_InternFromString("rect");
  return s_rect ? collide_rect_method.prepare() : -1;
}

const PyMethodDef* batch_methods() {
  static const PyMethodDef defs[] = {
      method<"collide_list", collide_list, Iterable<"rects">>::def<kListDoc>(),
      method<"collide_list_all", collide_list_all, Iterable<"rects">>::def<kListAllDoc>(),
      method<"collide_objects", collide_objects_key, Iterable<"objects">, Key>::def<kObjectsDoc>(),
      method<"collide_objects_all", collide_objects_all_key, Iterable<"objects">,
             Key>::def<kObjectsAllDoc>(),
      method<"collide_dict", collide_dict, Dict<"mapping">, UseValues>::def<kDictDoc>(),
      method<"collide_dict_all", collide_dict_all, Dict<"mapping">, UseValues>::def<kDictAllDoc>(),
      rt::kEndOfMethods,
  };
  static_assert(std::size(defs) == kBatchMethodCount + 1);
  return defs;
}

}  // namespace tarvex::rect
