"""Rect's operations, copy, contains and corner properties: 64-bit arithmetic
rounded once to 32 bits (checked against Python's doubles narrowed once by
`f32`), the documented edge cases, get_ against to_, and the refusals."""
import math
import traceback

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import f32
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4

nan, inf = math.nan, math.inf
RECT_MESSAGE = "rect must be a Rect, Vector4, tuple, or list of length 4"


def add32(a, b):
    """a + b in 32-bit arithmetic, as the far edges are summed (the double sum
    of two 32-bit values rounded once is the 32-bit sum)."""
    return f32(a + b)


def same(a, b):
    """Equal tuples of floats, NaN equal to NaN."""
    return len(a) == len(b) and all(x == y or (x != x and y != y) for x, y in zip(a, b))


def values(r):
    return r.get_tuple()


# Stored values: 32-bit floats of moderate size, so that sums stay finite.
f32s = st.floats(width=32, min_value=-1e5, max_value=1e5, allow_nan=False)
sizes = st.floats(width=32, min_value=0, max_value=1e5, allow_nan=False)
rects = st.tuples(f32s, f32s, f32s, f32s)
nonneg = st.tuples(f32s, f32s, sizes, sizes)
nums = st.floats(min_value=-1e5, max_value=1e5, allow_nan=False)


# ---------------------------------------------------------------------------
# 64-bit arithmetic on the widened values (Python floats), one rounding

@settings(max_examples=300)
@given(r=rects, x=nums, y=nums)
def test_moved_and_inflated(r, x, y):
    rx, ry, rw, rh = (float(v) for v in r)
    assert same(values(Rect(*r).get_moved(x, y)), (f32(rx + x), f32(ry + y), rw, rh))
    want = (f32(rx - x * 0.5), f32(ry - y * 0.5), f32(rw + x), f32(rh + y))
    assert same(values(Rect(*r).get_inflated(x, y)), want)


@settings(max_examples=300)
@given(r=rects, fx=st.floats(-100, 100), fy=st.floats(-100, 100) | st.none())
def test_scaled(r, fx, fy):
    def axis(p, s, f):
        p, s = float(p), float(s)
        grown = s * abs(f)
        return f32(p + s * 0.5 - grown * 0.5), f32(grown)

    (x, w), (y, h) = axis(r[0], r[2], fx), axis(r[1], r[3], fx if fy is None else fy)
    assert same(values(Rect(*r).get_scaled(fx, fy)), (x, y, w, h))


def far(p, s):
    return add32(p, s)


@settings(max_examples=300)
@given(a=rects, b=rects)
def test_clamped(a, b):
    def axis(p, s, op, os):
        if s >= os:
            return f32(float(op) + float(os) * 0.5 - float(s) * 0.5)
        if p < op:
            return op
        if far(p, s) > far(op, os):
            return f32(float(far(op, os)) - float(s))
        return p

    want = (axis(a[0], a[2], b[0], b[2]), axis(a[1], a[3], b[1], b[3]), a[2], a[3])
    assert same(values(Rect(*a).get_clamped(Rect(*b))), want)


@settings(max_examples=300)
@given(a=rects, b=rects)
def test_clipped_and_union(a, b):
    ra, rb = Rect(*a), Rect(*b)
    left, top = max(a[0], b[0]), max(a[1], b[1])
    right, bottom = min(far(a[0], a[2]), far(b[0], b[2])), min(far(a[1], a[3]), far(b[1], b[3]))
    if ra.collide_rect_rect(rb):
        want = (left, top, f32(right - left), f32(bottom - top))
    else:
        want = (a[0], a[1], 0.0, 0.0)
    assert same(values(ra.get_clipped(rb)), want)

    left, top = min(a[0], b[0]), min(a[1], b[1])
    right, bottom = max(far(a[0], a[2]), far(b[0], b[2])), max(far(a[1], a[3]), far(b[1], b[3]))
    want = (left, top, f32(right - left), f32(bottom - top))
    assert same(values(ra.get_union(rb)), want)
    assert same(values(ra.get_union_all([rb])), want)


