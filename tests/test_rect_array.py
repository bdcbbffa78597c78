"""RectArray: its forms and refusals, the buffer it exports, moving, and the
collision queries, which must answer exactly as loops over
Rect.collide_rect do (hypothesis, with zero and negative sizes, NaN,
infinities and touching edges)."""
import copy
import math
import pickle
import tracemalloc

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from buffers import needs_numpy, numpy as np, packed, zeros
from conftest import f32
from ieee import same
from tarvex.rect.rect import Rect
from tarvex.rect_array.rect_array import RectArray
from tarvex.vector2.vector2 import Vector2
from tarvex.vector2_array.vector2_array import Vector2Array
from tarvex.vector4.vector4 import Vector4

values = st.sampled_from([0.0, -0.0, 0.1, 0.2, 0.30000001, 5.0, 9.5, 10.0, -5.0, 2.0 ** 24 + 1,
                          3e38, math.nan, math.inf, -math.inf]) | st.floats(-20, 20, width=32)
boxes = st.tuples(values, values, values, values)
box_lists = st.lists(boxes, max_size=40)
# Integer boxes on a small field: many touching edges, many overlaps.
grid = st.integers(-4, 4).map(float)
grid_lists = st.lists(st.tuples(grid, grid, grid, grid), max_size=40)


def vals(r):
    return (r.x, r.y, r.width, r.height)


def rects(a):
    return [Rect(*b) for b in a]


# ---------------------------------------------------------------------------
# Making and reading

@pytest.mark.filterwarnings("ignore:overflow encountered in cast:RuntimeWarning")
@pytest.mark.parametrize("make", [
    lambda b: b, lambda b: [list(t) for t in b], rects, lambda b: [Vector4(*t) for t in b],
    lambda b: iter(b), lambda b: packed(b, "f"), lambda b: packed(b, "d"),
    lambda b: packed(b, "d")[::-1][::-1], lambda b: packed(b[:1] * 2 + b[1:] * 2, "d")[::2],
    pytest.param(lambda b: np.array(b, dtype=np.float32), marks=needs_numpy),
    pytest.param(lambda b: np.array(b), marks=needs_numpy),
    pytest.param(lambda b: np.array(b)[::-1][::-1], marks=needs_numpy),
    lambda b: RectArray(b)],
    ids=["tuples", "lists", "Rects", "Vector4s", "iterator", "float32", "float64", "strided",
         "every-other-row", "numpy-float32", "numpy-float64", "numpy-strided", "RectArray"])
def test_forms_give_the_values_rounded_to_32_bits(make):
    b = [(0.1, 2, 3, 4), (1e40, -0.0, 5.5, -6)]
    a = RectArray(make(b))
    assert len(a) == 2
    assert [vals(r) for r in a] == [(f32(0.1), 2, 3, 4), (math.inf, -0.0, 5.5, -6)]
    assert all(type(r) is Rect for r in a)


def test_counts_items_slices_and_equality():
    assert RectArray(3) == RectArray([(0, 0, 0, 0)] * 3) and len(RectArray()) == 0
    a = RectArray([(i, 0, 1, 1) for i in range(6)])
    r = a[-1]
    r.x = 99
    assert a[5].x == 5  # items are copies
    a[1] = [7, 7, 7, 7]
    a[2] = Rect(8, 8, 8, 8)
    assert vals(a[1]) == (7, 7, 7, 7) and vals(a[2]) == (8, 8, 8, 8)
    assert type(a[1:3]) is RectArray and a[::2] == RectArray([(0, 0, 1, 1), (8, 8, 8, 8),
                                                              (4, 0, 1, 1)])
    assert a != a[1:] and a == RectArray(a)
    assert len(repr(RectArray(10 ** 5))) < 200


@pytest.mark.parametrize("source, error, message", [
    ([(1, 2, 3)], ValueError, "tuple for rect-like argument must have only 4 elements."),
    ([[1, 2, 3, 4, 5]], ValueError, "list for rect-like argument must have only 4 elements."),
    ([Vector2(1, 2)], ValueError, "sequence for rect-like argument must have only 4 elements."),
    ([5], TypeError, "rect_like argument must be Rect, tuple, or list, got int"),
    ([(1, 2, 3, "x")], TypeError, None),
    (zeros((2, 3), "f"), ValueError, None),
    (zeros((2, 4), "i"), TypeError, None),
])
def test_bad_sources_are_refused(source, error, message):
    with pytest.raises(error) as e:
        RectArray(source)
    if message:
        assert str(e.value) == message


