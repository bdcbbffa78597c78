// tarvex.color.color: the RGBA colour type, a raylib Color in an object.
//
// Python surface: Color(r, g, b, a=255) with channels 0..255; read/write
// properties r, g, b, a; normalize(), tint(other), fade(alpha), to_int();
// repr, equality and hash by value; a read-only sequence of the four
// channels (len, indexing, iteration), so that tuple(c) is (r, g, b, a). The
// C method table follows the instance layout in color.h and is what sibling
// modules bind to.
#include "tarvex/color/color.h"

#include <cstdint>

#include "tarvex/_runtime/binding.h"
#include "tarvex/_runtime/convert.h"
#include "tarvex/_runtime/errors.h"
#include "tarvex/_runtime/methods.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_runtime/ref.h"
#include "tarvex/vector4/vector4.h"

namespace {

namespace rt = tarvex::rt;
using Obj = tarvex_ColorObject;

constexpr rt::Where kWhere{"tarvex.color.color.Color", "src/tarvex/color/color"};

extern PyTypeObject color_type;
extern tarvex_ColorVTable vtable;

PyTypeObject* vector4_type;
tarvex_Vector4VTable* vector4_vt;

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
bool check(PyObject* o) noexcept {
  return Py_IS_TYPE(o, &color_type) || PyObject_TypeCheck(o, &color_type);
}

constexpr const char* kChannelNames[] = {"r", "g", "b", "a"};

bool channel_range_error(int i, long long v) {
  PyErr_Format(PyExc_ValueError, "Color channel '%s' must be in 0..255, got %lld", kChannelNames[i],
               v);
  return false;
}

// One channel from a Python number (an int or anything with __int__).
bool to_channel(PyObject* o, int i, unsigned char* out) {
  int v;
  if (!rt::to_c_int(o, &v)) return false;
  if (v < 0 || v > 255) return channel_range_error(i, v);
  *out = static_cast<unsigned char>(v);
  return true;
}

// Channel i as a parameter: converted and range-checked in parameter order.
template <rt::Name N, int I>
struct Channel : rt::Param<N> {
  using type = unsigned char;
  static constexpr rt::Phase phase = rt::Phase::convert;
  static bool read(PyObject* o, unsigned char* out) { return to_channel(o, I, out); }
};

using Instances = rt::Instances<&color_type, &vtable, &Obj::_raw, Color{0, 0, 0, 255}>;
PyObject* alloc() noexcept { return reinterpret_cast<PyObject*>(Instances::create()); }

PyObject* make(Color c) noexcept {
  PyObject* o = alloc();
  if (o) as(o)->_raw = c;
  return o;
}

// ------------------------------------------------------------ C-level entries

PyObject* entry_new(int r, int g, int b, int a) {
  const int v[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i)
    if (v[i] < 0 || v[i] > 255) {
      channel_range_error(i, v[i]);
      return nullptr;
    }
  return make(Color{static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                    static_cast<unsigned char>(b), static_cast<unsigned char>(a)});
}

int entry_c_equal(Obj* self, Obj* other) {
  const Color x = self->_raw, y = other->_raw;
  return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}

PyObject* entry_c_normalize(Obj* self) {
  const Color c = self->_raw;
  return vector4_vt->new_(c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

// raylib's ColorTint: each channel multiplied by the tint's, integer-divided by 255.
Color tint_value(Color c, Color t) noexcept {
  auto mul = [](unsigned char x, unsigned char y) {
    return static_cast<unsigned char>((static_cast<int>(x) * static_cast<int>(y)) / 255);
  };
  return Color{mul(c.r, t.r), mul(c.g, t.g), mul(c.b, t.b), mul(c.a, t.a)};
}

PyObject* entry_c_tint(Obj* self, Obj* tint) { return make(tint_value(self->_raw, tint->_raw)); }

// raylib's Fade: alpha clamped to 0..1, then 255 * alpha truncated. NaN, for
// which raylib's conversion is undefined, gives 0.
unsigned char fade_alpha(float alpha) noexcept {
  if (!(alpha > 0.0f)) return 0;
  if (alpha > 1.0f) alpha = 1.0f;
  return static_cast<unsigned char>(255.0f * alpha);
}

// The dispatch flag is part of the table's signature; Color's entries always
// run their own code.
void entry_fade(Obj* self, float alpha, int) { self->_raw.a = fade_alpha(alpha); }

// raylib's ColorToInt: 0xRRGGBBAA as a signed 32-bit int.
int entry_to_int(Obj* self, int) {
  const Color c = self->_raw;
  const uint32_t u = (static_cast<uint32_t>(c.r) << 24) | (static_cast<uint32_t>(c.g) << 16) |
                     (static_cast<uint32_t>(c.b) << 8) | static_cast<uint32_t>(c.a);
  return static_cast<int32_t>(u);
}

tarvex_ColorVTable vtable = {
    .new_ = entry_new,
    .c_equal = entry_c_equal,
    .c_normalize = entry_c_normalize,
    .c_tint = entry_c_tint,
    .fade = entry_fade,
    .to_int = entry_to_int,
};

// --------------------------------------------------------------- construction

// All four channels are converted and checked before any is stored.
int init(Obj* self, unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  self->_raw = Color{r, g, b, a};
  return 0;
}

using Initializer = rt::Initializer<kWhere, Obj, init, alloc, Channel<"r", 0>, Channel<"g", 1>,
                                    Channel<"b", 2>, rt::Optional<Channel<"a", 3>, 255, "255">>;

void dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

// ------------------------------------------------------------------ methods

PyObject* to_int(Obj* self) { return PyLong_FromLong(entry_to_int(self, 1)); }

using Declare = rt::Declare<kWhere, Obj>;

PyMethodDef methods[] = {
    Declare::plain_entry<"normalize", entry_c_normalize>::def<
        "Return the channels divided by 255 as a new Vector4 (r, g, b, a).\n\n"
        "Computed in 64-bit floats: `Color(255, 0, 51, 255).normalize()` is "
        "Vector4(1.0, 0.0, 0.2, 1.0).">(),
    Declare::plain_entry<"tint", entry_c_tint, rt::Instance<"tint", &color_type, Obj>>::def<
        "Return a new Color: each channel times the matching channel of `tint`, divided by 255, "
        "rounding down.\n\n"
        "raylib's ColorTint. `tint` must be a `Color` (TypeError otherwise). This colour is "
        "unchanged.">(),
    Declare::entry<"fade", entry_fade, rt::Float<"alpha">>::def<
        "Set this colour's alpha in place from `alpha`, a fraction, and return None.\n\n"
        "raylib's Fade: `alpha` is rounded to a 32-bit float, clamped to 0..1 (nan gives 0), and "
        "the new alpha is 255 times it, truncated: `fade(0.5)` gives alpha 127. The other "
        "channels are unchanged.">(),
    Declare::plain_entry<"to_int", to_int>::def<
        "Return the colour packed as 0xRRGGBBAA, as a signed 32-bit int.\n\n"
        "raylib's ColorToInt: opaque red, (255, 0, 0, 255), gives -16776961. The hash uses the "
        "same packing as an unsigned number.">(),
    rt::kEndOfMethods,
};

// ---------------------------------------------------------------- properties

struct ChannelField {
  const char* name;
  int index;
  const char* doc;
};

// The docstring of a channel property, written once: {channel} is its name
// and {note} follows the range.
constexpr rt::Name kChannelDoc =
    "The {channel} channel, an int from 0 to 255{note}.\n\n"
    "Assigning takes an int (or an object with `__int__`) from 0 to 255; other values raise "
    "ValueError. Deleting raises NotImplementedError.";
template <rt::Name Channel, rt::Name Note = "note=">
constexpr const char* channel_doc =
    rt::docstring<rt::Name(rt::Expand<kChannelDoc, Channel, Note>::text)>;

constexpr ChannelField kChannels[] = {
    {"r", 0, channel_doc<"channel=red">},
    {"g", 1, channel_doc<"channel=green">},
    {"b", 2, channel_doc<"channel=blue">},
    {"a", 3, channel_doc<"channel=alpha", "note= (255 is opaque)">},
};

unsigned char* channel(Obj* o, int i) noexcept {
  unsigned char* c[4] = {&o->_raw.r, &o->_raw.g, &o->_raw.b, &o->_raw.a};
  return c[i];
}

PyObject* get_channel(Obj* self, const ChannelField& f) {
  return PyLong_FromLong(*channel(self, f.index));
}

bool set_channel(Obj* self, const ChannelField& f, PyObject* value) {
  return to_channel(value, f.index, channel(self, f.index));
}

using ChannelProperty =
    rt::FieldProperty<kWhere, Obj, ChannelField, get_channel, set_channel, rt::Object<"value">>;

PyGetSetDef properties[] = {
    ChannelProperty::def(kChannels[0], kChannels[0].doc),
    ChannelProperty::def(kChannels[1], kChannels[1].doc),
    ChannelProperty::def(kChannels[2], kChannels[2].doc),
    ChannelProperty::def(kChannels[3], kChannels[3].doc),
    rt::kEndOfProperties,
};

// ------------------------------------------------------------ protocol slots

PyObject* repr(PyObject* self) {
  const Color c = as(self)->_raw;
  rt::Ref name(PyType_GetName(Py_TYPE(self)));
  if (!name) return nullptr;
  return PyUnicode_FromFormat("%U(%d, %d, %d, %d)", name.get(), c.r, c.g, c.b, c.a);
}

// The packed value is non-negative and below 2**32, so never -1.
Py_hash_t hash(PyObject* self) {
  return static_cast<Py_hash_t>(static_cast<uint32_t>(entry_to_int(as(self), 1)));
}

PyObject* richcompare(PyObject* a, PyObject* b, int op) {
  if ((op != Py_EQ && op != Py_NE) || !check(a) || !check(b)) Py_RETURN_NOTIMPLEMENTED;
  return PyBool_FromLong((op == Py_EQ) == (entry_c_equal(as(a), as(b)) != 0));
}

Py_ssize_t length(PyObject*) { return 4; }

PyObject* item(PyObject* self, Py_ssize_t i) {
  if (i < 0 || i >= 4) {
    PyErr_SetString(PyExc_IndexError, "Color index out of range");
    return nullptr;
  }
  return PyLong_FromLong(*channel(as(self), static_cast<int>(i)));
}

PySequenceMethods sequence = {
    .sq_length = length,
    .sq_item = rt::Slot<kWhere, "__getitem__", item>::call,
};

PyTypeObject color_type = {
    TARVEX_TYPE_HEAD(kWhere, Obj, dealloc),
    .tp_repr = repr,
    .tp_as_sequence = &sequence,
    .tp_hash = hash,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = rt::docstring<
        "Color(r, g, b, a=255)\n--\n\n"
        "Mutable RGBA colour of four 8-bit channels, stored as raylib's Color.\n\n"
        "Each channel is an int from 0 to 255, or an object with `__int__` (a float is truncated "
        "toward zero); a value outside 0..255 raises ValueError, a non-number TypeError. "
        "Arguments can be given by keyword.\n\n"
        "Operations: `c == d` compares the four channels and is False for anything that is not "
        "a Color; `hash(c)` is the channels packed as 0xRRGGBBAA. `len(c)` is 4; `c[0]` to "
        "`c[3]` read r, g, b and a (negative indices count from the end); c iterates and "
        "unpacks as (r, g, b, a), so `tuple(c)` works. Ordering is not supported. Pickling and "
        "`copy.copy` raise TypeError: `Color(*c)` copies. Color can be subclassed.">,
    .tp_richcompare = richcompare,
    .tp_methods = methods,
    .tp_getset = properties,
    .tp_init = Initializer::init,
    .tp_new = Instances::tp_new,
    // Calls of the exact type; subclasses never inherit this slot and go
    // through tp_new and tp_init.
    .tp_vectorcall = Initializer::construct,
};

// --------------------------------------------------------------------- module

using Pickling = rt::PickleRefusal<kWhere, rt::kRawNotPicklable,
                                   "`copy.copy` and `copy.deepcopy` raise it too: `Color(*c)` "
                                   "makes a copy.">;

const rt::TypeEntry types[] = {{&color_type, &vtable, Pickling::defs}};
const rt::Sibling siblings[] = {
    rt::sibling<tarvex_Vector4Object>("tarvex.vector4.vector4", "Vector4", &vector4_type,
                                      &vector4_vt),
};

}  // namespace

TARVEX_MODULE(color, {.types = types, .siblings = siblings})
