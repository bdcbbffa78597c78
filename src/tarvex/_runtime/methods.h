// The Python-visible functions of a type, written once: a declaration names
// the function, its body and its typed parameters; the runtime binds the
// arguments with the package's messages, converts them, runs the body,
// turns its C result into an object and adds the traceback entry of a
// failure. The same declaration gives the method-table entry with its text
// signature. Also here: traced slots and properties, item access of
// fixed-size values, copying and the pickling refusal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <tuple>
#include <type_traits>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/compat.h"
#include "tarvex/_runtime/errors.h"

namespace tarvex::rt {

// A method-table function pointer for a function of any calling
// convention (METH_FASTCALL, with or without METH_KEYWORDS, and the rest).
template <class F>
PyCFunction cfunc(F* f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// ---------------------------------------------------------------------------
// Results

// The object of a body's C result. An object passes through; an int is a
// truth value with the C-level entries' convention (0 with an exception
// pending on failure); a bool a truth value that cannot fail; a double a
// float (such results cannot fail).
inline PyObject* to_python(PyObject* r) noexcept { return r; }
inline PyObject* to_python(int r) noexcept {
  if (r == 0 && PyErr_Occurred()) return nullptr;
  return PyBool_FromLong(r);
}
inline PyObject* to_python(bool r) noexcept { return PyBool_FromLong(r); }
inline PyObject* to_python(double r) noexcept { return PyFloat_FromDouble(r); }

// Runs `f` and gives the object of its result; a body without a result
// gives None, or null when it left an exception pending.
template <class F>
PyObject* result_of(F&& f) {
  if constexpr (std::is_void_v<decltype(f())>) {
    f();
    return PyErr_Occurred() ? nullptr : Py_NewRef(Py_None);
  } else {
    return to_python(f());
  }
}

// ---------------------------------------------------------------------------
// Instances

// The class of a pointer to data member.
template <class M>
struct MemberOf;
template <class C, class T>
struct MemberOf<T C::*> {
  using type = C;
};

// Instances of a type whose layout carries its C method table first: the
// value field `Field` starts as `Value`.
template <PyTypeObject* Type, auto Table, auto Field, auto Value>
struct Instances {
  using Obj = typename MemberOf<decltype(Field)>::type;
  // An instance of the exact type, made without running its initialiser.
  static Obj* create() noexcept {
    Obj* o = PyObject_New(Obj, Type);
    if (o) {
      o->__pyx_vtab = Table;
      o->*Field = Value;
    }
    return o;
  }
  // tp_new: the same through the type (or a subtype) being called.
  static PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) {
    PyObject* o = t->tp_alloc(t, 0);
    if (o) {
      reinterpret_cast<Obj*>(o)->__pyx_vtab = Table;
      reinterpret_cast<Obj*>(o)->*Field = Value;
    }
    return o;
  }
};

// ---------------------------------------------------------------------------
// Functions

enum class Receiver { self, none };
// `all`: a failure of binding or of the body gets the function's traceback
// entry. `binding`: only binding failures do; the body is a C-level entry
// that adds its own.
enum class Trace { all, binding };

// A C-level entry run from Python: its final flag set, so that an override
// of the method in a Python subclass is not dispatched to.
template <auto Entry>
inline constexpr auto skip_dispatch = [](auto... a) { return Entry(a..., 1); };

// The body receives the receiver cast to `Self*` (unless it has none), then
// one C value per parameter.
template <const Where& W, class Self, Receiver R, Trace T, Name N, auto Body, class... P>
struct Function {
  using Sig = Signature<P...>;
  static constexpr bool is_static = R == Receiver::none;

  static PyObject* call(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    typename Sig::Values values;
    if (!Sig::bind(N.text, args, nargs, kwnames, values)) [[unlikely]] {
      add_traceback(W, N.text);
      return nullptr;
    }
    PyObject* r = std::apply(
        [&](auto... v) {
          return result_of([&] {
            if constexpr (is_static)
              return Body(v...);
            else
              return Body(reinterpret_cast<Self*>(self), v...);
          });
        },
        values);
    if constexpr (T == Trace::all) {
      if (!r) [[unlikely]]
        add_traceback(W, N.text);
    }
    return r;
  }

  static constexpr auto signature = [] {
    if constexpr (is_static)
      return Sig::template text<N, "">();
    else
      return Sig::template text<N, "$self">();
  }();
  template <Name Doc>
  static constexpr auto documented = cat(signature, Name("\n--\n\n"), wrapped<Doc>);

