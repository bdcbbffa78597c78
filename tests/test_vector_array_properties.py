"""Exactness of the vector arrays: element i of every element-wise
operation equals the same operation on element i with the single-value
types, for generated values (NaN and infinities included), whether the
other operand is one vector, an array, or numbers per element."""
import math
import struct

import pytest
from hypothesis import given
from hypothesis import strategies as st

from buffers import packed
from conftest import f32
from ieee import same
from tarvex.vector2.vector2 import Vector2
from tarvex.vector2_array.vector2_array import Vector2Array
from tarvex.vector3.vector3 import Vector3
from tarvex.vector3_array.vector3_array import Vector3Array

KINDS = [(Vector2Array, Vector2, 2), (Vector3Array, Vector3, 3)]
kinds = pytest.mark.parametrize("arr,vec,k", KINDS, ids=["Vector2Array", "Vector3Array"])

f32s = st.floats(width=32)
finite = st.floats(width=32, allow_nan=False, allow_infinity=False, min_value=-1e6, max_value=1e6)


def rows(k, n, elements=f32s):
    return st.lists(st.lists(elements, min_size=k, max_size=k), min_size=n, max_size=n)


def comps(v):
    return tuple(v)


def assert_elements(result, expected):
    assert len(result) == len(expected)
    for got, want in zip(result, expected):
        assert same(comps(got), comps(want)), (got, want)


# name: (array call, single-value call of element a with operand b and number x)
BINARY = {
    "+": (lambda a, b, x: a + b, lambda a, b, x: a + b),
    "-": (lambda a, b, x: a - b, lambda a, b, x: a - b),
    "*": (lambda a, b, x: a * b, lambda a, b, x: a * b),
    "/": (lambda a, b, x: a / b, lambda a, b, x: a / b),
    "added": (lambda a, b, x: a.get_added(b, x), lambda a, b, x: a.get_added(b, x)),
    "lerped": (lambda a, b, x: a.get_lerped(b, x), lambda a, b, x: a.get_lerped(b, x)),
    "moved_towards": (lambda a, b, x: a.get_moved_towards(b, x),
                      lambda a, b, x: a.get_moved_towards(b, x)),
    "min": (lambda a, b, x: a.get_min(b), lambda a, b, x: a.get_min(b)),
    "max": (lambda a, b, x: a.get_max(b), lambda a, b, x: a.get_max(b)),
    "reflected": (lambda a, b, x: a.get_reflected(b), lambda a, b, x: a.get_reflected(b)),
    "projected": (lambda a, b, x: a.get_projected(b), lambda a, b, x: a.get_projected(b)),
}


def expect(many, singles):
    """The array result against the single-value results, or the same
    exception when any single-value call raises."""
    want, error = [], None
    for call in singles:
        try:
            want.append(call())
        except ValueError as e:
            error = error or e
    if error is not None:
        with pytest.raises(type(error), match=str(error)):
            many()
    else:
        assert_elements(many(), want)
UNARY = {
    "scaled": (lambda a, x: a * x, lambda a, x: a * x),
    "divided": (lambda a, x: a / x, lambda a, x: a / x),
    "neg": (lambda a, x: -a, lambda a, x: -a),
    "abs": (lambda a, x: a.get_abs(), lambda a, x: a.get_abs()),
    "round": (lambda a, x: a.get_round(), lambda a, x: a.get_round()),
    "normalized": (lambda a, x: a.get_normalized(), lambda a, x: a.get_normalized()),
    "rotated": (lambda a, x: a.get_rotated(x), lambda a, x: a.get_rotated(x)),
    "clamped": (lambda a, x: a.get_clamped(-abs(x), abs(x)),
                lambda a, x: a.get_clamped(-abs(x), abs(x))),
}
QUERIES = {
    "distance_to": lambda a, b: a.distance_to(b),
    "distance_squared_to": lambda a, b: a.distance_squared_to(b),
    "dot": lambda a, b: a.dot(b),
}


