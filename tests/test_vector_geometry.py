"""The vector geometry: rotation, interpolation, reflection, projection,
magnitude limits, angles, polar and spherical forms, component-wise limits.

Oracles follow the stated precision: work with a Python number in 64-bit
floats from the stored components, rounded once to the storage precision;
vector-with-vector work in the storage precision (for Vector2 and Vector3
every operation rounded to 32 bits by `f32`, for Vector4 Python's doubles)."""
import math
from fractions import Fraction

import pytest
from hypothesis import given, settings, strategies as st

from ieee import double_sum_of_products, same
from vectors_common import KINDS, V2, V3, V4, f32

FINITE = st.floats(-1e6, 1e6, allow_nan=False, width=32)
ANGLE = st.floats(-1e4, 1e4, allow_nan=False)
T = st.floats(-2, 3, allow_nan=False)


def comps(v):
    return tuple(v)


def store(kind, values):
    """What a vector of `kind` stores for 64-bit values."""
    return tuple(kind.narrow(x) for x in values)


def equal(a, b):
    """Equal sequences of floats, NaN matching NaN."""
    return len(a) == len(b) and all(x == y or (x != x and y != y) for x, y in zip(a, b))


def storage(kind):
    """The rounding of one operation in the storage precision."""
    return float if kind is V4 else f32


# ------------------------------------------------------------ get_ and to_

PAIRS = [
    ("added", lambda k: (k.make(*range(1, k.n + 1)), 0.125)),
    ("lerped", lambda k: (k.make(*range(1, k.n + 1)), 0.25)),
    ("moved_towards", lambda k: (k.make(*range(1, k.n + 1)), 0.5)),
    ("reflected", lambda k: (k.make(*([0] * (k.n - 1) + [1])),)),
    ("projected", lambda k: (k.make(*range(1, k.n + 1)),)),
    ("clamped_magnitude", lambda k: (0.5,)),
    ("scaled_to_length", lambda k: (2.0,)),
    ("min", lambda k: (1.5,)),
    ("max", lambda k: (k.make(*[2] * k.n),)),
    ("clamped", lambda k: (0, 2)),
]


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("name,args", PAIRS)
def test_get_makes_a_new_vector_and_to_changes_in_place(kind, name, args):
    v = kind.make(*[3 - i for i in range(kind.n)])
    before = comps(v)
    got = getattr(v, "get_" + name)(*args(kind))
    assert got is not v and comps(v) == before
    same = getattr(v, "to_" + name)(*args(kind))
    assert same is v and comps(v) == comps(got)


# ---------------------------------------------------------------- rotation

@settings(max_examples=200, derandomize=True)
@given(x=st.floats(width=32, allow_nan=False, allow_infinity=False),
       y=st.floats(width=32, allow_nan=False, allow_infinity=False), angle=ANGLE)
def test_rotation_2d_in_64_bits_rounded_once(x, y, angle):
    v = V2.make(x, y)
    r = math.radians(math.fmod(angle, 360.0))
    s, c = math.sin(r), math.cos(r)
    if math.fmod(angle, 90.0) == 0:
        s, c = round(s), round(c)
    expected = store(V2, (v.x * c - v.y * s, v.x * s + v.y * c))
    assert comps(v.get_rotated(angle)) == expected


@pytest.mark.parametrize("angle,expected", [
    (90, (-2.0, 1.0)), (180, (-1.0, -2.0)), (270, (2.0, -1.0)), (-90, (2.0, -1.0)),
    (360, (1.0, 2.0)), (450, (-2.0, 1.0)), (1e20, None),
])
def test_rotation_by_multiples_of_90_is_exact(angle, expected):
    v = V2.make(1, 2)
    got = comps(v.get_rotated(angle))
    if expected is None:  # fmod(1e20, 360) is not a multiple of 90
        assert all(math.isfinite(c) for c in got)
    else:
        assert got == expected


@pytest.mark.parametrize("name,axis,expected", [
    ("get_rotated_x", None, (1.0, -3.0, 2.0)),
    ("get_rotated_y", None, (3.0, 2.0, -1.0)),
    ("get_rotated_z", None, (-2.0, 1.0, 3.0)),
    ("get_rotated", V3.make(0, 0, 5), (-2.0, 1.0, 3.0)),
])
def test_rotation_3d_by_90_degrees_is_exact_and_right_handed(name, axis, expected):
    v = V3.make(1, 2, 3)
    args = (90,) if axis is None else (90, axis)
    assert comps(getattr(v, name)(*args)) == expected