  // The method-table entry, with the text signature and the docstring
  // (wrapped, see `wrapped`).
  template <Name Doc = "">
  static PyMethodDef def() {
    return {N.text, cfunc(call), METH_FASTCALL | METH_KEYWORDS | (is_static ? METH_STATIC : 0),
            documented<Doc>.c_str()};
  }
};

// A declared function whose docstring is fixed with the declaration: def()
// gives its method-table entry.
template <class F, Name Doc>
struct Documented : F {
  static PyMethodDef def() { return F::template def<Doc>(); }
};

// The declarations of one type's functions.
template <const Where& W, class Self>
struct Declare {
  // body(self, values...)
  template <Name N, auto Body, class... P>
  using method = Function<W, Self, Receiver::self, Trace::all, N, Body, P...>;
  // entry(self, values..., 1), a C-level entry that traces itself
  template <Name N, auto Entry, class... P>
  using entry = Function<W, Self, Receiver::self, Trace::binding, N, skip_dispatch<Entry>, P...>;
  // entry(self, values...), a C-level entry without a dispatch flag
  template <Name N, auto Entry, class... P>
  using plain_entry = Function<W, Self, Receiver::self, Trace::binding, N, Entry, P...>;
  // body(values...)
  template <Name N, auto Body, class... P>
  using static_method = Function<W, Self, Receiver::none, Trace::all, N, Body, P...>;
  // entry(values...), a C-level creator
  template <Name N, auto Entry, class... P>
  using static_entry = Function<W, Self, Receiver::none, Trace::binding, N, Entry, P...>;
};

inline constexpr PyMethodDef kEndOfMethods = {nullptr, nullptr, 0, nullptr};

// One method table from several, each read up to its first null entry.
template <std::size_t... Sizes>
std::array<PyMethodDef, (Sizes + ...)> join_methods(const PyMethodDef (&... tables)[Sizes]) {
  std::array<PyMethodDef, (Sizes + ...)> all{};
  std::size_t k = 0;
  (
      [&](const PyMethodDef* t) {
        for (; t->ml_name; ++t) all[k++] = *t;
      }(tables),
      ...);
  all[k] = kEndOfMethods;
  return all;
}
template <std::size_t A, std::size_t B>
std::array<PyMethodDef, A + B> join_methods(const PyMethodDef (&a)[A],
                                            const std::array<PyMethodDef, B>& b) {
  std::array<PyMethodDef, A + B> all{};
  std::size_t k = 0;
  for (const PyMethodDef* t = a; t->ml_name; ++t) all[k++] = *t;
  for (const PyMethodDef* t = b.data(); t->ml_name; ++t) all[k++] = *t;
  all[k] = kEndOfMethods;
  return all;
}

// ---------------------------------------------------------------------------
// Slots

inline bool failed(PyObject* r) noexcept { return r == nullptr; }
inline bool failed(int r) noexcept { return r < 0; }
inline bool failed(Py_hash_t r) noexcept { return r == -1; }

// A type slot whose failures get the traceback entry "<type path>.<N>".
template <const Where& W, Name N, auto Fn>
struct Slot {
  template <class... A>
  static auto call(A... a) -> decltype(Fn(a...)) {
    auto r = Fn(a...);
    if (failed(r)) [[unlikely]]
      add_traceback(W, N.text);
    return r;
  }
};

// A C-level entry whose failures get the traceback entry "<type path>.<N>":
// Traced<kWhere, "new", do_new>::call is the entry itself.
template <const Where& W, Name N, auto Fn>
using Traced = Slot<W, N, Fn>;

// ---------------------------------------------------------------------------
// Properties

// A property whose accessor failures get the entries "<name>.__get__" and
// "<name>.__set__". Get(self) gives the value (an object, or a C value as
// functions return). Set(self, value), with the value read by `Kind`, stores
// it and gives false (with the exception set) on failure, or nothing when it
// cannot fail. Deleting the property raises NotImplementedError "__del__".
template <const Where& W, class Self, Name N, auto Get, auto Set = nullptr,
          class Kind = Object<"value">>
struct Property {
  static constexpr auto get_entry = cat(N, Name(".__get__"));
  static constexpr auto set_entry = cat(N, Name(".__set__"));

