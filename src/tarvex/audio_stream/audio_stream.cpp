// tarvex.audio_stream.audio_stream: a raylib AudioStream value, owning or
// borrowed. Sounds hand out a borrowed one describing their stream (and clear
// its buffer pointer when they release the sound); only an owner (made by the
// C-level `new`, or by `cfrom_struct` with is_owner set) ever releases the
// stream's buffer.
#include "tarvex/audio_stream/audio_stream.h"

#include "tarvex/_runtime/runtime.h"

namespace {

namespace rt = tarvex::rt;
using Obj = tarvex_AudioStreamObject;

constexpr char kFullName[] = "tarvex.audio_stream.audio_stream.AudioStream";
constexpr char kFile[] = "src/tarvex/audio_stream/audio_stream";
constexpr char kPickleMessage[] = "self._raw cannot be converted to a Python object for pickling";

PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
tarvex_AudioStreamVTable vtable{};

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }

void traceback(const char* name) { rt::add_traceback(kFullName, name, kFile); }

// Releases the buffer if this object owns it; clears the buffer pointer and
// leaves the format fields as they were.
void release(Obj* self) noexcept {
  if (self->is_owner && self->_raw.buffer) {
    UnloadAudioStream(self->_raw);
    self->_raw.buffer = nullptr;
  }
}

PyObject* make(AudioStream stream, int is_owner) noexcept {
  Obj* o = PyObject_New(Obj, &type);
  if (!o) return nullptr;
  o->__pyx_vtab = &vtable;
  o->_raw = stream;
  o->is_owner = is_owner != 0;
  return reinterpret_cast<PyObject*>(o);
}

// ------------------------------------------------------------------ C table

PyObject* cfrom_struct(AudioStream stream, tarvex_AudioStreamOwnerArg* opt) {
  int owner = (opt && opt->count > 0) ? opt->is_owner : 0;
  PyObject* r = make(stream, owner);
  if (!r) traceback("cfrom_struct");
  return r;
}

// raylib streams 8-bit, 16-bit or 32-bit (float) samples; anything else
// would be read as float by its converter while sized as something else.
PyObject* new_(int sample_rate, int sample_size, int channels) {
  if (sample_rate <= 0) {
    PyErr_Format(PyExc_ValueError, "sample_rate must be positive (got %d)", sample_rate);
  } else if (sample_size != 8 && sample_size != 16 && sample_size != 32) {
    PyErr_Format(PyExc_ValueError, "sample_size must be 8, 16 or 32 (got %d)", sample_size);
  } else if (channels < 1 || channels > 8) {
    PyErr_Format(PyExc_ValueError, "channels must be from 1 to 8 (got %d)", channels);
  } else {
    AudioStream s =
        LoadAudioStream(static_cast<unsigned>(sample_rate), static_cast<unsigned>(sample_size),
                        static_cast<unsigned>(channels));
    PyObject* r = make(s, 1);
    if (r) return r;
    if (s.buffer) UnloadAudioStream(s);
  }
  traceback("new");
  return nullptr;
}

void c_unload(Obj* self) { release(self); }

// ---------------------------------------------------------------- the type

void dealloc(PyObject* o) {
  PyObject* exc = PyErr_GetRaisedException();
  release(as(o));
  PyErr_SetRaisedException(exc);
  Py_TYPE(o)->tp_free(o);
}

// The format, then whose buffer it is: "owner", "borrowed", or "no buffer"
// once released (or never had).
PyObject* repr(PyObject* o) {
  const AudioStream& s = as(o)->_raw;
  const char* state = !s.buffer ? "no buffer" : as(o)->is_owner ? "owner" : "borrowed";
  return PyUnicode_FromFormat("<AudioStream %u Hz, %u-bit, %u channel%s, %s>", s.sampleRate,
                              s.sampleSize, s.channels, s.channels == 1 ? "" : "s", state);
}

PyObject* get_sample_rate(PyObject* o, void*) {
  return PyLong_FromUnsignedLong(as(o)->_raw.sampleRate);
}
PyObject* get_sample_size(PyObject* o, void*) {
  return PyLong_FromUnsignedLong(as(o)->_raw.sampleSize);
}
PyObject* get_channels(PyObject* o, void*) { return PyLong_FromUnsignedLong(as(o)->_raw.channels); }
PyObject* get_valid(PyObject* o, void*) {
  return PyBool_FromLong(as(o)->_raw.buffer != nullptr && IsAudioStreamValid(as(o)->_raw));
}
PyObject* get_is_owner(PyObject* o, void*) { return PyBool_FromLong(as(o)->is_owner); }

PyGetSetDef getsets[] = {
    {"sample_rate", get_sample_rate, nullptr, nullptr, nullptr},
    {"sample_size", get_sample_size, nullptr, nullptr, nullptr},
    {"channels", get_channels, nullptr, nullptr, nullptr},
    {"valid", get_valid, nullptr, nullptr, nullptr},
    {"is_owner", get_is_owner, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

int constants() {
  vtable.cfrom_struct = cfrom_struct;
  vtable.new_ = new_;
  vtable.c_unload = c_unload;
  type.tp_name = kFullName;
  type.tp_basicsize = sizeof(Obj);
  type.tp_itemsize = 0;
  type.tp_dealloc = dealloc;
  type.tp_repr = repr;
  type.tp_flags = Py_TPFLAGS_DEFAULT;
  type.tp_getset = getsets;
  // No tp_new: streams come from the C table (a Sound's, or `new`).
  return 0;
}

// raylib logs every stream it makes or frees at INFO level; warnings still
// show.
int body(PyObject*) {
  SetTraceLogLevel(LOG_WARNING);
  return 0;
}

rt::TypeEntry types[] = {
    {&type, "AudioStream", &vtable, rt::PickleRefusal<kPickleMessage, kFullName, kFile>::defs}};
rt::Module module_frame({"audio_stream", "tarvex.audio_stream.audio_stream", kFile, types, 1,
                         nullptr, 0, constants, body});

}  // namespace

PyMODINIT_FUNC PyInit_audio_stream() { return module_frame.init(); }
