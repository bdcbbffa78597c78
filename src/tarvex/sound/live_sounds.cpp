// Inside tarvex.sound.sound: the table of loaded sounds.
#include "tarvex/sound/live_sounds.h"

#include <new>
#include <unordered_set>

namespace tarvex::sound {

namespace {

// Touched only under `live_lock` (sounds may be released from any thread
// on the free-threaded interpreter).
std::unordered_set<tarvex_SoundObject*>* live = nullptr;
PyMutex live_lock = {};

struct LiveGuard {
  LiveGuard() { PyMutex_Lock(&live_lock); }
  ~LiveGuard() { PyMutex_Unlock(&live_lock); }
  LiveGuard(const LiveGuard&) = delete;
  LiveGuard& operator=(const LiveGuard&) = delete;
};

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
  LiveGuard guard;
  try {
    live->insert(s);
  } catch (...) {
    PyErr_NoMemory();
    return false;
  }
  return true;
}

void forget_live(tarvex_SoundObject* s) noexcept {
  LiveGuard guard;
  live->erase(s);
}

// One at a time, each taken out of the table first, and the lock not held
// while raylib runs.
void release_live(void (*release)(tarvex_SoundObject*)) noexcept {
  for (;;) {
    tarvex_SoundObject* s;
    {
      LiveGuard guard;
      if (live->empty()) return;
      s = *live->begin();
      live->erase(live->begin());
    }
    release(s);
  }
}

}  // namespace tarvex::sound
