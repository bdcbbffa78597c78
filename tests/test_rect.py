"""Rect as a value: construction, storage widths, edges and centres, protocol."""
import copy
import gc
import math
import pickle
import subprocess
import sys
import traceback
import weakref
from collections import namedtuple
from decimal import Decimal

import pytest

from conftest import f32
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4


def vals(r):
    return (r.x, r.y, r.w, r.h)


Pair = namedtuple("Pair", "a b")
Quad = namedtuple("Quad", "a b c d")


class ListSub(list):
    pass


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


# ------------------------------------------------------------ construction

@pytest.mark.parametrize("args,expected", [
    ((), (0, 0, 0, 0)),
    ((Vector2(3, 4),), (0, 0, 3, 4)),
    ((Vector4(1, 2, 3, 4),), (1, 2, 3, 4)),
    (((1, 2, 3, 4),), (1, 2, 3, 4)),
    (([1, 2, 3, 4],), (1, 2, 3, 4)),
    ((Quad(1, 2, 3, 4),), (1, 2, 3, 4)),
    ((ListSub([1, 2, 3, 4]),), (1, 2, 3, 4)),
    ((1, 2, 3, 4), (1, 2, 3, 4)),
    ((Index(1), 2.0, Decimal(3), True), (1, 2, 3, 1)),
    (((1, 2), (3, 4)), (1, 2, 3, 4)),
    (((1, 2), Vector2(3, 4)), (1, 2, 3, 4)),
    ((Vector2(1, 2), Vector2(3, 4)), (1, 2, 3, 4)),
    (([1, 2], [3, 4]), (1, 2, 3, 4)),
    ((Pair(1, 2), ListSub([3, 4])), (1, 2, 3, 4)),
])
def test_construction_forms(args, expected):
    assert vals(Rect(*args)) == expected


def test_size_of_the_vector_form_is_read_by_attribute():
    class Size:
        x, y = 7, 8
    assert vals(Rect(Vector2(1, 2), Size())) == (1, 2, 7, 8)
    with pytest.raises(AttributeError):
        Rect(Vector2(1, 2), (3, 4))


def test_copy_is_distinct():
    r = Rect(1, 2, 3, 4)
    c = Rect(r)
    assert c == r and c is not r
    c.x = 9
    assert r.x == 1


@pytest.mark.parametrize("args,kw,exc,msg", [
    (([1, 2, 3],), {}, ValueError, "list/tuple for rect must have 4 elements"),
    (((1, 2, 3, 4, 5),), {}, ValueError, "list/tuple for rect must have 4 elements"),
    (("abcd",), {}, ValueError, "Rect takes Vector2, Rect, Vector4, or list/tuple of length 4"),
    ((5,), {}, ValueError, "Rect takes Vector2, Rect, Vector4, or list/tuple of length 4"),
    ((1, 2), {}, ValueError, "First argument must be a Vector2 or list/tuple of length 2"),
    (((1, 2, 3), (3, 4)), {}, ValueError, "First argument must be a Vector2 or list/tuple of length 2"),
    (((1, 2), {0: 3, 1: 4}), {}, ValueError, "Second argument must be a Vector2 or list/tuple of length 2"),
    (((1, 2), (3, 4, 5)), {}, ValueError, "Second argument must be a Vector2 or list/tuple of length 2"),
    ((1, 2, 3), {}, TypeError, "Rect expected 0, 1, 2, or 4 arguments, got 3"),
    ((1, 2, 3, 4, 5), {}, TypeError, "Rect expected 0, 1, 2, or 4 arguments, got 5"),
    ((), {"x": 1}, TypeError, "__init__() got an unexpected keyword argument 'x'"),
    ((1, 2, 3, 4), {"y": 1}, TypeError, "__init__() got an unexpected keyword argument 'y'"),
])
def test_construction_refusals(args, kw, exc, msg):
    with pytest.raises(exc) as e:
        Rect(*args, **kw)
    assert str(e.value) == msg


