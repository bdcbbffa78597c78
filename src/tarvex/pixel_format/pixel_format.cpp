// tarvex.pixel_format.pixel_format: raylib's pixel formats by name, as the
// enumeration PixelFormat (an enum.IntEnum), made from the table in
// pixel_format.h when the module is imported. Its members are ints, so they
// go wherever a format code does and compare equal to `Image.format`.
#include "tarvex/pixel_format/pixel_format.h"

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"

namespace tarvex::pixel_format {

namespace {

using rt::Ref;

constexpr char kModule[] = "tarvex.pixel_format.pixel_format";

struct Member {
  const char* name;
  int value;
};

constexpr Member kMembers[] = {
#define TARVEX_MEMBER(name, bits) {#name, PIXELFORMAT_##name},
    TARVEX_PIXEL_FORMATS(TARVEX_MEMBER)
#undef TARVEX_MEMBER
};

constexpr const char* kDoc = rt::docstring<
    "raylib's pixel formats, named as raylib names them without the `PIXELFORMAT_` prefix.\n\n"
    "An `enum.IntEnum`: each member is the int raylib uses, so it compares equal to "
    "`Image.format` (`img.format == PixelFormat.UNCOMPRESSED_R8G8B8A8`) and can be passed "
    "wherever a format code is taken (`Image.load_raw`, `Image.from_pixels`). "
    "`PixelFormat(img.format)` names an image's format. The `UNCOMPRESSED_` formats hold "
    "colours; the `COMPRESSED_` ones (DXT, ETC, PVRT, ASTC) hold blocks that only a GPU "
    "decodes.">;

// PixelFormat = enum.IntEnum("PixelFormat", [(name, value), ...], module=...)
int body(PyObject* module) {
  Ref members(PyList_New(0));
  if (!members) return -1;
  for (const Member& m : kMembers) {
    Ref item(Py_BuildValue("(si)", m.name, m.value));
    if (!item || PyList_Append(members.get(), item.get()) < 0) return -1;
  }
  Ref enum_module(PyImport_ImportModule("enum"));
  if (!enum_module) return -1;
  Ref int_enum(PyObject_GetAttrString(enum_module.get(), "IntEnum"));
  if (!int_enum) return -1;
  Ref args(Py_BuildValue("(sO)", "PixelFormat", members.get()));
  Ref kwargs(args ? Py_BuildValue("{ssss}", "module", kModule, "qualname", "PixelFormat")
                  : nullptr);
  if (!kwargs) return -1;
  Ref cls(PyObject_Call(int_enum.get(), args.get(), kwargs.get()));
  if (!cls) return -1;
  Ref doc(PyUnicode_FromString(kDoc));
  if (!doc || PyObject_SetAttrString(cls.get(), "__doc__", doc.get()) < 0) return -1;
  return PyModule_AddObjectRef(module, "PixelFormat", cls.get());
}

}  // namespace
}  // namespace tarvex::pixel_format

TARVEX_MODULE(pixel_format, {.body = tarvex::pixel_format::body})
