# The toolchain of the wheel builds: GCC for TARVEX_TRIPLET (this machine's
# own or aarch64-linux-gnu), compiling and linking against the sysroot
# TARVEX_SYSROOT that tools/make-sysroot makes. Both come from the cache or,
# for the builds that scikit-build-core runs, from the environment.
foreach(var TARVEX_SYSROOT TARVEX_TRIPLET)
  if(NOT DEFINED ${var} AND DEFINED ENV{${var}})
    set(${var} "$ENV{${var}}")
  endif()
  if(NOT ${var})
    message(FATAL_ERROR "toolchain.cmake needs ${var}")
  endif()
endforeach()
# try_compile projects see the same two.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARVEX_SYSROOT TARVEX_TRIPLET)

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${TARVEX_TRIPLET}")
execute_process(COMMAND uname -m OUTPUT_VARIABLE _host OUTPUT_STRIP_TRAILING_WHITESPACE)
if(_host STREQUAL CMAKE_SYSTEM_PROCESSOR)
  set(CMAKE_C_COMPILER gcc)
  set(CMAKE_CXX_COMPILER g++)
else()
  set(CMAKE_C_COMPILER ${TARVEX_TRIPLET}-gcc)
  set(CMAKE_CXX_COMPILER ${TARVEX_TRIPLET}-g++)
endif()
set(CMAKE_SYSROOT "${TARVEX_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH "${TARVEX_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_LIBRARY_ARCHITECTURE ${TARVEX_TRIPLET})
# GCC searches its own installation's library directories (the build
# system's C library, or the cross compiler's) before the sysroot's: the
# sysroot's come first. (The linker applies every -L to every -l, wherever
# they stand.)
set(_tarvex_libdirs "-L${TARVEX_SYSROOT}/usr/lib/${TARVEX_TRIPLET} -L${TARVEX_SYSROOT}/lib/${TARVEX_TRIPLET}")
set(CMAKE_C_STANDARD_LIBRARIES "${_tarvex_libdirs}")
set(CMAKE_CXX_STANDARD_LIBRARIES "${_tarvex_libdirs}")
