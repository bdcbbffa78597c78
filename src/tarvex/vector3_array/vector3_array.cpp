// tarvex.vector3_array.vector3_array: a packed array of raylib Vector3 values.
#include "tarvex/vector3_array/vector3_array.h"

#include "tarvex/_array/vector_array.h"
#include "tarvex/_array/vector_array_python.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_vector/vector_family.h"
#include "tarvex/vector3/vector3.h"

namespace {

namespace arr = tarvex::arr;
namespace rt = tarvex::rt;
namespace vec = tarvex::vec;

// The kernels of the elements are those of Vector3, with its traits.
struct Vector3Kernels
    : vec::TraitsDefaults,
      vec::Named<tarvex_Vector3Object, tarvex_Vector3VTable, float, "vector3", "xyz"> {};

struct Vector3ArrayTraits : arr::VecArrayNamed<tarvex_Vector3ArrayObject, tarvex_Vector3ArrayVTable,
                                               Vector3Kernels, "vector3_array", "vector3"> {};

}  // namespace

TARVEX_VECTOR_ARRAY_TYPE(Vector3ArrayTraits);

namespace {

const rt::Sibling siblings[] = {arr::VecArrayPython<Vector3ArrayTraits>::element_sibling()};

}  // namespace

TARVEX_MODULE(vector3_array,
              {.types = arr::VecArrayPython<Vector3ArrayTraits>::types, .siblings = siblings})
