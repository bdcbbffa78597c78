// tarvex.vector4.vector4: the four-component vector of 64-bit floats.
#include "tarvex/vector4/vector4.h"

#include "tarvex/_vector/vector_python.h"

namespace {

struct Vector4Traits : tarvex::vec::TraitsDefaults {
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
  static constexpr auto copy_slot = &VTable::cfrom_vector4;
  static constexpr auto components_slot = &VTable::cfrom_xyzw;
  static constexpr int swizzle_length = 4;
};

}  // namespace

TARVEX_VECTOR_MODULE(vector4, Vector4Traits)
