// tarvex.sound.sound: the owning raylib Sound wrapper.
//
// Aliases share their source's sample data inside raylib. So that no alias
// ever plays freed samples, every source that has been aliased gets a shared
// record counting the sounds that use its samples (the source while it is
// loaded, and each live alias). Releasing the source while aliases live only
// stops it; the samples go with the last user.
//
// The module never opens raylib's audio device: whoever plays sounds opens it
// (without it raylib loads nothing and every sound comes back invalid).
#include "tarvex/sound/sound.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <unordered_map>

#include "tarvex/_runtime/runtime.h"
#include "tarvex/audio_stream/audio_stream.h"

namespace {

namespace rt = tarvex::rt;
using rt::Ref;
using Obj = tarvex_SoundObject;

constexpr char kFullName[] = "tarvex.sound.sound.Sound";
constexpr char kFile[] = "src/tarvex/sound/sound";
constexpr char kPickleMessage[] = "self._raw cannot be converted to a Python object for pickling";

PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
tarvex_SoundVTable vtable{};

PyTypeObject* stream_type = nullptr;
tarvex_AudioStreamVTable* stream_vt = nullptr;

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
bool is_sound(PyObject* o) noexcept { return PyObject_TypeCheck(o, &type); }

void traceback(const char* name) { rt::add_traceback(kFullName, name, kFile); }

// ---------------------------------------------------------- shared samples

// The samples of one aliased source: the raylib value that owns them and how
// many loaded sounds (the source and its aliases) still use them.
struct SampleShare {
  Sound owner;
  bool owner_is_alias;
  Py_ssize_t users;
};

// Every loaded sound that takes part in a share, by its raylib buffer. The
// table is touched only under `shares_lock` (sounds may be released from any
// thread on the free-threaded interpreter).
std::unordered_map<const void*, SampleShare*>* shares = nullptr;
PyMutex shares_lock = {};

struct SharesGuard {
  SharesGuard() { PyMutex_Lock(&shares_lock); }
  ~SharesGuard() { PyMutex_Unlock(&shares_lock); }
  SharesGuard(const SharesGuard&) = delete;
  SharesGuard& operator=(const SharesGuard&) = delete;
};

void unload_raw(const Sound& s, bool alias) noexcept {
  if (alias)
    UnloadSoundAlias(s);
  else
    UnloadSound(s);
}

// Releases a loaded raylib sound made by this module (alias or not).
void release_raw(const Sound& raw, bool alias) noexcept {
  SharesGuard guard;
  auto it = shares->find(raw.stream.buffer);
  if (it == shares->end()) {
    unload_raw(raw, alias);
    return;
  }
  SampleShare* share = it->second;
  shares->erase(it);
  if (share->owner.stream.buffer == raw.stream.buffer) {
    // The source itself: silence it now, free it with the last alias.
    StopSound(raw);
  } else {
    // An alias frees its own buffer only; the samples stay.
    UnloadSoundAlias(raw);
  }
  if (--share->users == 0) {
    unload_raw(share->owner, share->owner_is_alias);
    delete share;
  }
}

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

// An alias of `source`, a loaded sound, registered in its source's share.
// Returns false with MemoryError set (and nothing left behind) on failure.
bool make_alias(const Sound& source, bool source_is_alias, Sound* out) noexcept {
  SharesGuard guard;
  try {
    auto [it, fresh] = shares->try_emplace(source.stream.buffer, nullptr);
    if (fresh) {
      try {
        it->second = new SampleShare{source, source_is_alias, 1};
      } catch (...) {
        shares->erase(it);
        throw;
      }
    }
    SampleShare* share = it->second;
    Sound alias = LoadSoundAlias(source);
    if (alias.stream.buffer) {
      try {
        shares->emplace(alias.stream.buffer, share);
      } catch (...) {
        UnloadSoundAlias(alias);
        throw;
      }
      ++share->users;
    }
    *out = alias;
    return true;
  } catch (...) {
    PyErr_NoMemory();
    return false;
  }
}

// ------------------------------------------------------------------ creation

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
PyObject* vectorcall(PyObject* t, PyObject* const*, size_t, PyObject*) {
  return alloc_empty(reinterpret_cast<PyTypeObject*>(t));
}

PyObject* new_(Sound raw, tarvex_SoundAliasArg* opt) {
  int is_alias = (opt && opt->count > 0) ? opt->is_alias : 0;
  Ref o(alloc_empty(&type));
  if (!o) {
    if (raw.stream.buffer) release_raw(raw, is_alias != 0);
    traceback("new");
    return nullptr;
  }
  Obj* s = as(o.get());
  s->_raw = raw;
  s->_is_alias = is_alias;
  s->_volume = 1.0f;
  s->_pitch = 1.0f;
  s->_pan = 0.5f;
  PyObject* stream = stream_vt->cfrom_struct(raw.stream, nullptr);
  if (!stream) {
    traceback("new");
    return nullptr;  // dropping the sound releases what it holds
  }
  Py_SETREF(s->_stream, stream);
  return o.release();
}

void c_unload(Obj* self) { release(self); }

// ------------------------------------------------------------------ methods

// The package's file-name rule: exactly a str (None names the missing
// `encode`), encoded to UTF-8 (strict). The pointer stays valid while the
// str lives, since the str caches its encoding.
const char* file_name_arg(PyObject* o) {
  if (o == Py_None) {
    PyErr_Format(PyExc_AttributeError, "'NoneType' object has no attribute '%.30s'", "encode");
    return nullptr;
  }
  if (!PyUnicode_CheckExact(o)) {
    rt::arg_type_error("file_name", "str", o);
    return nullptr;
  }
  Py_ssize_t len;
  const char* s = PyUnicode_AsUTF8AndSize(o, &len);
  if (!s) return nullptr;
  // raylib stops at the first NUL: a name cut short there would silently
  // name another file.
  if (std::strlen(s) != static_cast<size_t>(len)) {
    PyErr_SetString(PyExc_ValueError, "embedded null character in file_name");
    return nullptr;
  }
  return s;
}

const char* const kLoadNames[] = {"file_name"};
const rt::Params kLoadParams{"load", kLoadNames, 1, 1};

PyObject* py_load(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* a[1];
  if (!rt::bind_fast(kLoadParams, args, nargs, kwnames, a)) {
    traceback("load");
    return nullptr;
  }
  const char* name = file_name_arg(a[0]);
  if (!name) {
    traceback("load");
    return nullptr;
  }
  tarvex_SoundAliasArg opt{1, 0};
  PyObject* r = vtable.new_(LoadSound(name), &opt);
  if (!r) traceback("load");
  return r;
}

const char* const kAliasNames[] = {"source"};
const rt::Params kAliasParams{"load_alias", kAliasNames, 1, 1};

PyObject* py_load_alias(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* a[1];
  if (!rt::bind_fast(kAliasParams, args, nargs, kwnames, a)) {
    traceback("load_alias");
    return nullptr;
  }
  // None carries no sound: refused like any other non-Sound.
  if (!is_sound(a[0])) {
    rt::arg_type_error("source", kFullName, a[0]);
    traceback("load_alias");
    return nullptr;
  }
  Obj* src = as(a[0]);
  Sound alias{};
  // raylib's LoadSoundAlias dereferences the source's buffer: a source that
  // is not loaded gives an invalid alias without calling it.
  if (src->_raw.stream.buffer && !make_alias(src->_raw, src->_is_alias != 0, &alias)) {
    traceback("load_alias");
    return nullptr;
  }
  tarvex_SoundAliasArg opt{1, 1};
  PyObject* r = vtable.new_(alias, &opt);
  if (!r) traceback("load_alias");
  return r;
}

// The methods without parameters: each hands the sound to one raylib call
// (unload goes through the C table). None tests whether the sound is loaded;
// raylib ignores a null buffer.
template <const char* Name, void (*Act)(Sound)>
PyObject* py_action(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!rt::no_args(Name, nargs, kwnames)) {
    traceback(Name);
    return nullptr;
  }
  Act(as(self)->_raw);
  Py_RETURN_NONE;
}

