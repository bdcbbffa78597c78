"""Rect's C method table as a sibling module uses it: creation, layout,
override dispatch, failures reported with a pending exception, no objects
made on the fast paths."""
import traceback
from collections import namedtuple

import pytest

import _rect_testhelper as helper
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4

call = helper.call

# entry -> an argument it accepts (None: it takes none)
ENTRIES = {
    "get_width": None, "get_height": None, "get_tuple": None, "get_vector4": None,
    "collide_point": (5, 5), "collide_point_vector2": Vector2(5, 5),
    "collide_point_tuple": (5, 5), "collide_point_list": [5, 5],
    "collide_rect": (1, 1, 1, 1), "collide_rect_vector4": Vector4(1, 1, 1, 1),
    "collide_rect_rect": Rect(1, 1, 1, 1), "collide_rect_tuple": (1, 1, 1, 1),
    "collide_rect_list": [1, 1, 1, 1],
}
entries = pytest.mark.parametrize("entry", ENTRIES)


def c_call(entry, r, flag, arg=None):
    return call(entry, r, flag) if ENTRIES[entry] is None else call(entry, r, arg, flag)


def test_layout_and_slot_order():
    vt, raw, size, table, slots = helper.layout()
    # header, table pointer, then the four 32-bit floats of the Rectangle
    assert (vt, raw, size) == (object.__basicsize__, object.__basicsize__ + 8, object.__basicsize__ + 24)
    assert Rect.__basicsize__ == size
    order = ["new_", "get_width", "get_height", "collide_point", "collide_point_vector2",
             "collide_point_tuple", "collide_point_list", "collide_rect", "collide_rect_vector4",
             "collide_rect_rect", "collide_rect_tuple", "collide_rect_list", "get_vector4",
             "get_tuple"]
    assert slots == [(name, i) for i, name in enumerate(order)] and table == 8 * len(order)


def test_new_holds_the_structure_without_init():
    r = call("new", 0.1, -2, 3, 1e40)
    assert type(r) is Rect
    assert helper.raw(r) == ((0.10000000149011612, -2.0, 3.0, float("inf")), True)
    assert helper.raw(Rect(1, 2, 3, 4)) == ((1.0, 2.0, 3.0, 4.0), True)


class Sub(Rect):
    pass


@entries
@pytest.mark.parametrize("cls", [Rect, Sub])
@pytest.mark.parametrize("flag", [0, 1])
def test_entries_match_the_methods(entry, cls, flag):
    r = cls(0, 0, 10, 10)
    arg = ENTRIES[entry]
    py = getattr(r, entry)() if arg is None else getattr(r, entry)(arg)
    got = c_call(entry, r, flag, arg)
    assert got == py and (type(got) is type(py) or type(py) is bool)


def make_override(entry, result):
    seen = []

    def method(self, *args):
        seen.append(args)
        if isinstance(result, Exception):
            # A fresh exception each call: raising one instance again would
            # stack its tracebacks (and grow it) on every repetition.
            raise type(result)(*result.args)
        return result
    return type("Over", (Rect,), {entry: method}), seen


@entries
def test_override_called_only_with_dispatch_on(entry):
    Over, seen = make_override(entry, None)
    r = Over(0, 0, 10, 10)
    arg = ENTRIES[entry]
    builtin = c_call(entry, Rect(0, 0, 10, 10), 0, arg)
    assert c_call(entry, r, 1, arg) == builtin and seen == []
    # The Python-visible method of the base never dispatches.
    base = getattr(Rect, entry)
    assert (base(r) if arg is None else base(r, arg)) == builtin and seen == []
    got = c_call(entry, r, 0, arg)
    assert seen == [() if arg is None else (arg,)]
    assert got == (0 if entry.startswith("collide") else None)


@pytest.mark.parametrize("result,truth", [(1, 1), ("", 0), ([0], 1), (0.0, 0), (None, 0)])
@pytest.mark.parametrize("entry", [e for e in ENTRIES if e.startswith("collide")])
def test_override_truth_value(entry, result, truth):
    Over, _ = make_override(entry, result)
    assert c_call(entry, Over(), 0, ENTRIES[entry]) == truth


class BadBool:
    def __bool__(self):
        raise ZeroDivisionError


@pytest.mark.parametrize("entry,result,exc,msg", [
    ("collide_point", KeyError("k"), KeyError, "'k'"),
    ("collide_rect_rect", BadBool(), ZeroDivisionError, ""),
    ("get_tuple", [1, 2], TypeError, "Expected tuple, got list"),
    ("get_tuple", namedtuple("T", "a")(1), TypeError, "Expected tuple, got T"),
    ("get_vector4", (1, 2, 3, 4), TypeError,
     "Cannot convert tuple to tarvex.vector4.vector4.Vector4"),
    ("get_width", KeyError("w"), KeyError, "'w'"),
])
def test_override_failures(entry, result, exc, msg):
    Over, _ = make_override(entry, result)
    with pytest.raises(exc) as e:
        c_call(entry, Over(), 0, ENTRIES[entry])
    assert str(e.value) == msg
    names = [f.name for f in traceback.extract_tb(e.value.__traceback__)]
    assert f"tarvex.rect.rect.Rect.{entry}" in names


