"""The vector geometry: rotation, interpolation, reflection, projection,
magnitude limits, angles, polar and spherical forms, component-wise limits.

Oracles follow the stated precision: work with a Python number in 64-bit
floats from the stored components, rounded once to the storage precision;
vector-with-vector work in the storage precision (numpy float32 for Vector2
and Vector3, float64 for Vector4)."""
import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

from ieee import double_sum_of_products
from vectors_common import KINDS, V2, V3, V4, f32

FINITE = st.floats(-1e6, 1e6, allow_nan=False, width=32)
ANGLE = st.floats(-1e4, 1e4, allow_nan=False)
T = st.floats(-2, 3, allow_nan=False)


def comps(v):
    return tuple(v)


def store(kind, values):
    """What a vector of `kind` stores for 64-bit values."""
    return tuple(kind.narrow(x) for x in values)


def storage(kind):
    return np.float64 if kind is V4 else np.float32


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
@given(x=FINITE, y=FINITE, angle=ANGLE)
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
    p, q = np.array(comps(x)), np.array(comps(y))
    if kind is V2:
        expected = math.degrees(math.atan2(p[0] * q[1] - p[1] * q[0], p @ q))
    else:
        wedge = math.sqrt(sum((p[i] * q[j] - p[j] * q[i]) ** 2
                              for i in range(kind.n) for j in range(i + 1, kind.n)))
        expected = math.degrees(math.atan2(wedge, sum(p * q)))
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