@settings(max_examples=200)
@given(a=rects, items=st.lists(rects, max_size=6))
def test_union_all_rounds_once(a, items):
    every = [a, *items]
    left, top = min(r[0] for r in every), min(r[1] for r in every)
    right = max(far(r[0], r[2]) for r in every)
    bottom = max(far(r[1], r[3]) for r in every)
    # With no items the result is a copy; otherwise every edge is recomputed.
    want = (left, top, f32(right - left), f32(bottom - top)) if items else a
    kinds = [lambda v: Rect(*v), tuple, list, lambda v: Vector4(*v)]
    mixed = [kinds[i % 4](b) for i, b in enumerate(items)]
    assert same(values(Rect(*a).get_union_all(mixed)), want)
    assert same(values(Rect(*a).get_union_all(iter(mixed))), want)


@settings(max_examples=300)
@given(a=nonneg, b=nonneg)
def test_fitted(a, b):
    aw, ah, ow, oh = (float(v) for v in (a[2], a[3], b[2], b[3]))

    def ratio(s, room):
        return s / room if room > 0 else (inf if s > 0 else 0.0)

    rx, ry = ratio(aw, ow), ratio(ah, oh)
    if rx >= ry and 0 < rx < inf:
        w, h = ow, ah / rx
    elif ry > rx and ry < inf:
        w, h = aw / ry, oh
    else:
        w = h = 0.0
    want = (f32(b[0] + (ow - w) * 0.5), f32(b[1] + (oh - h) * 0.5), f32(w), f32(h))
    assert same(values(Rect(*a).get_fitted(Rect(*b))), want)


@settings(max_examples=300)
@given(r=rects)
def test_normalized(r):
    x, w = (far(r[0], r[2]), -r[2]) if r[2] < 0 else (r[0], r[2])
    y, h = (far(r[1], r[3]), -r[3]) if r[3] < 0 else (r[1], r[3])
    got = Rect(*r).get_normalized()
    assert same(values(got), (x, y, w, h))
    # The moved near edge is exactly the old far edge.
    assert (got.x, got.y) == (min(r[0], Rect(*r).right), min(r[1], Rect(*r).bottom))


@settings(max_examples=300)
@given(a=rects, b=rects)
def test_contains(a, b):
    want = (a[0] <= b[0] and a[1] <= b[1] and far(a[0], a[2]) >= far(b[0], b[2])
            and far(a[1], a[3]) >= far(b[1], b[3]) and far(a[0], a[2]) > b[0]
            and far(a[1], a[3]) > b[1])
    assert Rect(*a).contains(Rect(*b)) is want


@settings(max_examples=300)
@given(r=rects, px=nums, py=nums)
def test_corner_properties(r, px, py):
    x, y, w, h = r
    xs = {"left": x, "mid": f32(float(x) + float(w) * 0.5), "right": far(x, w)}
    ys = {"top": y, "mid": f32(float(y) + float(h) * 0.5), "bottom": far(y, h)}
    offsets_x = {"left": 0.0, "mid": float(w) * 0.5, "right": float(w)}
    offsets_y = {"top": 0.0, "mid": float(h) * 0.5, "bottom": float(h)}
    for name, hx, vy in CORNERS:
        rect = Rect(*r)
        assert getattr(rect, name) == Vector2(xs[hx], ys[vy])
        setattr(rect, name, (px, py))
        assert same(values(rect), (f32(px - offsets_x[hx]), f32(py - offsets_y[vy]), w, h))
    rect = Rect(*r)
    assert rect.size == Vector2(w, h)
    rect.size = (px, py)
    assert same(values(rect), (x, y, f32(px), f32(py)))


CORNERS = [("topleft", "left", "top"), ("topright", "right", "top"),
           ("bottomleft", "left", "bottom"), ("bottomright", "right", "bottom"),
           ("midtop", "mid", "top"), ("midbottom", "mid", "bottom"),
           ("midleft", "left", "mid"), ("midright", "right", "mid")]


def test_offsets_are_64_bit_not_converted_first():
    # 2**-24 + 2**-50 is 2**-24 in 32 bits: 1 + 2**-24 would tie and round
    # to 1.0; added in 64 bits the sum is above the tie.
    step = 2.0 ** -24 + 2.0 ** -50
    assert Rect(1, 0, 0, 0).get_moved(step, 0).x == 1 + 2.0 ** -23
    assert Rect(1, 0, 0, 0).to_inflated(-2 * step, 0).x == 1 + 2.0 ** -23


