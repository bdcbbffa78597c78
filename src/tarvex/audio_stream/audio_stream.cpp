// tarvex.audio_stream.audio_stream: a raylib AudioStream value, owning or
// borrowed. Sounds hand out a borrowed one describing their stream (and clear
// its buffer pointer when they release the sound); only an owner (made by the
// C-level `new`, or by `cfrom_struct` with is_owner set) ever releases the
// stream's buffer.
#include "tarvex/audio_stream/audio_stream.h"

#include "tarvex/_raylib/log.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::audio_stream {

using Obj = tarvex_AudioStreamObject;

constexpr rt::Where kWhere{"tarvex.audio_stream.audio_stream.AudioStream",
                           "src/tarvex/audio_stream/audio_stream"};

extern PyTypeObject stream_type;
extern tarvex_AudioStreamVTable vtable;

namespace {

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }

// Releases the buffer if this object owns it; clears the buffer pointer and
// leaves the format fields as they were.
void release(Obj* self) noexcept {
  if (self->is_owner && self->_raw.buffer) {
    UnloadAudioStream(self->_raw);
    self->_raw.buffer = nullptr;
  }
}

PyObject* wrap(AudioStream stream, int is_owner) noexcept {
  Obj* o = PyObject_New(Obj, &stream_type);
  if (!o) return nullptr;
  o->__pyx_vtab = &vtable;
  o->_raw = stream;
  o->is_owner = is_owner != 0;
  return reinterpret_cast<PyObject*>(o);
}

// ---------------------------------------------------------------------------
// C-level entries, each adding its own traceback entry to a failure

PyObject* do_cfrom_struct(AudioStream stream, tarvex_AudioStreamOwnerArg* opt) {
  return wrap(stream, (opt && opt->count > 0) ? opt->is_owner : 0);
}

// raylib streams 8-bit, 16-bit or 32-bit (float) samples; anything else
// would be read as float by its converter while sized as something else.
PyObject* load_stream(int sample_rate, int sample_size, int channels) {
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
    PyObject* r = wrap(s, 1);
    if (r) return r;
    if (s.buffer) UnloadAudioStream(s);
  }
  return nullptr;
}

void entry_c_unload(Obj* self) { release(self); }

}  // namespace

tarvex_AudioStreamVTable vtable = {
    .cfrom_struct = rt::Traced<kWhere, "cfrom_struct", do_cfrom_struct>::call,
    .new_ = rt::Traced<kWhere, "new", load_stream>::call,
    .c_unload = entry_c_unload,
};

namespace {

// ---------------------------------------------------------------------------
// The Python surface: a read-only description

// The format, then whose buffer it is: "owner", "borrowed", or "no buffer"
// once released (or never had).
PyObject* repr(PyObject* o) {
  const AudioStream& s = as(o)->_raw;
  const char* state = !s.buffer ? "no buffer" : as(o)->is_owner ? "owner" : "borrowed";
  return PyUnicode_FromFormat("<AudioStream %u Hz, %u-bit, %u channel%s, %s>", s.sampleRate,
                              s.sampleSize, s.channels, s.channels == 1 ? "" : "s", state);
}

PyObject* get_sample_rate(Obj* self) { return PyLong_FromUnsignedLong(self->_raw.sampleRate); }
PyObject* get_sample_size(Obj* self) { return PyLong_FromUnsignedLong(self->_raw.sampleSize); }
PyObject* get_channels(Obj* self) { return PyLong_FromUnsignedLong(self->_raw.channels); }
bool get_valid(Obj* self) { return self->_raw.buffer != nullptr && IsAudioStreamValid(self->_raw); }
bool get_is_owner(Obj* self) { return self->is_owner != 0; }

PyGetSetDef properties[] = {
    rt::Property<kWhere, Obj, "sample_rate", get_sample_rate>::def(
        rt::docstring<"Frames per second, an int. Read-only.">),
    rt::Property<kWhere, Obj, "sample_size", get_sample_size>::def(
        rt::docstring<
            "Bits per sample, an int: 8 (unsigned), 16 (signed) or 32 (float). Read-only.">),
    rt::Property<kWhere, Obj, "channels", get_channels>::def(
        rt::docstring<"Samples per frame, an int (2 for stereo). Read-only.">),
    rt::Property<kWhere, Obj, "valid", get_valid>::def(
        rt::docstring<
            "True while the stream has a buffer that raylib considers usable. Read-only.">),
    rt::Property<kWhere, Obj, "is_owner", get_is_owner>::def(
        rt::docstring<
            "True if this object releases the stream's buffer; a Sound's stream does not. "
            "Read-only.">),
    rt::kEndOfProperties,
};

void dealloc(PyObject* o) {
  {
    rt::ErrorScope scope;
    release(as(o));
  }
  Py_TYPE(o)->tp_free(o);
}

}  // namespace

// No tp_new: streams come from the C table (a Sound's, or `new`).
PyTypeObject stream_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_repr = repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = rt::docstring<
        "The format and state of a raylib audio stream.\n\n"
        "A Sound's `stream` is one: it describes the sound's stream and borrows it, so it never "
        "releases anything, and it reports no buffer once the sound is released. Native "
        "modules can also make owning streams through the C table. It cannot be created from "
        "Python, pickled or subclassed. `repr` shows the format and whether the stream is "
        "owned, borrowed or has no buffer.">,
    .tp_getset = properties,
};

namespace {

// ---------------------------------------------------------------------------
// Module

using Pickling = rt::PickleRefusal<kWhere, rt::kRawNotPicklable,
                                   "`copy.copy` and `copy.deepcopy` raise it too.">;

const rt::TypeEntry types[] = {{&stream_type, &vtable, Pickling::defs}};

}  // namespace
}  // namespace tarvex::audio_stream

TARVEX_MODULE(audio_stream,
              {.types = tarvex::audio_stream::types, .body = tarvex::quiet_raylib_log})
