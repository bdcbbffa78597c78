// Inside tarvex.sound.sound: the table of loaded sounds.
#include "tarvex/sound/live_sounds.h"

#include <new>
#include <unordered_set>

#include "tarvex/_runtime/ref.h"
#include "tarvex/sound/sound.h"

namespace tarvex::sound {

namespace {

// Touched only under `live_lock` (sounds may be released from any thread
// on the free-threaded interpreter).
std::unordered_set<tarvex_SoundObject*>* live = nullptr;
PyMutex live_lock = {};

}  // namespace

int make_live_sounds() {
  try {
    if (!live) live = new std::unordered_set<tarvex_SoundObject*>();
  } catch (...) {
    PyErr_NoMemory();
    return -1;
  }
  return 0;
}

bool track_live(tarvex_SoundObject* s) {
  rt::MutexLock guard(&live_lock);
  try {
    live->insert(s);
  } catch (...) {
    PyErr_NoMemory();
    return false;
  }
  return true;
}

void forget_live(tarvex_SoundObject* s) noexcept {
  rt::MutexLock guard(&live_lock);
  live->erase(s);
}

// One at a time, each taken out of the table first, and the lock not held
// while raylib runs.
void release_live(void (*release)(tarvex_SoundObject*)) noexcept {
  for (;;) {
    tarvex_SoundObject* s;
    {
      rt::MutexLock guard(&live_lock);
      if (live->empty()) return;
      s = *live->begin();
      live->erase(live->begin());
    }
    release(s);
  }
}

}  // namespace tarvex::sound
