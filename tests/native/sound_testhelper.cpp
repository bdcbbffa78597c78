// Test-only module that binds Sound and AudioStream the way a sibling module
// does, reads their instance layouts and calls their C method tables.
#include <cstddef>
#include <mutex>
#include <vector>

#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/audio_stream/audio_stream.h"
#include "tarvex/sound/sound.h"

namespace {

namespace rt = tarvex::rt;

PyTypeObject* sound_type;
PyTypeObject* stream_type;
tarvex_SoundVTable* sound_vt;
tarvex_AudioStreamVTable* stream_vt;

rt::Sibling siblings[] = {
    {"tarvex.audio_stream.audio_stream", "AudioStream", sizeof(tarvex_AudioStreamObject),
     &stream_type, reinterpret_cast<void**>(&stream_vt)},
    {"tarvex.sound.sound", "Sound", sizeof(tarvex_SoundObject), &sound_type,
     reinterpret_cast<void**>(&sound_vt)},
};

bool check(PyObject* o, PyTypeObject* t, const char* what) {
  if (PyObject_TypeCheck(o, t)) return true;
  rt::arg_type_error(what, t->tp_name, o);
  return false;
}

bool nargs_is(Py_ssize_t n, Py_ssize_t want, const char* usage) {
  if (n == want) return true;
  PyErr_Format(PyExc_TypeError, "usage: %s", usage);
  return false;
}

void set_value(tarvex_SoundAliasArg* r, int v) { r->is_alias = v; }
void set_value(tarvex_AudioStreamOwnerArg* r, int v) { r->is_owner = v; }

// An optional-argument record from None (a null record) or (count, value).
template <class Record>
bool record_arg(PyObject* o, Record* rec, Record** out) {
  if (o == Py_None) {
    *out = nullptr;
    return true;
  }
  if (!PyTuple_Check(o) || PyTuple_GET_SIZE(o) != 2) {
    PyErr_SetString(PyExc_TypeError, "record must be None or (count, value)");
    return false;
  }
  int a, b;
  if (!rt::to_c_int(PyTuple_GET_ITEM(o, 0), &a) || !rt::to_c_int(PyTuple_GET_ITEM(o, 1), &b))
    return false;
  rec->count = a;
  set_value(rec, b);
  *out = rec;
  return true;
}

PyObject* addr(const void* p) { return PyLong_FromVoidPtr(const_cast<void*>(p)); }

// sound_fields(sound) -> (vtab, buffer, processor, sampleRate, sampleSize,
// channels, frameCount, _is_alias, _volume, _pitch, _pan, _stream)
PyObject* sound_fields(PyObject*, PyObject* o) {
  if (!check(o, sound_type, "sound")) return nullptr;
  auto* s = reinterpret_cast<tarvex_SoundObject*>(o);
  const Sound& r = s->_raw;
  return Py_BuildValue("(NNNkkkkidddO)", addr(s->__pyx_vtab), addr(r.stream.buffer),
                       addr(r.stream.processor), static_cast<unsigned long>(r.stream.sampleRate),
                       static_cast<unsigned long>(r.stream.sampleSize),
                       static_cast<unsigned long>(r.stream.channels),
                       static_cast<unsigned long>(r.frameCount), s->_is_alias,
                       static_cast<double>(s->_volume), static_cast<double>(s->_pitch),
                       static_cast<double>(s->_pan), s->_stream);
}

// sound_new(source, record): calls `new` with the raylib value moved out of
// `source` (which is left without a buffer), or an all-zero value for None.
PyObject* sound_new(PyObject*, PyObject* const* args, Py_ssize_t n) {
  if (!nargs_is(n, 2, "sound_new(source_or_None, record)")) return nullptr;
  Sound raw{};
  tarvex_SoundAliasArg rec, *recp;
  if (!record_arg(args[1], &rec, &recp)) return nullptr;
  if (args[0] != Py_None) {
    if (!check(args[0], sound_type, "source")) return nullptr;
    auto* src = reinterpret_cast<tarvex_SoundObject*>(args[0]);
    raw = src->_raw;
    src->_raw.stream.buffer = nullptr;
  }
  return sound_vt->new_(raw, recp);
}

PyObject* sound_c_unload(PyObject*, PyObject* o) {
  if (!check(o, sound_type, "sound")) return nullptr;
  sound_vt->c_unload(reinterpret_cast<tarvex_SoundObject*>(o));
  Py_RETURN_NONE;
}

// stream_fields(stream) -> (vtab, buffer, processor, sampleRate, sampleSize,
// channels, is_owner)
PyObject* stream_fields(PyObject*, PyObject* o) {
  if (!check(o, stream_type, "stream")) return nullptr;
  auto* s = reinterpret_cast<tarvex_AudioStreamObject*>(o);
  const AudioStream& r = s->_raw;
  return Py_BuildValue("(NNNkkki)", addr(s->__pyx_vtab), addr(r.buffer), addr(r.processor),
                       static_cast<unsigned long>(r.sampleRate),
                       static_cast<unsigned long>(r.sampleSize),
                       static_cast<unsigned long>(r.channels), s->is_owner);
}

// stream_cfrom_struct(source, record): calls `cfrom_struct` with the value of
// the AudioStream `source` (moved out of it, so that ownership passes on), or
// with (sample_rate, sample_size, channels) and no buffer.
PyObject* stream_cfrom_struct(PyObject*, PyObject* const* args, Py_ssize_t n) {
  if (!nargs_is(n, 2, "stream_cfrom_struct(source_or_format, record)")) return nullptr;
  AudioStream raw{};
  tarvex_AudioStreamOwnerArg rec, *recp;
  if (!record_arg(args[1], &rec, &recp)) return nullptr;
  if (PyTuple_Check(args[0])) {
    unsigned int v[3];
    if (PyTuple_GET_SIZE(args[0]) != 3) {
      PyErr_SetString(PyExc_TypeError, "format is (sample_rate, sample_size, channels)");
      return nullptr;
    }
    for (int i = 0; i < 3; ++i) {
      unsigned long x = PyLong_AsUnsignedLong(PyTuple_GET_ITEM(args[0], i));
      if (x == static_cast<unsigned long>(-1) && PyErr_Occurred()) return nullptr;
      v[i] = static_cast<unsigned int>(x);
    }
    raw.sampleRate = v[0];
    raw.sampleSize = v[1];
    raw.channels = v[2];
  } else {
    if (!check(args[0], stream_type, "source")) return nullptr;
    auto* src = reinterpret_cast<tarvex_AudioStreamObject*>(args[0]);
    raw = src->_raw;
    src->_raw.buffer = nullptr;
  }
  return stream_vt->cfrom_struct(raw, recp);
}

PyObject* stream_new(PyObject*, PyObject* const* args, Py_ssize_t n) {
  if (!nargs_is(n, 3, "stream_new(sample_rate, sample_size, channels)")) return nullptr;
  int v[3];
  for (int i = 0; i < 3; ++i)
    if (!rt::to_c_int(args[i], &v[i])) return nullptr;
  return stream_vt->new_(v[0], v[1], v[2]);
}

PyObject* stream_c_unload(PyObject*, PyObject* o) {
  if (!check(o, stream_type, "stream")) return nullptr;
  stream_vt->c_unload(reinterpret_cast<tarvex_AudioStreamObject*>(o));
  Py_RETURN_NONE;
}

// A raylib audio processor that records the first frames it is given
// (stereo 32-bit floats, as raylib mixes them). raylib calls it on its audio
// thread with its own lock held, so it takes no Python lock; attach it with
// raylib's AttachAudioStreamProcessor through ctypes.
std::mutex capture_lock;
std::vector<float> captured;
std::size_t capture_limit = 0;

extern "C" void capture_process(void* data, unsigned int frames) {
  std::lock_guard<std::mutex> g(capture_lock);
  const float* f = static_cast<const float*>(data);
  std::size_t room = capture_limit > captured.size() ? capture_limit - captured.size() : 0;
  std::size_t n = static_cast<std::size_t>(frames) * 2;
  captured.insert(captured.end(), f, f + (n < room ? n : room));
}

PyObject* capture_address(PyObject*, PyObject*) {
  return PyLong_FromVoidPtr(reinterpret_cast<void*>(&capture_process));
}

// capture_start(frames): forget what was recorded and record up to `frames`.
PyObject* capture_start(PyObject*, PyObject* o) {
  Py_ssize_t n = PyLong_AsSsize_t(o);
  if (n < 0) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "frames must not be negative");
    return nullptr;
  }
  std::lock_guard<std::mutex> g(capture_lock);
  captured.clear();
  capture_limit = static_cast<std::size_t>(n) * 2;
  try {
    captured.reserve(capture_limit);
  } catch (...) {
    return PyErr_NoMemory();
  }
  Py_RETURN_NONE;
}

