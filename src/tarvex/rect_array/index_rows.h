// Inside tarvex.rect_array.rect_array: the results of the collision
// queries, runs of int64 indices handed out as memoryviews that numpy views
// without copying (format "q": one index per row, or pairs shaped (k, 2)).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "tarvex/rect_array/broadphase.h"

namespace tarvex::rect_array {

// Readies the (unexported) type that owns a result's storage; -1 with the
// exception set.
int ready_index_rows();

// A new memoryview over the values of `run`, which it takes over: shaped
// (size,) with columns 1, or (size / 2, 2) with columns 2. Null with the
// exception set.
PyObject* index_view(Int64Run& run, int columns);

}  // namespace tarvex::rect_array
