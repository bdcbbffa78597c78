// tarvex.sound.sound: the owning raylib Sound wrapper. The samples that
// aliases share with their source are counted in sample_shares.cpp; here are
// creation, the C-level entries, the Python surface and the type.
//
// The module never opens raylib's audio device: whoever plays sounds opens it
// (without it raylib loads nothing and every sound comes back invalid), with
// an AudioDevice or through raylib itself. Before an AudioDevice closes the
// device, it has this module release every loaded sound (live_sounds.cpp).
#include "tarvex/sound/sound.h"

#include <cstddef>
#include <cstdint>

#include "tarvex/_raylib/log.h"
#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/audio_device/audio_device.h"
#include "tarvex/audio_stream/audio_stream.h"
#include "tarvex/sound/live_sounds.h"
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
PyTypeObject* device_type;
tarvex_AudioDeviceVTable* device_vt;

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
  forget_live(self);
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
  if (raw.stream.buffer && !track_live(s)) return nullptr;
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
    Declare::static_method<"load", load, rt::Utf8<"file_name">>::def<
        "Load a sound file into memory and return it as a new Sound.\n\n"
        "The formats are those the bundled raylib reads (WAV, OGG and MP3 among them; not "
        "FLAC); the samples are converted to raylib's device format. `file_name` must be a str "
        "(bytes or a str subclass raises TypeError, None raises AttributeError, an embedded NUL "
        "raises ValueError). A missing or unreadable file, or a closed audio device, gives an "
        "invalid Sound. The new sound starts with volume 1.0, pitch 1.0 and pan 0.5.">(),
    Declare::static_method<"load_alias", load_alias, Source>::def<
        "Return a new Sound that plays the samples of `source` without copying them.\n\n"
        "The alias has its own buffer, playback position, volume, pitch and pan (starting at "
        "1.0, 1.0 and 0.5); `is_alias` is True. `source` must be a Sound (TypeError otherwise, "
        "None included); an alias of a source that is not loaded is invalid. The shared samples "
        "live until the source and all its aliases are released.">(),
    Declare::method<"play", playback<PlaySound>>::def<
        "Start playing the sound from the beginning and return None.\n\n"
        "Playing a sound that is already playing restarts it. Does nothing for a sound that is "
        "not loaded.">(),
    Declare::method<"stop",
                    playback<StopSound>>::def<"Stop playing the sound and return None.\n\n"
                                              "The next `play()` starts from the beginning.">(),
    Declare::method<"pause", playback<PauseSound>>::def<
        "Pause the sound where it is and return None; `resume()` continues.">(),
    Declare::method<"resume", playback<ResumeSound>>::def<
        "Continue a paused sound from where it stopped and return None.">(),
    Declare::plain_entry<"unload", entry_c_unload>::def<
        "Release the sound's audio buffer now and return None.\n\n"
        "An alias releases only its own buffer; a source with live aliases stops, and its "
        "samples go with the last alias. Afterwards `valid` is False, `frame_count` keeps its "
        "value and `stream` reports no buffer. Does nothing for a sound that is not "
        "loaded.">(),
    Declare::method<"update", update, rt::Object<"data">, rt::Int<"frame_count">>::def<
        "Replace the first `frame_count` frames of the sound's samples with frames from `data`, "
        "and return None.\n\n"
        "`data` is a bytes-like object (TypeError otherwise) in the sound's own sample layout, "
        "as `stream` describes it: `stream.channels` interleaved samples per frame, each of "
        "`stream.sample_size` bits (32-bit floats for a loaded sound). Raises ValueError if "
        "`frame_count` is negative, larger than the sound's `frame_count`, or more than `data` "
        "holds. For a sound that is not loaded it checks `data` and the sign of `frame_count` "
        "and changes nothing.">(),
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
    rt::Property<kWhere, Obj, "valid", get_valid>::def(
        rt::docstring<"True if the sound is loaded and raylib considers it usable. Read-only.\n\n"
                      "False for `Sound()`, after `unload()` and for a failed load.">),
    rt::Property<kWhere, Obj, "is_alias", get_is_alias>::def(
        rt::docstring<"True if the sound was made by `load_alias`. Read-only.">),
    rt::Property<kWhere, Obj, "frame_count", get_frame_count>::def(
        rt::docstring<
            "The sound's length in frames (samples per channel), an int. Read-only; kept after "
            "`unload()`.">),
    rt::Property<kWhere, Obj, "stream", get_stream>::def(
        rt::docstring<
            "The AudioStream describing the sound's raylib stream. Read-only.\n\n"
            "The same object on every read; None for `Sound()`. It never releases anything itself, "
            "and once the sound is released it reports no buffer.">),
    rt::Property<kWhere, Obj, "playing", get_playing>::def(
        rt::docstring<
            "True while the sound is playing (not stopped, paused or finished). Read-only.">),
    FloatProperty<"volume", &Obj::_volume, SetSoundVolume>::def(
        rt::docstring<
            "The volume last set, a float: 1.0 after loading, 0.0 for `Sound()`.\n\n"
            "Assigning rounds any real number to a 32-bit float, stores it and passes it to raylib "
            "(1.0 is full volume); there is no range check. Reading never asks raylib. Deleting "
            "raises NotImplementedError.">),
    FloatProperty<"pitch", &Obj::_pitch, SetSoundPitch>::def(
        rt::docstring<
            "The pitch last set, a float: 1.0 (the original pitch) after loading, 0.0 for "
            "`Sound()`.\n\n"
            "Assigning rounds any real number to a 32-bit float, stores it and passes it to "
            "raylib; "
            "2.0 plays an octave higher and twice as fast. Reading never asks raylib. Deleting "
            "raises NotImplementedError.">),
    FloatProperty<"pan", &Obj::_pan, SetSoundPan>::def(
        rt::docstring<
            "The pan last set, a float: 0.5 after loading, 0.0 for `Sound()`.\n\n"
            "Assigning rounds any real number to a 32-bit float, stores it and passes it to "
            "raylib, "
            "which takes -1.0 as left, 0.0 as centre and 1.0 as right. A loaded sound plays "
            "centred until pan is assigned, although it reads 0.5. Reading never asks raylib. "
            "Deleting raises NotImplementedError.">),
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
    // Also when a native caller cleared the buffer pointer itself.
    forget_live(as(o));
    Py_CLEAR(as(o)->_stream);
  }
  Py_TYPE(o)->tp_free(o);
}

}  // namespace

