"""Rect.clip_line: the argument forms, the closed rectangle, exact edge
points, agreement with exact rational clipping, and the refusals."""
import math
import traceback
from fractions import Fraction

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import f32
from ieee import spacing32
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2

nan, inf = math.nan, math.inf
R = Rect(0, 0, 10, 10)


def pts(result):
    return tuple((p.x, p.y) for p in result)


@pytest.mark.parametrize("args", [
    (-5, 5, 15, 8),
    ((-5, 5), (15, 8)),
    ([-5, 5], Vector2(15, 8)),
    (((-5, 5), (15, 8)),),
    ([(-5, 5), [15, 8]],),
    ((-5, 5, 15, 8),),
    ([-5, 5, 15, 8],),
])
def test_forms(args):
    got = R.clip_line(*args)
    assert type(got) is tuple and all(type(p) is Vector2 for p in got)
    assert pts(got) == ((0, 5.75), (10, 7.25))


@pytest.mark.parametrize("rect,line,want", [
    ((0, 0, 10, 10), (-5, 5, 15, 5), ((0, 5), (10, 5))),
    ((0, 0, 10, 10), (15, 5, -5, 5), ((10, 5), (0, 5))),       # the direction is kept
    ((0, 0, 10, 10), (1, 1, 2, 3), ((1, 1), (2, 3))),          # inside: as given
    ((0, 0, 10, 10), (5, -5, 5, 5), ((5, 0), (5, 5))),
    ((0, 0, 10, 10), (-5, -5, -1, 20), ()),
    ((0, 0, 10, 10), (-5, 0, 15, 0), ((0, 0), (10, 0))),       # along an edge: closed
    ((0, 0, 10, 10), (0, 10, 10, 10), ((0, 10), (10, 10))),
    ((0, 0, 10, 10), (-5, 5, 5, -5), ((0, 0), (0, 0))),        # touching a corner
    ((0, 0, 10, 10), (5, 5, 5, 5), ((5, 5), (5, 5))),          # a point
    ((0, 0, 10, 10), (11, 5, 11, 5), ()),
    ((0, 0, 10, 10), (-5, 10.5, 15, 10.5), ()),                # parallel, outside
    ((5, 5, 0, 0), (0, 0, 10, 10), ((5, 5), (5, 5))),          # a zero-size rect
    ((10, 0, -5, 10), (-15, 5, 15, 5), ()),                    # a negative size holds no point
    ((0, 0, 10, nan), (-5, 5, 15, 5), ()),
    ((0, 0, 10, 10), (nan, 5, 15, 5), ()),
    ((0.1, 0, 0.2, 1), (0, 0.5, 1, 0.5), ((0.1, 0.5), (0.3, 0.5))),
])
def test_cases(rect, line, want):
    got = pts(Rect(*rect).clip_line(*line))
    assert got == tuple((f32(x), f32(y)) for x, y in want)


def test_far_edges_are_32_bit_sums():
    # The right edge of (0.1, 0, 0.2, 1) is the 32-bit sum 0.30000001192092896.
    (a, b) = Rect(0.1, 0, 0.2, 1).clip_line(0, 0.5, 1, 0.5)
    assert b.x == Rect(0.1, 0, 0.2, 1).right == 0.30000001192092896


def exact_clip(rect, line):
    """The clipped segment in exact rationals, or None."""
    x0, y0, x1, y1 = map(Fraction, line)
    left, top = Fraction(rect[0]), Fraction(rect[1])
    right, bottom = left + Fraction(rect[2]), top + Fraction(rect[3])
    t0, t1 = Fraction(0), Fraction(1)
    for p, q in ((x0 - x1, x0 - left), (x1 - x0, right - x0),
                 (y0 - y1, y0 - top), (y1 - y0, bottom - y0)):
        if p == 0:
            if q < 0:
                return None
            continue
        t = q / p
        if p < 0:
            t0 = max(t0, t)
        else:
            t1 = min(t1, t)
    if t0 > t1:
        return None
    return tuple((x0 + t * (x1 - x0), y0 + t * (y1 - y0)) for t in (t0, t1))


ints = st.integers(-30, 40)


@settings(max_examples=500)
@given(rect=st.tuples(ints, ints, st.integers(0, 30), st.integers(0, 30)),
       line=st.tuples(ints, ints, ints, ints))
