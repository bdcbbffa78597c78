/* Declarations of tarvex.sound.sound.Sound shared with sibling modules: the
 * instance layout and the C method table published in __pyx_vtable__. */
#ifndef TARVEX_SOUND_H
#define TARVEX_SOUND_H

#include <Python.h>
#include <raylib.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_SoundObject;

/* Optional argument of new_: `count` optional values supplied (0 or 1), then
 * the value. A null record or a count of 0 means 0 (not an alias). */
struct tarvex_SoundAliasArg {
  int count;
  int is_alias;
};

/* Entries in slot order. */
struct tarvex_SoundVTable {
  /* 0: new Sound that owns `sound` (released with UnloadSoundAlias when
   * is_alias is set, UnloadSound otherwise), with volume 1, pitch 1 and
   * pan 0.5. New reference, or null with an exception (the sound is then
   * released). */
  PyObject* (*new_)(Sound sound, struct tarvex_SoundAliasArg* opt);
  /* 1: releases the sound as unload() does. */
  void (*c_unload)(struct tarvex_SoundObject* self);
};

struct tarvex_SoundObject {
  PyObject_HEAD struct tarvex_SoundVTable* __pyx_vtab;
  Sound _raw;
  int _is_alias;
  float _volume;
  float _pitch;
  float _pan;
  PyObject* _stream;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_SOUND_H */