PyTypeObject sound_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = rt::docstring<
        "Sound()\n--\n\n"
        "A raylib sound: audio samples loaded into memory, with playback controls.\n\n"
        "Made by `Sound.load` and `Sound.load_alias`; `Sound()` is an empty, invalid sound "
        "(arguments given to it are ignored). The package never opens raylib's audio device by "
        "itself: open it with `tarvex.audio_device.audio_device.AudioDevice` (`with "
        "AudioDevice():`) before loading, or every sound loads invalid. Closing the device "
        "through an AudioDevice releases every loaded sound first. "
        "raylib failures are not exceptions: a sound that cannot be loaded has `valid` "
        "False.\n\n"
        "Ownership: a sound owns its audio buffer and releases it when unloaded or garbage "
        "collected. An alias plays its source's samples with its own buffer and playback state; "
        "the shared samples stay until the source and every alias are released, so releasing a "
        "source that still has aliases only stops it.\n\n"
        "Pickling and `copy.copy` raise TypeError. Sound can be subclassed.">,
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

using Pickling = rt::PickleRefusal<kWhere, rt::kRawNotPicklable,
                                   "`copy.copy` and `copy.deepcopy` raise it too.">;

const rt::TypeEntry types[] = {{&sound_type, &vtable, Pickling::defs}};
const rt::Sibling siblings[] = {
    rt::sibling<tarvex_AudioStreamObject>("tarvex.audio_stream.audio_stream", "AudioStream",
                                          &stream_type, &stream_vt),
    rt::sibling<tarvex_AudioDeviceObject>("tarvex.audio_device.audio_device", "AudioDevice",
                                          &device_type, &device_vt),
};

void release_every_sound() noexcept { release_live(release); }

int make_tables() { return make_sample_shares() < 0 ? -1 : make_live_sounds(); }

// After the siblings are bound: the device releases the loaded sounds before
// it closes.
int body(PyObject* module) {
  if (device_vt->add_release_hook(release_every_sound) < 0) return -1;
  return quiet_raylib_log(module);
}

}  // namespace
}  // namespace tarvex::sound

TARVEX_MODULE(sound, {.types = tarvex::sound::types,
                      .siblings = tarvex::sound::siblings,
                      .constants = tarvex::sound::make_tables,
                      .body = tarvex::sound::body})