@kinds
@pytest.mark.parametrize("op", BINARY)
@pytest.mark.parametrize("broadcast", [False, True], ids=["array", "vector"])
@given(data=st.data())
def test_binary_operations_match_the_vector_type(arr, vec, k, op, broadcast, data):
    n = data.draw(st.integers(0, 6))
    a = data.draw(rows(k, n))
    b = data.draw(rows(k, 1 if broadcast else n))
    x = data.draw(st.floats(width=32))
    many, one = BINARY[op]
    other = vec(*b[0]) if broadcast else arr(b)
    expect(lambda: many(arr(a), other, x),
           [lambda ai=ai, bi=b[0] if broadcast else b[i]: one(vec(*ai), vec(*bi), x)
            for i, ai in enumerate(a)])


@kinds
@pytest.mark.parametrize("op", UNARY)
@given(data=st.data())
def test_number_operations_match_the_vector_type(arr, vec, k, op, data):
    a = data.draw(rows(k, data.draw(st.integers(0, 6))))
    x = data.draw(finite if op in ("rotated", "clamped") else st.floats())
    many, one = UNARY[op]
    if op == "rotated" and k == 3:
        axis = vec(0.0, 0.0, 1.0)
        got, want = arr(a).get_rotated(x, axis), [vec(*ai).get_rotated(x, axis) for ai in a]
    else:
        got, want = many(arr(a), x), [one(vec(*ai), x) for ai in a]
    assert_elements(got, want)


@kinds
@given(data=st.data())
def test_numbers_per_element_match_the_vector_type(arr, vec, k, data):
    n = data.draw(st.integers(0, 6))
    a, b = data.draw(rows(k, n)), data.draw(rows(k, n))
    factors = data.draw(st.lists(st.floats(), min_size=n, max_size=n))
    got = arr(a).get_added(arr(b), packed(factors, "d"))
    assert_elements(got, [vec(*x).get_added(vec(*y), f) for x, y, f in zip(a, b, factors)])
    limits = data.draw(st.lists(st.floats(0, 1e30), min_size=n, max_size=n))
    expect(lambda: arr(a).get_clamped_magnitude(packed(limits, "f")),
           [lambda x=x, m=m: vec(*x).get_clamped_magnitude(f32(m))
            for x, m in zip(a, limits)])
    steps = data.draw(st.lists(st.floats(), min_size=n, max_size=n))
    expect(lambda: arr(a).get_moved_towards(arr(b), packed(steps, "d")),
           [lambda x=x, y=y, d=d: vec(*x).get_moved_towards(vec(*y), d)
            for x, y, d in zip(a, b, steps)])
    lengths = data.draw(st.lists(st.floats(), min_size=n, max_size=n))
    expect(lambda: arr(a).get_scaled_to_length(packed(lengths, "d")),
           [lambda x=x, d=d: vec(*x).get_scaled_to_length(d) for x, d in zip(a, lengths)])


@kinds
@given(data=st.data())
def test_queries_match_the_vector_type(arr, vec, k, data):
    n = data.draw(st.integers(0, 6))
    a, b = data.draw(rows(k, n)), data.draw(rows(k, n))
    assert same(arr(a).get_length(), [vec(*x).length for x in a])
    assert same(arr(a).get_length_squared(), [vec(*x).length_squared for x in a])
    for name, call in QUERIES.items():
        assert same(call(arr(a), arr(b)), [call(vec(*x), vec(*y)) for x, y in zip(a, b)]), name


@kinds
@given(data=st.data())
def test_in_place_forms_match_the_new_ones(arr, vec, k, data):
    n = data.draw(st.integers(0, 6))
    a, b = data.draw(rows(k, n)), data.draw(rows(k, n))
    dt = data.draw(st.floats(width=32))
    pos = arr(a)
    assert pos.to_added(arr(b), dt) is pos
    assert_elements(pos, arr(a).get_added(arr(b), dt))
    mask = data.draw(st.lists(st.booleans(), min_size=n, max_size=n))
    neg = arr(a)
    neg.to_neg(where=mask)
    assert_elements(neg, [-vec(*x) if m else vec(*x) for x, m in zip(a, mask)])


