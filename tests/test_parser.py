"""The parser's C functions, called as a third-party native module calls them."""
import collections
import math
import subprocess
import sys
import textwrap
import traceback
import types

import pytest

import _parser_testhelper as h
import tarvex.parser.parser as mod
from tarvex.color.color import Color
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4

F32_01 = 0.10000000149011612
Pair = collections.namedtuple("Pair", "x y")
Quad = collections.namedtuple("Quad", "a b c d")


class IndexOnly:
    """Item access and no iterator: read by indices until IndexError."""

    def __init__(self, *items):
        self.items = items

    def __getitem__(self, i):
        return self.items[i]


class Endless:
    def __getitem__(self, i):
        return i


class Num:
    """Records every conversion in a shared log."""

    def __init__(self, log, name, value=1.0):
        self.log, self.name, self.value = log, name, value

    def __float__(self):
        self.log.append(self.name)
        if self.value is None:
            raise ArithmeticError(self.name)
        return self.value


class ItemFails:
    def __getitem__(self, i):
        raise ArithmeticError("item")


class Idx:
    def __index__(self):
        return 7


class LenFails(IndexOnly):
    """Item access and a __len__ that raises `exc`."""

    def __init__(self, exc, *items):
        super().__init__(*items)
        self.exc = exc

    def __len__(self):
        # A fresh exception each call, so that repeated runs do not stack
        # tracebacks on the one instance.
        raise type(self.exc)(*self.exc.args)


Dotted = type("pkg.Thing", (), {})


def test_module_surface():
    public = {k for k in vars(mod) if not k.startswith("__")}
    assert public == set()
    assert mod.__test__ == {}
    names = {k: repr(v).split('"')[1] for k, v in mod.__pyx_capi__.items()}
    assert names == {
        "parse_color_like": "struct Color (PyObject *)",
        "parse_rect_like": "struct Rectangle (PyObject *)",
        "parse_vector2_like": "struct Vector2 (PyObject *)",
    }


@pytest.mark.parametrize(
    "arg, want",
    [
        (Vector2(1, 2), (1, 2)),
        ((1, 2), (1, 2)),
        ([1, 2], (1, 2)),
        (range(2), (0, 1)),
        (Pair(3, 4), (3, 4)),
        (IndexOnly(5, 6), (5, 6)),
        (LenFails(TypeError("no length"), 5, 6), (5, 6)),
        ((0.1, 1e40), (F32_01, math.inf)),
        ((-1e40, Idx()), (-math.inf, 7)),
        ((True, 2**130), (1, math.inf)),
        ((1 + 2**-24, float.fromhex("0x1.ffffffp127")), (1.0, math.inf)),  # ties to even
        ([-(1 + 3 * 2**-24), float.fromhex("0x1.fffffefffffffp127")],
         (-(1 + 2**-22), float.fromhex("0x1.fffffep127"))),
        (Vector2(0.1, -0.0), (F32_01, -0.0)),
    ],
)
def test_vector2_forms(arg, want):
    got = h.parse("vector2", arg)
    assert got == want
    assert [math.copysign(1, g) for g in got] == [math.copysign(1, w) for w in want]


@pytest.mark.parametrize(
    "arg, want",
    [
        (Rect(1, 2, 3, 4), (1, 2, 3, 4)),
        ((1, 2, 3, 4), (1, 2, 3, 4)),
        ([1, 2, 3, 4], (1, 2, 3, 4)),
        (Vector4(1, 2, 3, 4), (1, 2, 3, 4)),
        (Quad(1, 2, 3, 4), (1, 2, 3, 4)),
        (type("R", (Rect,), {})(5, 6, 7, 8), (5, 6, 7, 8)),
        ((0.1, 0, 0, 1e40), (F32_01, 0, 0, math.inf)),
    ],
)
def test_rect_forms(arg, want):
    assert h.parse("rect", arg) == want


