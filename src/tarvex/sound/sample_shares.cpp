// Inside tarvex.sound.sound: the samples shared by aliases, counted per
// aliased source.
#include "tarvex/sound/sample_shares.h"

#include <new>
#include <unordered_map>

#include "tarvex/_runtime/ref.h"

namespace tarvex::sound {

namespace {

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

void unload_raw(const Sound& s, bool alias) noexcept {
  if (alias)
    UnloadSoundAlias(s);
  else
    UnloadSound(s);
}

}  // namespace

int make_sample_shares() {
  try {
    if (!shares) shares = new std::unordered_map<const void*, SampleShare*>();
  } catch (...) {
    PyErr_NoMemory();
    return -1;
  }
  return 0;
}

void release_raw(const Sound& raw, bool alias) noexcept {
  rt::MutexLock guard(&shares_lock);
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

bool make_alias(const Sound& source, bool source_is_alias, Sound* out) noexcept {
  rt::MutexLock guard(&shares_lock);
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

}  // namespace tarvex::sound
