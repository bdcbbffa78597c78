// Shared by the modules that call raylib.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <raylib.h>

namespace tarvex {

// The module body of a module that calls raylib: raylib logs every file it
// reads and every stream it makes at INFO level; warnings still show.
inline int quiet_raylib_log(PyObject*) {
  SetTraceLogLevel(LOG_WARNING);
  return 0;
}

}  // namespace tarvex
