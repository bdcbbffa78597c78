// tarvex.vector2_array.vector2_array: a packed array of raylib Vector2 values.
#include "tarvex/vector2_array/vector2_array.h"

#include "tarvex/_array/vector_array.h"
#include "tarvex/_array/vector_array_python.h"
#include "tarvex/_runtime/module.h"
#include "tarvex/_vector/vector_family.h"
#include "tarvex/rect/rect.h"
#include "tarvex/vector2/vector2.h"

namespace {

namespace arr = tarvex::arr;
namespace rt = tarvex::rt;
namespace vec = tarvex::vec;

// The kernels of the elements are those of Vector2, with its traits.
struct Vector2Kernels
    : vec::TraitsDefaults,
      vec::Named<tarvex_Vector2Object, tarvex_Vector2VTable, float, "vector2", "xy"> {
  // Scalar quotients divide each component.
  static constexpr bool reciprocal_division = false;
};

struct Vector2ArrayTraits : arr::VecArrayNamed<tarvex_Vector2ArrayObject, tarvex_Vector2ArrayVTable,
                                               Vector2Kernels, "vector2_array", "vector2"> {};

}  // namespace

TARVEX_VECTOR_ARRAY_TYPE(Vector2ArrayTraits);

namespace {

const rt::Sibling siblings[] = {
    arr::VecArrayPython<Vector2ArrayTraits>::element_sibling(),
    // Rect, for the points-in-a-rectangle tests.
    {"tarvex.rect.rect", "Rect", sizeof(tarvex_RectObject), &Vector2ArrayTraits::rect_type,
     nullptr},
};

}  // namespace

TARVEX_MODULE(vector2_array,
              {.types = arr::VecArrayPython<Vector2ArrayTraits>::types, .siblings = siblings})
