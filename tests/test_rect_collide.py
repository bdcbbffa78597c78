"""Rect's point and overlap tests: edge rules, widths, refusals, evaluation order."""
import math
from collections import namedtuple

import pytest

from conftest import f32
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4

nan = math.nan


# Every point method, with the argument kind it takes.
POINT_METHODS = {
    "collide_point": tuple,
    "collide_point[list]": list,
    "collide_point[Vector2]": lambda p: Vector2(*p),
    "collide_point_vector2": lambda p: Vector2(*p),
    "collide_point_tuple": tuple,
    "collide_point_list": list,
}
RECT_METHODS = {
    "collide_rect": tuple,
    "collide_rect[list]": list,
    "collide_rect[Rect]": lambda o: Rect(*o),
    "collide_rect[Vector4]": lambda o: Vector4(*o),
    "collide_rect_rect": lambda o: Rect(*o),
    "collide_rect_vector4": lambda o: Vector4(*o),
    "collide_rect_tuple": tuple,
    "collide_rect_list": list,
}


def run(methods, name, receiver, arg):
    return getattr(Rect(*receiver), name.split("[")[0])(methods[name](arg))


point_methods = pytest.mark.parametrize("name", POINT_METHODS)
rect_methods = pytest.mark.parametrize("name", RECT_METHODS)


@point_methods
@pytest.mark.parametrize("receiver,point,expected", [
    ((0, 0, 10, 10), (0, 0), True),
    ((0, 0, 10, 10), (10, 10), True),
    ((0, 0, 10, 10), (10, 0), True),
    ((0, 0, 10, 10), (5, 10), True),
    ((0, 0, 10, 10), (10.0001, 5), False),
    ((0, 0, 10, 10), (-0.0001, 5), False),
    ((0, 0, 10, 10), (5, 10.0001), False),
    ((5, 5, 0, 0), (5, 5), True),
    ((5, 5, 0, 0), (5, 5.000001), False),
    ((10, 0, -5, 10), (7, 5), False),
    ((10, 0, -5, 10), (10, 5), False),
    ((0.1, 0, 0.2, 1), (0.30000001, 0.5), True),      # the right edge is a 32-bit sum
    ((0.1, 0, 0.2, 1), (0.30000003, 0.5), False),
    ((nan, 0, 10, 10), (5, 5), False),
    ((0, 0, 10, nan), (5, 5), False),
    ((0, 0, 10, 10), (nan, 5), False),
    ((0, 0, 10, 10), (5, nan), False),
    ((-math.inf, 0, math.inf, 10), (5, 5), False),   # -inf + inf is a NaN edge
])
def test_point(name, receiver, point, expected):
    assert run(POINT_METHODS, name, receiver, point) is expected


@rect_methods
@pytest.mark.parametrize("receiver,other,expected", [
    ((0, 0, 10, 10), (10, 0, 5, 5), False),       # touching on the right
    ((0, 0, 10, 10), (-5, 0, 5, 5), False),       # touching on the left
    ((0, 0, 10, 10), (0, 10, 5, 5), False),       # touching below
    ((0, 0, 10, 10), (9.5, 9.5, 5, 5), True),
    ((0, 0, 10, 10), (2, 2, 1, 1), True),         # contained
    ((2, 2, 1, 1), (0, 0, 10, 10), True),         # containing
    ((0, 0, 10, 10), (5, 5, 0, 0), True),
    ((5, 5, 0, 0), (0, 0, 10, 10), True),
    ((0, 0, 10, 10), (0, 0, 0, 0), False),
    ((0, 0, 0, 0), (0, 0, 0, 0), False),
    ((10, 0, -5, 10), (0, 0, 20, 20), True),
    ((nan, 0, 10, 10), (0, 0, 10, 10), False),
    ((0, 0, 10, 10), (0, 0, 10, nan), False),
    ((0, 0, 10, 10), (0, nan, 10, 10), False),
])
def test_overlap(name, receiver, other, expected):
    assert run(RECT_METHODS, name, receiver, other) is expected


# 0.2 and 0.7 as 32-bit floats sum to more than their 32-bit sum, f32(0.9).
@pytest.mark.parametrize("name,other,expected", [
    ("collide_rect_rect", Rect(0.2, 0, 0.7, 1), False),
    ("collide_rect", Rect(0.2, 0, 0.7, 1), True),
    ("collide_rect_tuple", (f32(0.2), 0, f32(0.7), 1), True),
])
def test_width_of_the_other_far_edge(name, other, expected):
    assert getattr(Rect(0.9, 0, 1, 1), name)(other) is expected


