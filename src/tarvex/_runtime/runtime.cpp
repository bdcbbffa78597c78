// Shared runtime of the tarvex extension modules.
#include "runtime.h"

#include <frameobject.h>

#include <cstdio>
#include <cstring>

namespace tarvex::rt {

// ---------------------------------------------------------------------------
// Module frame

Module::Module(const ModuleSpec& desc) noexcept : spec_(desc) {
  std::memset(&def_, 0, sizeof def_);
  def_.m_base = PyModuleDef_HEAD_INIT;
  def_.m_name = spec_.short_name;
  def_.m_doc = nullptr;
  def_.m_size = 0;
  def_.m_methods = nullptr;
  slots_[0] = {Py_mod_create, reinterpret_cast<void*>(&Module::create)};
  slots_[1] = {Py_mod_exec, reinterpret_cast<void*>(&Module::exec)};
  slots_[2] = {Py_mod_gil, Py_MOD_GIL_USED};
  slots_[3] = {0, nullptr};
  def_.m_slots = slots_;
}

namespace {

// Copies the import record's <from> to module.<to>; a missing attribute is skipped.
int copy_spec_attr(PyObject* import_spec, PyObject* module, const char* from, const char* to,
                   bool none_too) {
  PyObject* value = nullptr;
  int found = PyObject_GetOptionalAttrString(import_spec, from, &value);
  if (found < 0) return -1;
  if (found == 0) return 0;
  Ref v(value);
  if (!none_too && v.get() == Py_None) return 0;
  return PyObject_SetAttrString(module, to, v.get());
}

}  // namespace

PyObject* Module::create(PyObject* import_spec, PyModuleDef* def) {
  Module* self = reinterpret_cast<Module*>(def);
  int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1 && PyErr_Occurred()) return nullptr;
  if (self->interpreter_ == -1) {
    self->interpreter_ = id;
  } else if (self->interpreter_ != id) {
    PyErr_SetString(PyExc_ImportError,
                    "Interpreter change detected - this module can only be loaded into one "
                    "interpreter per process.");
    return nullptr;
  }
  if (self->module_) return Py_NewRef(self->module_);

  Ref name(PyObject_GetAttrString(import_spec, "name"));
  if (!name) return nullptr;
  Ref module(PyModule_NewObject(name.get()));
  if (!module) return nullptr;
  if (copy_spec_attr(import_spec, module.get(), "loader", "__loader__", true) < 0 ||
      copy_spec_attr(import_spec, module.get(), "origin", "__file__", true) < 0 ||
      copy_spec_attr(import_spec, module.get(), "parent", "__package__", true) < 0 ||
      copy_spec_attr(import_spec, module.get(), "submodule_search_locations", "__path__", false) <
          0)
    return nullptr;
  self->module_ = Py_NewRef(module.get());
  return module.release();
}

int Module::exec(PyObject* module) {
  Module* self = reinterpret_cast<Module*>(PyModule_GetDef(module));
  if (!self) return -1;
  if (self->executed_) {
    if (module == self->module_) return 0;
    PyErr_Format(PyExc_RuntimeError,
                 "Module '%s' has already been imported. Re-initialisation is not supported.",
                 self->spec_.short_name);
    return -1;
  }
  if (self->exec_steps(module) == 0) {
    self->executed_ = true;
    return 0;
  }
  char entry[256];
  std::snprintf(entry, sizeof entry, "init %s", self->spec_.full_name);
  if (PyErr_Occurred()) {
    add_traceback(entry, nullptr, self->spec_.file);
  } else {
    PyErr_SetString(PyExc_ImportError, entry);
  }
  Py_CLEAR(self->module_);
  return -1;
}

