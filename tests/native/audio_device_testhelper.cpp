// Test-only module that binds AudioDevice the way a sibling module does and
// calls each entry of its C method table.
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/audio_device/audio_device.h"

namespace {

namespace rt = tarvex::rt;

PyTypeObject* device_type;
tarvex_AudioDeviceVTable* device_vt;

rt::Sibling siblings[] = {
    {"tarvex.audio_device.audio_device", "AudioDevice", sizeof(tarvex_AudioDeviceObject),
     &device_type, reinterpret_cast<void**>(&device_vt)},
};

tarvex_AudioDeviceObject* handle(PyObject* o) {
  if (PyObject_TypeCheck(o, device_type)) return reinterpret_cast<tarvex_AudioDeviceObject*>(o);
  rt::arg_type_error("device", device_type->tp_name, o);
  return nullptr;
}

PyObject* device_new(PyObject*, PyObject*) { return device_vt->new_(); }

PyObject* device_open(PyObject*, PyObject* o) {
  tarvex_AudioDeviceObject* d = handle(o);
  return d ? device_vt->open(d) : nullptr;
}

PyObject* device_close(PyObject*, PyObject* o) {
  tarvex_AudioDeviceObject* d = handle(o);
  if (!d) return nullptr;
  device_vt->close(d);
  return Py_NewRef(Py_None);
}

PyObject* is_ready(PyObject*, PyObject*) { return PyLong_FromLong(device_vt->is_ready()); }

PyObject* get_master_volume(PyObject*, PyObject*) {
  return PyFloat_FromDouble(static_cast<double>(device_vt->get_master_volume()));
}

// The entry's int result, or null with its exception.
PyObject* set_master_volume(PyObject*, PyObject* o) {
  double v;
  if (!rt::to_double(o, &v)) return nullptr;
  int r = device_vt->set_master_volume(v);
  return r < 0 ? nullptr : PyLong_FromLong(r);
}

// A hook that counts its runs and whether the device was still open then.
long hook_runs = 0;
long hook_runs_while_open = 0;
void count_release() {
  ++hook_runs;
  if (device_vt->is_ready()) ++hook_runs_while_open;
}

PyObject* add_counting_hook(PyObject*, PyObject*) {
  if (device_vt->add_release_hook(count_release) < 0) return nullptr;
  return Py_NewRef(Py_None);
}

PyObject* hook_counts(PyObject*, PyObject*) {
  return Py_BuildValue("(ll)", hook_runs, hook_runs_while_open);
}

PyMethodDef methods[] = {
    {"device_new", device_new, METH_NOARGS, nullptr},
    {"device_open", device_open, METH_O, nullptr},
    {"device_close", device_close, METH_O, nullptr},
    {"is_ready", is_ready, METH_NOARGS, nullptr},
    {"get_master_volume", get_master_volume, METH_NOARGS, nullptr},
    {"set_master_volume", set_master_volume, METH_O, nullptr},
    {"add_counting_hook", add_counting_hook, METH_NOARGS, nullptr},
    {"hook_counts", hook_counts, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_audio_device_testhelper",
                        {.siblings = siblings,
                         .body = body,
                         .full_name = "_audio_device_testhelper",
                         .file = "tests/native/audio_device_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__audio_device_testhelper() { return module_frame.init(); }
