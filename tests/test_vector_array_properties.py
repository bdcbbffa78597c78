"""Exactness of the vector arrays: element i of every element-wise
operation equals the same operation on element i with the single-value
types, for generated values (NaN and infinities included), whether the
other operand is one vector, an array, or numbers per element."""
import math

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