def test_agrees_with_exact_clipping(rect, line):
    r = Rect(*rect)
    got = r.clip_line(*line)
    want = exact_clip(rect, line)
    if want is None:
        assert got == ()
        return
    assert len(got) == 2
    for p, (wx, wy) in zip(got, want):
        # Within one 32-bit step of the exact point, and inside (closed).
        for v, w in ((p.x, wx), (p.y, wy)):
            step = spacing32(f32(abs(float(w)) or 1))
            assert abs(Fraction(v) - w) <= step
        assert r.collide_point(p)


@settings(max_examples=300)
@given(rect=st.tuples(*[st.floats(width=32, min_value=-1e4, max_value=1e4)] * 2,
                      *[st.floats(width=32, min_value=0, max_value=1e4)] * 2),
       line=st.tuples(*[st.floats(min_value=-2e4, max_value=2e4)] * 4))
def test_points_are_inside_and_cut_ends_on_an_edge(rect, line):
    r = Rect(*rect)
    got = r.clip_line(*line)
    for p, (x, y) in zip(got, (line[:2], line[2:])):
        assert r.collide_point(p)
        if r.collide_point((x, y)):
            assert p == Vector2(x, y)
        else:
            assert p.x in (r.x, r.right) or p.y in (r.y, r.bottom)


@pytest.mark.parametrize("args,kind,msg", [
    ((), TypeError, "clip_line expected 1, 2, or 4 arguments, got 0"),
    ((1, 2, 3), TypeError, "clip_line expected 1, 2, or 4 arguments, got 3"),
    ((1, 2, 3, 4, 5), TypeError, "clip_line expected 1, 2, or 4 arguments, got 5"),
    ((1, 2, 3, "x"), TypeError, "must be real number, not str"),
    (((1, 2, 3),), ValueError, "line must be a tuple or list of 4 numbers or of 2 points"),
    (("abcd",), ValueError, "line must be a tuple or list of 4 numbers or of 2 points"),
    ((5,), ValueError, "line must be a tuple or list of 4 numbers or of 2 points"),
    (((1, 2), (3,)), ValueError, "Point must be a Vector2, tuple, or list of length 2"),
    (((1, 2), 3), ValueError, "Point must be a Vector2, tuple, or list of length 2"),
    ((((1, 2), 3),), ValueError, "Point must be a Vector2, tuple, or list of length 2"),
    ((-inf, 5, 5, 5), ValueError, "clip_line needs a segment with finite coordinates"),
    ((0, 0, 0, 1e400), ValueError, "clip_line needs a segment with finite coordinates"),
])
def test_refusals(args, kind, msg):
    with pytest.raises(kind) as e:
        R.clip_line(*args)
    assert msg in str(e.value)
    last = traceback.extract_tb(e.value.__traceback__)[-1]
    assert (last.name, last.filename) == ("tarvex.rect.rect.Rect.clip_line", "src/tarvex/rect/rect")


def test_keywords_refused():
    with pytest.raises(TypeError) as e:
        R.clip_line(1, 2, 3, y2=4)
    assert str(e.value) == "clip_line() got an unexpected keyword argument 'y2'"


def test_a_line_that_shrinks_while_it_is_read():
    line = [None, (15, 5)]

    class Clears:
        def __float__(self):
            line.clear()
            return -5.0

    line[0] = (Clears(), 5)
    with pytest.raises(IndexError):
        R.clip_line(line)


M = 1.7976931348623157e308


@pytest.mark.parametrize("rect,line,want", [
    ((0, 0, 10, 10), (-1e14, -1e14, 1e14, 1e14), ((0, 0), (10, 10))),
    ((0, 0, 10, 10), (-1e20, -1e20, 1e20, 1e20), ((0, 0), (10, 10))),
    ((0, 0, 10, 10), (1e300, 1e300, -1e300, -1e300), ((10, 10), (0, 0))),
    ((0, 0, 10, 10), (-1e20, 5, 1e20, 5), ((0, 5), (10, 5))),
    ((10, 0, 0, 0), (-1e30, -1e30, 1e30, 1e30), ()),            # y = x misses (10, 0)
    ((10, 10, 0, 0), (-1e30, -1e30, 1e30, 1e30), ((10, 10), (10, 10))),
    ((-5, -5, 10, 10), (M, 0.0, -M, 3.0), ((5, 1.5), (-5, 1.5))),  # the width overflows
    ((-5, -5, 10, 10), (0.0, M, 3.0, -M), ((1.5, 5), (1.5, -5))),
    ((0, 0, 1e-30, 1e-30), (-1e-300, -1e-300, 1e-300, 1e-300), ((0, 0), (1e-300, 1e-300))),
])
def test_long_and_extreme_segments(rect, line, want):
    assert pts(Rect(*rect).clip_line(*line)) == tuple((f32(x), f32(y)) for x, y in want)