@pytest.mark.parametrize("args", [
    (1, 2, 3, "x"),
    ([1, 2, 3, None],),
    ((1, 2, 3),),
    (Vector2(1, 2), object()),
    ((1, 2), (3, None)),
])
def test_failed_reinit_keeps_old_values(args):
    r = Rect(9, 9, 9, 9)
    with pytest.raises((TypeError, ValueError, AttributeError)):
        r.__init__(*args)
    assert vals(r) == (9, 9, 9, 9)


def test_two_argument_sequence_form_stores_before_checking_size():
    r = Rect(9, 9, 9, 9)
    with pytest.raises(ValueError, match="^Second argument"):
        r.__init__((1, 2), {0: 3, 1: 4})
    assert vals(r) == (1, 2, 3, 4)


def test_empty_keywords_accepted_and_reinit():
    r = Rect(**{})
    r.__init__(5, 6, 7, 8, **{})
    assert vals(r) == (5, 6, 7, 8)


def test_sequence_items_read_in_index_order():
    seen = []

    class Seq(list):
        def __getitem__(self, i):
            seen.append(i)
            return super().__getitem__(i)

        def __len__(self):
            seen.append("len")
            return 4

    assert vals(Rect(Seq([1, 2, 3, 4]))) == (1, 2, 3, 4)
    assert seen == ["len", 0, 1, 2, 3]


@pytest.mark.parametrize("value,stored", [
    (0.1, 0.10000000149011612),
    (1e40, math.inf),
    (-1e40, -math.inf),
    (2 ** 24 + 1, 2.0 ** 24),
    (3.4028235677973362e38, 3.4028234663852886e38),   # just below the halfway point to inf
    (3.4028235677973366e38, math.inf),                # the halfway point rounds to even
])
def test_values_are_32_bit(value, stored):
    for r in (Rect(value, value, value, value), Rect((value, value), (value, value))):
        assert vals(r) == (stored,) * 4


# ---------------------------------------------------------------- properties

def test_edges_and_centres():
    r = Rect(10, 20, 30, 40)
    assert (r.left, r.top, r.width, r.height) == (10, 20, 30, 40)
    assert (r.right, r.bottom, r.centerx, r.centery) == (40.0, 60.0, 25.0, 40.0)
    assert r.center == Vector2(25, 40) and type(r.center) is Vector2


def test_edge_widths_differ():
    r = Rect(0.1, 0, 0.2, 1)
    assert r.right == f32(f32(0.1) + f32(0.2)) == 0.30000001192092896
    assert r.centerx == f32(0.1) + f32(0.2) * 0.5 == 0.20000000298023224
    assert r.center.x == f32(r.centerx)


@pytest.mark.parametrize("name,value,expected", [
    ("right", 100, (70, 20, 30, 40)),
    ("bottom", 100, (10, 60, 30, 40)),
    ("centerx", 0, (-15, 20, 30, 40)),
    ("centery", 0.5, (10, -19.5, 30, 40)),
    ("center", (0, 0), (-15, -20, 30, 40)),
    ("center", [1, 2, "ignored"], (-14, -18, 30, 40)),
    ("center", Vector2(0, 0), (-15, -20, 30, 40)),
    ("left", 1, (1, 20, 30, 40)),
    ("top", 1, (10, 1, 30, 40)),
    ("w", 1, (10, 20, 1, 40)),
    ("h", 1, (10, 20, 30, 1)),
])
def test_setters(name, value, expected):
    r = Rect(10, 20, 30, 40)
    setattr(r, name, value)
    assert vals(r) == expected


def test_centerx_on_odd_width():
    r = Rect(0, 0, 3, 1)
    r.centerx = 1
    assert r.x == -0.5


@pytest.mark.parametrize("name,half", [("right", False), ("bottom", False),
                                       ("centerx", True), ("centery", True)])
def test_movers_use_the_interpreters_subtraction(name, half):
    got = []

    class V:
        def __sub__(self, other):
            got.append(other)
            return 7

    r = Rect(0, 0, 0.1, 0.1)
    setattr(r, name, V())
    assert got == [f32(0.1) * 0.5 if half else f32(0.1)] and type(got[0]) is float
    assert r.x + r.y == 7
    assert r.w == r.h == f32(0.1)