constexpr char kPlay[] = "play", kStop[] = "stop", kPause[] = "pause", kResume[] = "resume",
               kUnload[] = "unload";

PyObject* py_unload(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!rt::no_args(kUnload, nargs, kwnames)) {
    traceback(kUnload);
    return nullptr;
  }
  vtable.c_unload(as(self));
  Py_RETURN_NONE;
}

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

const char* const kUpdateNames[] = {"data", "frame_count"};
const rt::Params kUpdateParams{"update", kUpdateNames, 2, 2};

PyObject* update_impl(Obj* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* a[2];
  if (!rt::bind_fast(kUpdateParams, args, nargs, kwnames, a)) return nullptr;
  int frames;
  if (!rt::to_c_int(a[1], &frames)) return nullptr;
  Py_buffer view;
  if (!get_buffer(a[0], &view)) return nullptr;
  bool ok = true;
  if (frames < 0) {
    PyErr_Format(PyExc_ValueError, "frame_count must not be negative (got %d)", frames);
    ok = false;
  } else if (self->_raw.stream.buffer) {
    ok = check_update(self->_raw, frames, view.len);
    if (ok) UpdateSound(self->_raw, view.buf, frames);
  }
  PyBuffer_Release(&view);
  if (!ok) return nullptr;
  Py_RETURN_NONE;
}

PyObject* py_update(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* r = update_impl(as(self), args, nargs, kwnames);
  if (!r) traceback("update");
  return r;
}

constexpr int kMethod = METH_FASTCALL | METH_KEYWORDS;
constexpr int kStatic = METH_STATIC | kMethod;

