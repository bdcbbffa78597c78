"""The Color type: construction, channels, value semantics, and its
operations checked against raylib's own functions."""
import ctypes
import math
import pathlib
import pickle

import pytest

import tarvex
from tarvex.color.color import Color
from tarvex.vector4.vector4 import Vector4


class RlColor(ctypes.Structure):
    _fields_ = [("r", ctypes.c_ubyte), ("g", ctypes.c_ubyte), ("b", ctypes.c_ubyte), ("a", ctypes.c_ubyte)]


@pytest.fixture(scope="module")
def raylib():
    libs = pathlib.Path(tarvex.__file__).parent.parent / "tarvex.libs"
    lib = ctypes.CDLL(str(next(libs.glob("libraylib*.so*"))))
    lib.ColorTint.restype = RlColor
    lib.ColorTint.argtypes = [RlColor, RlColor]
    lib.Fade.restype = RlColor
    lib.Fade.argtypes = [RlColor, ctypes.c_float]
    lib.ColorToInt.restype = ctypes.c_int
    lib.ColorToInt.argtypes = [RlColor]
    return lib


def channels(c):
    return (c.r, c.g, c.b, c.a)


SAMPLES = [(0, 0, 0, 0), (255, 255, 255, 255), (1, 2, 3, 4), (128, 127, 129, 254), (255, 0, 128, 1),
           (17, 200, 99, 255)]


@pytest.mark.parametrize("args, expected", [
    ((1, 2, 3, 4), (1, 2, 3, 4)),
    ((1, 2, 3), (1, 2, 3, 255)),
    ((0, 0, 0, 0), (0, 0, 0, 0)),
    ((255, 255, 255, 255), (255, 255, 255, 255)),
    ((True, False, 2.9, 7), (1, 0, 2, 7)),
])
def test_construct(args, expected):
    assert channels(Color(*args)) == expected


def test_keywords():
    assert channels(Color(b=3, r=1, a=4, g=2)) == (1, 2, 3, 4)
    assert channels(Color(1, 2, 3, a=9)) == (1, 2, 3, 9)


@pytest.mark.parametrize("args, name, value", [
    ((256, 0, 0), "r", 256), ((0, -1, 0), "g", -1), ((0, 0, 1000), "b", 1000), ((0, 0, 0, 300), "a", 300),
])
def test_channel_out_of_range(args, name, value):
    with pytest.raises(ValueError, match=rf"^Color channel '{name}' must be in 0\.\.255, got {value}$"):
        Color(*args)


@pytest.mark.parametrize("args, kwargs, exc, message", [
    ((), {}, TypeError, r"^__init__\(\) takes at least 3 positional arguments \(0 given\)$"),
    ((1, 2, 3, 4, 5), {}, TypeError, r"^__init__\(\) takes at most 4 positional arguments \(5 given\)$"),
    ((1, 2, 3), {"x": 1}, TypeError, r"^__init__\(\) got an unexpected keyword argument 'x'$"),
    ((1, 2, 3), {"r": 1}, TypeError, r"^__init__\(\) got multiple values for keyword argument 'r'$"),
    (("1", 2, 3), {}, TypeError, r"^an integer is required$"),
    ((2**40, 0, 0), {}, OverflowError, r"^value too large to convert to int$"),
])
def test_construct_refusals(args, kwargs, exc, message):
    with pytest.raises(exc, match=message):
        Color(*args, **kwargs)


class Sub(Color):
    pass


@pytest.mark.parametrize("cls", [Color, Sub])
def test_subclass_construction_uses_the_same_rules(cls):
    c = cls(9, 8, 7, a=6)
    assert type(c) is cls and channels(c) == (9, 8, 7, 6)
    with pytest.raises(ValueError, match="'a' must be"):
        cls(0, 0, 0, a=256)
    with pytest.raises(TypeError, match="unexpected keyword argument 'q'"):
        cls(0, 0, 0, q=1)


def test_traceback_entry():
    with pytest.raises(ValueError) as e:
        Color(0, 0, 300)
    last = e.traceback[-1]
    assert last.name == "tarvex.color.color.Color.__init__"
    assert str(last.path) == "src/tarvex/color/color"