@pytest.mark.parametrize("name,value,exc", [
    ("right", "a", TypeError),
    ("centerx", Decimal(1), TypeError),     # Decimal - float is unsupported
    ("bottom", 10 ** 400, OverflowError),
    ("x", "a", TypeError),
    ("center", 5, TypeError),
    ("center", (1,), IndexError),
])
def test_setter_errors_leave_values(name, value, exc):
    r = Rect(1, 2, 3, 4)
    with pytest.raises(exc):
        setattr(r, name, value)
    assert vals(r) == (1, 2, 3, 4)


@pytest.mark.parametrize("name", ["x", "left", "y", "top", "w", "width", "h", "height", "right",
                                  "bottom", "centerx", "centery", "center"])
def test_property_deletion(name):
    with pytest.raises(NotImplementedError, match="^__del__$"):
        delattr(Rect(), name)


# ------------------------------------------------------------------ protocol

def test_indexing():
    r = Rect(1, 2, 3, 4)
    assert (r[0], r[3], r[True], r[Index(2)]) == (1, 4, 2, 3)
    assert list(r) == [1.0, 2.0, 3.0, 4.0] and len(r) == 4 and 3.0 in r and bool(Rect())
    x, y, w, h = r
    assert (x, y, w, h) == (1, 2, 3, 4)
    r[2] = 9
    assert r.width == 9


@pytest.mark.parametrize("key,exc,msg", [
    (-1, IndexError, "Rect index out of range"),
    (4, IndexError, "Rect index out of range"),
    (2 ** 40, IndexError, "Rect index out of range"),
    (2 ** 64, OverflowError, None),
    (slice(0, 2), TypeError, None),
    (1.0, TypeError, None),
    ("0", TypeError, None),
])
def test_bad_index(key, exc, msg):
    r = Rect(1, 2, 3, 4)
    for op in (lambda: r[key], lambda: r.__setitem__(key, 5)):
        with pytest.raises(exc) as e:
            op()
        assert msg is None or str(e.value) == msg
    assert vals(r) == (1, 2, 3, 4)


def test_item_assignment_converts_before_checking_index():
    with pytest.raises(TypeError, match="real number"):
        Rect()[9] = "a"


def test_item_deletion():
    with pytest.raises(NotImplementedError) as e:
        del Rect()[0]
    assert str(e.value) == "Subscript deletion not supported by tarvex.rect.rect.Rect"


def test_equality():
    class AlwaysEqual:
        def __eq__(self, other):
            return True

    assert Rect(1, 2, 3, 4) == Rect(1, 2, 3, 4)
    assert Rect(0.0, 0, 0, 0) == Rect(-0.0, 0, 0, 0)
    assert Rect(1, 2, 3, 4) != (1.0, 2.0, 3.0, 4.0)
    assert not (Rect() == AlwaysEqual()) and Rect() != AlwaysEqual()
    nan = Rect(math.nan, 0, 0, 0)
    assert nan != nan and not (nan == nan)
    with pytest.raises(TypeError):
        Rect() < Rect()


def test_unhashable():
    with pytest.raises(TypeError):
        hash(Rect())
    with pytest.raises(TypeError):
        {Rect()}


@pytest.mark.parametrize("op,entry", [
    (pickle.dumps, "__reduce__"), (copy.copy, "__reduce__"), (copy.deepcopy, "__reduce__"),
    (lambda r: r.__setstate__(None), "__setstate__"), (lambda r: r.__reduce__(), "__reduce__"),
])
def test_pickling_and_copying_refused(op, entry):
    with pytest.raises(TypeError) as e:
        op(Rect(1, 2, 3, 4))
    assert str(e.value) == ("self._raw is a structure member: pickling of structure members must "
                            "be requested explicitly")
    last = traceback.extract_tb(e.value.__traceback__)[-1]
    assert (last.name, last.filename) == (f"tarvex.rect.rect.Rect.{entry}", "src/tarvex/rect/rect")


@pytest.mark.parametrize("op,msg,entry", [
    (lambda r: r.__reduce__(1), "__reduce__() takes exactly 0 positional arguments (1 given)",
     "__reduce__"),
    (lambda r: r.__setstate__(), "__setstate__() takes exactly 1 positional argument (0 given)",
     "__setstate__"),
])
def test_pickling_hook_binding(op, msg, entry):
    with pytest.raises(TypeError) as e:
        op(Rect())
    assert str(e.value) == msg
    assert traceback.extract_tb(e.value.__traceback__)[-1].name == f"tarvex.rect.rect.Rect.{entry}"


