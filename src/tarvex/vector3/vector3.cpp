// tarvex.vector3.vector3: the three-component 32-bit vector.
#include "tarvex/vector3/vector3.h"

#include "tarvex/_vector/vector_python.h"

namespace {

struct Vector3Traits : tarvex::vec::TraitsDefaults {
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
  static constexpr auto copy_slot = &VTable::cfrom_vector3;
  static constexpr auto components_slot = &VTable::cfrom_xyz;
  static constexpr int swizzle_length = 3;
  static constexpr bool has_cross = true;
};

}  // namespace

TARVEX_VECTOR_MODULE(vector3, Vector3Traits)
