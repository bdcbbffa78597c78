// The C library symbols that src/tarvex/_runtime/libc_compat.cpp defines for
// modules linked against a glibc older than their C++ runtime.
#pragma once

#include <dlfcn.h>
#include <features.h>
#include <stdlib.h>

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

// Declared here where the C library's headers do not declare them.
// NOLINTBEGIN(bugprone-reserved-identifier): glibc's own names.
TARVEX_COMPAT char __libc_single_threaded;
// (glibc 2.38 and later only rename strtoul to it.)
TARVEX_COMPAT unsigned long __isoc23_strtoul(const char* s, char** end, int base) noexcept;
#if !__GLIBC_PREREQ(2, 36)
TARVEX_COMPAT uint32_t arc4random() noexcept;
#endif
#if !__has_include(<bits/dl_find_object.h>)
TARVEX_COMPAT int _dl_find_object(void* pc, dl_find_object* out) noexcept;
#endif
// NOLINTEND(bugprone-reserved-identifier)
