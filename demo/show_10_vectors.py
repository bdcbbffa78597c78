from tarvex.vector2.vector2 import Vector2
from tarvex.vector3.vector3 import Vector3
from tarvex.vector4.vector4 import Vector4

v = Vector2(3, 4)
w = Vector2(0.1, -2)
print(f"v = {v!r}, w = {w!r}  (components are 32-bit floats)")
print(f"v + w = {v + w!r}, v * 2 = {v * 2!r}, -7 // 2 per component: {Vector2(-7, 7) // 2!r}")
print(f"length of v = {v.length}, v normalised = {v.get_normalized()!r}, v.yx = {v.yx!r}")
a, b = Vector3(1, 0, 0), Vector3(0, 1, 0)
print(f"{a!r} x {b!r} = {a.cross(b)!r}; zyx of (1, 2, 3) = {Vector3(1, 2, 3).zyx!r}")
q = Vector4(1, 2, 3, 4)
print(f"Vector4 keeps 64-bit floats: Vector4(0.1, 0, 0, 0).x = {Vector4(0.1, 0, 0, 0).x}; "
      f"{q!r}.wzyx = {q.wzyx!r}")
