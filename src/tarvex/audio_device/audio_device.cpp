// tarvex.audio_device.audio_device: handles on raylib's one audio device.
//
// raylib keeps a single audio device per process, and its InitAudioDevice
// does not test whether it is open already (a second call would make a
// second context and lose the first). A handle therefore opens the device
// only when it is closed, and then owns it; a handle that found it open
// (opened by another handle, or by a program calling raylib itself) never
// closes it. At most one handle owns the device at a time: `owner` below.
//
// raylib's mixer lock goes with the device: CloseAudioDevice destroys it,
// and every later unload, play or volume call on a sound loaded before
// locks the destroyed lock. So before a handle closes the device, the
// modules that hold raylib audio buffers release them through the hooks they
// registered (the sound module releases every loaded Sound).
#include "tarvex/audio_device/audio_device.h"

#include <raylib.h>

#include <array>
#include <cstddef>

#include "tarvex/_raylib/log.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::audio_device {

using Obj = tarvex_AudioDeviceObject;

constexpr rt::Where kWhere{"tarvex.audio_device.audio_device.AudioDevice",
                           "src/tarvex/audio_device/audio_device"};

extern PyTypeObject device_type;
extern tarvex_AudioDeviceVTable vtable;

namespace {

PyObject* py(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }

// The handle that opened the device and will close it; null when no handle
// owns it (closed, or opened outside the handles). Borrowed: a handle clears
// it when it closes the device or goes away.
Obj* owner = nullptr;

// The release hooks of the modules that hold raylib audio buffers.
std::array<void (*)(), 8> hooks{};

bool owns(const Obj* self) noexcept { return owner == self && IsAudioDeviceReady(); }

// ---------------------------------------------------------------------------
// C-level entries

PyObject* do_new() {
  Obj* o = PyObject_New(Obj, &device_type);
  if (o) o->__pyx_vtab = &vtable;
  return py(o);
}

// A device that raylib cannot open leaves `is_ready` False: like every raylib
// failure, not an exception.
PyObject* do_open(Obj* self) {
  if (!IsAudioDeviceReady()) {
    InitAudioDevice();
    if (IsAudioDeviceReady()) owner = self;
  }
  return Py_NewRef(py(self));
}

void entry_close(Obj* self) {
  if (owner != self) return;
  owner = nullptr;
  if (!IsAudioDeviceReady()) return;
  for (auto release : hooks)
    if (release) release();
  CloseAudioDevice();
}

int entry_is_ready() { return IsAudioDeviceReady() ? 1 : 0; }

float entry_get_master_volume() { return IsAudioDeviceReady() ? GetMasterVolume() : 0.0f; }

int do_set_master_volume(double volume) {
  if (!(volume >= 0.0 && volume <= 1.0)) {
    rt::Ref given(PyFloat_FromDouble(volume));
    if (given)
      PyErr_Format(PyExc_ValueError, "master_volume must be from 0.0 to 1.0 (got %R)", given.get());
    return -1;
  }
  if (!IsAudioDeviceReady()) {
    PyErr_SetString(PyExc_RuntimeError, "the audio device is not open");
    return -1;
  }
  SetMasterVolume(static_cast<float>(volume));
  return 0;
}

int do_add_release_hook(void (*release)()) {
  for (auto& slot : hooks) {
    if (slot == release) return 0;
    if (!slot) {
      slot = release;
      return 0;
    }
  }
  PyErr_SetString(PyExc_RuntimeError, "too many release hooks on the audio device");
  return -1;
}

}  // namespace

tarvex_AudioDeviceVTable vtable = {
    .new_ = rt::Traced<kWhere, "new", do_new>::call,
    .open = rt::Traced<kWhere, "open", do_open>::call,
    .close = entry_close,
    .is_ready = entry_is_ready,
    .get_master_volume = entry_get_master_volume,
    .set_master_volume = rt::Traced<kWhere, "set_master_volume", do_set_master_volume>::call,
    .add_release_hook = rt::Traced<kWhere, "add_release_hook", do_add_release_hook>::call,
};

