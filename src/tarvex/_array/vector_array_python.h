// The Python surface of Vector2Array and Vector3Array: the declarations of
// their methods with docstrings and text signatures, the type object and
// the module of one array type.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <raylib.h>

#include <array>
#include <cstddef>

#include "tarvex/_array/vector_array.h"
#include "tarvex/_array/vector_array_ops.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"

namespace tarvex::arr {

template <class Traits>
struct VecArrayPython : VecArrayOps<Traits> {
  using O = VecArrayOps<Traits>;
  using B = typename O::B;
  using typename O::Arr;
  using typename O::Obj;
  using Form = typename O::Form;
  static constexpr int K = O::K;

  using Declare = rt::Declare<Traits::where, Obj>;
  template <rt::Name N, auto Body, class... P>
  using method = typename Declare::template method<N, Body, P...>;
  using Out = rt::Optional<rt::Object<"out">, nullptr, "None">;
  using Where = rt::Optional<rt::Object<"where">, nullptr, "None">;
  template <rt::Name N>
  using Arg = rt::Object<N>;

  // Docstrings with {T} (this type) and {E} (its element type) filled in.
  template <rt::Name Text>
  static constexpr auto doc = rt::wrapped<rt::Name(
      rt::Expand<Text, rt::Name(rt::cat(rt::Name("T="), Traits::short_text)),
                 rt::Name(rt::cat(rt::Name("E="), rt::Name(Traits::VecTraits::short_text))),
                 rt::Name(Traits::VecTraits::sub_digits)>::text)>;
  static constexpr rt::Name kOperands =
      "`other` is a {E}, used for every element, or a {T} of the same length (ValueError "
      "otherwise). A number argument is a number for every element or a buffer of float64 or "
      "float32 values, one per element (a query's result, a numpy array).";
  static constexpr rt::Name kExact =
      "Element i equals, bit for bit, the {E} operation on element i: NaN and infinities "
      "included.";

  // get_<Name> and to_<Name> of one operation; Expr is element i of the
  // result written with the single-value operation.
  template <rt::Name Name, auto Get, auto To, rt::Name Expr, rt::Name Note, class... P>
  static void add_pair(PyMethodDef*& at) {
    static constexpr auto get_doc = rt::cat(
        rt::Name("Return a new {T} (or fill the {T} `out` and return it) whose element i is `"),
        Expr, rt::Name("`.\n\n"), kExact, rt::Name(" "), Note, rt::Name("\n\n"), kOperands);
    static constexpr auto to_doc = rt::cat(
        rt::Name("Change this {T} in place, so that element i becomes `"), Expr,
        rt::Name("`, and return it.\n\nOnly elements where the mask `where` is true change, when "
                 "one is given (a buffer of bools, or an iterable of truth values). "),
        kExact, rt::Name(" "), Note, rt::Name("\n\n"), kOperands);
    *at++ = method<rt::Name(rt::cat(rt::Name("get_"), Name)), Get, P...,
                   Out>::template def<doc<rt::Name(get_doc)>>();
    *at++ = method<rt::Name(rt::cat(rt::Name("to_"), Name)), To, P...,
                   Where>::template def<doc<rt::Name(to_doc)>>();
  }

  // ------------------------------------------------------- 2-D only
  // Points in a rectangle: the closed test of Rect.collide_point, on the
  // stored values (the far edges are 32-bit sums).
  static bool read_rect(PyObject* o, Rectangle* r) {
    if (Traits::rect_type && PyObject_TypeCheck(o, Traits::rect_type)) {
      *r = Traits::rect_value(o);
      return true;
    }
    float f[4];
    if (!read_like(o, 4, kRectForm, f)) return false;
    *r = Rectangle{f[0], f[1], f[2], f[3]};
    return true;
  }
  static constexpr LikeForm kRectForm{"rect-like",
                                      "rect_like argument must be Rect, tuple, or list, got %U"};
  static bool inside(const Arr& p, const Rectangle& r) noexcept {
    const float right = r.x + r.width, bottom = r.y + r.height;
    return r.x <= p[0] && p[0] <= right && r.y <= p[1] && p[1] <= bottom;
  }
  template <bool In>
  static PyObject* in_rect(Obj* self, PyObject* rect, PyObject* out) {
    Rectangle r;
    if (!read_rect(rect, &r)) return nullptr;
    return O::template run_query<'?'>(
        self, out, [&r](Py_ssize_t, const Arr& a) { return inside(a, r) == In; });
  }
  // The bounce of a particle system: where positions[i] lies beyond an
  // edge of `rect`, the velocity component on that axis points back inside
  // (|v| beyond the low edge, -|v| beyond the high edge).
  static PyObject* to_bounced(Obj* self, PyObject* positions, PyObject* rect) {
    Rectangle r;
    if (!read_rect(rect, &r)) return nullptr;
    if (!B::check(positions)) {
      rt::arg_type_error("positions", Traits::where.path, positions);
      return nullptr;
    }
    const Obj* p = B::as(positions);
    if (p->count != self->count) {
      length_mismatch("positions", p->count, self->count);
      return nullptr;
    }
    const float left = r.x, right = r.x + r.width, top = r.y, bottom = r.y + r.height;
    const typename O::Elem* at = p->data;
    typename O::Elem* vel = self->data;
    for (Py_ssize_t i = 0, n = self->count; i < n; ++i) {
      const Arr a = O::load(at, i);
      Arr v = O::load(vel, i);
      // Both tests on every element, so that the loop has no branches.
      const bool below_x = a[0]<left, above_x = a[0]> right;
      const bool below_y = a[1]<top, above_y = a[1]> bottom;
      const float vx = std::fabs(v[0]), vy = std::fabs(v[1]);
      v[0] = below_x ? vx : above_x ? -vx : v[0];
      v[1] = below_y ? vy : above_y ? -vy : v[1];
      O::store(vel, i, v);
    }
    return Py_NewRef(B::py(self));
  }