def exact_box(r):
    left, top = Fraction(r.x), Fraction(r.y)
    return left, Fraction(r.right), top, Fraction(r.bottom)


def grown(box, tol):
    left, right, top, bottom = box
    return left - tol, right + tol, top - tol, bottom + tol


def exact_hits(box, line):
    left, right, top, bottom = box
    if left > right or top > bottom:
        return False
    return exact_clip((left, top, right - left, bottom - top), line) is not None


# Any double: huge, tiny, subnormal, signed zeros; and segments through a
# point of the rectangle with ends from very near to very far.
COORD = st.floats(allow_nan=False, allow_infinity=False)
SCALE = st.floats(1e-300, 1e300)


@st.composite
def segments(draw, rect):
    if draw(st.booleans()):
        return tuple(draw(COORD) for _ in range(4))
    fx, fy = draw(st.fractions(0, 1)), draw(st.fractions(0, 1))
    qx = float(Fraction(rect.x) + fx * (Fraction(rect.right) - Fraction(rect.x)))
    qy = float(Fraction(rect.y) + fy * (Fraction(rect.bottom) - Fraction(rect.y)))
    angle = draw(st.floats(-math.pi, math.pi))
    dx, dy = math.cos(angle), math.sin(angle)
    a, b = draw(SCALE), draw(SCALE)
    return (qx - a * dx, qy - a * dy, qx + b * dx, qy + b * dy)


@settings(max_examples=400)
@given(data=st.data(),
       rect=st.tuples(*[st.floats(width=32, allow_nan=False, allow_infinity=False)] * 2,
                      *[st.floats(width=32, min_value=0, allow_infinity=False)] * 2))
def test_full_range_against_exact_clipping(data, rect):
    r = Rect(*rect)
    if not (math.isfinite(r.right) and math.isfinite(r.bottom)):
        return
    line = data.draw(segments(r))
    if not all(math.isfinite(c) for c in line):
        return
    box = exact_box(r)
    got = r.clip_line(*line)
    # Rounding is allowed at the rectangle's own scale and at the 32-bit
    # rounding of the points.
    scale = max(abs(e) for e in box)
    tol = scale / 2 ** 40 + Fraction(2) ** -140
    if got == ():
        shrunk = grown(box, -tol)
        assert not exact_hits(shrunk, line)
        return
    assert exact_hits(grown(box, tol), line)
    p0, p1 = (Fraction(line[0]), Fraction(line[1])), (Fraction(line[2]), Fraction(line[3]))
    dx, dy = p1[0] - p0[0], p1[1] - p0[1]
    d2 = dx * dx + dy * dy
    for p, given_end in zip(got, (line[:2], line[2:])):
        assert r.collide_point(p)
        px, py = Fraction(p.x), Fraction(p.y)
        if r.collide_point(given_end) and all(math.isfinite(f32(c)) for c in given_end):
            assert (p.x, p.y) == (f32(given_end[0]), f32(given_end[1]))
        else:
            assert p.x in (r.x, r.right) or p.y in (r.y, r.bottom)
        # On the line, within the rounding of the point and of the scale.
        slack = tol + 2 * Fraction(spacing32(max(abs(p.x), abs(p.y))))
        cross = dx * (py - p0[1]) - dy * (px - p0[0])
        assert cross * cross <= slack * slack * d2
        # Within the segment's extent.
        for c, a, b in ((px, p0[0], p1[0]), (py, p0[1], p1[1])):
            assert min(a, b) - slack <= c <= max(a, b) + slack
    # The direction is kept.
    along = dx * (Fraction(got[1].x) - Fraction(got[0].x)) + dy * (
        Fraction(got[1].y) - Fraction(got[0].y))
    assert along >= 0 or along * along <= 4 * slack * slack * d2
