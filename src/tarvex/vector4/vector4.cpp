// tarvex.vector4.vector4: the four-component vector of 64-bit floats.
#include "tarvex/vector4/vector4.h"

#include "tarvex/_vector/vector_family.h"
#include "tarvex/_vector/vector_python.h"

namespace {

struct Vector4Traits
    : tarvex::vec::TraitsDefaults,
      tarvex::vec::Named<tarvex_Vector4Object, tarvex_Vector4VTable, double, "vector4", "xyzw"> {
  static constexpr auto copy_slot = &VTable::cfrom_vector4;
  static constexpr auto components_slot = &VTable::cfrom_xyzw;
};

}  // namespace

TARVEX_VECTOR_MODULE(vector4, Vector4Traits)