  // ------------------------------------------------------------ methods
  static constexpr std::size_t kCapacity = 48;
  static inline std::array<PyMethodDef, kCapacity> own_methods = [] {
    std::array<PyMethodDef, kCapacity> table{};
    PyMethodDef* at = table.data();
    constexpr Form get = Form::get, to = Form::to;
    add_pair<"added", O::template with_vector_number<get, O::added_k, "factor", 1.0>,
             O::template with_vector_number<to, O::added_k, "factor", 1.0>,
             "self[i].get_added(other[i], factor[i])",
             "One step of motion: `pos.to_added(vel, dt)` moves every body by its velocity times "
             "dt, without a temporary array.",
             Arg<"other">, rt::Optional<Arg<"factor">, nullptr, "1.0">>(at);
    add_pair<"lerped", O::template with_vector_number<get, O::lerped_k, "t">,
             O::template with_vector_number<to, O::lerped_k, "t">,
             "self[i].get_lerped(other[i], t[i])", "", Arg<"other">, Arg<"t">>(at);
    add_pair<"moved_towards",
             O::template with_vector_number<get, O::moved_towards_k, "max_distance">,
             O::template with_vector_number<to, O::moved_towards_k, "max_distance">,
             "self[i].get_moved_towards(other[i], max_distance[i])",
             "Every element steps toward its target (one {E} for all, or one per element) by at "
             "most its max_distance, arriving exactly within reach.",
             Arg<"other">, Arg<"max_distance">>(at);
    add_pair<
        "clamped_magnitude",
        O::template with_numbers2<get, O::clamped_magnitude_k, true, "max_length", "min_length">,
        O::template with_numbers2<to, O::clamped_magnitude_k, true, "max_length", "min_length">,
        "self[i].get_clamped_magnitude(max_length[i], min_length[i])",
        "The ValueErrors of the {E} operation are raised before anything is stored.",
        Arg<"max_length">, rt::Optional<Arg<"min_length">, nullptr, "0.0">>(at);
    add_pair<"scaled_to_length",
             O::template with_number<get, O::scaled_to_length_k, true, "length">,
             O::template with_number<to, O::scaled_to_length_k, true, "length">,
             "self[i].get_scaled_to_length(length[i])",
             "A zero element raises ValueError before anything is stored.", Arg<"length">>(at);
    add_pair<"scaled", O::template with_number<get, O::scale_k, false, "factor">,
             O::template with_number<to, O::scale_k, false, "factor">, "self[i] * factor[i]",
             "`a * s` is `a.get_scaled(s)` for a number s.", Arg<"factor">>(at);
    add_pair<"normalized", O::template unary<get, O::normalized_k>,
             O::template unary<to, O::normalized_k>, "self[i].get_normalized()", "">(at);
    add_pair<"neg", O::template unary<get, O::neg_k>, O::template unary<to, O::neg_k>,
             "self[i].get_neg()", "`-a` is `a.get_neg()`.">(at);
    add_pair<"abs", O::template unary<get, O::abs_k>, O::template unary<to, O::abs_k>,
             "self[i].get_abs()", "">(at);
    add_pair<"round", O::template unary<get, O::round_k>, O::template unary<to, O::round_k>,
             "self[i].get_round()", "">(at);
    add_pair<"reflected", O::template with_vector<get, O::reflected_k, true>,
             O::template with_vector<to, O::reflected_k, true>, "self[i].get_reflected(other[i])",
             "A zero normal raises ValueError before anything is stored.", Arg<"other">>(at);
    add_pair<"projected", O::template with_vector<get, O::projected_k, true>,
             O::template with_vector<to, O::projected_k, true>, "self[i].get_projected(other[i])",
             "A zero `other` raises ValueError before anything is stored.", Arg<"other">>(at);
    add_pair<"min", O::template with_vector<get, O::min_k, false, true>,
             O::template with_vector<to, O::min_k, false, true>, "self[i].get_min(other[i])",
             "`other` may also be a number, bounding every component.", Arg<"other">>(at);
    add_pair<"max", O::template with_vector<get, O::max_k, false, true>,
             O::template with_vector<to, O::max_k, false, true>, "self[i].get_max(other[i])",
             "`other` may also be a number, bounding every component.", Arg<"other">>(at);
    add_pair<"clamped", O::template clamped<get>, O::template clamped<to>,
             "self[i].get_clamped(low[i], high[i])",
             "`low` and `high` are each a {E}, a {T} or a number; a low above its high raises "
             "ValueError before anything is stored.",
             Arg<"low">, Arg<"high">>(at);
    if constexpr (K == 2) {
      add_pair<"rotated", O::template with_number<get, O::template rotated_k<true>, false, "angle">,
               O::template with_number<to, O::template rotated_k<true>, false, "angle">,
               "self[i].get_rotated(angle[i])", "Angles in degrees.", Arg<"angle">>(at);
      add_pair<"rotated_rad",
               O::template with_number<get, O::template rotated_k<false>, false, "angle">,
               O::template with_number<to, O::template rotated_k<false>, false, "angle">,
               "self[i].get_rotated_rad(angle[i])", "Angles in radians.", Arg<"angle">>(at);
      *at++ = method<"in_rect", in_rect<true>, Arg<"rect">, Out>::template def<doc<
          "Return a mask, a buffer of bools: item i is `rect.collide_point(self[i])`.\n\n"
          "`rect` is a Rect or a sequence of four numbers; the test is closed on all four edges, "
          "with the far edges summed in 32-bit floats, as Rect computes them. `out` may be a "
          "writable buffer of bools of the same length, filled and returned.">>();
      *at++ = method<"outside_rect", in_rect<false>, Arg<"rect">, Out>::template def<
          doc<"Return a mask, a buffer of bools: item i is `not rect.collide_point(self[i])`.\n\n"
              "The negation of `in_rect`, for masked operations on the points outside.">>();
      *at++ = method<"to_bounced", to_bounced, Arg<"positions">, Arg<"rect">>::template def<doc<
          "Turn these velocities back into `rect` where `positions` lies outside it, and "
          "return this {T}.\n\n"
          "For element i, a position left of the rectangle's left edge makes the x component "
          "`abs(v.x)`, one right of its right edge `-abs(v.x)`, and the same for y with the top "
          "and bottom edges; positions on or inside the edges leave the velocity as it is. "
          "`positions` is a {T} of the same length; the far edges are summed in 32-bit floats, "
          "as Rect computes them.">>();
    } else {
      add_pair<"rotated", O::template rotated_about<get, true>, O::template rotated_about<to, true>,
               "self[i].get_rotated(angle[i], axis)",
               "Angles in degrees; `axis` is one {E} for every element (a zero axis raises "
               "ValueError).",
               Arg<"angle">, Arg<"axis">>(at);
      add_pair<"rotated_rad", O::template rotated_about<get, false>,
               O::template rotated_about<to, false>, "self[i].get_rotated_rad(angle[i], axis)",
               "Angles in radians.", Arg<"angle">, Arg<"axis">>(at);
    }
    *at++ = method<"get_length", O::template query<O::length_of>, Out>::template def<
        doc<"Return a buffer of float64 values: item i is `self[i].length`.\n\n"
            "`out` may be a writable buffer of float64 values of the same length (a previous "
            "result, a numpy array), filled and returned.">>();
    *at++ =
        method<"get_length_squared", O::template query<O::length_squared_of>, Out>::template def<
            doc<"Return a buffer of float64 values: item i is `self[i].length_squared`; "
                "`out` as for `get_length`.">>();
    *at++ = method<"distance_to", O::template query_other<O::distance_of>, Arg<"other">, Out>::
        template def<doc<"Return a buffer of float64 values: item i is "
                         "`self[i].distance_to(other[i])`.\n\n"
                         "`other` is one {E} or a {T} of the same length; `out` as for "
                         "`get_length`.">>();
    *at++ =
        method<"distance_squared_to", O::template query_other<O::distance_squared_of>, Arg<"other">,
               Out>::template def<doc<"Return a buffer of float64 values: item i is "
                                      "`self[i].distance_squared_to(other[i])`; arguments as for "
                                      "`distance_to`.">>();
    *at++ = method<"dot", O::template query_other<O::dot_of>, Arg<"other">, Out>::template def<
        doc<"Return a buffer of float64 values: item i is `self[i].dot(other[i])`; arguments as "
            "for `distance_to`.">>();
    *at = rt::kEndOfMethods;
    return table;
  }();
  static inline auto methods = rt::join_methods(B::base_methods, own_methods);