@pytest.mark.parametrize("entry,result", [
    ("get_tuple", (9,)), ("get_vector4", Vector4(9, 9, 9, 9)), ("get_width", "any object"),
    ("get_height", [1]),
])
def test_override_results_passed_on(entry, result):
    Over, _ = make_override(entry, result)
    assert c_call(entry, Over(), 0) is result


def test_slots_subclass_and_inherited_override():
    class Slotted(Rect):
        __slots__ = ()

        def get_width(self):
            return "slotted"

    class Child(Slotted):
        pass

    for cls in (Slotted, Child):
        assert call("get_width", cls(0, 0, 3, 0), 0) == "slotted"
        assert call("get_width", cls(0, 0, 3, 0), 1) == 3.0


@pytest.mark.parametrize("entry,arg,exc,msg", [
    ("collide_rect_rect", None, TypeError,
     "Argument 'other' has incorrect type (expected tarvex.rect.rect.Rect, got NoneType)"),
    # Anything else is refused too, never read as a rectangle's memory.
    ("collide_rect_rect", (0, 0, 10, 10), TypeError,
     "Argument 'other' has incorrect type (expected tarvex.rect.rect.Rect, got tuple)"),
    ("collide_rect_rect", 7, TypeError,
     "Argument 'other' has incorrect type (expected tarvex.rect.rect.Rect, got int)"),
    ("collide_point_tuple", None, TypeError, "'NoneType' object is not subscriptable"),
    ("collide_point_tuple", (1,), ValueError, "tuple needs at least 2 items, got 1"),
    ("collide_rect_list", [1, 2, 3], ValueError, "list needs at least 4 items, got 3"),
    ("collide_rect_tuple", [1, 2, 3, 4], TypeError,
     "Argument 'other' has incorrect type (expected tuple, got list)"),
    ("collide_point_vector2", None, AttributeError, "'NoneType' object has no attribute 'x'"),
    ("collide_point", (1,), ValueError, "Point must be a Vector2, tuple, or list of length 2"),
])
def test_c_level_failures(entry, arg, exc, msg):
    with pytest.raises(exc) as e:
        call(entry, Rect(0, 0, 10, 10), arg, 1)
    assert str(e.value) == msg


class Attrs:
    """Any object with the component attributes, logging each read."""

    def __init__(self, log, **vals):
        self.__dict__["_log"], self.__dict__["_vals"] = log, vals

    def __getattr__(self, name):
        self._log.append(name)
        return self._vals[name]


@pytest.mark.parametrize("entry,vals,reads,expected", [
    ("collide_point_vector2", dict(x=5, y=5), ["x", "y"], 1),
    ("collide_point_vector2", dict(x=-1, y=5), ["x"], 0),
    ("collide_rect_vector4", dict(x=1, y=1, z=2, w=2), list("xzxywy"), 1),
    ("collide_rect_vector4", dict(x=20, y=1, z=2, w=2), list("xzx"), 0),
    ("collide_rect_vector4", dict(x=-5, y=1, z=2, w=2), list("xz"), 0),
])
def test_vector_entries_read_attributes_lazily(entry, vals, reads, expected):
    log = []
    assert call(entry, Rect(0, 0, 10, 10), Attrs(log, **vals), 1) == expected
    assert log == reads


@pytest.mark.parametrize("entry,arg,result,makes_objects", [
    ("collide_rect_rect", Rect(5, 5, 1, 1), 1, False),
    ("collide_rect_rect", Rect(50, 5, 1, 1), 0, False),
    ("collide_rect", Rect(5, 5, 1, 1), 1, False),
    ("collide_rect", (5.5, 5, 1, 1), 1, False),
    ("collide_rect", [5, 5, 1, 2 ** 62], 1, False),
    ("collide_rect", Vector4(5, 5, 1, 1), 1, False),
    ("collide_point", Vector2(5, 5), 1, False),
    ("collide_point", [5, 5.5], 1, False),
    ("collide_point_vector2", Vector2(5, 5), 1, False),
    ("collide_rect_tuple", (5.5, 5, 1, 1), 1, False),
    ("collide_rect_tuple", (5, 5, 1, 10 ** 30), 1, True),   # big ints go through the interpreter
])
def test_objects_made(entry, arg, result, makes_objects):
    got, made = helper.created(entry, Rect(0, 0, 10, 10), arg)
    assert got == result and (made > 0) is makes_objects