@settings(max_examples=100, derandomize=True)
@given(v=st.tuples(FINITE, FINITE, FINITE), k=st.tuples(FINITE, FINITE, FINITE), angle=ANGLE)
def test_rotation_about_an_axis_keeps_length_and_agrees_with_radians(v, k, angle):
    axis = V3.make(*k)
    if axis.length_squared == 0 or not math.isfinite(axis.length_squared):
        return
    a = V3.make(*v)
    deg = a.get_rotated(angle, axis)
    rad = a.get_rotated_rad(math.radians(math.fmod(angle, 360)), axis)
    assert deg.length == pytest.approx(a.length, rel=1e-5, abs=1e-3)
    assert comps(deg) == pytest.approx(comps(rad), rel=1e-5, abs=1e-3)


def test_rotation_refusals():
    with pytest.raises(ValueError, match="^axis must not be a zero vector$"):
        V3.make(1, 0, 0).get_rotated(10, V3.make())
    with pytest.raises(TypeError, match="Argument 'axis' has incorrect type"):
        V3.make(1, 0, 0).get_rotated(10, (0, 0, 1))
    assert not hasattr(V4.make(), "get_rotated")
    assert all(math.isnan(c) for c in V2.make(1, 1).get_rotated(math.nan))


# ------------------------------------------------------------ interpolation

@pytest.mark.parametrize("kind", KINDS)
@settings(max_examples=100, derandomize=True)
@given(a=st.lists(FINITE, min_size=4, max_size=4), b=st.lists(FINITE, min_size=4, max_size=4),
       t=T)
def test_lerp_in_64_bits_exact_at_the_ends(kind, a, b, t):
    x, y = kind.make(*a[:kind.n]), kind.make(*b[:kind.n])
    expected = store(kind, (p + (q - p) * t if t < 0.5 else q - (q - p) * (1 - t)
                            for p, q in zip(comps(x), comps(y))))
    assert comps(x.get_lerped(y, t)) == expected
    assert comps(x.get_lerped(y, 0)) == comps(x) and comps(x.get_lerped(y, 1)) == comps(y)


@pytest.mark.parametrize("kind", KINDS)
@settings(max_examples=100, derandomize=True)
@given(a=st.lists(FINITE, min_size=4, max_size=4), b=st.lists(FINITE, min_size=4, max_size=4),
       f=st.floats(-1e3, 1e3, allow_nan=False))
def test_added_rounds_once_and_is_plus_with_factor_1(kind, a, b, f):
    x, y = kind.make(*a[:kind.n]), kind.make(*b[:kind.n])
    assert comps(x.get_added(y, f)) == store(kind, (p + q * f for p, q in zip(comps(x), comps(y))))
    assert comps(x.get_added(y)) == comps(x + y)


@pytest.mark.parametrize("kind,a,b,t,expected", [
    (V2, (1, 0), (-1, 0), 0.5, (0.0, 1.0)),          # opposite: counterclockwise
    (V2, (2, 0), (0, 4), 0.5, (3 * math.sqrt(0.5), 3 * math.sqrt(0.5))),
    (V3, (1, 0, 0), (-1, 0, 0), 0.5, (0.0, 1.0, 0.0)),
    (V3, (0, 0, 1), (0, 0, -1), 0.5, (1.0, 0.0, 0.0)),
    (V3, (1, 0, 0), (0, 1, 0), 1.0, (0.0, 1.0, 0.0)),
])
def test_slerp(kind, a, b, t, expected):
    got = comps(kind.make(*a).get_slerped(kind.make(*b), t))
    assert got == pytest.approx(store(kind, expected), abs=1e-7)


@pytest.mark.parametrize("kind", [V2, V3])
def test_slerp_refuses_zero_vectors(kind):
    for a, b in [(kind.make(), kind.make(*[1] * kind.n)), (kind.make(*[1] * kind.n), kind.make())]:
        with pytest.raises(ValueError, match="^cannot slerp from or to a zero vector$"):
            a.get_slerped(b, 0.5)
    assert not hasattr(V4.make(), "get_slerped")


