"""Rect's precision rules against an independent model (tests/ieee.py), for
generated values: 32-bit storage, far edges as 32-bit sums, centres in
64 bits, movers that subtract in 64 bits and store rounded, a closed point
test and an open overlap test."""
import math
from fractions import Fraction

from hypothesis import example, given
from hypothesis import strategies as st

from ieee import f32, same
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4

# Values a Rect holds: any 32-bit float, and more often values whose edges
# meet (quarters, tenths) so that the tests reach their boundaries.
held = st.one_of(st.floats(width=32), st.integers(-40, 40).map(lambda i: i / 4),
                 st.sampled_from([f32(0.1), f32(0.2), f32(0.3), f32(0.7), f32(0.9)]))
rects = st.lists(held, min_size=4, max_size=4)
finite_rects = st.lists(held.filter(math.isfinite), min_size=4, max_size=4)
numbers = st.one_of(st.floats(), st.integers(-2**60, 2**60))


def vals(r):
    return (r.x, r.y, r.w, r.h)


def edges(x, y, w, h):
    """Near edges widened, far edges summed in 32 bits."""
    return x, y, f32(x + w), f32(y + h)


@given(st.lists(numbers, min_size=4, max_size=4))
def test_entering_numbers_are_rounded_once(v):
    assert same(vals(Rect(*v)), [f32(float(n)) for n in v])


@given(rects)
def test_far_edges_are_32_bit_sums_and_centres_64_bit(v):
    r = Rect(*v)
    x, y, w, h = v
    _, _, right, bottom = edges(*v)
    assert same([r.right, r.bottom], [right, bottom])
    cx, cy = x + w * 0.5, y + h * 0.5
    assert same([r.centerx, r.centery], [cx, cy])
    c = r.center
    assert type(c) is Vector2 and same([c.x, c.y], [f32(cx), f32(cy)])


MOVERS = {"right": (0, 2, 1.0), "bottom": (1, 3, 1.0), "centerx": (0, 2, 0.5),
          "centery": (1, 3, 0.5)}


@given(data=st.data())
def test_movers_subtract_in_64_bits_and_keep_the_size(data):
    v = data.draw(rects)
    name = data.draw(st.sampled_from(sorted(MOVERS)))
    target = data.draw(numbers)
    pos, size, part = MOVERS[name]
    r = Rect(*v)
    setattr(r, name, target)
    want = list(v)
    want[pos] = f32(float(target) - v[size] * part)
    assert same(vals(r), want)


@given(rects, st.floats(), st.floats())
def test_center_mover(v, cx, cy):
    r = Rect(*v)
    r.center = (cx, cy)
    x, y, w, h = v
    assert same(vals(r), [f32(cx - w * 0.5), f32(cy - h * 0.5), w, h])


# ------------------------------------------------------------- point test

def point_inside(v, px, py):
    """Closed on all four edges; compared exactly (ints stay exact)."""
    x, y, right, bottom = edges(*v)
    if any(math.isnan(e) for e in (x, y, right, bottom, px, py)):
        return False
    if any(math.isinf(e) for e in (x, y, right, bottom, px, py)):
        return x <= px <= right and y <= py <= bottom
    q = Fraction
    return q(x) <= q(px) <= q(right) and q(y) <= q(py) <= q(bottom)


@given(data=st.data())
def test_point_test_is_closed(data):
    v = data.draw(rects)
    x, y, right, bottom = edges(*v)
    # Points on the edges, the 64-bit sums beside them, and anything.
    coord = st.one_of(st.sampled_from([x, right, v[0] + v[2], y, bottom, v[1] + v[3]]),
                      held, st.floats())
    px, py = data.draw(coord), data.draw(coord)
    r = Rect(*v)
    want = point_inside(v, px, py)
    assert r.collide_point((px, py)) is want
    assert r.collide_point([px, py]) is want
    assert r.collide_point_tuple((px, py)) is want
    assert r.collide_point_list([px, py]) is want
    assert r.collide_point(Vector2(px, py)) is point_inside(v, f32(px), f32(py))


@given(finite_rects, st.integers(-2**60, 2**60), st.integers(-2**60, 2**60))
def test_point_test_converts_or_compares_exactly(v, px, py):
    r = Rect(*v)
    # The general test converts to doubles first; the typed ones compare the
    # ints exactly.
    assert r.collide_point((px, py)) is point_inside(v, float(px), float(py))
    assert r.collide_point_tuple((px, py)) is point_inside(v, px, py)


# ----------------------------------------------------------- overlap test

def overlaps(v, o, add):
    """Open on all four edges: `add` makes the other's far edges."""
    x, y, right, bottom = edges(*v)
    ox, oy, ow, oh = o
    return add(ox, ow) > x and right > ox and add(oy, oh) > y and bottom > oy


@given(rects, rects)
# 0.2 + 0.7 in 32 bits is 0.9 as a float (not past it); in 64 bits it is past.
@example([f32(0.9), 0.0, 10.0, 10.0], [f32(0.2), 0.0, f32(0.7), 5.0])
def test_overlap_test_is_open(v, o):
    r = Rect(*v)
    in_double = overlaps(v, o, lambda a, b: a + b)
    assert r.collide_rect(tuple(o)) is in_double
    assert r.collide_rect(list(o)) is in_double
    assert r.collide_rect(Vector4(*o)) is in_double
    assert r.collide_rect_vector4(Vector4(*o)) is in_double
    assert r.collide_rect_tuple(tuple(o)) is in_double
    assert r.collide_rect_list(list(o)) is in_double
    # A Rect's stored values: widened by the general test, summed in 32 bits
    # by the typed one.
    assert r.collide_rect(Rect(*o)) is in_double
    assert r.collide_rect_rect(Rect(*o)) is overlaps(v, o, lambda a, b: f32(a + b))


@given(finite_rects, st.lists(st.integers(-2**60, 2**60), min_size=4, max_size=4))
def test_overlap_test_converts_or_adds_exactly(v, o):
    r = Rect(*v)
    assert r.collide_rect(tuple(o)) is overlaps(v, [float(n) for n in o], lambda a, b: a + b)
    exact = overlaps([Fraction(n) for n in v], [Fraction(n) for n in o], lambda a, b: a + b)
    assert r.collide_rect_tuple(tuple(o)) is exact