  // -------------------------------------------------------------- type
  static constexpr auto type_doc = rt::cat(
      rt::Name(Traits::short_text), rt::Name("(source=None)\n--\n\n"),
      doc<"A resizable, contiguous run of raylib {E} structures: {N} 32-bit floats per element, "
          "packed.\n\n"
          "`source` is nothing (an empty array), a count (that many zero elements), another {T} "
          "(a copy), a buffer of float32 or float64 values shaped (n, {N}) (float64 values are "
          "rounded once to 32 bits; strided buffers are read as they lie), or an iterable of "
          "elements, each a {E} or a sequence of {N} numbers. A failure part-way builds "
          "nothing.\n\n"
          "The array exports its storage as a writable buffer of format 'f' shaped (n, {N}), so "
          "`numpy.asarray(a)` is a view without a copy; while a view exists, every resize raises "
          "BufferError. `len`, indexing (a new {E}, a copy), slices (a new {T}), item and slice "
          "assignment, iteration and `==` work as for a list; arrays are unhashable, and `copy`, "
          "`copy.deepcopy` and pickling work.\n\n"
          "Whole-array operations run in C: `+`, `-`, `*`, `/` and their in-place forms with a "
          "{T} of the same length or a {E} (per component), `*` and `/` with a number, unary "
          "`-`, and the `get_`/`to_` methods. Element i of every element-wise result equals, bit "
          "for bit, the {E} operation on element i, NaN and infinities included.">);
  static inline const rt::TypeEntry types[1] = {{&B::type, &B::vtable, nullptr}};
  // The binding of the element type, which the module's exec step makes.
  static rt::Sibling element_sibling() {
    return rt::sibling<typename Traits::VecObj>(Traits::element_module_text.c_str(),
                                                Traits::element_name, &Traits::vec_type,
                                                &Traits::vec_vt);
  }
};

}  // namespace tarvex::arr