@pytest.mark.parametrize(
    "arg, want",
    [
        (Color(1, 2, 3, 4), (1, 2, 3, 4)),
        ((255, 128, 0), (255, 128, 0, 255)),
        ([300, -5, 12.9, 0.5], (255, 0, 12, 0)),
        ((True, 0, False), (1, 0, 0, 255)),
        ((-0.9, 255.9, 256), (0, 255, 255, 255)),
        ((2**31 - 1, -(2**31), 0, 0), (255, 0, 0, 0)),
        (IndexOnly(9, 8, 7), (9, 8, 7, 255)),
        (type("C", (Color,), {})(4, 3, 2, 1), (4, 3, 2, 1)),
        (Quad(1, 2, 3, 4), (1, 2, 3, 4)),
    ],
)
def test_color_forms(arg, want):
    assert h.parse("color", arg) == want


class BadIter:
    def __getitem__(self, i):
        return i

    def __iter__(self):
        raise TypeError("no iterator today")


class BrokenLen(list):
    def __iter__(self):
        raise KeyError("from __iter__")


class IntReturnsFloat:
    def __int__(self):
        return 1.5


class Huge:
    def __int__(self):
        return 2**100


FAILURES = [
    # vector2-like
    ("vector2", (1, 2, 3), ValueError, "tuple for vector2-like argument must have only 2 elements."),
    ("vector2", (), ValueError, "tuple for vector2-like argument must have only 2 elements."),
    ("vector2", [1], ValueError, "list for vector2-like argument must have only 2 elements."),
    ("vector2", Vector4(), ValueError, "sequence for vector2-like argument must have only 2 elements."),
    ("vector2", Quad(1, 2, 3, 4), ValueError,
     "sequence for vector2-like argument must have only 2 elements."),
    ("vector2", Endless(), ValueError, "sequence for vector2-like argument must have only 2 elements."),
    ("vector2", 5, TypeError, "vector2-like argument must be Vector2, or any sequence, got int."),
    ("vector2", None, TypeError, "vector2-like argument must be Vector2, or any sequence, got NoneType."),
    ("vector2", {0: 1, 1: 2}, TypeError, "vector2-like argument must be Vector2, or any sequence, got dict."),
    ("vector2", "ab", TypeError, "must be real number, not str"),
    ("vector2", (1, None), TypeError, "must be real number, not NoneType"),
    ("vector2", BadIter(), TypeError, "expected sequence"),
    ("vector2", BrokenLen([1, 2]), KeyError, "'from __iter__'"),
    ("vector2", LenFails(ArithmeticError("len"), 1, 2), ArithmeticError, "len"),
    ("vector2", Dotted(), TypeError, "vector2-like argument must be Vector2, or any sequence, got pkg.Thing."),
    # rect-like
    ("rect", (1, 2, 3), ValueError, "tuple for rect-like argument must have only 4 elements."),
    ("rect", [1, 2, 3, 4, 5], ValueError, "list for rect-like argument must have only 4 elements."),
    ("rect", Vector2(), ValueError, "sequence for rect-like argument must have only 4 elements."),
    ("rect", 5, TypeError, "rect_like argument must be Rect, tuple, or list, got int"),
    ("rect", 5.0, TypeError, "rect_like argument must be Rect, tuple, or list, got float"),
    ("rect", (1, 2, 3, "x"), TypeError, "must be real number, not str"),
    ("rect", ItemFails(), ArithmeticError, "item"),
    ("rect", LenFails(ArithmeticError("len"), 1, 2, 3, 4), ArithmeticError, "len"),
    ("rect", Dotted(), TypeError, "rect_like argument must be Rect, tuple, or list, got pkg.Thing"),
    # color-like
    ("color", (1, 2), ValueError, "tuple for color-like argument must have only 3-4 elements."),
    ("color", [1, 2, 3, 4, 5], ValueError, "list for color-like argument must have only 3-4 elements."),
    ("color", Vector2(), ValueError, "sequence for color-like argument must have only 3-4 elements."),
    ("color", 5, TypeError, "color-like argument must be Color, or any sequence, got int."),
    ("color", Dotted(), TypeError, "color-like argument must be Color, or any sequence, got pkg.Thing."),
    ("color", LenFails(ArithmeticError("len"), 1, 2, 3), ArithmeticError, "len"),
    ("color", "abc", TypeError, "an integer is required"),
    ("color", (1, 2, None), TypeError, "an integer is required"),
    ("color", (2**40, 0, 0), OverflowError, "value too large to convert to int"),
    ("color", (0, 0, 2**100), OverflowError, None),
    ("color", (Huge(), 0, 0), OverflowError, None),
    ("color", (IntReturnsFloat(), 0, 0), TypeError, "__int__ returned non-int (type float)"),
]