namespace {

int publish_vtable(PyTypeObject* type, void* vtable) {
  Ref capsule(PyCapsule_New(vtable, nullptr, nullptr));
  if (!capsule) return -1;
  Ref dict(PyType_GetDict(type));
  if (!dict) return -1;
  if (PyDict_SetItemString(dict.get(), "__pyx_vtable__", capsule.get()) < 0) return -1;
  PyType_Modified(type);
  return 0;
}

// The interpreter does not specialise attribute loads of staticmethod
// objects, so every `Type.static_method(...)` call would pay a generic
// lookup. A builtin function has no __get__: stored in the type's dict in
// place of its staticmethod wrapper it behaves the same (the class and its
// instances hand out the very function the wrapper held) and its loads are
// specialised.
int unwrap_static_methods(PyTypeObject* type) {
  if (!type->tp_methods) return 0;
  Ref dict(PyType_GetDict(type));
  if (!dict) return -1;
  bool changed = false;
  for (PyMethodDef* d = type->tp_methods; d->ml_name; ++d) {
    if (!(d->ml_flags & METH_STATIC)) continue;
    PyObject* found;
    int r = PyDict_GetItemStringRef(dict.get(), d->ml_name, &found);
    if (r < 0) return -1;
    Ref wrapper(found);
    if (r == 0 || !Py_IS_TYPE(found, &PyStaticMethod_Type)) continue;
    Ref function(PyObject_GetAttrString(found, "__func__"));
    if (!function || PyDict_SetItemString(dict.get(), d->ml_name, function.get()) < 0) return -1;
    changed = true;
  }
  if (changed) PyType_Modified(type);
  return 0;
}

int install_pickle_refusal(PyTypeObject* type, PyMethodDef* defs) {
  Ref dict(PyType_GetDict(type));
  if (!dict) return -1;
  // A type that defines its own pickling keeps it.
  for (const char* own : {"__getstate__", "__reduce__", "__reduce_ex__"}) {
    int has = PyDict_ContainsString(dict.get(), own);
    if (has < 0) goto fail;
    if (has) return 0;
  }
  for (PyMethodDef* d = defs; d->ml_name; ++d) {
    Ref descr(PyDescr_NewMethod(type, d));
    if (!descr || PyDict_SetItemString(dict.get(), d->ml_name, descr.get()) < 0) goto fail;
  }
  PyType_Modified(type);
  return 0;
fail:
  if (!PyErr_ExceptionMatches(PyExc_MemoryError)) {
    PyErr_Clear();
    PyErr_Format(PyExc_RuntimeError, "Unable to initialize pickling for %.200s", type->tp_name);
  }
  return -1;
}

}  // namespace

int Module::exec_steps(PyObject* module) {
#ifdef Py_GIL_DISABLED
  if (PyUnstable_Module_SetGIL(module, Py_MOD_GIL_USED) < 0) return -1;
#endif
  {
    Ref builtins(PyImport_AddModuleRef("builtins"));
    if (!builtins || PyObject_SetAttrString(module, "__builtins__", builtins.get()) < 0) return -1;
  }
  int major = static_cast<int>((Py_Version >> 24) & 0xff);
  int minor = static_cast<int>((Py_Version >> 16) & 0xff);
  if (major != 3 || minor != 15) {
    if (PyErr_WarnFormat(nullptr, 1,
                         "compile time Python version %d.%d of module '%.100s' %s runtime "
                         "version %d.%d",
                         3, 15, spec_.full_name, "does not match", major, minor) < 0)
      return -1;
  }
  // Constants are built once: an exec that runs again after a failed one
  // finds them, and the types they configure, as the first run left them.
  if (spec_.constants && !constants_ready_) {
    if (spec_.constants() < 0) return -1;
    constants_ready_ = true;
  }
  {
    PyObject* modules = PyImport_GetModuleDict();
    int has = PyDict_ContainsString(modules, spec_.full_name);
    if (has < 0) return -1;
    if (!has && PyDict_SetItemString(modules, spec_.full_name, module) < 0) return -1;
  }
  for (std::size_t i = 0; i < spec_.ntypes; ++i) {
    const TypeEntry& t = spec_.types[i];
    if (PyType_Ready(t.type) < 0 || unwrap_static_methods(t.type) < 0) return -1;
#ifdef Py_GIL_DISABLED
    PyUnstable_Object_EnableDeferredRefcount(reinterpret_cast<PyObject*>(t.type));
#endif
    if (t.vtable && publish_vtable(t.type, t.vtable) < 0) return -1;
    if (t.pickle && install_pickle_refusal(t.type, t.pickle) < 0) return -1;
    if (PyModule_AddObjectRef(module, t.attr, reinterpret_cast<PyObject*>(t.type)) < 0) return -1;
  }
  for (std::size_t i = 0; i < spec_.nsiblings; ++i)
    if (bind_sibling(spec_.siblings[i]) < 0) return -1;
  if (spec_.body && spec_.body(module) < 0) return -1;
  return 0;
}