PyMethodDef methods[] = {
    {"load", rt::cfunc(py_load), kStatic, "load(file_name)\n--\n\nload(file_name) -> Sound"},
    {"load_alias", rt::cfunc(py_load_alias), kStatic,
     "load_alias(source)\n--\n\nload_alias(source) -> Sound"},
    {kPlay, rt::cfunc(py_action<kPlay, PlaySound>), kMethod, "play($self)\n--\n\nplay() -> None"},
    {kStop, rt::cfunc(py_action<kStop, StopSound>), kMethod, "stop($self)\n--\n\nstop() -> None"},
    {kPause, rt::cfunc(py_action<kPause, PauseSound>), kMethod,
     "pause($self)\n--\n\npause() -> None"},
    {kResume, rt::cfunc(py_action<kResume, ResumeSound>), kMethod,
     "resume($self)\n--\n\nresume() -> None"},
    {kUnload, rt::cfunc(py_unload), kMethod, "unload($self)\n--\n\nunload() -> None"},
    {"update", rt::cfunc(py_update), kMethod,
     "update($self, data, frame_count)\n--\n\nupdate(data, frame_count) -> None"},
    {nullptr, nullptr, 0, nullptr},
};

// --------------------------------------------------------------- properties

PyObject* get_valid(PyObject* o, void*) {
  const Sound& s = as(o)->_raw;
  return PyBool_FromLong(s.stream.buffer != nullptr && IsSoundValid(s));
}
PyObject* get_is_alias(PyObject* o, void*) { return PyBool_FromLong(as(o)->_is_alias != 0); }
PyObject* get_frame_count(PyObject* o, void*) {
  return PyLong_FromUnsignedLong(as(o)->_raw.frameCount);
}
PyObject* get_stream(PyObject* o, void*) { return Py_NewRef(as(o)->_stream); }
PyObject* get_playing(PyObject* o, void*) { return PyBool_FromLong(IsSoundPlaying(as(o)->_raw)); }

// A float property stored as a 32-bit float and handed to raylib on write.
template <float Obj::* Field, void (*Set)(Sound, float)>
struct FloatProperty {
  static PyObject* get(PyObject* o, void*) {
    return PyFloat_FromDouble(static_cast<double>(as(o)->*Field));
  }
  static int set(PyObject* o, PyObject* value, void* name) {
    double d;
    if (!value) {
      rt::property_deletion_error();
    } else if (rt::to_double(value, &d)) {
      float f = rt::narrow(d);
      as(o)->*Field = f;
      Set(as(o)->_raw, f);
      return 0;
    }
    traceback(static_cast<const char*>(name));
    return -1;
  }
};

using Volume = FloatProperty<&Obj::_volume, SetSoundVolume>;
using Pitch = FloatProperty<&Obj::_pitch, SetSoundPitch>;
using Pan = FloatProperty<&Obj::_pan, SetSoundPan>;

char kVolumeSet[] = "volume.__set__";
char kPitchSet[] = "pitch.__set__";
char kPanSet[] = "pan.__set__";

PyGetSetDef getsets[] = {
    {"valid", get_valid, nullptr, nullptr, nullptr},
    {"is_alias", get_is_alias, nullptr, nullptr, nullptr},
    {"frame_count", get_frame_count, nullptr, nullptr, nullptr},
    {"stream", get_stream, nullptr, nullptr, nullptr},
    {"playing", get_playing, nullptr, nullptr, nullptr},
    {"volume", Volume::get, Volume::set, nullptr, kVolumeSet},
    {"pitch", Pitch::get, Pitch::set, nullptr, kPitchSet},
    {"pan", Pan::get, Pan::set, nullptr, kPanSet},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------- the type

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
  PyObject* exc = PyErr_GetRaisedException();
  release(as(o));
  Py_CLEAR(as(o)->_stream);
  PyErr_SetRaisedException(exc);
  Py_TYPE(o)->tp_free(o);
}

int constants() {
  try {
    if (!shares) shares = new std::unordered_map<const void*, SampleShare*>();
  } catch (...) {
    PyErr_NoMemory();
    return -1;
  }
  vtable.new_ = new_;
  vtable.c_unload = c_unload;
  type.tp_name = kFullName;
  type.tp_basicsize = sizeof(Obj);
  type.tp_itemsize = 0;
  type.tp_dealloc = dealloc;
  type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  type.tp_traverse = traverse;
  type.tp_clear = clear;
  type.tp_methods = methods;
  type.tp_getset = getsets;
  type.tp_new = tp_new;
  type.tp_vectorcall = vectorcall;
  return 0;
}

// raylib logs every file it reads at INFO level; warnings still show.
int body(PyObject*) {
  SetTraceLogLevel(LOG_WARNING);
  return 0;
}

rt::TypeEntry types[] = {
    {&type, "Sound", &vtable, rt::PickleRefusal<kPickleMessage, kFullName, kFile>::defs}};
rt::Sibling siblings[] = {
    {"tarvex.audio_stream.audio_stream", "AudioStream", sizeof(tarvex_AudioStreamObject),
     &stream_type, reinterpret_cast<void**>(&stream_vt)},
};
rt::Module module_frame({"sound", "tarvex.sound.sound", kFile, types, 1, siblings, 1, constants,
                         body});

}  // namespace

PyMODINIT_FUNC PyInit_sound() { return module_frame.init(); }