def _entries(exc):
    return [(f.name, f.filename) for f in traceback.extract_tb(exc.__traceback__)]


@pytest.mark.parametrize("kind, arg, exc, msg", FAILURES)
def test_failure_sets_exception_and_returns_zeros(kind, arg, exc, msg):
    result, raised, zero = h.outcome(kind, arg)
    assert type(raised) is exc
    if msg is not None:
        assert str(raised) == msg
    assert zero and not any(result)
    assert _entries(raised)[:1] == [(f"tarvex.parser.parser.parse_{kind}_like", "src/tarvex/parser/parser")]


@pytest.mark.parametrize("kind", ["vector2", "rect", "color"])
@pytest.mark.parametrize("pending", [False, True])
def test_null_argument_keeps_or_sets_an_exception(kind, pending):
    raised, zero = h.null_argument(kind, pending)
    assert zero
    assert type(raised) is (LookupError if pending else SystemError)
    # The caller's own exception is left as it was.
    assert len(_entries(raised)) == (0 if pending else 1)


def test_items_converted_in_order_until_the_first_failure():
    log = []
    with pytest.raises(ArithmeticError, match="b"):
        h.parse("rect", [Num(log, "a"), Num(log, "b", None), Num(log, "c"), Num(log, "d")])
    assert log == ["a", "b"]
    log.clear()
    with pytest.raises(ArithmeticError, match="b"):
        h.parse("vector2", IndexOnly(Num(log, "a"), Num(log, "b", None)))
    assert log == ["a", "b"]


def test_list_emptied_by_an_item_conversion():
    victim = []

    class Clears:
        def __float__(self):
            victim.clear()
            return 3.0

    victim.extend([Clears(), 4.0])
    assert h.parse("vector2", victim) == (3.0, 4.0)


def test_subclass_int_from_int_warns_and_passes():
    class MyInt(int):
        pass

    class Gives:
        def __int__(self):
            return MyInt(300)

    with pytest.warns(DeprecationWarning):
        assert h.parse("color", (Gives(), 1, 2)) == (255, 1, 2, 255)


def test_header_import_step_checks_the_capsules():
    addresses = h.import_from("tarvex.parser.parser")
    assert len(set(addresses)) == 3 and all(addresses)
    capi = mod.__pyx_capi__
    fake = types.ModuleType("fake_parser")
    sys.modules["fake_parser"] = fake
    try:
        fake.__pyx_capi__ = dict(capi, parse_rect_like=capi["parse_color_like"])
        with pytest.raises(TypeError, match=r"parse_rect_like has wrong signature \(expected struct Rectangle"):
            h.import_from("fake_parser")
        fake.__pyx_capi__ = {k: v for k, v in capi.items() if k != "parse_color_like"}
        with pytest.raises(ImportError, match="does not export expected C function parse_color_like"):
            h.import_from("fake_parser")
        fake.__pyx_capi__ = [capi]
        with pytest.raises(TypeError, match="is not a dict"):
            h.import_from("fake_parser")
    finally:
        del sys.modules["fake_parser"]


@pytest.mark.parametrize("blocked", ["tarvex.vector4.vector4", "tarvex.color.color", "tarvex.rect.rect"])
def test_import_fails_with_a_sibling(blocked):
    code = textwrap.dedent(f"""
        import sys
        sys.modules[{blocked!r}] = None
        try:
            import tarvex.parser.parser
        except ImportError as e:
            print("ImportError", e.name)
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.split() == ["ImportError", blocked]