// capture_read() -> bytes of the samples recorded so far.
PyObject* capture_read(PyObject*, PyObject*) {
  std::lock_guard<std::mutex> g(capture_lock);
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(captured.data()),
                                   static_cast<Py_ssize_t>(captured.size() * sizeof(float)));
}

// The table addresses bound at import.
PyObject* vtables(PyObject*, PyObject*) {
  return Py_BuildValue("(NN)", addr(sound_vt), addr(stream_vt));
}

#define FAST(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f))

PyMethodDef methods[] = {
    {"sound_fields", sound_fields, METH_O, nullptr},
    {"sound_new", FAST(sound_new), METH_FASTCALL, nullptr},
    {"sound_c_unload", sound_c_unload, METH_O, nullptr},
    {"stream_fields", stream_fields, METH_O, nullptr},
    {"stream_cfrom_struct", FAST(stream_cfrom_struct), METH_FASTCALL, nullptr},
    {"stream_new", FAST(stream_new), METH_FASTCALL, nullptr},
    {"stream_c_unload", stream_c_unload, METH_O, nullptr},
    {"vtables", vtables, METH_NOARGS, nullptr},
    {"capture_address", capture_address, METH_NOARGS, nullptr},
    {"capture_start", capture_start, METH_O, nullptr},
    {"capture_read", capture_read, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int body(PyObject* module) { return PyModule_AddFunctions(module, methods); }

rt::Module module_frame("_sound_testhelper", {.siblings = siblings,
                                              .body = body,
                                              .full_name = "_sound_testhelper",
                                              .file = "tests/native/sound_testhelper"});

}  // namespace

PyMODINIT_FUNC PyInit__sound_testhelper() { return module_frame.init(); }