@pytest.mark.parametrize("kind", KINDS)
def test_move_towards(kind):
    a, b = kind.make(*[0] * kind.n), kind.make(*[3] + [4] + [0] * (kind.n - 2))
    assert comps(a.get_moved_towards(b, 10)) == comps(b)             # arrives exactly
    assert comps(a.get_moved_towards(b, 5)) == comps(b)
    step = comps(a.get_moved_towards(b, 2.5))
    assert step == store(kind, [1.5, 2.0] + [0.0] * (kind.n - 2))
    assert comps(a.get_moved_towards(b, -5)) == store(kind, [-3, -4] + [0.0] * (kind.n - 2))
    assert comps(b.get_moved_towards(b, 0)) == comps(b)


# ------------------------------------------------- reflection and projection

def dsum(xs, ys):
    """x0*y0 + x1*y1 + ... in doubles, left to right (`sum` compensates)."""
    return double_sum_of_products(tuple(xs), tuple(ys))


def reflect_oracle(kind, v, n):
    """v - 2 (v . u) u with u = n times 1 / |n|, in 64 bits, rounded once."""
    nn = dsum(n, n)
    if nn == 0:
        return None
    r = 1.0 / math.sqrt(nn)
    u = [c * r for c in n]
    twice = 2.0 * dsum(v, u)
    return store(kind, (p - twice * q for p, q in zip(v, u)))


def project_oracle(kind, v, o):
    oo = dsum(o, o)
    if oo == 0:
        return None
    k = dsum(v, o) / oo
    return store(kind, (k * q for q in o))


@pytest.mark.parametrize("kind", KINDS)
@settings(max_examples=100, derandomize=True)
@given(a=st.lists(FINITE, min_size=4, max_size=4), n=st.lists(FINITE, min_size=4, max_size=4))
def test_reflection_and_projection_in_64_bits_rounded_once(kind, a, n):
    v, w = kind.make(*a[:kind.n]), kind.make(*n[:kind.n])
    for name, oracle in (("get_reflected", reflect_oracle), ("get_projected", project_oracle)):
        want = oracle(kind, comps(v), comps(w))
        if want is None:
            with pytest.raises(ValueError):
                getattr(v, name)(w)
        else:
            assert comps(getattr(v, name)(w)) == want


# ------------------------------------------------------------ magnitudes

@pytest.mark.parametrize("kind", KINDS)
def test_magnitude_limits(kind):
    v = kind.make(*[3, 4] + [0] * (kind.n - 2))
    assert comps(v.get_clamped_magnitude(10)) == comps(v)            # within: untouched
    assert comps(v.get_clamped_magnitude(2.5)) == store(kind, [1.5, 2.0] + [0.0] * (kind.n - 2))
    assert comps(v.get_clamped_magnitude(20, 10)) == store(kind, [6, 8] + [0.0] * (kind.n - 2))
    assert comps(v.get_clamped_magnitude(max_length=10, min_length=10)) == store(
        kind, [6, 8] + [0.0] * (kind.n - 2))
    assert comps(v.get_scaled_to_length(-10)) == store(kind, [-6, -8] + [0.0] * (kind.n - 2))
    zero = kind.make()
    assert comps(zero.get_clamped_magnitude(5)) == comps(zero)
    assert v.length_squared == 25.0 and kind.make(*[1] + [0] * (kind.n - 1)).is_normalized()
    assert not v.is_normalized() and v.get_normalized().is_normalized(tolerance=1e-6)


