"""Shared facts about the three vector types for the vector tests."""
from conftest import f32
from tarvex.vector2.vector2 import Vector2
from tarvex.vector3.vector3 import Vector3
from tarvex.vector4.vector4 import Vector4


class Kind:
    def __init__(self, cls, n, letters, narrow, from_self, from_comps, call):
        self.cls, self.n, self.letters = cls, n, letters
        self.narrow = narrow            # storage rounding of an entering number
        self.from_self, self.from_comps, self.call = from_self, from_comps, call
        self.name = cls.__name__
        self.full = f"tarvex.{self.name.lower()}.{self.name.lower()}.{self.name}"

    def __repr__(self):
        return self.name

    def make(self, *vals):
        return self.cls(*vals)

    def comps(self, v):
        return tuple(getattr(v, c) for c in self.letters)


def _helper(n):
    import _vector_testhelper as h
    return {2: h.call2, 3: h.call3, 4: h.call4}[n]


V2 = Kind(Vector2, 2, "xy", f32, "from_vector2", "from_xy", lambda *a: _helper(2)(*a))
V3 = Kind(Vector3, 3, "xyz", f32, "from_vector3", "from_xyz", lambda *a: _helper(3)(*a))
V4 = Kind(Vector4, 4, "xyzw", float, "from_vector4", "from_xyzw", lambda *a: _helper(4)(*a))
KINDS = [V2, V3, V4]