# ---------------------------------------------------------------------------
# Edge cases

@pytest.mark.parametrize("a,b,want", [
    ((0, 0, 10, 10), (20, 20, 5, 5), (0, 0, 0, 0)),           # disjoint: at the receiver
    ((5, 6, 10, 10), (20, 20, 5, 5), (5, 6, 0, 0)),
    ((0, 0, 10, 10), (10, 0, 5, 5), (0, 0, 0, 0)),            # touching edges do not overlap
    ((0, 0, 10, 10), (5, 5, 0, 0), (5, 5, 0, 0)),             # a zero-size rect inside
    ((0, 0, 10, 10), (2, 3, 4, 5), (2, 3, 4, 5)),
    ((0, 0, 10, 10), (nan, 0, 5, 5), (0, 0, 0, 0)),
    ((nan, 1, 10, 10), (0, 0, 5, 5), (nan, 1, 0, 0)),
    ((10, 0, -5, 10), (0, 0, 20, 20), (10, 0, -5, 10)),       # sizes as given
])
def test_clipped_cases(a, b, want):
    assert same(values(Rect(*a).get_clipped(b)), want)


@pytest.mark.parametrize("a,b,want", [
    ((0, 0, 10, 10), (20, 20, 5, 5), (0, 0, 25, 25)),
    ((0, 0, -5, -5), (0, 0, 1, 1), (0, 0, 1, 1)),             # as pygame: sizes as given
    ((nan, 0, 1, 1), (0, 0, 1, 1), (nan, 0, nan, 1)),
    ((0, 0, 1, 1), (0, nan, 1, 1), (0, nan, 1, nan)),
])
def test_union_cases(a, b, want):
    assert same(values(Rect(*a).get_union(b)), want)


@pytest.mark.parametrize("a,b,want", [
    ((0, 0, 10, 10), (20, 20, 5, 5), (17.5, 17.5, 10, 10)),   # larger: centred
    ((0, 0, 2, 2), (5, 5, 10, 10), (5, 5, 2, 2)),
    ((20, 20, 2, 2), (5, 5, 10, 10), (13, 13, 2, 2)),
    ((6, 7, 2, 2), (5, 5, 10, 10), (6, 7, 2, 2)),
    ((5, 5, 10, 10), (5, 5, 10, 10), (5, 5, 10, 10)),
    ((nan, 0, 2, 2), (5, 5, 10, 10), (nan, 5, 2, 2)),
    ((0, 0, 2, 2), (5, nan, 10, 10), (5, nan, 2, 2)),
])
def test_clamped_cases(a, b, want):
    assert same(values(Rect(*a).get_clamped(b)), want)


@pytest.mark.parametrize("a,b,want", [
    ((0, 0, 10, 5), (0, 0, 20, 20), (0, 5, 20, 10)),
    ((3, 3, 10, 10), (0, 0, 20, 10), (5, 0, 10, 10)),
    ((0, 0, 0, 0), (0, 0, 10, 10), (5, 5, 0, 0)),             # zero size: at the centre
    ((0, 0, 10, 10), (0, 0, 0, 0), (0, 0, 0, 0)),
    ((0, 0, 10, 10), (0, 0, 0, 10), (0, 5, 0, 0)),            # cannot fit
    ((0, 0, 0, 10), (0, 0, 20, 20), (10, 0, 0, 20)),
    ((0, 0, -10, 10), (0, 0, 20, 20), (0, 0, 20, 20)),        # by magnitude
    ((0, 0, 10, 10), (20, 20, -20, -20), (0, 0, 20, 20)),
    ((nan, 0, 10, 10), (0, 0, 20, 20), (nan, nan, nan, nan)),
])
def test_fitted_cases(a, b, want):
    assert same(values(Rect(*a).get_fitted(b)), want)


@pytest.mark.parametrize("r,want", [
    ((10, 10, -5, -5), (5, 5, 5, 5)),
    ((1, 2, 3, 4), (1, 2, 3, 4)),
    ((1, 2, nan, -3), (1, -1, nan, 3)),
    ((0.1, 0, -0.2, 1), (add32(0.1, -0.2), 0, f32(0.2), 1)),
])
def test_normalized_cases(r, want):
    assert same(values(Rect(*r).get_normalized()), want)