def test_an_iterable_failing_part_way_builds_nothing():
    a = RectArray([(1, 1, 1, 1)])

    def rows():
        yield (2, 2, 2, 2)
        raise KeyError("stop")

    with pytest.raises(KeyError):
        a.extend(rows())
    assert a == RectArray([(1, 1, 1, 1)])


def test_buffer_is_a_float32_view_that_blocks_resizing():
    a = RectArray([(1, 2, 3, 4), (5, 6, 7, 8)])
    v = memoryview(a)
    assert v.format == "f" and v.shape == (2, 4) and v.strides == (16, 4) and not v.readonly
    v[1, 0] = 50
    assert a[1].x == 50
    with pytest.raises(BufferError):
        a.append((0, 0, 0, 0))
    with pytest.raises(BufferError):
        a.remove_where(packed([True, False], "?"))
    v.release()
    a.append((0, 0, 0, 0))
    a.remove_where(packed([True, False, False], "?"))
    assert a == RectArray([(50, 6, 7, 8), (0, 0, 0, 0)])


@needs_numpy
def test_buffer_is_a_numpy_float32_view_that_blocks_resizing():
    a = RectArray([(1, 2, 3, 4), (5, 6, 7, 8)])
    v = np.asarray(a)
    assert v.dtype == np.float32 and v.shape == (2, 4)
    v[1, 0] = 50
    assert a[1].x == 50
    with pytest.raises(BufferError):
        a.append((0, 0, 0, 0))
    with pytest.raises(BufferError):
        a.remove_where([True, False])
    del v
    a.append((0, 0, 0, 0))
    a.remove_where([True, False, False])
    assert a == RectArray([(50, 6, 7, 8), (0, 0, 0, 0)])


def test_copies_and_pickles_are_equal_and_independent():
    a = RectArray([(1, 2, 3, 4), (math.inf, -0.0, 0.1, 5)])
    for b in (copy.copy(a), copy.deepcopy(a), pickle.loads(pickle.dumps(a)), a.copy()):
        assert type(b) is RectArray and b == a and b is not a
        b[0] = (0, 0, 0, 0)
        assert a[0].x == 1


def test_memory_is_16_bytes_per_rectangle_plus_a_header():
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        a = RectArray(100_000)
        used = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    assert len(a) == 100_000 and 16 * 100_000 <= used < 16 * 100_000 + 512


# ---------------------------------------------------------------------------
# Moving

offsets = st.tuples(values, values)


@given(box_lists, st.lists(offsets, min_size=1, max_size=40), st.tuples(st.floats(), st.floats()))
def test_moving_is_get_moved_on_each_rect(b, o, d):
    a = RectArray(b)
    o = (o * 41)[:len(b)]
    by_each = a.get_moved(Vector2Array(o))
    by_one = a.get_moved(d)
    for i, r in enumerate(rects(b)):
        assert same(vals(by_each[i]), vals(r.get_moved(f32(o[i][0]), f32(o[i][1]))))
        assert same(vals(by_one[i]), vals(r.get_moved(*d)))
    assert a == RectArray(b) or any(math.isnan(x) for t in b for x in t)
    assert a.to_moved(Vector2(*d[::-1])) is a
    assert same([x for r in a for x in vals(r)],
                [x for r in rects(b) for x in vals(r.get_moved(f32(d[1]), f32(d[0])))])


@pytest.mark.parametrize("offset, error, message", [
    (Vector2Array([(1, 1)]), ValueError, "offset has 1 elements, the array 2"),
    ((1, 2, 3), ValueError, "tuple for vector2-like argument must have only 2 elements."),
    ([1], ValueError, "list for vector2-like argument must have only 2 elements."),
    (5, TypeError, "vector2-like argument must be Vector2, or any sequence, got int."),
    (("a", 1), TypeError, None),
])
def test_bad_offsets_are_refused_and_move_nothing(offset, error, message):
    a = RectArray([(1, 2, 3, 4)] * 2)
    for f in (a.get_moved, a.to_moved):
        with pytest.raises(error) as e:
            f(offset)
        if message:
            assert str(e.value) == message
    assert a == RectArray([(1, 2, 3, 4)] * 2)


# ---------------------------------------------------------------------------
# Collision queries

def pairs_loop(a, b=None):
    if b is None:
        return [(i, j) for i in range(len(a)) for j in range(i + 1, len(a))
                if a[i].collide_rect(a[j])]
    return [(i, j) for i in range(len(a)) for j in range(len(b)) if a[i].collide_rect(b[j])]


def rows(view):
    assert view.format == "q" and view.ndim == 2 and view.shape[1] == 2
    return [tuple(p) for p in view.tolist()]