  static PyObject* get(PyObject* self, void*) {
    using R = decltype(Get(reinterpret_cast<Self*>(self)));
    static_assert(!std::is_same_v<R, int>, "an int result would read as a truth value");
    if constexpr (std::is_same_v<R, double>) {
      // A number cannot fail but by running out of memory: a tail call.
      return PyFloat_FromDouble(Get(reinterpret_cast<Self*>(self)));
    } else {
      PyObject* r = result_of([self] { return Get(reinterpret_cast<Self*>(self)); });
      if (!r) [[unlikely]]
        add_traceback(W, get_entry.c_str());
      return r;
    }
  }
  static int set(PyObject* self, PyObject* value, void*) {
    if (!value) {
      property_deletion_error();
    } else if (typename Kind::type v; Kind::read(value, &v)) {
      if constexpr (std::is_void_v<decltype(Set(reinterpret_cast<Self*>(self), v))>) {
        Set(reinterpret_cast<Self*>(self), v);
        return 0;
      } else {
        if (Set(reinterpret_cast<Self*>(self), v)) return 0;
      }
    }
    add_traceback(W, set_entry.c_str());
    return -1;
  }
  static PyGetSetDef def(const char* doc = nullptr) {
    if constexpr (std::is_null_pointer_v<decltype(Set)>)
      return {N.text, get, nullptr, doc, nullptr};
    else
      return {N.text, get, set, doc, nullptr};
  }
};

// Properties made from a table of fields: the closure is a `const Field*`
// whose `name` is the property's name. Get(self, field) and
// Set(self, field, value) work as in Property. Deleting the property raises
// NotImplementedError "__del__", or runs Delete(self, field) when given.
template <const Where& W, class Self, class Field, auto Get, auto Set, class Kind = Double<"value">,
          auto Delete = nullptr>
struct FieldProperty {
  static void trace(const Field& f, const char* accessor) {
    char entry[96];
    std::snprintf(entry, sizeof entry, "%s.%s", f.name, accessor);
    add_traceback(W, entry);
  }
  static PyObject* get(PyObject* self, void* closure) {
    const Field& f = *static_cast<const Field*>(closure);
    using R = decltype(Get(reinterpret_cast<Self*>(self), f));
    static_assert(!std::is_same_v<R, int>, "an int result would read as a truth value");
    if constexpr (std::is_same_v<R, double>) {
      // A number cannot fail but by running out of memory: a tail call.
      return PyFloat_FromDouble(Get(reinterpret_cast<Self*>(self), f));
    } else {
      PyObject* r = result_of([&] { return Get(reinterpret_cast<Self*>(self), f); });
      if (!r) [[unlikely]]
        trace(f, "__get__");
      return r;
    }
  }
  static int set(PyObject* self, PyObject* value, void* closure) {
    const Field& f = *static_cast<const Field*>(closure);
    if (!value) {
      if constexpr (!std::is_null_pointer_v<decltype(Delete)>) {
        if (Delete(reinterpret_cast<Self*>(self), f)) return 0;
      } else {
        property_deletion_error();
      }
    } else if (typename Kind::type v; Kind::read(value, &v)) {
      if constexpr (std::is_void_v<decltype(Set(reinterpret_cast<Self*>(self), f, v))>) {
        Set(reinterpret_cast<Self*>(self), f, v);
        return 0;
      } else {
        if (Set(reinterpret_cast<Self*>(self), f, v)) return 0;
      }
    }
    trace(f, "__set__");
    return -1;
  }
  static constexpr PyGetSetDef def(const Field& f, const char* doc = nullptr) {
    return {f.name, get, set, doc, const_cast<Field*>(&f)};
  }
};

inline constexpr PyGetSetDef kEndOfProperties = {nullptr, nullptr, nullptr, nullptr, nullptr};

// ---------------------------------------------------------------------------
// Initialisers with declared parameters

// Runs f(args, nargs, kwnames) on the arguments of a tp_init laid out as a
// vectorcall's: positional arguments, then the keyword values, named by a
// tuple of their keys.
int with_vectorcall_arguments(PyObject* args, PyObject* kwds,
                              int (*f)(void* context, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames),
                              void* context);

// The initialiser of a type whose constructor takes declared parameters:
// Body(self, values...) gives 0, or -1 with the exception set. `init` is the
// tp_init (Python subclasses run it); `construct`, for the exact type's
// tp_vectorcall, allocates with Alloc() first. Failures get the entry
// "__init__".
template <const Where& W, class Self, auto Body, auto Alloc, class... P>
struct Initializer {
  using Sig = Signature<P...>;
  static int run(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    typename Sig::Values values;
    if (!Sig::bind("__init__", args, nargs, kwnames, values)) return -1;
    return std::apply([self](auto... v) { return Body(reinterpret_cast<Self*>(self), v...); },
                      values);
  }
  static int init(PyObject* self, PyObject* args, PyObject* kwds) {
    int r = with_vectorcall_arguments(
        args, kwds,
        [](void* s, PyObject* const* a, Py_ssize_t n, PyObject* k) {
          return run(static_cast<PyObject*>(s), a, n, k);
        },
        self);
    if (r < 0) add_traceback(W, "__init__");
    return r;
  }
  static PyObject* construct(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    PyObject* o = Alloc();
    if (o && run(o, args, PyVectorcall_NARGS(nargsf), kwnames) < 0) {
      Py_CLEAR(o);
      add_traceback(W, "__init__");
    }
    return o;
  }
};

// ---------------------------------------------------------------------------
// Item access of a fixed-size value

// Indexes 0..Size-1 read and write the value's components as floats: Get
// gives component i widened, Set stores a converted double. Any other index
// (negative ones too) raises IndexError `Message`; deleting an item raises
// the package's NotImplementedError. Failures get the entries "__getitem__"
// and "__setitem__".
template <const Where& W, Name Message, Py_ssize_t Size, double (*Get)(PyObject*, int),
          void (*Set)(PyObject*, int, double)>
struct Indexed {
  static Py_ssize_t length(PyObject*) { return Size; }
  static PyObject* out_of_range(const char* slot) {
    PyErr_SetString(PyExc_IndexError, Message.text);
    add_traceback(W, slot);
    return nullptr;
  }
  static PyObject* item(PyObject* self, Py_ssize_t i) {
    if (i < 0 || i >= Size) return out_of_range("__getitem__");
    return PyFloat_FromDouble(Get(self, static_cast<int>(i)));
  }
  static PyObject* subscript(PyObject* self, PyObject* key) {
    Py_ssize_t i = PyLong_CheckExact(key) ? PyLong_AsSsize_t(key)
                                          : PyNumber_AsSsize_t(key, PyExc_OverflowError);
    if (i == -1 && PyErr_Occurred()) {
      add_traceback(W, "__getitem__");
      return nullptr;
    }
    return item(self, i);
  }
  // The value is converted before the index is read.
  static int assign(PyObject* self, PyObject* key, PyObject* value) {
    if (!value) {
      subscript_deletion_error(Py_TYPE(self));
      add_traceback(W, "__setitem__");
      return -1;
    }
    double d;
    if (!to_double(value, &d)) {
      add_traceback(W, "__setitem__");
      return -1;
    }
    Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_OverflowError);
    if (i == -1 && PyErr_Occurred()) {
      add_traceback(W, "__setitem__");
      return -1;
    }
    if (i < 0 || i >= Size) {
      out_of_range("__setitem__");
      return -1;
    }
    Set(self, static_cast<int>(i), d);
    return 0;
  }
  static inline PySequenceMethods sequence = {.sq_length = length, .sq_item = item};
  static inline PyMappingMethods mapping = {
      .mp_length = length, .mp_subscript = subscript, .mp_ass_subscript = assign};
};

