"""Uses of tarvex that the modules refuse at run time and the stubs refuse
statically. Each line marked `# E: message  [code]` must draw exactly that
error from `mypy --strict`, and no other line may draw one. Never run."""
from tarvex.color.color import Color
from tarvex.colors.colors import colors
from tarvex.image.image import Image
from tarvex.rect.rect import Rect
from tarvex.sound.sound import Sound
from tarvex.vector2.vector2 import Vector2
from tarvex.vector3.vector3 import Vector3
from tarvex.vector4.vector4 import Vector4

v = Vector2(1, 2)
v3 = Vector3(1, 2, 3)

# Only a vector times a number: no reflected operators.
2 * v  # E: Unsupported operand types for * ("int" and "Vector2")  [operator]
# + and - take only the same type.
v + (1, 2)  # E: Unsupported operand types for + ("Vector2" and "tuple[int, int]")  [operator]
v - 1.0  # E: Unsupported operand types for - ("Vector2" and "float")  [operator]
v + v3  # E: Unsupported operand types for + ("Vector2" and "Vector3")  [operator]
v * "2"  # E: Unsupported operand types for * ("Vector2" and "str")  [operator]
# The in-place operators take only the same type.
v *= 2  # E: Argument 1 to "__imul__" of "Vector2" has incompatible type "int"; expected "Vector2"  [arg-type]
# No unary plus, abs or ordering.
+v  # E: Unsupported operand type for unary + ("Vector2")  [operator]
abs(v)  # E: Argument 1 to "abs" has incompatible type "Vector2"; expected "SupportsAbs[Never]"  [arg-type]
v < v  # E: Unsupported left operand type for < ("Vector2")  [operator]
# Read-only properties, no data on Vector3; Vector2's cross is a number.
v.length = 1.0  # E: Property "length" defined in "Vector2" is read-only  [misc]
v.yx = v  # E: Property "yx" defined in "Vector2" is read-only  [misc]
v3.data  # E: "Vector3" has no attribute "data"  [attr-defined]
v.cross(v).x  # E: "float" has no attribute "x"  [attr-defined]
# Constructors: the component count, positional only.
Vector3(1, 2)  # E: No overload variant of "Vector3" matches argument types "int", "int"  [call-overload]
Vector2(x=1, y=2)  # E: No overload variant of "Vector2" matches argument types "int", "int"  [call-overload]
Vector4.from_tuple((1, 2, 3))  # E: Argument 1 to "from_tuple" of "Vector4" has incompatible type "tuple[int, int, int]"; expected "tuple[SupportsFloat | SupportsIndex, SupportsFloat | SupportsIndex, SupportsFloat | SupportsIndex, SupportsFloat | SupportsIndex, *tuple[object, ...]]"  [arg-type]
v.x = "1"  # E: Incompatible types in assignment (expression has type "str", variable has type "SupportsFloat | SupportsIndex")  [assignment]
del v[0]  # E: "Vector2" has no attribute "__delitem__"; maybe "__getitem__" or "__setitem__"?  [attr-defined]

r = Rect(0, 0, 10, 10)
r.collide_point_tuple([5, 5])  # E: Argument 1 to "collide_point_tuple" of "Rect" has incompatible type "list[int]"; expected "tuple[float, float, *tuple[object, ...]]"  [arg-type]
r.collide_rect_rect(Vector4(0, 0, 1, 1))  # E: Argument 1 to "collide_rect_rect" of "Rect" has incompatible type "Vector4"; expected "Rect"  [arg-type]
r.right = "5"  # E: Incompatible types in assignment (expression has type "str", variable has type "float")  [assignment]
Rect(1, 2, 3)  # E: No overload variant of "Rect" matches argument types "int", "int", "int"  [call-overload]
# A Vector2 position reads the size through its x and y: a tuple has none.
Rect(Vector2(1, 2), (3, 4))  # E: No overload variant of "Rect" matches argument types "Vector2", "tuple[int, int]"  [call-overload]

Color(1, 2)  # E: Missing positional argument "b" in call to "Color"  [call-arg]
colors.Red = (255, 0, 0)  # E: Incompatible types in assignment (expression has type "tuple[int, int, int]", variable has type "Color | None")  [assignment]
colors.Crimsen  # E: "Colors" has no attribute "Crimsen"; maybe "Crimson"?  [attr-defined]

img = Image.generate_with_color(4, 4, (255, 0, 0))  # E: Argument 3 to "generate_with_color" of "Image" has incompatible type "tuple[int, int, int]"; expected "Color"  [arg-type]
Image.load(b"picture.png")  # E: Argument 1 to "load" of "Image" has incompatible type "bytes"; expected "str"  [arg-type]
img.width = 8  # E: Property "width" defined in "Image" is read-only  [misc]
img.data_view[0] = "x"  # E: No overload variant of "__setitem__" of "PixelView" matches argument types "int", "str"  [call-overload]

Sound.load_alias(img)  # E: Argument 1 to "load_alias" of "Sound" has incompatible type "Image"; expected "Sound"  [arg-type]
Sound().stream.sample_rate  # E: Item "None" of "AudioStream | None" has no attribute "sample_rate"  [union-attr]
Sound().playing = True  # E: Property "playing" defined in "Sound" is read-only  [misc]

from tarvex.parser.parser import parse_vector2_like  # E: Module "tarvex.parser.parser" has no attribute "parse_vector2_like"  [attr-defined]