@settings(max_examples=300)
@given(st.one_of(box_lists, grid_lists), st.one_of(box_lists, grid_lists))
def test_pairs_are_the_collide_rect_double_loop_in_order(b, c):
    a, o = RectArray(b), RectArray(c)
    assert rows(a.collide_pairs()) == pairs_loop(rects(b))
    want = pairs_loop(rects(b), rects(c))
    assert rows(a.collide_pairs(o)) == want
    assert rows(a.collide_pairs(c)) == want  # converted as RectArray(c)


@settings(max_examples=200)
@given(boxes, st.one_of(box_lists, grid_lists))
def test_one_against_all_is_collide_list_all(probe, b):
    hits = RectArray(b).collide_rect_all(probe)
    assert hits.format == "q" and hits.ndim == 1
    assert hits.tolist() == Rect(*probe).collide_list_all(rects(b))


@pytest.mark.parametrize("b, want", [
    ([(0, 0, 10, 10), (10, 0, 5, 5)], []),                     # touching edges
    ([(0, 0, 10, 10), (9.5, 9.5, 5, 5)], [(0, 1)]),
    ([(0, 0, 10, 10), (5, 5, 0, 0)], [(0, 1)]),                # zero size inside
    ([(0, 0, 10, 10), (0, 0, 0, 0)], []),                      # zero size on the corner
    ([(10, 0, -5, 10), (0, 0, 20, 20)], [(0, 1)]),             # negative width
    ([(0, 0, math.nan, 10), (0, 0, 20, 20)], []),
    ([(-math.inf, 0, math.inf, 10), (0, 0, 20, 20)], []),      # inf - inf edge
    ([(-math.inf, 0, 1e30, 10), (0, 0, 20, 20)], []),
    ([(-1e30, 0, math.inf, 10), (0, 0, 20, 20)], [(0, 1)]),
])
def test_pairs_at_the_edges(b, want):
    assert rows(RectArray(b).collide_pairs()) == want == pairs_loop(rects(b))


def test_results_are_int64_memoryviews():
    a = RectArray([(i, 0, 2, 2) for i in range(5)])
    p = a.collide_pairs()
    assert isinstance(p, memoryview) and p.shape == (4, 2) and p.strides == (16, 8)
    assert rows(p) == [(0, 1), (1, 2), (2, 3), (3, 4)]
    none = RectArray().collide_pairs()
    assert none.format == "q" and none.shape == (0, 2) and len(none) == 0
    hits = a.collide_rect_all(Rect(0.25, 0, 0.5, 1))
    assert hits.format == "q" and hits.shape == (1,) and hits.tolist() == [0]


@needs_numpy
def test_results_are_int64_views_numpy_reads_without_copying():
    a = RectArray([(i, 0, 2, 2) for i in range(5)])
    p = a.collide_pairs()
    n = np.asarray(p)
    assert n.dtype == np.int64 and n.shape == (4, 2) and np.shares_memory(n, np.asarray(p))
    assert n.tolist() == [[0, 1], [1, 2], [2, 3], [3, 4]]
    none = RectArray().collide_pairs()
    assert np.asarray(none).shape == (0, 2) and len(none) == 0
    hits = np.asarray(a.collide_rect_all(Rect(0.25, 0, 0.5, 1)))
    assert hits.dtype == np.int64 and hits.tolist() == [0]


def test_queries_refuse_what_is_no_rectangle():
    a = RectArray(2)
    with pytest.raises(TypeError, match="rect_like argument must be Rect, tuple, or list, got "
                                        "NoneType"):
        a.collide_rect_all(None)
    with pytest.raises(TypeError, match="must be real number, not str"):
        a.collide_rect_all("abcd")
    with pytest.raises(TypeError, match="rect_like argument must be Rect, tuple, or list, got int"):
        a.collide_pairs([3])
    with pytest.raises(TypeError):
        a.collide_pairs(1, 2)


# ---------------------------------------------------------------------------
# The C method table, as a native caller uses it

def test_c_table_gives_the_storage_and_makes_arrays():
    import _rect_array_testhelper as native

    a = RectArray([(1, 2, 3, 4), (0.1, -0.0, math.inf, 5)])
    assert native.rows(a) == [vals(r) for r in a]
    b = native.from_floats([1, 2, 3, 4, 2, 3, 4, 5])
    assert type(b) is RectArray and b == RectArray([(1, 2, 3, 4), (2, 3, 4, 5)])
    assert native.make(3) == RectArray(3)
    with pytest.raises(ValueError):
        native.make(-1)
    assert rows(native.pairs(b, None)) == [(0, 1)] == rows(b.collide_pairs())
    assert rows(native.pairs(b, a)) == rows(b.collide_pairs(a))
    assert native.hits(b, (2.5, 2.5, 1, 1)).tolist() == [0, 1]