@pytest.mark.parametrize("name", "rgba")
def test_channel_properties(name):
    c = Color(10, 20, 30, 40)
    setattr(c, name, 200)
    assert getattr(c, name) == 200
    with pytest.raises(ValueError, match=f"'{name}' must be in 0..255, got 256"):
        setattr(c, name, 256)
    assert getattr(c, name) == 200
    with pytest.raises(NotImplementedError, match="^__del__$"):
        delattr(c, name)


def test_repr_equality_hash():
    c = Color(1, 2, 3, 4)
    assert repr(c) == "Color(1, 2, 3, 4)"
    assert repr(Sub(1, 2, 3)) == "Sub(1, 2, 3, 255)"
    assert repr(type("pkg.Dotted", (Color,), {})(1, 2, 3)) == "pkg.Dotted(1, 2, 3, 255)"
    assert c == Color(1, 2, 3, 4) and c == Sub(1, 2, 3, 4)
    assert c != Color(1, 2, 3, 5)
    assert c != (1, 2, 3, 4)
    assert hash(c) == hash(Color(1, 2, 3, 4))
    assert len({Color(*s) for s in SAMPLES + SAMPLES}) == len(SAMPLES)
    assert hash(Color(255, 255, 255, 255)) != -1
    with pytest.raises(TypeError):
        _ = c < c


def test_sequence_of_channels():
    c = Color(1, 2, 3, 4)
    assert len(c) == 4 and tuple(c) == (1, 2, 3, 4) and list(Sub(5, 6, 7)) == [5, 6, 7, 255]
    assert (c[0], c[3], c[-1], c[-4]) == (1, 4, 4, 1)
    for i in (4, -5):
        with pytest.raises(IndexError, match="^Color index out of range$"):
            c[i]
    with pytest.raises(TypeError):
        c[0] = 5


def test_no_pickling():
    with pytest.raises(TypeError, match="cannot be converted to a Python object for pickling"):
        pickle.dumps(Color(1, 2, 3))


@pytest.mark.parametrize("value", SAMPLES)
def test_normalize(value):
    v = Color(*value).normalize()
    assert type(v) is Vector4
    assert (v.x, v.y, v.z, v.w) == tuple(c / 255 for c in value)


@pytest.mark.parametrize("value", SAMPLES)
def test_to_int_matches_raylib(raylib, value):
    assert Color(*value).to_int() == raylib.ColorToInt(RlColor(*value))


@pytest.mark.parametrize("value", SAMPLES)
@pytest.mark.parametrize("tint", SAMPLES)
def test_tint_matches_raylib(raylib, value, tint):
    got = Color(*value).tint(Color(*tint))
    assert type(got) is Color
    assert channels(got) == channels(raylib.ColorTint(RlColor(*value), RlColor(*tint)))


@pytest.mark.parametrize("alpha", [0.0, 1.0, 0.5, 0.999, 0.0039, 0.25, -1.0, 2.0, 1e30, -math.inf, math.inf, 0.7])
def test_fade_matches_raylib(raylib, alpha):
    c = Color(10, 20, 30, 40)
    assert c.fade(alpha) is None
    assert channels(c) == channels(raylib.Fade(RlColor(10, 20, 30, 40), alpha))


def test_fade_nan_is_transparent():
    c = Color(10, 20, 30, 40)
    c.fade(math.nan)
    assert channels(c) == (10, 20, 30, 0)


@pytest.mark.parametrize("call, message", [
    (lambda c: c.tint((1, 2, 3, 4)),
     r"^Argument 'tint' has incorrect type \(expected tarvex\.color\.color\.Color, got tuple\)$"),
    (lambda c: c.tint(), r"^tint\(\) takes exactly 1 positional argument \(0 given\)$"),
    (lambda c: c.fade("x"), r"must be real number, not str"),
    (lambda c: c.fade(alpha=0.5, beta=1), r"^fade\(\) got an unexpected keyword argument 'beta'$"),
])
def test_method_refusals(call, message):
    with pytest.raises(TypeError, match=message):
        call(Color(1, 2, 3))