namespace {

// ---------------------------------------------------------------------------
// The Python surface

using Declare = rt::Declare<kWhere, Obj>;
using NoArguments = rt::Signature<>;

// AudioDevice() takes no arguments.
PyObject* construct(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  NoArguments::Values none;
  if (!NoArguments::bind("AudioDevice", args, PyVectorcall_NARGS(nargsf), kwnames, none)) {
    rt::add_traceback(kWhere, "__init__");
    return nullptr;
  }
  return vtable.new_();
}

// The same through tp_new (as type.__call__ with a tuple and a dict).
PyObject* tp_new(PyTypeObject*, PyObject* args, PyObject* kwds) {
  PyObject* made = nullptr;
  rt::with_vectorcall_arguments(
      args, kwds,
      [](void* out, PyObject* const* a, Py_ssize_t n, PyObject* k) {
        PyObject* o = construct(nullptr, a, static_cast<size_t>(n), k);
        *static_cast<PyObject**>(out) = o;
        return o ? 0 : -1;
      },
      static_cast<void*>(&made));
  return made;
}

PyObject* open_method(Obj* self) { return vtable.open(self); }
void close_method(Obj* self) { entry_close(self); }
PyObject* enter(Obj* self) { return vtable.open(self); }
// The exception, if any, propagates: the result is False.
bool exit_method(Obj* self, PyObject*, PyObject*, PyObject*) {
  entry_close(self);
  return false;
}

PyMethodDef methods[] = {
    Declare::plain_entry<"open", open_method>::def<
        "Open raylib's audio device unless it is open already, and return this handle.\n\n"
        "A handle that opens the device owns it (`owns_device` is True) and closes it in "
        "`close()`; if the device was open already (through another handle, or by a program "
        "calling raylib itself) nothing happens and this handle does not own it. Sounds load "
        "only while the device is open. If raylib cannot open a device, `is_ready` stays "
        "False; that is no exception.">(),
    Declare::plain_entry<"close", close_method>::def<
        "Close raylib's audio device if this handle opened it, and return None.\n\n"
        "First every loaded Sound is released, as its `unload()` does: raylib's mixer goes "
        "with the device, and releasing a sound afterwards would touch it. Those sounds then "
        "read `valid` False; load them again once a device is open. A handle that does not own "
        "the device does nothing, so a device opened elsewhere is never closed here.">(),
    Declare::plain_entry<"__enter__", enter>::def<
        "Open the device as `open()` does and return this handle, for `with`.">(),
    Declare::method<"__exit__", exit_method, rt::Object<"exc_type">, rt::Object<"exc_value">,
                    rt::Object<"traceback">>::
        def<"Close the device as `close()` does and return False, for `with`: an exception "
            "raised in the block propagates.">(),
    rt::kEndOfMethods,
};

bool get_is_ready(Obj*) { return IsAudioDeviceReady(); }
bool get_owns_device(Obj* self) { return owns(self); }
double get_master_volume(Obj*) { return static_cast<double>(entry_get_master_volume()); }
bool set_master_volume(Obj*, double volume) { return do_set_master_volume(volume) == 0; }

PyGetSetDef properties[] = {
    rt::Property<kWhere, Obj, "is_ready", get_is_ready>::def(
        rt::docstring<"True while raylib's audio device is open, whoever opened it. "
                      "Read-only.">),
    rt::Property<kWhere, Obj, "owns_device", get_owns_device>::def(
        rt::docstring<
            "True if this handle opened the device, which is still open, and will close it. "
            "Read-only.">),
    rt::Property<kWhere, Obj, "master_volume", get_master_volume, set_master_volume,
                 rt::Double<"value">>::
        def(rt::docstring<
            "The volume of everything the device plays, a float from 0.0 (silent) to 1.0 (full, "
            "the default when the device opens).\n\n"
            "raylib's master volume, shared by every handle; it reads 0.0 while no device is open. "
            "Assigning a number outside 0.0 to 1.0 (or NaN) raises ValueError, and assigning while "
            "no device is open raises RuntimeError; neither changes anything. raylib keeps it as a "
            "32-bit float. Deleting raises NotImplementedError.">),
    rt::kEndOfProperties,
};

PyObject* repr(PyObject* o) {
  Obj* self = reinterpret_cast<Obj*>(o);
  const char* state = !IsAudioDeviceReady() ? "closed"
                      : owns(self)          ? "open, owned by this handle"
                                            : "open, not owned by this handle";
  return PyUnicode_FromFormat("<AudioDevice %s>", state);
}

// An owning handle closes the device when it goes, releasing the sounds
// first as close() does.
void dealloc(PyObject* o) {
  {
    rt::ErrorScope scope;
    entry_close(reinterpret_cast<Obj*>(o));
  }
  Py_TYPE(o)->tp_free(o);
}

}  // namespace

PyTypeObject device_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_repr = repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = rt::docstring<
        "AudioDevice()\n--\n\n"
        "A handle on raylib's audio device, which sounds need to load and play.\n\n"
        "`AudioDevice()` opens nothing; `open()` opens the device and `close()` closes it, or "
        "use the handle as a context manager: `with AudioDevice() as device:` opens the device "
        "for the block and closes it after. Importing the package or loading a sound never "
        "opens the device.\n\n"
        "raylib has one device per process. A handle closes it only if that handle opened it: "
        "a device opened by another handle, or by a program or native module calling raylib "
        "itself, stays open. A handle that owns the open device closes it when it is garbage "
        "collected.\n\n"
        "Closing the device releases every loaded Sound (they read `valid` False afterwards), "
        "because raylib's mixer goes with the device. Pickling and `copy.copy` raise "
        "TypeError; AudioDevice cannot be subclassed.">,
    .tp_methods = methods,
    .tp_getset = properties,
    .tp_new = tp_new,
    .tp_vectorcall = construct,
};

namespace {

// ---------------------------------------------------------------------------
// Module

using Pickling = rt::PickleRefusal<kWhere, "an AudioDevice handle cannot be pickled",
                                   "`copy.copy` and `copy.deepcopy` raise it too.">;

const rt::TypeEntry types[] = {{&device_type, &vtable, Pickling::defs}};

}  // namespace
}  // namespace tarvex::audio_device

TARVEX_MODULE(audio_device,
              {.types = tarvex::audio_device::types, .body = tarvex::quiet_raylib_log})
