// Vector2Array and Vector3Array from one implementation, parameterised like
// the vector family: the array base (array_base.h) for the storage and the
// sequence protocol, and here the element forms, the whole-array operations
// and the type and module of one array type.
//
// Exactness: element i of every element-wise operation is computed by the
// same inline kernel the single-value type runs (vector_family.h,
// vector_geometry.h), so it equals that operation on element i bit for bit;
// the build keeps -ffp-contract=off, so no product and sum fuse into one
// rounding the single-value operation does not make.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <raylib.h>

#include <array>
#include <cstddef>
#include <cstring>

#include "tarvex/_array/array_base.h"
#include "tarvex/_array/array_support.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/_vector/vector_family.h"
#include "tarvex/_vector/vector_geometry.h"
#include "tarvex/rect/rect.h"

namespace tarvex::arr {

// The facts of one vector array type: its layout and table, the vector
// type of its elements (layout, table, module) and the traits of that
// vector type's kernels.
template <class ObjectT, class VTableT, class VecTraitsT, rt::Name Module, rt::Name ElementModule>
struct VecArrayNamed {
  using Object = ObjectT;
  using VTable = VTableT;
  using VecTraits = VecTraitsT;
  using Elem = decltype(VecTraitsT::Object::data);
  static constexpr int K = VecTraitsT::N;
  static constexpr auto short_text = rt::cat(rt::Name(VecTraitsT::short_text), rt::Name("Array"));
  static constexpr auto full_text =
      rt::cat(rt::Name("tarvex."), Module, rt::Name("."), Module, rt::Name("."), short_text);
  static constexpr auto file_text = rt::cat(rt::Name("src/tarvex/"), Module, rt::Name("/"), Module);
  static constexpr auto element_module_text =
      rt::cat(rt::Name("tarvex."), ElementModule, rt::Name("."), ElementModule);
  static constexpr auto kind_text = rt::cat(ElementModule, rt::Name("-like"));
  static constexpr auto type_format_text =
      rt::cat(ElementModule, rt::Name("-like argument must be "), rt::Name(VecTraitsT::short_text),
              rt::Name(", or any sequence, got %U."));
  static constexpr const char* short_name = short_text.c_str();
  static constexpr const char* element_name = VecTraitsT::short_name;
  static constexpr rt::Where where{full_text.c_str(), file_text.c_str()};
  static constexpr LikeForm form{kind_text.c_str(), type_format_text.c_str()};
  // The expected types of an operand that is a vector or an array.
  static constexpr auto either_text =
      rt::cat(element_module_text, rt::Name("."), rt::Name(VecTraitsT::short_text),
              rt::Name(" or "), full_text);

  // The element type, bound at import.
  using VecObj = typename VecTraitsT::Object;
  using Arr = std::array<typename VecTraitsT::Scalar, K>;
  static inline PyTypeObject* vec_type = nullptr;
  static inline typename VecTraitsT::VTable* vec_vt = nullptr;
  // The Rect type, bound by the modules whose arrays test points against
  // rectangles.
  static inline PyTypeObject* rect_type = nullptr;
  static Rectangle rect_value(PyObject* o) noexcept {
    return reinterpret_cast<tarvex_RectObject*>(o)->_raw;
  }
  static bool is_vector(PyObject* o) noexcept { return Py_IS_TYPE(o, vec_type); }
  static Arr vector_value(PyObject* o) noexcept {
    Arr a;
    std::memcpy(a.data(), &reinterpret_cast<VecObj*>(o)->data, sizeof a);
    return a;
  }
  static PyObject* element_new(const Elem& e) {
    Arr a;
    std::memcpy(a.data(), &e, sizeof a);
    if constexpr (K == 2)
      return vec_vt->new_(static_cast<double>(a[0]), static_cast<double>(a[1]));
    else
      return vec_vt->new_(static_cast<double>(a[0]), static_cast<double>(a[1]),
                          static_cast<double>(a[2]));
  }
  static bool element_read(PyObject* o, Elem* out) {
    if (is_vector(o)) {
      std::memcpy(static_cast<void*>(out), &reinterpret_cast<VecObj*>(o)->data, sizeof *out);
      return true;
    }
    float f[K];
    if (!read_like(o, K, form, f)) return false;
    std::memcpy(static_cast<void*>(out), f, sizeof *out);
    return true;
  }
};

template <class Traits>
struct VecArray : ArrayBase<Traits> {
  using B = ArrayBase<Traits>;
  using typename B::Elem;
  using typename B::Obj;
  using VT = typename Traits::VecTraits;
  using V = vec::Vec<VT>;
  using G = vec::VecGeometry<VT>;
  using VecObj = typename VT::Object;
  using Arr = typename V::Arr;
  static constexpr int K = Traits::K;
  static constexpr const rt::Where& where = Traits::where;
  using B::as;
  using B::check;
  using B::py;

  // ------------------------------------------------------------ elements
  static Arr load(const Obj* o, Py_ssize_t i) noexcept {
    Arr a;
    std::memcpy(a.data(), o->data + i, sizeof a);
    return a;
  }
  static void store(Obj* o, Py_ssize_t i, const Arr& a) noexcept {
    std::memcpy(static_cast<void*>(o->data + i), a.data(), sizeof a);
  }
  // The same through the element pointer, which the loops keep in a local:
  // read through the object, it would be reloaded after every store.
  // The components are read and written one float at a time: whole-element
  // copies are a pattern the loop vectoriser does not take.
  static Arr load(const float* p, Py_ssize_t i) noexcept {
    Arr a;
    for (int k = 0; k < K; ++k) a[k] = p[i * K + k];
    return a;
  }
  static Arr load(const Elem* p, Py_ssize_t i) noexcept {
    return load(reinterpret_cast<const float*>(p), i);
  }
  static void store(Elem* p, Py_ssize_t i, const Arr& a) noexcept {
    float* f = reinterpret_cast<float*>(p);
    for (int k = 0; k < K; ++k) f[i * K + k] = a[k];
  }
  // A vector whose value is a, for the kernels that read their operand
  // from a vector object: only its `data` is read.
  struct Operand {
    VecObj obj;
    explicit Operand(const Arr& a) noexcept { std::memcpy(&obj.data, a.data(), sizeof a); }
    VecObj* get() noexcept { return &obj; }
  };