# Typed variants compare ints exactly; the general methods convert to doubles.
@pytest.mark.parametrize("name,arg,expected", [
    ("collide_point", (2 ** 53 + 1, 0.5), True),
    ("collide_point_tuple", (2 ** 53 + 1, 0.5), False),
    ("collide_point_list", [2 ** 53 + 1, 0.5], False),
    ("collide_rect", (2 ** 53 - 1, 0, 2, 1), False),
    ("collide_rect_tuple", (2 ** 53 - 1, 0, 2, 1), True),
    ("collide_rect_list", [2 ** 52, 0, 2 ** 52 + 1, 1], True),
])
def test_exact_int_comparisons(name, arg, expected):
    receiver = Rect(2 ** 53, 0, 0, 1) if "point" in name else Rect(2 ** 53, 0, 2 ** 31, 1)
    assert getattr(receiver, name)(arg) is expected


def test_typed_variants_ignore_extra_items():
    r = Rect(0, 0, 10, 10)
    assert r.collide_point_tuple((1, 2, 3)) and r.collide_point_list([1, 2, "x"])
    assert r.collide_rect_tuple((0, 0, 10, 10, 99)) and r.collide_rect_list([0, 0, 10, 10, None])
    assert not r.collide_rect_tuple((10, 0, 5, 5))


def test_subclass_arguments():
    Point = namedtuple("Point", "x y")

    class SubRect(Rect):
        pass

    r = Rect(0, 0, 10, 10)
    assert r.collide_point(Point(1, 1)) and r.collide_rect(SubRect(1, 1, 1, 1))
    assert r.collide_rect_rect(SubRect(1, 1, 1, 1)) and SubRect(0, 0, 2, 2).collide_point((1, 1))


# ------------------------------------------------------------------ refusals

@pytest.mark.parametrize("name,arg,exc,msg", [
    ("collide_point", (1, 2, 3), ValueError, "Point must be a Vector2, tuple, or list of length 2"),
    ("collide_point", Vector4(1, 2, 3, 4), ValueError,
     "Point must be a Vector2, tuple, or list of length 2"),
    ("collide_point", None, ValueError, "Point must be a Vector2, tuple, or list of length 2"),
    ("collide_rect", [1, 2, 3], ValueError,
     "rect for collision must be a Rect, Vector4, tuple, or list of length 4"),
    ("collide_rect", "abcd", ValueError,
     "rect for collision must be a Rect, Vector4, tuple, or list of length 4"),
    ("collide_point_tuple", [1, 2], TypeError,
     "Argument 'point' has incorrect type (expected tuple, got list)"),
    ("collide_point_tuple", namedtuple("P", "x y")(1, 2), TypeError,
     "Argument 'point' has incorrect type (expected tuple, got P)"),
    ("collide_point_list", (1, 2), TypeError,
     "Argument 'point' has incorrect type (expected list, got tuple)"),
    ("collide_point_vector2", (1, 2), TypeError,
     "Argument 'point' has incorrect type (expected tarvex.vector2.vector2.Vector2, got tuple)"),
    ("collide_rect_vector4", Rect(), TypeError,
     "Argument 'other' has incorrect type (expected tarvex.vector4.vector4.Vector4, got "
     "tarvex.rect.rect.Rect)"),
    ("collide_rect_rect", Vector4(1, 2, 3, 4), TypeError,
     "Argument 'other' has incorrect type (expected tarvex.rect.rect.Rect, got "
     "tarvex.vector4.vector4.Vector4)"),
    ("collide_rect_tuple", [0, 0, 1, 1], TypeError,
     "Argument 'other' has incorrect type (expected tuple, got list)"),
    ("collide_rect_list", (0, 0, 1, 1), TypeError,
     "Argument 'other' has incorrect type (expected list, got tuple)"),
    # None passes the argument check and fails where it is read.
    ("collide_point_vector2", None, AttributeError, "'NoneType' object has no attribute 'x'"),
    ("collide_rect_vector4", None, AttributeError, "'NoneType' object has no attribute 'x'"),
    ("collide_point_tuple", None, TypeError, "'NoneType' object is not subscriptable"),
    ("collide_rect_list", None, TypeError, "'NoneType' object is not subscriptable"),
    ("collide_rect_rect", None, TypeError,
     "Argument 'other' has incorrect type (expected tarvex.rect.rect.Rect, got NoneType)"),
    # Too few items are refused rather than read.
    ("collide_point_tuple", (1,), ValueError, "tuple needs at least 2 items, got 1"),
    ("collide_point_list", [], ValueError, "list needs at least 2 items, got 0"),
    ("collide_rect_tuple", (1, 2, 3), ValueError, "tuple needs at least 4 items, got 3"),
    ("collide_rect_list", [1], ValueError, "list needs at least 4 items, got 1"),
])
def test_refusals(name, arg, exc, msg):
    with pytest.raises(exc) as e:
        getattr(Rect(0, 0, 10, 10), name)(arg)
    assert str(e.value) == msg


