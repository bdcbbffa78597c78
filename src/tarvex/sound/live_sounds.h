// Inside tarvex.sound.sound: the loaded sounds, so that all of them can be
// released while raylib's audio device is still open.
//
// raylib's mixer lock lives with its audio device: CloseAudioDevice destroys
// it, and UnloadSound, UnloadSoundAlias and the playback calls lock it. An
// AudioDevice that closes the device first has this module release every
// sound in this table (through the hook it registers at exec time), so no
// sound reaches raylib after the mixer is gone.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "tarvex/sound/sound.h"

namespace tarvex::sound {

// Makes the (empty) table, once; -1 with MemoryError on failure.
int make_live_sounds();

// Adds a sound that has just been given a raylib buffer; false with
// MemoryError set on failure.
bool track_live(tarvex_SoundObject* s);

// Removes a sound whose buffer is being released, or that is going away
// (nothing if absent).
void forget_live(tarvex_SoundObject* s) noexcept;

// Takes every tracked sound out of the table and runs release(s) for it,
// until none is left.
void release_live(void (*release)(tarvex_SoundObject*)) noexcept;

}  // namespace tarvex::sound
