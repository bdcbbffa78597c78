// Override dispatch of the C-level entries.
#include "tarvex/_runtime/override.h"

#include <cstring>
#include <span>
#include <utility>

#include "tarvex/_runtime/ref.h"

namespace tarvex::rt {

int Overridable::prepare() {
  if (!interned_) interned_ = PyUnicode_InternFromString(name_);
  if (!interned_) return -1;
  for (const PyMethodDef* d = type_->tp_methods; d && d->ml_name; ++d)
    if (std::strcmp(d->ml_name, name_) == 0) own_ = d->ml_meth;
  return 0;
}

int prepare_overridables(std::span<Overridable> methods) {
  for (Overridable& m : methods)
    if (m.prepare() < 0) return -1;
  return 0;
}

int Overridable::find_in_subclass(PyObject* self, Ref* out) const {
  PyTypeObject* t = Py_TYPE(self);
  // A static subtype without an instance dictionary cannot have replaced the
  // method from Python.
  if (t->tp_dictoffset == 0 && !(t->tp_flags & (Py_TPFLAGS_HEAPTYPE | Py_TPFLAGS_IS_ABSTRACT)))
    return 0;
  Ref found(PyObject_GetAttr(self, interned_));
  if (!found) return -1;
  if (PyCFunction_Check(found.get()) && PyCFunction_GET_FUNCTION(found.get()) == own_) return 0;
  *out = std::move(found);
  return 1;
}

}  // namespace tarvex::rt