@pytest.mark.parametrize("args,want", [
    ((2,), (-5, -5, 20, 20)),
    ((2, 3), (-5, -10, 20, 30)),
    ((-2,), (-5, -5, 20, 20)),                                  # by magnitude, as pygame
    ((2, None), (-5, -5, 20, 20)),
    ((0,), (5, 5, 0, 0)),
    ((nan,), (nan, nan, nan, nan)),
])
def test_scaled_cases(args, want):
    assert same(values(Rect(0, 0, 10, 10).get_scaled(*args)), want)
    assert same(values(Rect(0, 0, 10, 10).to_scaled(*args)), want)


def test_scaled_keywords():
    assert Rect(0, 0, 10, 10).get_scaled(x=2, y=None) == Rect(0, 0, 10, 10).get_scaled(2)
    assert Rect(0, 0, 10, 10).get_scaled(y=3, x=2) == Rect(-5, -10, 20, 30)


@pytest.mark.parametrize("a,b,want", [
    ((0, 0, 10, 10), (0, 0, 10, 10), True),
    ((0, 0, 10, 10), (2, 2, 3, 3), True),
    ((0, 0, 10, 10), (5, 5, 0, 0), True),
    ((0, 0, 10, 10), (0, 0, 0, 0), True),
    ((0, 0, 10, 10), (10, 10, 0, 0), False),                  # as pygame
    ((0, 0, 10, 10), (5, 5, 6, 5), False),
    ((0, 0, 0, 0), (0, 0, 0, 0), False),                      # a zero-size rect holds nothing
    ((10, 0, -5, 10), (6, 1, 1, 1), False),                   # nor does a negative one
    ((0, 0, 10, 10), (5, 5, -2, -2), True),
    ((0, 0, 10, nan), (1, 1, 1, 1), False),
    ((0, 0, 10, 10), (nan, 1, 1, 1), False),
])
def test_contains_cases(a, b, want):
    for kind in (tuple, list, lambda v: Rect(*v), lambda v: Vector4(*v)):
        assert Rect(*a).contains(kind(b)) is want


def test_inflated_cases():
    assert Rect(0, 0, 10, 10).get_inflated(3, 3) == Rect(-1.5, -1.5, 13, 13)
    assert Rect(0, 0, 10, 10).get_inflated(-20, 0) == Rect(10, 0, -10, 10)


def test_union_all_of_nothing_is_a_copy():
    r = Rect(1, 2, 3, 4)
    for empty in ([], (), iter([]), {}):
        got = r.get_union_all(empty)
        assert got == r and got is not r


# ---------------------------------------------------------------------------
# get_ against to_

OPERATIONS = [
    ("moved", (1, 2)), ("inflated", (2, 4)), ("scaled", (2,)), ("scaled", (2, 0.5)),
    ("clamped", ((20, 20, 5, 5),)), ("clipped", (Rect(5, 5, 10, 10),)),
    ("union", ([20, 20, 5, 5],)), ("union_all", ([Rect(-1, -1, 1, 1), (20, 0, 1, 1)],)),
    ("fitted", (Vector4(0, 0, 40, 20),)), ("normalized", ()),
]


class Sub(Rect):
    pass


@pytest.mark.parametrize("name,args", OPERATIONS)
def test_get_makes_a_new_rect_and_to_changes_this_one(name, args):
    r = Sub(0, 0, 10, 10)
    got = getattr(r, f"get_{name}")(*args)
    assert type(got) is Rect and got is not r and r == Rect(0, 0, 10, 10)
    assert getattr(r, f"to_{name}")(*args) is r
    assert r == got and type(r) is Sub


def test_copy():
    r = Sub(1, 2, 3, 4)
    c = r.copy()
    assert c == r and c is not r and type(c) is Rect
    c.x = 9
    assert r.x == 1


@pytest.mark.parametrize("name,wrap", [("get_union", tuple), ("to_union", tuple),
                                       ("get_union_all", lambda t: [(1, 1, 1, 1), t]),
                                       ("to_union_all", lambda t: iter([(1, 1, 1, 1), t]))])