int bind_sibling(const Sibling& s) {
  Ref module(PyImport_ImportModule(s.module));
  if (!module) return -1;
  Ref type(PyObject_GetAttrString(module.get(), s.name));
  if (!type) return -1;
  if (!PyType_Check(type.get())) {
    PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", s.module, s.name);
    return -1;
  }
  PyTypeObject* t = reinterpret_cast<PyTypeObject*>(type.get());
  Py_ssize_t size = t->tp_basicsize;
  if (size != s.size) {
    const char* fmt =
        "%.200s.%.200s size changed, may indicate binary incompatibility. Expected %zd from C "
        "header, got %zd from PyObject";
    if (size < s.size) {
      PyErr_Format(PyExc_ValueError, fmt, s.module, s.name, s.size, size);
      return -1;
    }
    if (PyErr_WarnFormat(nullptr, 0, fmt, s.module, s.name, s.size, size) < 0) return -1;
  }
  if (s.vtable) {
    Ref dict(PyType_GetDict(t));
    if (!dict) return -1;
    Ref key(PyUnicode_FromString("__pyx_vtable__"));
    if (!key) return -1;
    Ref capsule(PyObject_GetItem(dict.get(), key.get()));
    if (!capsule) return -1;
    void* vt = PyCapsule_GetPointer(capsule.get(), nullptr);
    if (!vt) {
      if (!PyErr_Occurred())
        PyErr_SetString(PyExc_RuntimeError, "invalid vtable found for imported type");
      return -1;
    }
    *s.vtable = vt;
  }
  // Binding again (an exec after a failed one) replaces the earlier reference.
  PyTypeObject* old = std::exchange(*s.type, reinterpret_cast<PyTypeObject*>(type.release()));
  Py_XDECREF(reinterpret_cast<PyObject*>(old));
  return 0;
}

// ---------------------------------------------------------------------------
// Errors and tracebacks

void add_traceback(const char* prefix, const char* name, const char* file) {
  PyObject* exc = PyErr_GetRaisedException();
  if (!exc) return;  // nothing to attach the entry to
  char func[512];
  if (name)
    std::snprintf(func, sizeof func, "%s.%s", prefix, name);
  else
    std::snprintf(func, sizeof func, "%s", prefix);
  PyCodeObject* code = PyCode_NewEmpty(file, func, 0);
  Ref globals(code ? PyDict_New() : nullptr);
  PyFrameObject* frame =
      globals ? PyFrame_New(PyThreadState_Get(), code, globals.get(), nullptr) : nullptr;
  Py_XDECREF(reinterpret_cast<PyObject*>(code));
  // Whatever failed above, the original exception is what the caller sees.
  PyErr_Clear();
  PyErr_SetRaisedException(exc);
  if (frame) {
    PyTraceBack_Here(frame);
    Py_DECREF(reinterpret_cast<PyObject*>(frame));
  }
}

void arg_type_error(const char* param, const char* expected, PyObject* got) {
  PyErr_Format(PyExc_TypeError,
               "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", param,
               expected, Py_TYPE(got)->tp_name);
}

int property_deletion_error() {
  PyErr_SetString(PyExc_NotImplementedError, "__del__");
  return -1;
}

int subscript_deletion_error(PyTypeObject* type) {
  PyErr_Format(PyExc_NotImplementedError, "Subscript %.10s not supported by %.200s", "deletion",
               type->tp_name);
  return -1;
}

// ---------------------------------------------------------------------------
// Argument binding

void unexpected_keyword(const char* fname, PyObject* kw) {
  PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", fname, kw);
}

bool keywords_refused(const char* fname, PyObject* kwds) {
  if (!kwds || PyDict_GET_SIZE(kwds) == 0) return false;
  PyObject *key, *value;
  Py_ssize_t pos = 0;
  PyDict_Next(kwds, &pos, &key, &value);
  unexpected_keyword(fname, key);
  return true;
}

namespace {

void count_error(const Params& p, Py_ssize_t given) {
  const char* how;
  Py_ssize_t expected;
  if (p.required == p.count) {
    how = "exactly";
    expected = p.count;
  } else if (given < p.required) {
    how = "at least";
    expected = p.required;
  } else {
    how = "at most";
    expected = p.count;
  }
  PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
               p.fname, how, expected, expected == 1 ? "" : "s", given);
}

}  // namespace

