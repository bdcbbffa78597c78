// What the static C++ runtime expects of the C library beyond glibc 2.31.
//
// The wheels are linked against an old glibc (see tools/make-sysroot) so that
// they install on old systems, but the libstdc++ and libgcc linked into every
// module were built against a current one and refer to a few of its newer
// symbols. Each module carries these definitions, hidden; the linker binds the
// runtime's references to them instead of leaving them for a C library that
// may not have them. They do what glibc's do, with what 2.31 offers.
//
// They are hidden like everything else here (-fvisibility=hidden, and each
// module exports its entry point only). Built against a current glibc (the
// test helper that compares them with glibc's own), its headers declare the
// same functions, noexcept.
#include "tarvex/_runtime/libc_compat.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/random.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// NOLINTBEGIN(bugprone-reserved-identifier): glibc's own names.
// strtoul itself: a current glibc's headers rename strtoul to
// __isoc23_strtoul for C++, which would make the one below call itself.
extern "C" unsigned long tarvex_plain_strtoul(const char*, char**, int) noexcept __asm__("strtoul");

// glibc 2.32: nonzero while the process has one thread, letting libstdc++
// skip atomic operations. Zero is always correct (atomics are always taken).
extern "C" {
char __libc_single_threaded = 0;
}

// glibc 2.38 (C23): strtoul that also reads a 0b/0B prefix for base 0 or 2.
TARVEX_COMPAT unsigned long __isoc23_strtoul(const char* s, char** end, int base) noexcept {
  if (base == 0 || base == 2) {
    const char* p = s;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B') && (p[2] == '0' || p[2] == '1')) {
      errno = 0;
      char* stop = nullptr;
      unsigned long value = tarvex_plain_strtoul(p + 2, &stop, 2);
      if (end) *end = stop;
      if (errno == ERANGE) return value;
      return negative ? 0UL - value : value;
    }
  }
  return tarvex_plain_strtoul(s, end, base);
}

// glibc 2.36: random words from the kernel (std::random_device). Never fails.
TARVEX_COMPAT uint32_t arc4random() noexcept {
  uint32_t word = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&word);
  std::size_t got = 0;
  while (got < sizeof word) {
    ssize_t n = getrandom(bytes + got, sizeof word - got, 0);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == ENOSYS) {
      // Kernels before 3.17.
      int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
      if (fd < 0) std::abort();
      while (got < sizeof word) {
        ssize_t r = read(fd, bytes + got, sizeof word - got);
        if (r > 0) {
          got += static_cast<std::size_t>(r);
        } else if (r == 0 || errno != EINTR) {
          std::abort();
        }
      }
      close(fd);
    } else if (n < 0 && errno != EINTR) {
      std::abort();
    }
  }
  return word;
}

// glibc 2.35: the unwinder asks which loaded object holds an address and
// where its unwind table (PT_GNU_EH_FRAME) is; it finds no frame if this
// fails, so the answer comes from dl_iterate_phdr, as before 2.35.
namespace {

struct Lookup {
  std::uintptr_t pc;
  dl_find_object* out;
};

int find_object(dl_phdr_info* info, std::size_t, void* data) {
  auto* lookup = static_cast<Lookup*>(data);
  std::uintptr_t lo = UINTPTR_MAX, hi = 0;
  const ElfW(Phdr)* eh = nullptr;
  bool inside = false;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) & ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD) {
      std::uintptr_t start = info->dlpi_addr + ph.p_vaddr, stop = start + ph.p_memsz;
      if (start < lo) lo = start;
      if (stop > hi) hi = stop;
      if (lookup->pc >= start && lookup->pc < stop) inside = true;
    } else if (ph.p_type == PT_GNU_EH_FRAME) {
      eh = &ph;
    }
  }
  if (!inside) return 0;
  // The loader gives addresses as integers.
  // NOLINTBEGIN(performance-no-int-to-ptr)
  *lookup->out = dl_find_object{};
  lookup->out->dlfo_map_start = reinterpret_cast<void*>(lo);
  lookup->out->dlfo_map_end = reinterpret_cast<void*>(hi);
  lookup->out->dlfo_eh_frame =
      eh ? reinterpret_cast<void*>(info->dlpi_addr + eh->p_vaddr) : nullptr;
  // NOLINTEND(performance-no-int-to-ptr)
  return 1;
}

}  // namespace

TARVEX_COMPAT int _dl_find_object(void* pc, dl_find_object* out) noexcept {
  Lookup lookup{reinterpret_cast<std::uintptr_t>(pc), out};
  return dl_iterate_phdr(find_object, &lookup) == 1 ? 0 : -1;
}
// NOLINTEND(bugprone-reserved-identifier)
