// Inside tarvex.sound.sound: the bookkeeping of samples shared by aliases.
//
// Aliases share their source's sample data inside raylib. So that no alias
// ever plays freed samples, every source that has been aliased gets a shared
// record counting the sounds that use its samples (the source while it is
// loaded, and each live alias). Releasing the source while aliases live only
// stops it; the samples go with the last user.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <raylib.h>

namespace tarvex::sound {

// Makes the (empty) table of shares, once; -1 with MemoryError on failure.
int make_sample_shares();

// Releases a loaded raylib sound made by this module (alias or not).
void release_raw(const Sound& raw, bool alias) noexcept;

// An alias of `source`, a loaded sound, registered in its source's share.
// Returns false with MemoryError set (and nothing left behind) on failure.
bool make_alias(const Sound& source, bool source_is_alias, Sound* out) noexcept;

}  // namespace tarvex::sound