bool bind_params(const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 PyObject** out) {
  if (nargs > p.count) {
    count_error(p, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < p.count; ++i) out[i] = i < nargs ? args[i] : nullptr;
  Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    if (!PyUnicode_Check(key)) {
      PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", p.fname);
      return false;
    }
    Py_ssize_t i = 0;
    for (; i < p.count; ++i)
      if (PyUnicode_EqualToUTF8(key, p.names[i])) break;
    if (i == p.count) {
      unexpected_keyword(p.fname, key);
      return false;
    }
    if (out[i]) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", p.fname,
                   key);
      return false;
    }
    out[i] = args[nargs + k];
  }
  for (Py_ssize_t i = 0; i < p.required; ++i) {
    if (!out[i]) {
      count_error(p, nargs);
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Number conversions

bool to_c_int(PyObject* o, int* out) {
  Ref owned;
  if (!PyLong_Check(o)) {
    PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
    if (!nb || !nb->nb_int) {
      PyErr_SetString(PyExc_TypeError, "an integer is required");
      return false;
    }
    owned.reset(nb->nb_int(o));
    if (!owned) return false;
    if (!PyLong_CheckExact(owned.get())) {
      if (!PyLong_Check(owned.get())) {
        PyErr_Format(PyExc_TypeError, "__int__ returned non-int (type %.200s)",
                     Py_TYPE(owned.get())->tp_name);
        return false;
      }
      if (PyErr_WarnFormat(PyExc_DeprecationWarning, 1,
                           "__int__ returned non-int (type %.200s).  The ability to return an "
                           "instance of a strict subclass of int is deprecated, and may be "
                           "removed in a future version of Python.",
                           Py_TYPE(owned.get())->tp_name) < 0)
        return false;
    }
    o = owned.get();
  }
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
  if (v == -1 && PyErr_Occurred()) return false;
  constexpr long long kOwnLimit = 1LL << 60;
  if (overflow || v > kOwnLimit || v < -kOwnLimit) {
    // Past 2**60 the interpreter's own conversion reports the overflow.
    int r = PyLong_AsInt(o);
    if (r == -1 && PyErr_Occurred()) return false;
    *out = r;
    return true;
  }
  if (v > INT32_MAX || v < INT32_MIN) {
    PyErr_Format(PyExc_OverflowError, "value too large to convert to %.200s", "int");
    return false;
  }
  *out = static_cast<int>(v);
  return true;
}

char* float_repr(double v) { return PyOS_double_to_string(v, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr); }

PyObject* repr_components(const char* name, const double* v, int n) {
  char buf[512];
  std::size_t len = std::strlen(name);
  if (len > 64) len = 64;
  std::memcpy(buf, name, len);
  buf[len++] = '(';
  for (int i = 0; i < n; ++i) {
    char* s = float_repr(v[i]);
    if (!s) return nullptr;
    std::size_t sl = std::strlen(s);
    if (i) {
      buf[len++] = ',';
      buf[len++] = ' ';
    }
    std::memcpy(buf + len, s, sl);  // a float repr is at most 24 characters
    len += sl;
    PyMem_Free(s);
  }
  buf[len++] = ')';
  return PyUnicode_FromStringAndSize(buf, static_cast<Py_ssize_t>(len));
}

Py_hash_t hash_float_tuple(PyObject* self, const double* v, int n) {
  // The interpreter's tuple hash (xxHash-style mixing of the item hashes).
#if SIZEOF_PY_UHASH_T > 4
  constexpr Py_uhash_t kPrime1 = 11400714785074694791ULL;
  constexpr Py_uhash_t kPrime2 = 14029467366897019727ULL;
  constexpr Py_uhash_t kPrime5 = 2870177450012600261ULL;
  auto rotate = [](Py_uhash_t x) { return (x << 31) | (x >> 33); };
#else
  constexpr Py_uhash_t kPrime1 = 2654435761UL;
  constexpr Py_uhash_t kPrime2 = 2246822519UL;
  constexpr Py_uhash_t kPrime5 = 374761393UL;
  auto rotate = [](Py_uhash_t x) { return (x << 13) | (x >> 19); };
#endif
  Py_uhash_t acc = kPrime5;
  for (int i = 0; i < n; ++i) {
    Py_uhash_t lane = static_cast<Py_uhash_t>(_Py_HashDouble(self, v[i]));
    acc += lane * kPrime2;
    acc = rotate(acc);
    acc *= kPrime1;
  }
  acc += static_cast<Py_uhash_t>(n) ^ (kPrime5 ^ 3527539UL);
  if (acc == static_cast<Py_uhash_t>(-1)) return 1546275796;
  return static_cast<Py_hash_t>(acc);
}

PyObject* float_tuple(const double* v, int n) {
  PyObject* t = PyTuple_New(n);
  if (!t) return nullptr;
  for (int i = 0; i < n; ++i) {
    PyObject* f = PyFloat_FromDouble(v[i]);
    if (!f) {
      Py_DECREF(t);
      return nullptr;
    }
    PyTuple_SET_ITEM(t, i, f);
  }
  return t;
}

PyObject* int_tuple(const int32_t* v, int n) {
  PyObject* t = PyTuple_New(n);
  if (!t) return nullptr;
  for (int i = 0; i < n; ++i) {
    PyObject* f = PyLong_FromLong(v[i]);
    if (!f) {
      Py_DECREF(t);
      return nullptr;
    }
    PyTuple_SET_ITEM(t, i, f);
  }
  return t;
}

}  // namespace tarvex::rt
