// The module frame of the tarvex extension modules.
#include "tarvex/_runtime/module.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::rt {

Module::Module(const char* short_name, const ModuleDescription& desc) noexcept
    : desc_(desc), short_name_(short_name) {
  if (desc.full_name)
    std::snprintf(full_name_, sizeof full_name_, "%s", desc.full_name);
  else
    std::snprintf(full_name_, sizeof full_name_, "tarvex.%s.%s", short_name, short_name);
  if (desc.file)
    std::snprintf(file_, sizeof file_, "%s", desc.file);
  else
    std::snprintf(file_, sizeof file_, "src/tarvex/%s/%s", short_name, short_name);
  std::memset(&def_, 0, sizeof def_);
  def_.m_base = PyModuleDef_HEAD_INIT;
  def_.m_name = short_name_;
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
                 self->short_name_);
    return -1;
  }
  if (self->exec_steps(module) == 0) {
    self->executed_ = true;
    return 0;
  }
  char entry[256];
  std::snprintf(entry, sizeof entry, "init %s", self->full_name_);
  if (PyErr_Occurred()) {
    add_traceback(entry, nullptr, self->file_);
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
  if (check_runtime_version(full_name_, PY_MAJOR_VERSION, PY_MINOR_VERSION) < 0) return -1;
  // Constants are built once: an exec that runs again after a failed one
  // finds them, and the types they configure, as the first run left them.
  if (desc_.constants && !constants_ready_) {
    if (desc_.constants() < 0) return -1;
    constants_ready_ = true;
  }
  {
    PyObject* modules = PyImport_GetModuleDict();
    int has = PyDict_ContainsString(modules, full_name_);
    if (has < 0) return -1;
    if (!has && PyDict_SetItemString(modules, full_name_, module) < 0) return -1;
  }
  for (const TypeEntry& t : desc_.types) {
    if (PyType_Ready(t.type) < 0 || unwrap_static_methods(t.type) < 0) return -1;
#ifdef Py_GIL_DISABLED
    PyUnstable_Object_EnableDeferredRefcount(reinterpret_cast<PyObject*>(t.type));
#endif
    if (t.vtable && publish_vtable(t.type, t.vtable) < 0) return -1;
    if (t.pickle && install_pickle_refusal(t.type, t.pickle) < 0) return -1;
    const char* dot = std::strrchr(t.type->tp_name, '.');
    const char* attr = dot ? dot + 1 : t.type->tp_name;
    if (PyModule_AddObjectRef(module, attr, reinterpret_cast<PyObject*>(t.type)) < 0) return -1;
  }
  for (const Sibling& s : desc_.siblings)
    if (bind_sibling(s) < 0) return -1;
  if (desc_.body && desc_.body(module) < 0) return -1;
  return 0;
}

int check_runtime_version(const char* full_name, int built_major, int built_minor) {
  // Py_Version is the running interpreter's, whatever the headers said.
  int major = static_cast<int>((Py_Version >> 24) & 0xff);
  int minor = static_cast<int>((Py_Version >> 16) & 0xff);
  if (major == built_major && minor == built_minor) return 0;
  return PyErr_WarnFormat(nullptr, 1,
                          "compile time Python version %d.%d of module '%.100s' %s runtime "
                          "version %d.%d",
                          built_major, built_minor, full_name, "does not match", major, minor);
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

}  // namespace tarvex::rt