  // ------------------------------------------------------------ operands
  // The other operand of an element-wise operation: a vector, the same for
  // every element, or an array of this type of the same length.
  struct Other {
    Arr single{};
    const Obj* array = nullptr;
  };
  static bool read_other(PyObject* o, Py_ssize_t n, const char* name, Other* out) {
    if (Traits::is_vector(o)) {
      out->single = Traits::vector_value(o);
      return true;
    }
    if (check(o)) {
      if (as(o)->count != n) return length_mismatch(name, as(o)->count, n);
      out->array = as(o);
      return true;
    }
    rt::arg_type_error(name, Traits::either_text.c_str(), o);
    return false;
  }
  // Runs g(b) with b(i) the other operand of element i: one loop for a
  // vector and one for an array, each simple enough for the vectoriser.
  template <class Fn>
  static auto with_other(const Other& o, Fn g) {
    if (o.array) {
      const Elem* a = o.array->data;
      return g([a](Py_ssize_t i) { return load(a, i); });
    }
    // Read through a pointer, each time: a captured array would be copied
    // whole, which keeps the loop from vectorising; the load is hoisted.
    const float* s = o.single.data();
    return g([s](Py_ssize_t) { return load(s, 0); });
  }
  // The same for a number argument, one for all or one per element.
  template <class Fn>
  static auto with_numbers(const Numbers& x, Fn g) {
    if (const double* d = x.contiguous_doubles()) return g([d](Py_ssize_t i) { return d[i]; });
    if (const float* f = x.contiguous_floats())
      return g([f](Py_ssize_t i) { return static_cast<double>(f[i]); });
    if (x.per_element()) return g([&x](Py_ssize_t i) { return x.at(i); });
    const double s = x.single();
    return g([s](Py_ssize_t) { return s; });
  }
  // Code run while the arguments were read (a number's __float__, a mask
  // item's __bool__) may have resized the array: refused, never read past.
  static bool unchanged(Obj* self, Py_ssize_t n) {
    if (self->count == n) return true;
    PyErr_Format(PyExc_RuntimeError, "%s changed size while the arguments were read",
                 Traits::short_name);
    return false;
  }

  // ------------------------------------------------------------ engines
  // f(i, a, r) computes element i from a, the element of self, into r, and
  // gives false with the exception set on failure. Operations that can
  // fail (Fallible) run f over every element first and store nothing unless
  // all succeed, so a failure leaves the destination as it was.
  template <bool Fallible, class F>
  static bool validate(Obj* self, F& f, const Mask* mask) {
    if constexpr (Fallible) {
      const Elem* src = self->data;
      for (Py_ssize_t i = 0, n = self->count; i < n; ++i) {
        if (mask && !mask->at(i)) continue;
        Arr r{};
        if (!f(i, load(src, i), r)) return false;
      }
    }
    return true;
  }
  // get_<op>: a new array, or the array `out`, receives every element.
  template <bool Fallible, class F>
  static PyObject* run_get(Obj* self, PyObject* out, F f) {
    if (!validate<Fallible>(self, f, nullptr)) return nullptr;
    const Py_ssize_t n = self->count;
    Obj* dst = B::out_array(out, n);
    if (!dst) return nullptr;
    const Elem* src = self->data;
    Elem* to = dst->data;
    for (Py_ssize_t i = 0; i < n; ++i) {
      Arr r{};
      f(i, load(src, i), r);
      store(to, i, r);
    }
    return py(dst);
  }
  // to_<op>: this array changed in place (only where `mask` is true, when
  // one is given) and returned.
  template <bool Fallible, class F>
  static PyObject* run_to(Obj* self, const Mask* mask, F f) {
    if (!validate<Fallible>(self, f, mask)) return nullptr;
    const Py_ssize_t n = self->count;
    Elem* d = self->data;
    if (mask) {
      for (Py_ssize_t i = 0; i < n; ++i) {
        if (!mask->at(i)) continue;
        Arr r{};
        f(i, load(d, i), r);
        store(d, i, r);
      }
    } else {
      for (Py_ssize_t i = 0; i < n; ++i) {
        Arr r{};
        f(i, load(d, i), r);
        store(d, i, r);
      }
    }
    return Py_NewRef(py(self));
  }
  // A query: one number (Format 'd') or truth value ('?') per element,
  // q(i, a), into a new result buffer or `out`.
  template <char Format, class Q>
  static PyObject* run_query(Obj* self, PyObject* out, Q q) {
    const Py_ssize_t n = self->count;
    Result res;
    if (!res.acquire(out, n, Format)) return nullptr;
    if (!unchanged(self, n)) return nullptr;
    if constexpr (Format == 'd') {
      const Elem* src = self->data;
      double* d = static_cast<double*>(res.data());
      for (Py_ssize_t i = 0; i < n; ++i) d[i] = q(i, load(src, i));
    } else {
      const Elem* src = self->data;
      unsigned char* d = static_cast<unsigned char*>(res.data());
      for (Py_ssize_t i = 0; i < n; ++i) d[i] = q(i, load(src, i)) ? 1 : 0;
    }
    return res.result();
  }
};

}  // namespace tarvex::arr
