from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4

r = Rect(10, 20, 30, 40)
print(f"r = {r!r}")
print(f"  right {r.right}, bottom {r.bottom}, center {r.center!r}, as a Vector4 {r.get_vector4()!r}")
print(f"  built from a size: {Rect(Vector2(3, 4))!r}; from position and size: {Rect((1, 2), (3, 4))!r}")
r.center = (0, 0)
print(f"  moved so its centre is the origin: {r!r}")

box = Rect(0, 0, 10, 10)
print(f"box = {box!r}; the point test is closed on every edge:")
for p in [(0, 0), (10, 10), (5, 10), (10.0001, 5), Vector2(5, 5)]:
    print(f"  contains point {p!r}: {box.collide_point(p)}")
print("the overlap test is open: rectangles that only touch do not overlap")
for o in [Rect(10, 0, 5, 5), Rect(9.5, 9.5, 5, 5), (5, 5, 0, 0), Vector4(-5, -5, 5.5, 5.5)]:
    print(f"  overlaps {o!r}: {box.collide_rect(o)}")

thin = Rect(0.1, 0, 0.2, 1)
print(f"{thin!r}: its right edge is the 32-bit sum {thin.right!r}, "
      f"so it contains (0.30000001, 0.5): {thin.collide_point((0.30000001, 0.5))}")
