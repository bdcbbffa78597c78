/* Declarations of tarvex.audio_device.audio_device.AudioDevice shared with
 * sibling modules: the instance layout and the C method table published in
 * __pyx_vtable__. raylib has one audio device per process; a handle opens
 * it, and closes it only if that handle opened it. */
#ifndef TARVEX_AUDIO_DEVICE_H
#define TARVEX_AUDIO_DEVICE_H

#include <Python.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tarvex_AudioDeviceObject;

/* Entries in slot order. Object results are new references, or null with an
 * exception set. */
struct tarvex_AudioDeviceVTable {
  /* 0: a new handle; nothing is opened */
  PyObject* (*new_)(void);
  /* 1: opens raylib's audio device unless it is open already (the handle
   * then does not own it); returns the handle, or null with RuntimeError
   * when raylib cannot open a device */
  PyObject* (*open)(struct tarvex_AudioDeviceObject* self);
  /* 2: closes the device if this handle opened it and it is still open,
   * first running the release hooks; otherwise nothing */
  void (*close)(struct tarvex_AudioDeviceObject* self);
  /* 3: whether raylib's audio device is open, whoever opened it */
  int (*is_ready)(void);
  /* 4: raylib's master volume, from 0 to 1 (0 while no device is open) */
  float (*get_master_volume)(void);
  /* 5: sets it; 0, or -1 with ValueError for a volume outside [0, 1] (NaN
   * included) or RuntimeError while no device is open */
  int (*set_master_volume)(double volume);
  /* 6: `release` runs before a handle closes the device, so that a module
   * holding raylib audio buffers can release them while raylib's mixer
   * still exists (raylib's unload functions lock it). 0, or -1 with
   * MemoryError. A module registers once, at exec time. */
  int (*add_release_hook)(void (*release)(void));
};

struct tarvex_AudioDeviceObject {
  PyObject_HEAD struct tarvex_AudioDeviceVTable* __pyx_vtab;
  /* non-zero while this handle owns the open device */
  int owns_device;
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_AUDIO_DEVICE_H */