// ---------------------------------------------------------------------------
// Copying and pickling

// __copy__() and __deepcopy__(memo) of a value whose copy is Copy(self);
// Copy adds its own traceback entries. Their docstrings are the standard
// ones, each followed by the paragraph `Note` when the type gives one.
template <const Where& W, class Self, auto Copy, Name Note = "">
struct CopyHooks {
  static PyObject* copy(Self* self) { return Copy(self); }
  static PyObject* deepcopy(Self* self, PyObject*) { return Copy(self); }
  using Dunder = Documented<Function<W, Self, Receiver::self, Trace::binding, "__copy__", copy>,
                            paragraphs<"Return `self.copy()`, for `copy.copy`.", Note>>;
  using Deep = Documented<
      Function<W, Self, Receiver::self, Trace::binding, "__deepcopy__", deepcopy, Object<"memo">>,
      paragraphs<"Return `self.copy()`, for `copy.deepcopy`; `memo` is required and ignored.",
                 Note>>;
};

// The refusal message of the types that hold a raylib value in `_raw`.
inline constexpr Name kRawNotPicklable =
    "self._raw cannot be converted to a Python object for pickling";

// The pickling refusal: __reduce__() and __setstate__(state), both raising
// TypeError `Message` with their traceback entries (or their argument error).
// `Note`, when given, follows the standard docstring of __reduce__: what the
// type offers instead.
template <const Where& W, Name Message, Name Note = "">
struct PickleRefusal {
  static PyObject* refuse(PyObject*) {
    PyErr_SetString(PyExc_TypeError, Message.text);
    return nullptr;
  }
  static PyObject* refuse_state(PyObject*, PyObject*) { return refuse(nullptr); }
  using Reduce = Function<W, PyObject, Receiver::self, Trace::all, "__reduce__", refuse>;
  using SetState = Function<W, PyObject, Receiver::self, Trace::all, "__setstate__", refuse_state,
                            Object<"state">>;
  static constexpr auto reduce_doc = paragraphs<"Refuse pickling: always raises TypeError.", Note>;
  static inline PyMethodDef defs[3] = {
      Reduce::template def<reduce_doc>(),
      SetState::template def<"Refuse unpickling: always raises TypeError.">(), kEndOfMethods};
};

}  // namespace tarvex::rt
