/* Declarations of tarvex.audio_stream.audio_stream.AudioStream shared with
 * sibling modules: the instance layout and the C method table published in
 * __pyx_vtable__. */
#ifndef TARVEX_AUDIO_STREAM_H
#define TARVEX_AUDIO_STREAM_H

#include <Python.h>
#include <raylib.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_AudioStreamObject;

/* Optional argument of cfrom_struct: `count` optional values supplied (0 or
 * 1), then the value. A null record or a count of 0 means not owning. */
struct tarvex_AudioStreamOwnerArg {
  int count;
  int is_owner;
};

/* Entries in slot order. */
struct tarvex_AudioStreamVTable {
  /* 0: new AudioStream holding a copy of `stream`; only an owner ever
   * releases the stream's buffer. New reference, or null with an exception. */
  PyObject* (*cfrom_struct)(AudioStream stream, struct tarvex_AudioStreamOwnerArg* opt);
  /* 1: new owning AudioStream from raylib's LoadAudioStream, or null with
   * ValueError for a format raylib cannot stream. */
  PyObject* (*new_)(int sample_rate, int sample_size, int channels);
  /* 2: an owner releases its buffer (once); a borrower does nothing. */
  void (*c_unload)(struct tarvex_AudioStreamObject* self);
};

/* A Sound's stream is a borrower; the Sound clears `_raw.buffer` when it
 * releases the raylib sound, so a released stream reads as having none. */
struct tarvex_AudioStreamObject {
  PyObject_HEAD struct tarvex_AudioStreamVTable* __pyx_vtab;
  AudioStream _raw;
  int is_owner;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_AUDIO_STREAM_H */