// The type object and C method table of the vector array type of Traits.
#define TARVEX_VECTOR_ARRAY_TYPE(Traits)                                                        \
  template <>                                                                                   \
  PyTypeObject tarvex::arr::ArrayBase<Traits>::type = {                                         \
      TARVEX_TYPE_HEAD(Traits::where, Traits::Object, tarvex::arr::ArrayBase<Traits>::dealloc), \
      .tp_repr = tarvex::arr::ArrayBase<Traits>::repr,                                          \
      .tp_as_number = &tarvex::arr::VecArrayPython<Traits>::number,                             \
      .tp_as_sequence = &tarvex::arr::ArrayBase<Traits>::sequence,                              \
      .tp_as_mapping = &tarvex::arr::ArrayBase<Traits>::mapping,                                \
      .tp_hash = PyObject_HashNotImplemented,                                                   \
      .tp_as_buffer = &tarvex::arr::ArrayBase<Traits>::buffer,                                  \
      .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_SEQUENCE,                                     \
      .tp_doc = tarvex::arr::VecArrayPython<Traits>::type_doc.c_str(),                          \
      .tp_richcompare = tarvex::arr::ArrayBase<Traits>::richcompare,                            \
      .tp_iter = PySeqIter_New,                                                                 \
      .tp_methods = tarvex::arr::VecArrayPython<Traits>::methods.data(),                        \
      .tp_new = tarvex::arr::ArrayBase<Traits>::tp_new,                                         \
      .tp_vectorcall = tarvex::arr::ArrayBase<Traits>::construct,                               \
  };                                                                                            \
  template <>                                                                                   \
  Traits::VTable tarvex::arr::ArrayBase<Traits>::vtable = [] {                                  \
    Traits::VTable t{};                                                                         \
    tarvex::arr::ArrayBase<Traits>::fill_common_entries(t);                                     \
    return t;                                                                                   \
  }()