@pytest.mark.parametrize("r,text", [
    (Rect(1, 2.5, 3, 4), "Rect(position=(1.0, 2.5), size=(3.0, 4.0))"),
    (Rect(0.1, -2, 1e40, math.nan), "Rect(position=(0.10000000149011612, -2.0), size=(inf, nan))"),
    (Rect(1e30, 0, 0, -1e-30),
     "Rect(position=(1.0000000150474662e+30, 0.0), size=(0.0, -1.0000000031710769e-30))"),
])
def test_repr(r, text):
    assert repr(r) == text


# ------------------------------------------------------------------- methods

def test_value_methods():
    r = Rect(1, 2, 3, 4)
    assert (r.get_width(), r.get_height()) == (3.0, 4.0)
    assert r.get_tuple() == (1.0, 2.0, 3.0, 4.0) and type(r.get_tuple()) is tuple
    assert r.get_vector4() == Vector4(1, 2, 3, 4)
    assert Rect(0.1, 0, 0, 0).get_vector4().x == f32(0.1)


@pytest.mark.parametrize("call,msg", [
    (lambda r: r.get_tuple(1), "get_tuple() takes exactly 0 positional arguments (1 given)"),
    (lambda r: r.get_width(a=1), "get_width() got an unexpected keyword argument 'a'"),
    (lambda r: r.collide_point(), "collide_point() takes exactly 1 positional argument (0 given)"),
    (lambda r: r.collide_rect(1, 2), "collide_rect() takes exactly 1 positional argument (2 given)"),
    (lambda r: r.collide_rect(point=1), "collide_rect() got an unexpected keyword argument 'point'"),
    (lambda r: r.collide_point((1, 1), point=(1, 1)),
     "collide_point() got multiple values for keyword argument 'point'"),
])
def test_method_binding_errors(call, msg):
    with pytest.raises(TypeError) as e:
        call(Rect())
    assert str(e.value) == msg


def test_keyword_arguments():
    r = Rect(0, 0, 2, 2)
    assert r.collide_point(point=(1, 1)) and r.collide_rect_tuple(other=(1, 1, 1, 1))


# ------------------------------------------------------ type and module

def test_type_shape():
    import tarvex.rect.rect as mod
    assert [n for n in dir(mod) if not n.startswith("__")] == ["Rect"]
    assert f"{Rect.__module__}.{Rect.__qualname__}" == "tarvex.rect.rect.Rect"
    assert type(Rect.__dict__["__pyx_vtable__"]).__name__ == "PyCapsule"
    r = Rect()
    assert not hasattr(r, "__dict__") and not gc.is_tracked(r)
    with pytest.raises(TypeError):
        weakref.ref(r)


def test_subclass():
    class Sub(Rect):
        def __init__(self, *args):
            super().__init__(*args)
            self.tag = "t"

    s = Sub(1, 2, 3, 4)
    assert s.tag == "t" and vals(s) == (1, 2, 3, 4) and s == Rect(1, 2, 3, 4)
    assert vals(Rect(s)) == (1, 2, 3, 4)
    with pytest.raises(NotImplementedError, match="by Sub$"):
        del s[0]


def test_traceback_entry():
    try:
        Rect().collide_point(5)
    except ValueError as e:
        frames = traceback.extract_tb(e.__traceback__)
    assert (frames[-1].name, frames[-1].filename) == ("tarvex.rect.rect.Rect.collide_point",
                                                      "src/tarvex/rect/rect")


def test_import_fails_when_a_sibling_cannot_be_bound():
    code = ("import sys, traceback\n"
            "sys.modules['tarvex.vector4.vector4'] = None\n"
            "try:\n"
            "    import tarvex.rect.rect\n"
            "except ImportError as e:\n"
            "    print(traceback.extract_tb(e.__traceback__)[-1].name)\n")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "init tarvex.rect.rect"
