from tarvex.vector2.vector2 import Vector2


def test_import():
    assert Vector2(1, 2) == Vector2(1, 2)
