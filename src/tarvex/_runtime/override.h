// Override dispatch of the C-level entries of a type that Python code can
// subclass: an entry called with its skip flag clear, on an instance of a
// Python subclass that replaced the method of the entry's name, calls that
// method instead of running its built-in code.
#pragma once

#include <span>

#include "tarvex/_runtime/compat.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::rt {

// One overridable method of `type`.
class Overridable {
 public:
  constexpr Overridable(PyTypeObject* type, const char* name) noexcept : type_(type), name_(name) {}

  // Interns the name and finds the type's own function of that name in its
  // method table; run in the module's constants step.
  int prepare();

  // With skip_dispatch clear: 1 with *out set to the bound override, 0 when
  // the built-in code runs, -1 with the exception set when the lookup failed.
  // The common answers (skipped, or the type itself) are inline.
  int find(PyObject* self, int skip_dispatch, Ref* out) const {
    if (skip_dispatch || Py_IS_TYPE(self, type_)) return 0;
    return find_in_subclass(self, out);
  }

  const char* name() const noexcept { return name_; }

 private:
  int find_in_subclass(PyObject* self, Ref* out) const;

  PyTypeObject* type_;
  const char* name_;
  PyObject* interned_ = nullptr;
  PyCFunction own_ = nullptr;
};

int prepare_overridables(std::span<Overridable> methods);

// Calls an override with the entry's argument, or with none when `arg` is
// null.
inline Ref call_override(const Ref& method, PyObject* arg) {
  return Ref(arg ? PyObject_CallOneArg(method.get(), arg) : PyObject_CallNoArgs(method.get()));
}

}  // namespace tarvex::rt
