// The module frame every tarvex extension module runs on: multi-phase
// initialisation with the create and exec steps, readying of the module's
// static types (with their C method tables and pickling refusals) and the
// binding of the sibling types it uses.
#pragma once

#include <cstdint>
#include <span>

#include "tarvex/_runtime/compat.h"

namespace tarvex::rt {

// The object header of a static type object, for its designated
// initializer: `.ob_base = rt::kStaticTypeHead[0]`.
inline constexpr PyVarObject kStaticTypeHead[] = {PyVarObject_HEAD_INIT(nullptr, 0)};

// The start of a static type object's designated initializer: its object
// header, its name (`where.path`), the size of its instance layout and its
// deallocator.
#define TARVEX_TYPE_HEAD(where, Layout, dealloc_fn)                     \
  .ob_base = ::tarvex::rt::kStaticTypeHead[0], .tp_name = (where).path, \
  .tp_basicsize = sizeof(Layout), .tp_dealloc = (dealloc_fn)

// One extension type defined by a module; its module attribute is the last
// component of its tp_name.
struct TypeEntry {
  PyTypeObject* type;
  void* vtable = nullptr;         // C method table published in __pyx_vtable__, or null
  PyMethodDef* pickle = nullptr;  // the two refusal methods, or null
};

// A type of another module, bound at exec time.
struct Sibling {
  const char* module;   // full module name
  const char* name;     // type's short name
  Py_ssize_t size;      // instance size this module was built against
  PyTypeObject** type;  // receives a strong reference to the type
  void** vtable;        // receives the C method table, or null if unused
};

// The entry of a sibling type whose instance layout is Obj and whose C
// method table is bound into *vtable.
template <class Obj, class VTable>
Sibling sibling(const char* module, const char* name, PyTypeObject** type, VTable** vtable) {
  return {module, name, sizeof(Obj), type, reinterpret_cast<void**>(vtable)};
}

// What a module is made of, besides its short name.
struct ModuleDescription {
  std::span<const TypeEntry> types = {};
  std::span<const Sibling> siblings = {};
  int (*constants)() = nullptr;             // makes the module's constants, once
  int (*body)(PyObject* module) = nullptr;  // the module body
  // The package's modules leave these null: tarvex.<short>.<short>, built
  // from src/tarvex/<short>/<short>.
  const char* full_name = nullptr;  // name in sys.modules and "init ..." entries
  const char* file = nullptr;       // source path of traceback entries
};

// Holds the definition and the process-wide state of one extension module.
// The definition comes first so the create step can find the frame from it.
class Module {
 public:
  Module(const char* short_name, const ModuleDescription& desc) noexcept;
  PyObject* init() noexcept { return PyModuleDef_Init(&def_); }

 private:
  static PyObject* create(PyObject* import_spec, PyModuleDef* def);
  static int exec(PyObject* module);
  int exec_steps(PyObject* module);

  PyModuleDef def_;
  PyModuleDef_Slot slots_[4];
  ModuleDescription desc_;
  const char* short_name_;
  char full_name_[96];
  char file_[96];
  PyObject* module_ = nullptr;  // strong reference once created
  int64_t interpreter_ = -1;
  bool constants_ready_ = false;  // the constants step has succeeded
  bool executed_ = false;
};

// Warns (a RuntimeWarning) when the running interpreter's major.minor is
// not the one the module was built for; -1 if the warning became an error.
// The exec step passes the version of the headers it was compiled with.
int check_runtime_version(const char* full_name, int built_major, int built_minor);

// Binds one sibling type: import, type check, size check, method table.
int bind_sibling(const Sibling& s);

}  // namespace tarvex::rt

// The module's frame and its entry point PyInit_<short_name>, from the
// braced ModuleDescription that follows the name.
#define TARVEX_MODULE(short_name, ...)                                                          \
  static ::tarvex::rt::Module tarvex_module_frame(#short_name,                                  \
                                                  ::tarvex::rt::ModuleDescription __VA_ARGS__); \
  PyMODINIT_FUNC PyInit_##short_name() { return tarvex_module_frame.init(); }
