// The C library symbols that src/tarvex/_runtime/libc_compat.cpp defines for
// modules linked against a glibc older than their C++ runtime.
#pragma once

#include <dlfcn.h>

#include <cstdint>

#define TARVEX_COMPAT extern "C"

// glibc's layout for x86-64 and aarch64 (no eh_dbase or eh_count members);
// a C library from 2.35 on declares it itself.
#if !__has_include(<bits/dl_find_object.h>)
struct dl_find_object {
  unsigned long long dlfo_flags;
  void* dlfo_map_start;
  void* dlfo_map_end;
  struct link_map* dlfo_link_map;
  void* dlfo_eh_frame;
  unsigned long long dlfo_reserved[7];
};
#endif

TARVEX_COMPAT char __libc_single_threaded;
TARVEX_COMPAT unsigned long __isoc23_strtoul(const char* s, char** end, int base) noexcept;
TARVEX_COMPAT uint32_t arc4random() noexcept;
TARVEX_COMPAT int _dl_find_object(void* pc, dl_find_object* out) noexcept;
