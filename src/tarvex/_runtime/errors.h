// Errors of the tarvex runtime: traceback entries and the package's fixed
// messages for argument, property and subscript refusals.
#pragma once

#include "tarvex/_runtime/compat.h"

namespace tarvex::rt {

// Where a type's code lives, for its traceback entries: the qualified path
// ("tarvex.rect.rect.Rect") and the source path ("src/tarvex/rect/rect").
struct Where {
  const char* path;
  const char* file;
};

// Adds the traceback entry "<prefix>.<name>" (or "<prefix>" when name is
// null) in file `file` to the pending exception; nothing when none is
// pending.
void add_traceback(const char* prefix, const char* name, const char* file);

// The entry "<type path>.<name>" of a type's code.
inline void add_traceback(const Where& w, const char* name) { add_traceback(w.path, name, w.file); }

// TypeError "Argument 'param' has incorrect type (expected E, got T)".
void arg_type_error(const char* param, const char* expected, PyObject* got);

// NotImplementedError "__del__" for deleting a writable property.
int property_deletion_error();
// NotImplementedError "Subscript deletion not supported by <type>".
int subscript_deletion_error(PyTypeObject* type);

// TypeError "<fname>() got an unexpected keyword argument '<kw>'".
void unexpected_keyword(const char* fname, PyObject* kw);

// For a tp_init that takes no keywords: true, with the unexpected-keyword
// TypeError for the first one set, when `kwds` holds any.
bool keywords_refused(const char* fname, PyObject* kwds);

// TypeError "Cannot convert <type of r> to <expected>" unless `r` is None
// or an instance of `expected`; consumes `r` on failure. For results of
// overriding methods that must be of the entry's type.
PyObject* expect_instance(PyObject* r, PyTypeObject* expected);

}  // namespace tarvex::rt
