"""On the debug interpreter (`./dev test --refleaks`) the modules must be
compiled with Py_DEBUG, or the references they take and drop themselves
never reach `sys.gettotalrefcount()` and the leak hunt measures nonsense: a
method that returns a new reference to an existing object would then seem
to lose one reference per call."""
import sys

import pytest

from tarvex.colors.colors import colors
from tarvex.vector2.vector2 import Vector2
from tarvex.vector3.vector3 import Vector3
from tarvex.vector4.vector4 import Vector4

pytestmark = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"),
                                reason="needs the debug interpreter (./dev test --refleaks)")


# Each call takes a new reference to an object that lives on, in module code.
@pytest.mark.parametrize("call", [
    Vector2(1.5, 2).to_round, Vector3(-1, 2, 3).to_abs, Vector4(1, 2, 3, 4).to_neg,
    lambda: colors.AliceBlue,
], ids=["vector2", "vector3", "vector4", "colors"])
def test_module_references_reach_the_total(call):
    held = call()
    before = sys.gettotalrefcount()
    for _ in range(1000):
        held = call()
    # A module built without Py_DEBUG would leave the total 1000 lower.
    assert abs(sys.gettotalrefcount() - before) < 100
    assert held is call()


def test_modules_are_the_debug_build():
    # The debug interpreter also loads modules built for the release one.
    import importlib.machinery

    import tarvex.image.image
    import tarvex.rect.rect
    import tarvex.sound.sound

    suffix = importlib.machinery.EXTENSION_SUFFIXES[0]
    for mod in (tarvex.image.image, tarvex.rect.rect, tarvex.sound.sound):
        assert mod.__file__.endswith(suffix)