@pytest.mark.parametrize("call,message", [
    (lambda v: v.get_clamped_magnitude(-1), "max_length must not be negative"),
    (lambda v: v.get_clamped_magnitude(1, -1), "min_length must not be negative"),
    (lambda v: v.get_clamped_magnitude(1, 2), "min_length must not exceed max_length"),
    (lambda v: v.get_clamped_magnitude(2, 1), "cannot give a zero vector a length"),
    (lambda v: v.get_scaled_to_length(1), "cannot scale a zero vector to a length"),
    (lambda v: v.get_reflected(v), "normal must not be a zero vector"),
    (lambda v: v.get_projected(v), "cannot project onto a zero vector"),
])
@pytest.mark.parametrize("kind", KINDS)
def test_magnitude_refusals_on_a_zero_vector(kind, call, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        call(kind.make())


# --------------------------------------------------------------- angles

@pytest.mark.parametrize("kind", KINDS)
@settings(max_examples=100, derandomize=True)
@given(a=st.lists(FINITE, min_size=4, max_size=4), b=st.lists(FINITE, min_size=4, max_size=4))
def test_angle_to_in_64_bits(kind, a, b):
    x, y = kind.make(*a[:kind.n]), kind.make(*b[:kind.n])
    p, q = comps(x), comps(y)
    dot = sum(a * b for a, b in zip(p, q))
    if kind is V2:
        expected = math.degrees(math.atan2(p[0] * q[1] - p[1] * q[0], dot))
        # The signed angle lies in (-180, 180]: a half turn is +180.
        expected = 180.0 if expected == -180.0 else expected
    else:
        wedge = math.sqrt(sum((p[i] * q[j] - p[j] * q[i]) ** 2
                              for i in range(kind.n) for j in range(i + 1, kind.n)))
        expected = math.degrees(math.atan2(wedge, dot))
    assert x.angle_to(y) == pytest.approx(expected, rel=1e-12, abs=1e-9)


@pytest.mark.parametrize("kind,a,b,expected", [
    (V2, (1, 0), (0, 1), 90.0), (V2, (0, 1), (1, 0), -90.0), (V2, (1, 0), (-1, 0), 180.0),
    (V2, (0, 0), (1, 0), 0.0), (V3, (1, 0, 0), (0, 0, -1), 90.0), (V3, (0, 0, 0), (0, 0, 0), 0.0),
    (V4, (1, 0, 0, 0), (0, 0, 0, 2), 90.0),
])
def test_angle_to_values(kind, a, b, expected):
    assert kind.make(*a).angle_to(kind.make(*b)) == expected


def test_cross_2d_is_a_32_bit_number():
    a, b = V2.make(0.1, 0.2), V2.make(0.3, 0.7)
    # Products of two floats are exact in a double; each step rounds to 32 bits.
    assert a.cross(b) == f32(f32(a.x * b.y) - f32(a.y * b.x))
    assert a.cross(b) != a.x * b.y - a.y * b.x
    assert V2.make(1, 0).cross(V2.make(0, 1)) == 1.0


@pytest.mark.parametrize("length,angle,expected", [
    (2, 90, (0.0, 2.0)), (2, 180, (-2.0, 0.0)), (1, -90, (0.0, -1.0)), (math.sqrt(2), 45, (1.0, 1.0)),
])
def test_polar_forms(length, angle, expected):
    v = V2.cls.from_polar(length, angle)
    assert comps(v) == pytest.approx(expected, abs=1e-7)
    r, phi = v.get_polar()
    assert r == v.length and phi == pytest.approx(angle, abs=1e-5)


def test_spherical_forms():
    for r, theta, phi in [(1, 90, 0), (2, 0, 0), (3, 90, 90), (1, 45, -135)]:
        v = V3.cls.from_spherical(r, theta, phi)
        length, t, p = v.get_spherical()
        assert length == v.length and t == pytest.approx(theta, abs=1e-5)
        if theta not in (0, 180):
            assert p == pytest.approx(phi, abs=1e-5)
    assert comps(V3.cls.from_spherical(2, 90, 90)) == (0.0, 2.0, 0.0)
    assert V3.make().get_spherical() == (0.0, 0.0, 0.0)


# ------------------------------------------------------- component limits

@pytest.mark.parametrize("kind", KINDS)
def test_component_limits(kind):
    v = kind.make(*[-1, 5] + [math.nan] * (kind.n - 2))
    assert comps(v.get_min(0))[:2] == (-1.0, 0.0) and comps(v.get_max(0))[:2] == (0.0, 5.0)
    assert all(math.isnan(c) for c in comps(v.get_min(0))[2:])       # NaN stays
    assert comps(v.get_min(math.nan))[:2] == (-1.0, 5.0)              # a NaN bound is ignored
    assert comps(v.get_clamped(0, 2))[:2] == (0.0, 2.0)
    low = kind.make(*[-5] * kind.n)
    assert comps(v.get_clamped(low, 0.1))[:2] == (-1.0, kind.narrow(0.1))
    with pytest.raises(ValueError, match="^low must not exceed high$"):
        v.get_clamped(1, 0)
    with pytest.raises(TypeError, match=f"Argument 'other' has incorrect type \\(expected {kind.full}, got str\\)"):
        v.get_min("1")


# ------------------------------------------------------------------ update

@pytest.mark.parametrize("kind", KINDS)
def test_update_takes_the_constructor_forms(kind):
    v = kind.make(*range(kind.n))
    assert v.update(*[7] * kind.n) is None and comps(v) == (7.0,) * kind.n
    v.update([1] * kind.n)
    assert comps(v) == (1.0,) * kind.n
    v.update()
    assert comps(v) == (0.0,) * kind.n
    with pytest.raises(TypeError, match=f"^update\\(\\) takes 0, 1, or {kind.n} arguments, but {kind.n + 1} were given$"):
        v.update(*[1] * (kind.n + 1))
    with pytest.raises(TypeError, match="^update\\(\\) got an unexpected keyword argument 'x'$"):
        v.update(x=1)


# ------------------------------------------------- the full float range
# Huge, tiny, subnormal, infinite and signed-zero components, against exact
# rationals or 64-bit arithmetic with struct narrowing.

inf, nan = math.inf, math.nan
MAX = 1.7976931348623157e308
ANY32 = st.floats(width=32)
FINITE32 = st.floats(width=32, allow_nan=False, allow_infinity=False)
FINITE64 = st.floats(allow_nan=False, allow_infinity=False)
NO_NAN32 = st.floats(width=32, allow_nan=False)


def fl(q):
    """A rational as the nearest double, saturating to the infinities."""
    try:
        return float(q)
    except OverflowError:
        return inf if q > 0 else -inf


def kind_floats(kind, finite=True):
    if kind is V4:
        return FINITE64 if finite else st.floats(allow_nan=False)
    return FINITE32 if finite else NO_NAN32


def two_vectors(kind, data):
    """Two vectors of `kind` with finite components from the whole range."""
    return tuple(kind.make(*data.draw(st.lists(kind_floats(kind), min_size=kind.n,
                                               max_size=kind.n))) for _ in range(2))


QUARTER = [  # (x, y) turned by k quarter turns
    lambda x, y: (x, y), lambda x, y: (-y, x), lambda x, y: (-x, -y), lambda x, y: (y, -x)]


@settings(max_examples=100, derandomize=True)
@given(x=NO_NAN32, y=NO_NAN32, k=st.integers(-8, 8))
def test_quarter_turns_move_every_component_exactly(x, y, k):
    want = QUARTER[k % 4](f32(x), f32(y))
    assert comps(V2.make(x, y).get_rotated(90 * k)) == want
    v = V3.make(x, y, 7)
    assert comps(v.get_rotated_z(90 * k)) == want + (7.0,)
    assert comps(v.get_rotated(90 * k, V3.make(0, 0, 3))) == want + (7.0,)
    assert comps(V3.make(7, x, y).get_rotated_x(90 * k)) == (7.0,) + want


@pytest.mark.parametrize("call,want", [
    (lambda: V2.make(0, inf).get_rotated(0), (0.0, inf)),
    (lambda: V2.make(0, inf).get_rotated_rad(0), (0.0, inf)),
    (lambda: V3.make(inf, 0, 0).get_rotated_z(90), (0.0, inf, 0.0)),
    (lambda: V3.make(inf, 0, 0).get_rotated(90, V3.make(0, 0, 1)), (0.0, inf, 0.0)),
    (lambda: V3.make(0, 0, -inf).get_rotated_y(-90), (inf, 0.0, 0.0)),
    (lambda: V2.cls.from_polar(inf, 0), (inf, 0.0)),
    (lambda: V2.cls.from_polar(inf, 270), (0.0, -inf)),
    (lambda: V3.cls.from_spherical(inf, 90, 0), (inf, 0.0, 0.0)),
    (lambda: V3.cls.from_spherical(inf, 0, 45), (0.0, 0.0, inf)),
    (lambda: V2.make(1, 2).get_rotated(math.inf), (nan, nan)),
])
def test_infinities_at_exact_angles(call, want):
    assert same(comps(call()), want)


def exact_lerp(a, b, t):
    return Fraction(a) + (Fraction(b) - Fraction(a)) * Fraction(t)


@pytest.mark.parametrize("kind", KINDS)
@settings(max_examples=100, derandomize=True)
@given(data=st.data(), t=st.floats(0, 1))
def test_lerp_over_the_full_range(kind, data, t):
    x, y = two_vectors(kind, data)
    assert same(comps(x.get_lerped(y, 0)), comps(x)) and same(comps(x.get_lerped(y, 1)), comps(y))
    for got, p, q in zip(x.get_lerped(y, t), comps(x), comps(y)):
        want = exact_lerp(p, q, t)
        # Within two 64-bit roundings at the ends' scale, then the storage rounding.
        slack = Fraction(max(abs(p), abs(q))) * Fraction(2) ** -51 + Fraction(2) ** -1074
        lo, hi = kind.narrow(fl(want - slack)), kind.narrow(fl(want + slack))
        assert math.isfinite(got) and lo <= got <= hi


@pytest.mark.parametrize("a,b,t,want", [
    (1e308, -1e308, 0.0, 1e308), (1e308, -1e308, 1.0, -1e308), (1e308, -1e308, 0.25, 5e307),
    (-MAX, MAX, 0.5, 0.0), (MAX, -MAX, 0.75, -MAX / 2),
    (inf, 0.0, 0.0, inf), (inf, 0.0, 0.5, inf), (0.0, -inf, 0.5, -inf), (inf, inf, 2.0, inf),
    (inf, -inf, 0.5, nan), (inf, 5.0, 2.0, -inf), (-0.0, 1.0, 0.0, -0.0),
])
def test_lerp_edges(a, b, t, want):
    got = V4.make(0, 0, 0, a).get_lerped(V4.make(0, 0, 0, b), t).w
    assert same((got,), (want,))


def exact_angle(kind, p, q):
    """The angle from exact rational products, in degrees."""
    p, q = [Fraction(c) for c in p], [Fraction(c) for c in q]
    k = max(map(abs, p)) * max(map(abs, q))
    if k == 0:
        return 0.0
    dot = sum(a * b for a, b in zip(p, q)) / k
    if kind is V2:
        sine = float((p[0] * q[1] - p[1] * q[0]) / k)
    else:
        sine = math.sqrt(float(sum((p[i] * q[j] - p[j] * q[i]) ** 2 for i in range(kind.n)
                                   for j in range(i + 1, kind.n)) / (k * k)))
    angle = math.degrees(math.atan2(sine, float(dot)))
    return 180.0 if angle == -180.0 else angle


@pytest.mark.parametrize("kind", KINDS)
@settings(max_examples=100, derandomize=True)
@given(data=st.data())
def test_angle_to_over_the_full_range(kind, data):
    x, y = two_vectors(kind, data)
    got = x.angle_to(y)
    assert -180 < got <= 180 if kind is V2 else 0 <= got <= 180
    assert got == pytest.approx(exact_angle(kind, comps(x), comps(y)), rel=1e-9, abs=1e-9)


@pytest.mark.parametrize("call,want", [
    (lambda: V4.make(0, -MAX, 1, 1e308).angle_to(V4.make(0.5, 4, -1, 2)),
     exact_angle(V4, (0, -MAX, 1, 1e308), (0.5, 4, -1, 2))),
    (lambda: V4.make(1e-320, 0, 0, 0).angle_to(V4.make(0, 1e-320, 0, 0)), 90.0),
    (lambda: V2.make(inf, 0).angle_to(V2.make(0, 1)), 90.0),
    (lambda: V3.make(inf, -inf, 5).angle_to(V3.make(1, -1, 0)), 0.0),
    (lambda: V2.make(1, -0.0).angle_to(V2.make(-1, -0.0)), 180.0),
    (lambda: V2.make(-1, -0.0).get_polar()[1], 180.0),
    (lambda: V2.make(-1, -1e-45).get_polar()[1], 180.0),
    (lambda: V3.make(-1, -0.0, 0).get_spherical()[2], 180.0),
    (lambda: V2.make(1, -1).get_polar()[1], -45.0),
])
def test_angle_edges(call, want):
    assert call() == pytest.approx(want, rel=1e-12)


def exact_reflection(v, n):
    v, n = [Fraction(c) for c in v], [Fraction(c) for c in n]
    k = 2 * sum(a * b for a, b in zip(v, n)) / sum(c * c for c in n)
    return [a - k * b for a, b in zip(v, n)]


def exact_projection(v, o):
    v, o = [Fraction(c) for c in v], [Fraction(c) for c in o]
    k = sum(a * b for a, b in zip(v, o)) / sum(c * c for c in o)
    return [k * c for c in o]


@pytest.mark.parametrize("kind", KINDS)
@settings(max_examples=100, derandomize=True)
@given(data=st.data())
def test_reflection_and_projection_over_the_full_range(kind, data):
    v, w = two_vectors(kind, data)
    if not any(comps(w)):
        return
    scale = Fraction(max(abs(c) for c in comps(v)))
    slack = scale * Fraction(2) ** -48 + Fraction(2) ** -1074
    if kind is not V4:
        # 32-bit vectors: exactly the 64-bit formula, rounded once.
        assert comps(v.get_reflected(w)) == reflect_oracle(kind, comps(v), comps(w))
        assert comps(v.get_projected(w)) == project_oracle(kind, comps(v), comps(w))
    for name, exact in (("get_reflected", exact_reflection), ("get_projected", exact_projection)):
        for got, want in zip(getattr(v, name)(w), exact(comps(v), comps(w))):
            if abs(want) > MAX:
                continue
            lo, hi = kind.narrow(fl(want - slack)), kind.narrow(fl(want + slack))
            assert lo <= got <= hi, (name, got, float(want))


@pytest.mark.parametrize("call,want", [
    (lambda: V2.make(0.5, 4).get_reflected(V2.make(0, 1e20)), (0.5, -4.0)),
    (lambda: V2.make(0.5, 4).get_reflected(V2.make(0, 1e-23)), (0.5, -4.0)),
    (lambda: V2.make(0.5, 4).get_reflected(V2.make(0, -inf)), (0.5, -4.0)),
    (lambda: V2.make(0.5, 4).get_projected(V2.make(0, 1e-23)), (0.0, 4.0)),
    (lambda: V2.make(0, 1e20).get_projected(V2.make(0, 1e20)), (0.0, f32(1e20))),
    (lambda: V3.make(0.5, 4, -1).get_projected(V3.make(0, 1, 1e30)),
     (0.0, f32(-1e-30 + 4e-60), -1.0)),
    (lambda: V4.make(1e308, 1e308, 0, 0).get_projected(V4.make(1, 1, 0, 0)), (1e308, 1e308, 0, 0)),
    (lambda: V4.make(1e308, 0, 0, 0).get_reflected(V4.make(1, 0, 0, 0)), (-1e308, 0, 0, 0)),
])
def test_reflection_and_projection_edges(call, want):
    assert comps(call()) == pytest.approx(want, rel=1e-6)


@pytest.mark.parametrize("kind", [V2, V3])
@settings(max_examples=100, derandomize=True)
@given(data=st.data(), tolerance=st.floats(0, 1e-3))
def test_is_normalized_sees_the_stored_vector(kind, data, tolerance):
    a = data.draw(st.lists(st.floats(-1.5, 1.5, width=32), min_size=kind.n, max_size=kind.n))
    v = kind.make(*a)
    off = abs(sum(Fraction(c) ** 2 for c in comps(v)) - 1)
    if abs(off - Fraction(tolerance)) > Fraction(2) ** -50:
        assert v.is_normalized(tolerance) == (off <= tolerance)


def test_is_normalized_at_tolerance_0():
    x = f32(1 - 2 ** -24)                   # 32-bit sum of squares rounds to 1
    v = V2.make(x, f32(math.sqrt(1 - x * x)))
    assert not v.is_normalized(0) and V2.make(0, 1).is_normalized(0)


@pytest.mark.parametrize("kind,tiny,huge", [(V2, 1e-20, 1e20), (V3, 1e-20, 1e20),
                                             (V4, 1e-160, 1e160)])
def test_normalization_range_and_scaled_to_length(kind, tiny, huge):
    # get_normalized sums the squares in the storage precision, as documented;
    # get_scaled_to_length(1) holds over the whole range.
    for c in (tiny, huge, 1e-38 if kind is not V4 else 1e-300):
        v = kind.make(*[0] * (kind.n - 1) + [c])
        assert v.get_scaled_to_length(1).is_normalized(1e-15)
    assert not kind.make(*[0] * (kind.n - 1) + [tiny]).get_normalized().is_normalized()
    assert not any(kind.make(*[0] * (kind.n - 1) + [huge]).get_normalized())
