// tarvex.vector3.vector3: the three-component 32-bit vector.
#include "tarvex/vector3/vector3.h"

#include "tarvex/_vector/vector_family.h"
#include "tarvex/_vector/vector_python.h"

namespace {

struct Vector3Traits
    : tarvex::vec::TraitsDefaults,
      tarvex::vec::Named<tarvex_Vector3Object, tarvex_Vector3VTable, float, "vector3", "xyz"> {
  static constexpr auto copy_slot = &VTable::cfrom_vector3;
  static constexpr auto components_slot = &VTable::cfrom_xyz;
  static constexpr bool has_cross = true;
};

}  // namespace

TARVEX_VECTOR_MODULE(vector3, Vector3Traits)
