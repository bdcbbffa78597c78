// Argument binding with the package's messages, and the typed parameters
// through which a Python-visible function declares its signature once: the
// names bind keywords and make the text signature, the kinds convert and
// check the values.
#pragma once

#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "tarvex/_runtime/compat.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"

namespace tarvex::rt {

// A string made at compile time, with room for its terminating NUL.
template <std::size_t N>
struct Text {
  static constexpr std::size_t size = N;
  std::array<char, N + 1> chars{};
  constexpr const char* c_str() const noexcept { return chars.data(); }
};

// A string usable as a template argument, as in Int<"width">.
template <std::size_t N>
struct Name {
  char text[N] = {};
  constexpr Name(const char (&s)[N]) noexcept {  // NOLINT(google-explicit-constructor)
    for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
  }
  template <std::size_t M>
  constexpr Name(const Text<M>& t) noexcept {  // NOLINT(google-explicit-constructor)
    static_assert(M + 1 == N);
    for (std::size_t i = 0; i < N; ++i) text[i] = t.chars[i];
  }
  static constexpr std::size_t size = N - 1;
};
template <std::size_t M>
Name(const Text<M>&) -> Name<M + 1>;

// The concatenation of compile-time strings (Name and Text values).
template <class S>
constexpr const char* chars_of(const S& s) {
  if constexpr (requires { s.text; })
    return s.text;
  else
    return s.c_str();
}
template <class... S>
constexpr auto cat(const S&... s) {
  Text<(S::size + ... + 0)> t;
  std::size_t k = 0;
  (
      [&] {
        const char* c = chars_of(s);
        for (std::size_t i = 0; i < S::size; ++i) t.chars[k++] = c[i];
      }(),
      ...);
  return t;
}

// Text with every line longer than Width broken at its last space within
// Width (or, failing that, its first space beyond), so that help(), which
// indents a member's text by six columns, stays within 80 in a terminal:
// docstrings are written one string per paragraph. The text signature, if
// the text starts with one, is left as it is. The breaks replace spaces, so
// the length is unchanged; existing line breaks stay.
template <Name Text, std::size_t Width = 72>
inline constexpr auto wrapped = [] {
  auto t = Text;
  // The docstring starts the text, or follows the text signature's end.
  constexpr char kHeaderEnd[] = "\n--\n\n";
  std::size_t body = 0;
  for (std::size_t i = 0; i + 5 <= Text.size; ++i) {
    bool match = true;
    for (std::size_t k = 0; k < 5; ++k) match = match && t.text[i + k] == kHeaderEnd[k];
    if (match) {
      body = i + 5;
      break;
    }
  }
  for (std::size_t line = 0; line < Text.size;) {
    std::size_t end = line;
    while (end < Text.size && t.text[end] != '\n') ++end;
    while (line >= body && end - line > Width) {
      std::size_t at = line + Width;
      while (at > line && t.text[at] != ' ') --at;
      if (at == line) {
        at = line + Width;
        while (at < end && t.text[at] != ' ') ++at;
        if (at == end) break;
      }
      t.text[at] = '\n';
      line = at + 1;
    }
    line = end + 1;
  }
  return t;
}();

// A docstring given as a C string (of a property or a type), wrapped.
template <Name Text>
inline constexpr const char* docstring = wrapped<Text>.text;

// A docstring made of a summary and, when Note is not empty, Note as a
// paragraph of its own.
template <Name Summary, Name Note>
inline constexpr auto paragraphs = [] {
  if constexpr (Note.size == 0)
    return cat(Summary);
  else
    return cat(Summary, Name("\n\n"), Note);
}();

// A text with its placeholders filled in at compile time: every "{key}" of
// Template whose key is one of Subs (written "key=value") becomes the value.
// One text then serves several types, as the vector family's docstrings do.
template <Name Template, Name... Subs>
struct Expand {
  // Whether text[at+1 .. at+len-1] is a key, and if so its value. (A flag
  // rather than a null value: GCC's sanitizer instrumentation makes the
  // null test of a pointer into a template argument non-constant.)
  static constexpr bool find(std::size_t at, std::size_t len, const char** value,
                             std::size_t* vlen) {
    bool found = false;
    (
        [&] {
          std::size_t k = 0;
          while (k < Subs.size && Subs.text[k] != '=') ++k;
          if (found || k != len - 1) return;
          for (std::size_t i = 0; i < k; ++i)
            if (Subs.text[i] != Template.text[at + 1 + i]) return;
          found = true;
          *value = Subs.text + k + 1;
          *vlen = Subs.size - k - 1;
        }(),
        ...);
    return found;
  }
  // Walks the template, calling put(chars, n) for each piece of the result.
  template <class Put>
  static constexpr void walk(Put put) {
    for (std::size_t i = 0; i < Template.size;) {
      std::size_t end = i;
      if (Template.text[i] == '{')
        while (end < Template.size && Template.text[end] != '}') ++end;
      const char* value = Template.text;
      std::size_t vlen = 0;
      if (end > i && find(i, end - i, &value, &vlen)) {
        put(value, vlen);
        i = end + 1;
      } else {
        put(Template.text + i, 1);
        ++i;
      }
    }
  }
  static constexpr std::size_t size = [] {
    std::size_t n = 0;
    walk([&](const char*, std::size_t k) { n += k; });
    return n;
  }();
  static constexpr Text<size> text = [] {
    Text<size> t;
    std::size_t n = 0;
    walk([&](const char* s, std::size_t k) {
      for (std::size_t i = 0; i < k; ++i) t.chars[n++] = s[i];
    });
    return t;
  }();
};

// ---------------------------------------------------------------------------
// Binding

struct Params {
  const char* fname;         // name used in the messages
  const char* const* names;  // parameter names
  Py_ssize_t count;          // number of parameters (all positional-or-keyword)
  Py_ssize_t required;       // how many of them are required
};

// Fills out[0..count) with borrowed references (null for an omitted optional
// parameter). Returns false with TypeError set on a binding error.
bool bind_params(const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 PyObject** out);

// Fast path: exactly `count` positional arguments and no keywords.
inline bool bind_fast(const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      PyObject** out) {
  if (nargs == p.count && (kwnames == nullptr || PyTuple_GET_SIZE(kwnames) == 0)) [[likely]] {
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    return true;
  }
  return bind_params(p, args, nargs, kwnames, out);
}

// ---------------------------------------------------------------------------
// Parameter kinds
//
// A kind names its parameter, gives the C type the body receives and reads
// the bound object into it. Arguments are read once all are bound, in two
// passes: first the conversions of the number parameters, in parameter order,
// then the type tests of the object parameters, in parameter order.

enum class Phase { convert, check };

template <Name N>
struct Param {
  static constexpr Name name = N;
  static constexpr bool optional = false;
};

// A C int (the package's integer conversion).
template <Name N>
struct Int : Param<N> {
  using type = int;
  static constexpr Phase phase = Phase::convert;
  static bool read(PyObject* o, int* out) { return to_c_int(o, out); }
};

// A double (the interpreter's float conversion).
template <Name N>
struct Double : Param<N> {
  using type = double;
  static constexpr Phase phase = Phase::convert;
  static bool read(PyObject* o, double* out) { return to_double(o, out); }
};

// A float: the double conversion rounded once to 32 bits.
template <Name N>
struct Float : Param<N> {
  using type = float;
  static constexpr Phase phase = Phase::convert;
  static bool read(PyObject* o, float* out) {
    double d;
    if (!to_double(o, &d)) return false;
    *out = narrow(d);
    return true;
  }
};

// Any object, as given.
template <Name N>
struct Object : Param<N> {
  using type = PyObject*;
  static constexpr Phase phase = Phase::check;
  static bool read(PyObject* o, PyObject** out) {
    *out = o;
    return true;
  }
};

// Text handed to C (a file name, a text to draw), read by utf8_argument
// after the numbers: exactly a str; None raises the AttributeError of
// None.encode. The pointer stays valid while the argument lives.
template <Name N>
struct Utf8 : Param<N> {
  using type = const char*;
  static constexpr Phase phase = Phase::check;
  static bool read(PyObject* o, const char** out) { return utf8_argument(o, N.text, out); }
};

// A truth value, as `bool(value)` gives it.
template <Name N>
struct Truth : Param<N> {
  using type = bool;
  static constexpr Phase phase = Phase::convert;
  static bool read(PyObject* o, bool* out) {
    int t = PyObject_IsTrue(o);
    *out = t > 0;
    return t >= 0;
  }
};

// A double or None: `given` false for None (and, as an Optional, when
// omitted).
struct MaybeDouble {
  double value;
  bool given;
};
template <Name N>
struct DoubleOrNone : Param<N> {
  using type = MaybeDouble;
  static constexpr Phase phase = Phase::convert;
  static bool read(PyObject* o, MaybeDouble* out) {
    out->given = o != Py_None;
    out->value = 0.0;
    return !out->given || to_double(o, &out->value);
  }
};

// An object that Accept(o) accepts, as given; anything else raises the
// argument-type TypeError naming `Expected`.
template <Name N, bool (*Accept)(PyObject*), Name Expected>
struct Checked : Object<N> {
  static bool read(PyObject* o, PyObject** out) {
    if (Accept(o)) {
      *out = o;
      return true;
    }
    arg_type_error(N.text, Expected.text, o);
    return false;
  }
};

// What an object parameter does with None: refuse it with the
// argument-type TypeError, pass it on to the body, or refuse it with
// TypeError "Argument '<name>' must not be None".
enum class NoneArg { refused, passed, not_none };

// Exactly a tuple (List false) or a list.
template <Name N, bool List, NoneArg None = NoneArg::refused>
struct ExactSequence : Object<N> {
  static bool read(PyObject* o, PyObject** out) {
    if ((List ? PyList_CheckExact(o) : PyTuple_CheckExact(o)) ||
        (None == NoneArg::passed && o == Py_None)) {
      *out = o;
      return true;
    }
    arg_type_error(N.text, List ? "list" : "tuple", o);
    return false;
  }
};
template <Name N>
using Tuple = ExactSequence<N, false>;
template <Name N>
using List = ExactSequence<N, true>;

// A str or None, as given: a file name, whose text utf8_argument reads.
template <Name N>
struct StrOrNone : Object<N> {
  static bool read(PyObject* o, PyObject** out) {
    if (o != Py_None && !PyUnicode_CheckExact(o)) {
      arg_type_error(N.text, "str", o);
      return false;
    }
    *out = o;
    return true;
  }
};

// The type behind a type reference: a static type object, the variable a
// sibling type is bound into, or a function that gives the type.
inline PyTypeObject* type_of(PyTypeObject* t) noexcept { return t; }
inline PyTypeObject* type_of(PyTypeObject* const* t) noexcept { return *t; }
inline PyTypeObject* type_of(PyTypeObject* (*t)() noexcept) noexcept { return t(); }

// An instance of an extension type (exactly that type, or a subclass), cast
// to its instance layout T.
template <Name N, auto TypeRef, class T, bool Exact = false, NoneArg None = NoneArg::refused>
struct Instance : Param<N> {
  using type = T*;
  static constexpr Phase phase = Phase::check;
  static bool read(PyObject* o, T** out) {
    PyTypeObject* t = type_of(TypeRef);
    if (Exact ? Py_IS_TYPE(o, t) : PyObject_TypeCheck(o, t)) {
      *out = reinterpret_cast<T*>(o);
      return true;
    }
    if (o == Py_None) {
      if constexpr (None == NoneArg::passed) {
        *out = reinterpret_cast<T*>(o);
        return true;
      } else if constexpr (None == NoneArg::not_none) {
        PyErr_Format(PyExc_TypeError, "Argument '%.200s' must not be None", N.text);
        return false;
      }
    }
    arg_type_error(N.text, t->tp_name, o);
    return false;
  }
};

// An optional parameter of kind P: `Value` when omitted, shown as
// "<name>=<Shown>" in the text signature.
template <class P, auto Value, Name Shown>
struct Optional : P {
  static constexpr bool optional = true;
  static constexpr typename P::type fallback = Value;
  static constexpr Name shown = Shown;
};

// ---------------------------------------------------------------------------
// Signatures

template <class... P>
struct Signature {
  static constexpr std::size_t count = sizeof...(P);
  static constexpr std::size_t required = (std::size_t{0} + ... + (P::optional ? 0 : 1));
  static constexpr std::array<const char*, count + 1> names = {P::name.text..., nullptr};
  using Values = std::tuple<typename P::type...>;

