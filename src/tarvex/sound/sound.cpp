// tarvex.sound.sound: the owning raylib Sound wrapper. The samples that
// aliases share with their source are counted in sample_shares.cpp; here are
// creation, the C-level entries, the Python surface and the type.
//
// The module never opens raylib's audio device: whoever plays sounds opens it
// (without it raylib loads nothing and every sound comes back invalid).
#include "tarvex/sound/sound.h"

#include <cstddef>
#include <cstdint>

#include "tarvex/_raylib/log.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/audio_stream/audio_stream.h"
#include "tarvex/sound/sample_shares.h"

namespace tarvex::sound {

using rt::Ref;
using Obj = tarvex_SoundObject;

constexpr rt::Where kWhere{"tarvex.sound.sound.Sound", "src/tarvex/sound/sound"};

extern PyTypeObject sound_type;
extern tarvex_SoundVTable vtable;

// Bound at exec time.
PyTypeObject* stream_type;
tarvex_AudioStreamVTable* stream_vt;

namespace {

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }

// ---------------------------------------------------------------------------
// Release

// The sound's AudioStream holds a copy of the raylib stream. Once the sound
// lets its buffer go (or stops tracking the object), the copy's buffer
// pointer is cleared too, so that the object describes a released stream
// instead of handing out the address of freed memory. Only the pointer in
// the instance layout is written; no entry of the stream's table is called.
void forget_stream(Obj* self) noexcept {
  PyObject* stream = self->_stream;
  if (stream && PyObject_TypeCheck(stream, stream_type))
    reinterpret_cast<tarvex_AudioStreamObject*>(stream)->_raw.buffer = nullptr;
}

// Releases the sound if loaded and clears its buffer pointer; the other
// fields of _raw keep their values.
void release(Obj* self) noexcept {
  if (!self->_raw.stream.buffer) return;
  const Sound raw = self->_raw;
  self->_raw.stream.buffer = nullptr;
  forget_stream(self);
  release_raw(raw, self->_is_alias != 0);
}

// ---------------------------------------------------------------------------
// Creation and the C-level entries

PyObject* alloc_empty(PyTypeObject* t) noexcept {
  PyObject* o = t->tp_alloc(t, 0);
  if (!o) return nullptr;
  Obj* s = as(o);
  s->__pyx_vtab = &vtable;
  s->_raw = Sound{};
  s->_is_alias = 0;
  s->_volume = s->_pitch = s->_pan = 0.0f;
  s->_stream = Py_NewRef(Py_None);
  return o;
}

PyObject* tp_new(PyTypeObject* t, PyObject*, PyObject*) { return alloc_empty(t); }

// Calling the type: arguments are accepted and ignored.
PyObject* construct(PyObject* t, PyObject* const*, size_t, PyObject*) {
  return alloc_empty(reinterpret_cast<PyTypeObject*>(t));
}

// A sound that owns `raw` (released here if no object can take it), with its
// stream as a borrowed AudioStream.
PyObject* wrap(Sound raw, int is_alias) {
  Ref o(alloc_empty(&sound_type));
  if (!o) {
    if (raw.stream.buffer) release_raw(raw, is_alias != 0);
    return nullptr;
  }
  Obj* s = as(o.get());
  s->_raw = raw;
  s->_is_alias = is_alias;
  s->_volume = 1.0f;
  s->_pitch = 1.0f;
  s->_pan = 0.5f;
  PyObject* stream = stream_vt->cfrom_struct(raw.stream, nullptr);
  if (!stream) return nullptr;  // dropping the sound releases what it holds
  Py_SETREF(s->_stream, stream);
  return o.release();
}

PyObject* do_new(Sound raw, tarvex_SoundAliasArg* opt) {
  return wrap(raw, (opt && opt->count > 0) ? opt->is_alias : 0);
}

void entry_c_unload(Obj* self) { release(self); }

}  // namespace

tarvex_SoundVTable vtable = {
    .new_ = rt::Traced<kWhere, "new", do_new>::call,
    .c_unload = entry_c_unload,
};

