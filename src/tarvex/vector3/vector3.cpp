// tarvex.vector3.vector3: the three-component 32-bit vector.
#include "tarvex/vector3/vector3.h"

#include "tarvex/_vector/vector_family.h"

namespace {

namespace rt = tarvex::rt;

struct Vector3Traits {
  using Object = tarvex_Vector3Object;
  using VTable = tarvex_Vector3VTable;
  using Scalar = float;
  static constexpr int N = 3;
  static constexpr char short_name[] = "Vector3";
  static constexpr char full_name[] = "tarvex.vector3.vector3.Vector3";
  static constexpr char file[] = "src/tarvex/vector3/vector3";
  static constexpr char letters[] = "xyz";
  static constexpr char from_self_name[] = "from_vector3";
  static constexpr char from_components_name[] = "from_xyz";
  static constexpr char pickle_message[] =
      "self.data is a structure member: pickling of structure members must be requested "
      "explicitly";
  static constexpr int swizzle_length = 3;
  // Scalar quotients multiply by the reciprocal of the divisor.
  static constexpr bool reciprocal_division = true;
  static constexpr bool has_cross = true;
  static constexpr bool has_struct_creator = false;
  static constexpr int extra_getsets = 0;

  template <class Self, class New>
  static void set_self_creators(VTable& t, Self self, New xyz) {
    t.cfrom_vector3 = self;
    t.cfrom_xyz = xyz;
  }
  static void add_getsets(PyGetSetDef*, int&) {}
};

using V = tarvex::vec::Vec<Vector3Traits>;

int constants() { return V::prepare(); }

rt::TypeEntry types[] = {{&V::type, "Vector3", &V::vtable, V::pickle_refusal()}};
rt::Module module_frame({"vector3", "tarvex.vector3.vector3", Vector3Traits::file, types, 1,
                         nullptr, 0, constants, nullptr});

}  // namespace

PyMODINIT_FUNC PyInit_vector3() { return module_frame.init(); }
