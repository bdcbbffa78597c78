"""Color's C method table and instance layout, used through the same binding
step a sibling module performs."""
import pytest

import _colors_testhelper as h
from tarvex.color.color import Color
from tarvex.vector4.vector4 import Vector4


class Sub(Color):
    pass


def test_layout_and_slot_order():
    vt, raw, size, table, slots = h.color_layout()
    # header, table pointer, then the four bytes of the raylib Color
    assert (vt, raw) == (object.__basicsize__, object.__basicsize__ + 8)
    assert Color.__basicsize__ == size == raw + 8
    order = ["new_", "c_equal", "c_normalize", "c_tint", "fade", "to_int"]
    assert slots == [(name, i) for i, name in enumerate(order)] and table == 8 * len(order)


def test_published_table_is_the_one_instances_carry():
    capsule = Color.__dict__["__pyx_vtable__"]
    assert type(capsule).__name__ == "PyCapsule"
    assert h.has_table(Color(1, 2, 3)) and h.has_table(Sub(1, 2, 3))
    assert h.has_table(h.color_new(1, 2, 3, 4))


@pytest.mark.parametrize("make", [lambda *v: Color(*v), lambda *v: Sub(*v), h.color_new])
def test_raw_layout_is_rgba_bytes(make):
    c = make(1, 2, 3, 4)
    assert h.raw(c) == (1, 2, 3, 4)
    c.g, c.a = 200, 0
    assert h.raw(c) == (1, 200, 3, 0)


def test_new_entry():
    c = h.color_new(10, 20, 30, 40)
    assert type(c) is Color and (c.r, c.g, c.b, c.a) == (10, 20, 30, 40)


@pytest.mark.parametrize("args, name, value", [
    ((256, 0, 0, 0), "r", 256), ((0, -1, 0, 0), "g", -1), ((0, 0, 0, 1 << 20), "a", 1 << 20)])
def test_new_entry_refuses_out_of_range(args, name, value):
    with pytest.raises(ValueError, match=rf"^Color channel '{name}' must be in 0\.\.255, got {value}$"):
        h.color_new(*args)


@pytest.mark.parametrize("a, b, expected", [
    ((1, 2, 3, 4), (1, 2, 3, 4), 1),
    ((1, 2, 3, 4), (1, 2, 3, 5), 0),
    ((0, 2, 3, 4), (1, 2, 3, 4), 0),
    ((1, 2, 9, 4), (1, 2, 3, 4), 0),
])
def test_equal_entry(a, b, expected):
    assert h.color_equal(Color(*a), Sub(*b)) == expected


def test_normalize_entry_gives_doubles():
    v = h.color_normalize(Color(1, 51, 254, 255))
    assert type(v) is Vector4
    assert (v.x, v.y, v.z, v.w) == (1 / 255, 51 / 255, 254 / 255, 1.0)


def test_tint_entry():
    t = h.color_tint(Color(255, 128, 10, 200), Color(128, 255, 0, 255))
    assert type(t) is Color and (t.r, t.g, t.b, t.a) == (128, 128, 0, 200)


@pytest.mark.parametrize("flag", [0, 1])
@pytest.mark.parametrize("alpha, expected", [(0.5, 127), (1.5, 255), (-3.0, 0), (1.0, 255)])
def test_fade_entry_stores_alpha(flag, alpha, expected):
    c = Color(1, 2, 3, 4)
    assert h.color_fade(c, alpha, flag) is None
    assert h.raw(c) == (1, 2, 3, expected)


@pytest.mark.parametrize("flag", [0, 1])
@pytest.mark.parametrize("value, packed", [
    ((0x12, 0x34, 0x56, 0x78), 0x12345678),
    ((255, 255, 255, 255), -1),
    ((0x80, 0, 0, 0), -(1 << 31)),
    ((0, 0, 0, 1), 1),
])
def test_to_int_entry_is_signed(flag, value, packed):
    assert h.color_to_int(Color(*value), flag) == packed