  template <class Q>
  static constexpr std::size_t text_length() {
    if constexpr (Q::optional)
      return Q::name.size + 1 + Q::shown.size;
    else
      return Q::name.size;
  }

  // "<fname>(" ["$self" or "$type"] parameters ")", with ", " between them.
  template <Name F, Name Receiver>
  static constexpr auto text() {
    constexpr std::size_t params = (std::size_t{0} + ... + text_length<P>());
    constexpr std::size_t items = count + (Receiver.size ? 1 : 0);
    Text<F.size + 2 + Receiver.size + params + (items ? 2 * (items - 1) : 0)> t;
    std::size_t k = 0, item = 0;
    auto put = [&](const char* s, std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) t.chars[k++] = s[i];
    };
    auto separate = [&] {
      if (item++) put(", ", 2);
    };
    put(F.text, F.size);
    put("(", 1);
    if (Receiver.size) {
      separate();
      put(Receiver.text, Receiver.size);
    }
    (
        [&] {
          separate();
          put(P::name.text, P::name.size);
          if constexpr (P::optional) {
            put("=", 1);
            put(P::shown.text, P::shown.size);
          }
        }(),
        ...);
    put(")", 1);
    return t;
  }

  // Binds the arguments and reads them into `values`; false with the
  // exception set on failure.
  static bool bind(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   Values& values) {
    const Params p{fname, names.data(), count, required};
    PyObject* raw[count ? count : 1];
    if (!bind_fast(p, args, nargs, kwnames, raw)) return false;
    return read_all<Phase::convert>(raw, values, std::index_sequence_for<P...>()) &&
           read_all<Phase::check>(raw, values, std::index_sequence_for<P...>());
  }

 private:
  template <Phase Ph, std::size_t... I>
  static bool read_all(PyObject* const* raw, Values& values, std::index_sequence<I...>) {
    return (read_one<Ph, std::tuple_element_t<I, std::tuple<P...>>>(raw[I], std::get<I>(values)) &&
            ...);
  }
  template <Phase Ph, class Q>
  static bool read_one(PyObject* o, typename Q::type& out) {
    if constexpr (Q::phase != Ph) {
      return true;
    } else {
      if constexpr (Q::optional) {
        if (!o) {
          out = Q::fallback;
          return true;
        }
      }
      return Q::read(o, &out);
    }
  }
};

}  // namespace tarvex::rt