namespace {

// ---------------------------------------------------------------------------
// Loading

PyObject* load(const char* file_name) {
  tarvex_SoundAliasArg opt{1, 0};
  return vtable.new_(LoadSound(file_name), &opt);
}

PyObject* load_alias(Obj* source) {
  Sound alias{};
  // raylib's LoadSoundAlias dereferences the source's buffer: a source that
  // is not loaded gives an invalid alias without calling it.
  if (source->_raw.stream.buffer && !make_alias(source->_raw, source->_is_alias != 0, &alias))
    return nullptr;
  tarvex_SoundAliasArg opt{1, 1};
  return vtable.new_(alias, &opt);
}

// ---------------------------------------------------------------------------
// Playback: each hands the sound to one raylib call. None tests whether the
// sound is loaded; raylib ignores a null buffer.

template <void (*Act)(Sound)>
void playback(Obj* self) {
  Act(self->_raw);
}

// ---------------------------------------------------------------------------
// update(data, frame_count)

// Bytes of one sample as raylib stores `bits`-bit samples (8-bit unsigned,
// 16-bit signed, 32-bit float); 0 for a size raylib has no layout for.
uint64_t sample_bytes(unsigned bits) noexcept {
  switch (bits) {
    case 8:
      return 1;
    case 16:
      return 2;
    case 32:
      return 4;
    default:
      return 0;
  }
}

// Checks that copying `frames` (not negative) frames from a buffer of `len`
// bytes stays inside both the buffer and the sound's own samples, which hold
// frameCount frames of `channels` samples each.
bool check_update(const Sound& raw, int frames, Py_ssize_t len) {
  const unsigned channels = raw.stream.channels, bits = raw.stream.sampleSize;
  if (static_cast<unsigned>(frames) > raw.frameCount) {
    PyErr_Format(PyExc_ValueError, "frame_count %d is larger than the sound's %u frames", frames,
                 raw.frameCount);
    return false;
  }
  if (frames == 0) return true;
  const uint64_t per_frame = sample_bytes(bits) * channels;
  if (per_frame == 0) {
    PyErr_Format(PyExc_ValueError,
                 "the sound's samples (%u channels of %u bits) have no layout to update", channels,
                 bits);
    return false;
  }
  // Divided rather than multiplied: channels * 4 * frames can exceed 64 bits.
  if (static_cast<uint64_t>(len) / per_frame < static_cast<uint64_t>(frames)) {
    PyErr_Format(PyExc_ValueError,
                 "data holds %zd bytes, fewer than %d frames of %llu bytes (%u channels of "
                 "%u-bit samples)",
                 len, frames, static_cast<unsigned long long>(per_frame), channels, bits);
    return false;
  }
  return true;
}

// The buffer of `data`; TypeError when it has none (the exporter's own error,
// if any, becomes the cause).
bool get_buffer(PyObject* data, Py_buffer* view) {
  if (PyObject_CheckBuffer(data) && PyObject_GetBuffer(data, view, PyBUF_SIMPLE) == 0) return true;
  PyObject* cause = PyErr_GetRaisedException();
  PyErr_SetString(PyExc_TypeError, "Object does not support the Python buffer protocol");
  if (cause) {
    PyObject* exc = PyErr_GetRaisedException();
    PyException_SetCause(exc, Py_NewRef(cause));
    PyException_SetContext(exc, cause);
    PyErr_SetRaisedException(exc);
  }
  return false;
}

// frame_count is converted (and truncated) before the buffer is asked for.
void update(Obj* self, PyObject* data, int frames) {
  Py_buffer view;
  if (!get_buffer(data, &view)) return;
  if (frames < 0) {
    PyErr_Format(PyExc_ValueError, "frame_count must not be negative (got %d)", frames);
  } else if (self->_raw.stream.buffer && check_update(self->_raw, frames, view.len)) {
    UpdateSound(self->_raw, view.buf, frames);
  }
  PyBuffer_Release(&view);
}

using Declare = rt::Declare<kWhere, Obj>;

// A Sound or a subclass; None carries no sound and is refused like any
// other object.
using Source = rt::Instance<"source", &sound_type, Obj>;

PyMethodDef methods[] = {
    Declare::static_method<"load", load, rt::Utf8<"file_name">>::def<"load(file_name) -> Sound">(),
    Declare::static_method<"load_alias", load_alias, Source>::def<"load_alias(source) -> Sound">(),
    Declare::method<"play", playback<PlaySound>>::def<"play() -> None">(),
    Declare::method<"stop", playback<StopSound>>::def<"stop() -> None">(),
    Declare::method<"pause", playback<PauseSound>>::def<"pause() -> None">(),
    Declare::method<"resume", playback<ResumeSound>>::def<"resume() -> None">(),
    Declare::plain_entry<"unload", entry_c_unload>::def<"unload() -> None">(),
    Declare::method<"update", update, rt::Object<"data">,
                    rt::Int<"frame_count">>::def<"update(data, frame_count) -> None">(),
    rt::kEndOfMethods,
};

// ---------------------------------------------------------------------------
// Properties

bool get_valid(Obj* self) {
  const Sound& s = self->_raw;
  return s.stream.buffer != nullptr && IsSoundValid(s);
}
bool get_is_alias(Obj* self) { return self->_is_alias != 0; }
PyObject* get_frame_count(Obj* self) { return PyLong_FromUnsignedLong(self->_raw.frameCount); }
PyObject* get_stream(Obj* self) { return Py_NewRef(self->_stream); }
bool get_playing(Obj* self) { return IsSoundPlaying(self->_raw); }

// A float property stored as a 32-bit float and handed to raylib on write.
template <float Obj::* Field>
double get_float(Obj* self) {
  return static_cast<double>(self->*Field);
}
template <float Obj::* Field, void (*Apply)(Sound, float)>
void set_float(Obj* self, float value) {
  self->*Field = value;
  Apply(self->_raw, value);
}

template <rt::Name N, float Obj::* Field, void (*Apply)(Sound, float)>
using FloatProperty =
    rt::Property<kWhere, Obj, N, get_float<Field>, set_float<Field, Apply>, rt::Float<"value">>;

PyGetSetDef properties[] = {
    rt::Property<kWhere, Obj, "valid", get_valid>::def(),
    rt::Property<kWhere, Obj, "is_alias", get_is_alias>::def(),
    rt::Property<kWhere, Obj, "frame_count", get_frame_count>::def(),
    rt::Property<kWhere, Obj, "stream", get_stream>::def(),
    rt::Property<kWhere, Obj, "playing", get_playing>::def(),
    FloatProperty<"volume", &Obj::_volume, SetSoundVolume>::def(),
    FloatProperty<"pitch", &Obj::_pitch, SetSoundPitch>::def(),
    FloatProperty<"pan", &Obj::_pan, SetSoundPan>::def(),
    rt::kEndOfProperties,
};

// ---------------------------------------------------------------------------
// Garbage collection

int traverse(PyObject* o, visitproc visit, void* arg) {
  Py_VISIT(as(o)->_stream);
  return 0;
}

// The stream is dropped while the sound may still hold its buffer, which it
// then releases without being able to reach the stream: forget it now.
int clear(PyObject* o) {
  forget_stream(as(o));
  Py_SETREF(as(o)->_stream, Py_NewRef(Py_None));
  return 0;
}

void dealloc(PyObject* o) {
  PyObject_GC_UnTrack(o);
  {
    rt::ErrorScope scope;
    release(as(o));
    Py_CLEAR(as(o)->_stream);
  }
  Py_TYPE(o)->tp_free(o);
}

}  // namespace

PyTypeObject sound_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_traverse = traverse,
    .tp_clear = clear,
    .tp_methods = methods,
    .tp_getset = properties,
    .tp_new = tp_new,
    .tp_vectorcall = construct,
};

namespace {

// ---------------------------------------------------------------------------
// Module

using Pickling = rt::PickleRefusal<kWhere, rt::kRawNotPicklable>;

const rt::TypeEntry types[] = {{&sound_type, &vtable, Pickling::defs}};
const rt::Sibling siblings[] = {
    rt::sibling<tarvex_AudioStreamObject>("tarvex.audio_stream.audio_stream", "AudioStream",
                                          &stream_type, &stream_vt),
};

}  // namespace
}  // namespace tarvex::sound

TARVEX_MODULE(sound, {.types = tarvex::sound::types,
                      .siblings = tarvex::sound::siblings,
                      .constants = tarvex::sound::make_sample_shares,
                      .body = tarvex::quiet_raylib_log})
