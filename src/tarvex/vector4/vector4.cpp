// tarvex.vector4.vector4: the four-component 64-bit vector.
#include "tarvex/vector4/vector4.h"

#include "tarvex/_vector/vector_family.h"

namespace {

namespace rt = tarvex::rt;

struct Vector4Traits {
  using Object = tarvex_Vector4Object;
  using VTable = tarvex_Vector4VTable;
  using Scalar = double;
  static constexpr int N = 4;
  static constexpr char short_name[] = "Vector4";
  static constexpr char full_name[] = "tarvex.vector4.vector4.Vector4";
  static constexpr char file[] = "src/tarvex/vector4/vector4";
  static constexpr char letters[] = "xyzw";
  static constexpr char from_self_name[] = "from_vector4";
  static constexpr char from_components_name[] = "from_xyzw";
  static constexpr char pickle_message[] =
      "self.data is a structure member: pickling of structure members must be requested "
      "explicitly";
  static constexpr int swizzle_length = 4;
  // Scalar quotients multiply by the reciprocal of the divisor.
  static constexpr bool reciprocal_division = true;
  static constexpr bool has_cross = false;
  static constexpr bool has_struct_creator = false;
  static constexpr int extra_getsets = 0;

  template <class Self, class New>
  static void set_self_creators(VTable& t, Self self, New xyzw) {
    t.cfrom_vector4 = self;
    t.cfrom_xyzw = xyzw;
  }
  static void add_getsets(PyGetSetDef*, int&) {}
};

using V = tarvex::vec::Vec<Vector4Traits>;

int constants() { return V::prepare(); }

rt::TypeEntry types[] = {{&V::type, "Vector4", &V::vtable, V::pickle_refusal()}};
rt::Module module_frame({"vector4", "tarvex.vector4.vector4", Vector4Traits::file, types, 1,
                         nullptr, 0, constants, nullptr});

}  // namespace

PyMODINIT_FUNC PyInit_vector4() { return module_frame.init(); }
