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

  // The element type, bound at import.
  using VecObj = typename VecTraitsT::Object;
  using Arr = std::array<typename VecTraitsT::Scalar, K>;
  static inline PyTypeObject* vec_type = nullptr;
  static inline typename VecTraitsT::VTable* vec_vt = nullptr;
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
  // A vector whose value is a, for the kernels that read their operand
  // from a vector object: only its `data` is read.
  struct Operand {
    VecObj obj;
    explicit Operand(const Arr& a) noexcept { std::memcpy(&obj.data, a.data(), sizeof a); }
    VecObj* get() noexcept { return &obj; }
  };

  // -------------------------------------------------------------- type
  static inline auto methods = rt::join_methods(B::base_methods);
  static constexpr auto type_doc = rt::cat(
      rt::Name(Traits::short_text), rt::Name("(source=None)\n--\n\n"),
      rt::wrapped<rt::Name(
          rt::Expand<
              "A resizable, contiguous run of raylib {E} structures: {N} 32-bit floats per "
              "element, packed.\n\n"
              "`source` is nothing (an empty array), a count (that many zero elements), another "
              "{T} (a copy), a buffer of float32 or float64 values shaped (n, {N}) (float64 values "
              "are rounded once to 32 bits; strided buffers are read as they lie), or an iterable "
              "of "
              "elements, each a {E} or a sequence of {N} numbers. A failure part-way builds "
              "nothing.\n\n"
              "The array exports its storage as a writable buffer of format 'f' shaped (n, {N}), "
              "so `numpy.asarray(a)` is a view without a copy; while a view exists, every resize "
              "raises BufferError. `len`, indexing (a new {E}, a copy), slices (a new {T}), item "
              "and slice assignment, iteration and `==` work as for a list; arrays are unhashable, "
              "and `copy`, `copy.deepcopy` and pickling work.",
              rt::Name(rt::cat(rt::Name("E="), rt::Name(Traits::VecTraits::short_text))),
              rt::Name(rt::cat(rt::Name("T="), Traits::short_text)),
              rt::Name(VT::sub_digits)>::text)>);
  static inline const rt::TypeEntry types[1] = {{&B::type, &B::vtable, nullptr}};
  static int bind_elements() { return 0; }
};

}  // namespace tarvex::arr

// The type object and C method table of the vector array type of Traits.
#define TARVEX_VECTOR_ARRAY_TYPE(Traits)                                                        \
  template <>                                                                                   \
  PyTypeObject tarvex::arr::ArrayBase<Traits>::type = {                                         \
      TARVEX_TYPE_HEAD(Traits::where, Traits::Object, tarvex::arr::ArrayBase<Traits>::dealloc), \
      .tp_repr = tarvex::arr::ArrayBase<Traits>::repr,                                          \
      .tp_as_sequence = &tarvex::arr::ArrayBase<Traits>::sequence,                              \
      .tp_as_mapping = &tarvex::arr::ArrayBase<Traits>::mapping,                                \
      .tp_hash = PyObject_HashNotImplemented,                                                   \
      .tp_as_buffer = &tarvex::arr::ArrayBase<Traits>::buffer,                                  \
      .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_SEQUENCE,                                     \
      .tp_doc = tarvex::arr::VecArray<Traits>::type_doc.c_str(),                                \
      .tp_richcompare = tarvex::arr::ArrayBase<Traits>::richcompare,                            \
      .tp_methods = tarvex::arr::VecArray<Traits>::methods.data(),                              \
      .tp_new = tarvex::arr::ArrayBase<Traits>::tp_new,                                         \
      .tp_vectorcall = tarvex::arr::ArrayBase<Traits>::construct,                               \
  };                                                                                            \
  template <>                                                                                   \
  Traits::VTable tarvex::arr::ArrayBase<Traits>::vtable = [] {                                  \
    Traits::VTable t{};                                                                         \
    tarvex::arr::ArrayBase<Traits>::fill_common_entries(t);                                     \
    return t;                                                                                   \
  }()