@given(data=st.data())
def test_points_in_a_rect_match_collide_point(data):
    from tarvex.rect.rect import Rect
    pts = data.draw(rows(2, data.draw(st.integers(0, 8)), finite))
    box = Rect(*data.draw(st.lists(finite, min_size=4, max_size=4)))
    mask = Vector2Array(pts).in_rect(box)
    assert list(mask) == [box.collide_point(Vector2(*p)) for p in pts]
    assert list(Vector2Array(pts).outside_rect(box)) == [not m for m in mask]


def test_nan_and_infinities_pass_through():
    a = Vector2Array([(math.nan, math.inf), (-math.inf, 0.0)])
    got = a.get_added(Vector2(1, 1), 0.5)
    assert_elements(got, [v.get_added(Vector2(1, 1), 0.5) for v in a])


def stored_bits(a):
    """The stored float32 words, a NaN's sign left out: IEEE arithmetic does
    not say which NaN operand's sign a result carries when two meet, and
    compilers order operands freely. Payloads and everything else count."""
    words = memoryview(a).cast("B").cast("I")
    return [w & 0x7FFFFFFF if (w & 0x7F800000) == 0x7F800000 and w & 0x7FFFFF else w for w in words]


FLT_MAX = 3.4028234663852886e38
# Stored float32 bit patterns: quiet and signalling NaNs with payloads, the
# top of the range, and values whose sums leave it (to FLT_MAX below the
# halfway point, to infinity from it on).
EDGE_BITS = [0x7FC12345, 0xFF812345, 0x7F800001, 0x7F7FFFFF, 0xFF7FFFFF, 0x00000001, 0x80000000]


@kinds
@pytest.mark.parametrize("form", ["get", "out", "to"])
@pytest.mark.parametrize("factor", [1.0, 0.5, 2.0, float("nan"), float("inf"), 1e-300])
def test_motion_step_keeps_the_stored_bits_of_the_single_value_step(arr, vec, k, form, factor):
    # The whole-array step rounds like the vector type, NaN payloads and the
    # overflow boundary included: compared bit for bit, not as numbers.
    words = [EDGE_BITS[(i + j) % len(EDGE_BITS)] for i in range(12) for j in range(k)]
    a = arr(memoryview(struct.pack(f"{len(words)}I", *words)).cast("B").cast("f", (12, k)))
    b = arr([(FLT_MAX * (1 - 2 * (i % 2)),) * k if i % 3 else (1.5e-45,) * k for i in range(12)])
    want = arr([x.get_added(y, factor) for x, y in zip(a, b)])
    if form == "get":
        got = a.get_added(b, factor)
    elif form == "out":
        got = arr(12)
        assert a.get_added(b, factor, out=got) is got
    else:
        got = a.to_added(b, factor)
        assert got is a
    assert stored_bits(got) == stored_bits(want)


@kinds
@pytest.mark.parametrize("form", ["get", "out", "to"])
@pytest.mark.parametrize("steps", ["one", "each"])
@pytest.mark.parametrize("goal", [0.0, 1.5, FLT_MAX, float("inf"), float("nan")])
def test_chase_step_keeps_the_stored_bits_of_the_single_value_step(arr, vec, k, form, steps, goal):
    # Toward one goal by one step or a step per element, NaN payloads,
    # arrivals (within reach, at distance zero) and overflow included.
    words = [EDGE_BITS[(i + j) % len(EDGE_BITS)] for i in range(14) for j in range(k)]
    a = arr(memoryview(struct.pack(f"{len(words)}I", *words)).cast("B").cast("f", (14, k)))
    a.extend([(goal,) * k, (1.0,) * k, (-2.0,) * k, (1e30,) * k])
    reach = [0.0, 1.0, -1.0, 1e39, float("inf"), float("nan"), 2.5] * 3
    target = vec(*[goal] * k)
    if steps == "one":
        arg, per = 0.75, [0.75] * len(a)
    else:
        arg, per = packed(reach[:len(a)], "d"), reach[:len(a)]
    want = arr([x.get_moved_towards(target, d) for x, d in zip(a, per)])
    if form == "get":
        got = a.get_moved_towards(target, arg)
    elif form == "out":
        got = arr(len(a))
        assert a.get_moved_towards(target, arg, out=got) is got
    else:
        got = a.to_moved_towards(target, arg)
        assert got is a
    assert stored_bits(got) == stored_bits(want)