def test_arguments_are_read_before_the_receiver(name, wrap):
    r = Rect(0, 0, 10, 10)

    class Moves:
        def __float__(self):
            r.x = 100
            return 0.0

    assert getattr(r, name)(wrap((Moves(), 0, 1, 1))) == Rect(0, 0, 110, 10)


# ---------------------------------------------------------------------------
# Refusals

def raised(fn, *args, **kwargs):
    with pytest.raises(Exception) as e:
        fn(*args, **kwargs)
    return e.value


@pytest.mark.parametrize("name", ["get_clamped", "to_clipped", "get_union", "get_fitted",
                                  "contains", "to_clamped"])
@pytest.mark.parametrize("bad", [5, (1, 2, 3), [1, 2, 3, 4, 5], None, "abcd", Vector2(1, 2)])
def test_rect_argument_refused(name, bad):
    r = Rect(1, 2, 3, 4)
    e = raised(getattr(r, name), bad)
    assert type(e) is ValueError and str(e) == RECT_MESSAGE
    last = traceback.extract_tb(e.__traceback__)[-1]
    assert (last.name, last.filename) == (f"tarvex.rect.rect.Rect.{name}", "src/tarvex/rect/rect")
    assert r == Rect(1, 2, 3, 4)


@pytest.mark.parametrize("call,kind,msg", [
    (lambda r: r.get_clipped((1, 2, "x", 4)), TypeError, "must be real number, not str"),
    (lambda r: r.get_moved("a", 1), TypeError, "must be real number, not str"),
    (lambda r: r.get_moved(1), TypeError, "get_moved() takes exactly 2 positional arguments (1 given)"),
    (lambda r: r.to_inflated(1, 2, 3), TypeError,
     "to_inflated() takes exactly 2 positional arguments (3 given)"),
    (lambda r: r.get_scaled(), TypeError, "get_scaled() takes at least 1 positional argument (0 given)"),
    (lambda r: r.get_scaled(1, "y"), TypeError, "must be real number, not str"),
    (lambda r: r.get_normalized(1), TypeError,
     "get_normalized() takes exactly 0 positional arguments (1 given)"),
    (lambda r: r.copy(x=1), TypeError, "copy() got an unexpected keyword argument 'x'"),
    (lambda r: r.get_union_all(5), TypeError,
     "Argument 'rects' has incorrect type (expected iterable, got int)"),
    (lambda r: r.to_union_all(None), TypeError,
     "Argument 'rects' has incorrect type (expected iterable, got NoneType)"),
    (lambda r: r.to_union_all([(0, 0, 1, 1), 5]), ValueError, RECT_MESSAGE),
    (lambda r: r.get_union_all("ab"), ValueError, RECT_MESSAGE),
    (lambda r: r.get_clipped(other=(1, 2)), ValueError, RECT_MESSAGE),
])
def test_refusals(call, kind, msg):
    r = Rect(1, 2, 3, 4)
    e = raised(call, r)
    assert type(e) is kind and msg in str(e)
    assert r == Rect(1, 2, 3, 4)


def test_an_iterator_error_propagates():
    def items():
        yield (0, 0, 1, 1)
        raise KeyError("stop")

    r = Rect(1, 2, 3, 4)
    with pytest.raises(KeyError):
        r.to_union_all(items())
    assert r == Rect(1, 2, 3, 4)


@pytest.mark.parametrize("name", ["topleft", "midright", "size"])
def test_property_refusals(name):
    r = Rect(1, 2, 3, 4)
    e = raised(setattr, r, name, 5)
    assert type(e) is TypeError and str(e) == "'int' object is not subscriptable"
    assert traceback.extract_tb(e.__traceback__)[-1].name == f"tarvex.rect.rect.Rect.{name}.__set__"
    e = raised(setattr, r, name, ("x", 1))
    assert type(e) is TypeError
    e = raised(delattr, r, name)
    assert type(e) is NotImplementedError and str(e) == "__del__"
    assert r == Rect(1, 2, 3, 4)


def test_properties_take_what_center_takes():
    r = Rect(0, 0, 10, 20)
    r.bottomright = Vector2(5, 5)
    assert r == Rect(-5, -15, 10, 20)
    r.midtop = [0, 0, "ignored"]
    assert r == Rect(-5, 0, 10, 20)
    r.size = {0: 1, 1: 2}
    assert r == Rect(-5, 0, 1, 2)