@pytest.mark.parametrize("name,arg,outcome", [
    # the general methods convert everything first
    ("collide_point", (100, "a"), TypeError),
    ("collide_point", ["a", 5], TypeError),
    ("collide_rect", (100, 0, 1, "a"), TypeError),
    # the typed variants touch a value only when its step comes
    ("collide_point_tuple", (100, "a"), False),
    ("collide_point_tuple", (5, "a"), TypeError),
    ("collide_point_list", [-1, None], False),
    ("collide_rect_tuple", (20, 0, "a", 1), TypeError),
    ("collide_rect_tuple", (-100, 0, 1, "a"), False),
    ("collide_rect_tuple", (1, "a", 1, 1), TypeError),
    ("collide_rect_list", [20, 0, 1, 1, "a"], False),
])
def test_conversion_timing(name, arg, outcome):
    call = lambda: getattr(Rect(0, 0, 10, 10), name)(arg)  # noqa: E731
    if outcome is TypeError:
        with pytest.raises(TypeError):
            call()
    else:
        assert call() is outcome


# -------------------------------------------------------- evaluation order

class Rec:
    """A number that logs the operations the interpreter sends it."""

    def __init__(self, v, log, name):
        self.v, self.log, self.name = v, log, name

    def _op(self, op, other, result):
        self.log.append((self.name, op, other))
        return result

    def __le__(self, o): return self._op("le", o, self.v <= o)
    def __ge__(self, o): return self._op("ge", o, self.v >= o)
    def __lt__(self, o): return self._op("lt", o, self.v < o)
    def __gt__(self, o): return self._op("gt", o, self.v > o)

    def __add__(self, o):
        return self._op("add", o.name, Rec(self.v + o.v, self.log, self.name + "+" + o.name))


@pytest.mark.parametrize("point,steps", [
    ((5, 5), [("px", "ge", 0.0), ("px", "le", 10.0), ("py", "ge", 0.0), ("py", "le", 10.0)]),
    ((-1, 5), [("px", "ge", 0.0)]),
    ((11, 5), [("px", "ge", 0.0), ("px", "le", 10.0)]),
    ((5, -1), [("px", "ge", 0.0), ("px", "le", 10.0), ("py", "ge", 0.0)]),
])
@pytest.mark.parametrize("kind", [tuple, list])
def test_point_order(kind, point, steps):
    log = []
    arg = kind([Rec(point[0], log, "px"), Rec(point[1], log, "py")])
    r = Rect(0, 0, 10, 10)
    getattr(r, f"collide_point_{kind.__name__}")(arg)
    assert log == steps


@pytest.mark.parametrize("other,steps", [
    ((1, 1, 2, 2), [("ox", "add", "ow"), ("ox+ow", "gt", 0.0), ("ox", "lt", 10.0),
                    ("oy", "add", "oh"), ("oy+oh", "gt", 0.0), ("oy", "lt", 10.0)]),
    ((-5, 1, 2, 2), [("ox", "add", "ow"), ("ox+ow", "gt", 0.0)]),
    ((11, 1, 2, 2), [("ox", "add", "ow"), ("ox+ow", "gt", 0.0), ("ox", "lt", 10.0)]),
])
@pytest.mark.parametrize("kind", [tuple, list])
def test_overlap_order(kind, other, steps):
    log = []
    arg = kind(Rec(v, log, n) for v, n in zip(other, ("ox", "oy", "ow", "oh")))
    getattr(Rect(0, 0, 10, 10), f"collide_rect_{kind.__name__}")(arg)
    assert log == steps


def test_list_shrinking_during_the_test():
    """An item's comparison that empties the list makes the next read fail cleanly."""
    items = []

    class Clearing:
        def __ge__(self, other):
            items.clear()
            return True

        def __le__(self, other):
            return True

    items.extend([Clearing(), 5])
    with pytest.raises(IndexError):
        Rect(0, 0, 10, 10).collide_point_list(items)
