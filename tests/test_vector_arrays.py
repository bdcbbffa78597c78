"""The packed vector arrays: construction forms, the buffer export and its
lifetime under resizing, the sequence protocol, growth and compaction,
copying and pickling, operands and result buffers, refusals, and the C
table a raylib binding uses."""
import copy
import pickle

import pytest

import _vector2_array_testhelper as native
from buffers import needs_numpy, numpy as np, packed, zeros
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector2_array.vector2_array import Vector2Array
from tarvex.vector3.vector3 import Vector3
from tarvex.vector3_array.vector3_array import Vector3Array

BOTH = pytest.mark.parametrize("arr,vec,k", [(Vector2Array, Vector2, 2), (Vector3Array, Vector3, 3)],
                               ids=["Vector2Array", "Vector3Array"])


def rows(k, n, start=0):
    return [tuple(float(start + i * k + j) for j in range(k)) for i in range(n)]


# ----------------------------------------------------------- construction

@BOTH
def test_construction_forms(arr, vec, k):
    data = rows(k, 4)
    want = arr(data)
    assert [tuple(v) for v in want] == data
    assert arr([vec(*r) for r in data]) == want
    assert arr(packed(data, "f")) == want
    assert arr(packed(data, "d")) == want
    assert arr(iter(data)) == want and arr(want) == want and arr(want) is not want
    assert len(arr()) == 0 and list(arr(3)) == [vec()] * 3


@BOTH
def test_buffers_are_read_as_they_lie_and_rounded_once(arr, vec, k):
    big = packed(rows(k, 8), "d")[::2]  # every other row: strided
    assert big.strides == (16 * k, 8)
    assert [tuple(v) for v in arr(big)] == [tuple(r) for r in big.tolist()]
    assert arr(packed([[0.1] * k], "d"))[0] == vec(*[0.1] * k)
    assert arr(packed(rows(k, 3), "f")[::-1]) == arr(rows(k, 3)[::-1])


@needs_numpy
@BOTH
def test_buffers_strided_in_both_dimensions_are_read_as_they_lie(arr, vec, k):
    # memoryview slices its first dimension only: numpy makes the columns'.
    big = np.arange(8 * k * 2, dtype=np.float64).reshape(8, 2 * k)[::2, ::2]  # strided
    assert [tuple(v) for v in arr(big)] == [tuple(r) for r in big.tolist()]
    assert arr(np.array([[0.1] * k]))[0] == vec(*[0.1] * k)
    assert arr(np.array(rows(k, 3), dtype=np.float32)[::-1]) == arr(rows(k, 3)[::-1])


@pytest.mark.parametrize("source,error,message", [
    (zeros((3, 3), "f"), ValueError, "Vector2Array() needs a buffer shaped (n, 2), got shape (3, 3)"),
    (zeros(4, "f"), ValueError, "got shape (4,)"),
    (zeros((3, 2), "i"), TypeError, "float32 or float64 values (format 'f' or 'd'), got format 'i'"),
    (b"abcdefgh", TypeError, "got format 'B'"),
    ([(1, 2), (1, 2, 3)], ValueError, "tuple for vector2-like argument must have only 2 elements."),
    ([(1, 2), [3]], ValueError, "list for vector2-like argument must have only 2 elements."),
    ([(1, 2), 5], TypeError, "vector2-like argument must be Vector2, or any sequence, got int."),
    ([(1, 2), ("a", 1)], TypeError, "must be real number"),
    (-1, ValueError, "count must not be negative"),
    (2**62, MemoryError, ""),
    (2**70, MemoryError, ""),
])
def test_construction_refusals(source, error, message):
    with pytest.raises(error) as e:
        Vector2Array(source)
    assert message in str(e.value)


def test_an_iterable_failing_part_way_builds_and_appends_nothing():
    def gen():
        yield (1, 2)
        raise KeyError("stop")
    with pytest.raises(KeyError):
        Vector2Array(gen())
    a = Vector2Array([(5, 6)])
    with pytest.raises(KeyError):
        a.extend(gen())
    assert a == Vector2Array([(5, 6)])


# -------------------------------------------------------------- buffers

@BOTH
def test_the_buffer_is_a_writable_float32_view(arr, vec, k):
    a = arr(rows(k, 3))
    m = memoryview(a)
    assert m.format == "f" and m.shape == (3, k) and m.strides == (4 * k, 4) and not m.readonly
    assert m.c_contiguous and m.itemsize == 4 and m.nbytes == 12 * k
    m[1, 0] = 99.0
    assert a[1][0] == 99.0
    assert memoryview(arr()).shape == (0, k)


@needs_numpy
@BOTH
def test_the_buffer_is_a_writable_zero_copy_view(arr, vec, k):
    a = arr(rows(k, 3))
    view = np.asarray(a)
    assert view.dtype == np.float32 and view.shape == (3, k) and view.flags.c_contiguous
    view[1, 0] = 99.0
    assert a[1][0] == 99.0
    m = memoryview(a)
    assert m.format == "f" and m.shape == (3, k) and m.strides == (4 * k, 4) and not m.readonly
    assert np.asarray(arr()).shape == (0, k)


@pytest.mark.parametrize("resize", [
    lambda a: a.append((1, 2)), lambda a: a.extend([(1, 2)]), lambda a: a.resize(10),
    lambda a: a.clear(), lambda a: a.remove_where([True, False, False]),
    lambda a: native.resize(a, 0), lambda a: native.doubled(a),
], ids=["append", "extend", "resize", "clear", "remove_where", "c_resize", "c_extend"])
def test_resizing_while_a_view_exists_raises_buffer_error(resize):
    a = Vector2Array(rows(2, 3))
    view = memoryview(a)
    with pytest.raises(BufferError, match="Existing exports of data: Vector2Array cannot be re-sized"):
        resize(a)
    assert len(a) == 3 and view.shape == (3, 2)
    view.release()
    resize(a)


def test_in_place_operations_work_while_a_view_exists():
    a = Vector2Array(rows(2, 3))
    view = memoryview(a)
    a += Vector2(1, 1)
    a.to_neg(where=[True, False, True])
    assert view.tolist() == [[-1, -2], [3, 4], [-5, -6]]


# ------------------------------------------------------------- sequence

def test_items_slices_and_assignment():
    a = Vector2Array(rows(2, 5))
    assert a[0] == Vector2(0, 1) and a[-1] == Vector2(8, 9)
    assert a[1:3] == Vector2Array([(2, 3), (4, 5)]) and a[::-2] == Vector2Array([(8, 9), (4, 5), (0, 1)])
    a[0] = (10, 11)
    a[-1] = Vector2(12, 13)
    a[1:3] = [(0, 0), (1, 1)]
    assert list(a) == [Vector2(10, 11), Vector2(0, 0), Vector2(1, 1), Vector2(6, 7), Vector2(12, 13)]
    with pytest.raises(IndexError, match="Vector2Array index out of range"):
        a[5]
    with pytest.raises(IndexError, match="Vector2Array assignment index out of range"):
        a[-6] = (0, 0)
    with pytest.raises(ValueError, match="the assigned value has 1 elements, the array 2"):
        a[0:2] = [(0, 0)]
    with pytest.raises(NotImplementedError, match="Subscript deletion not supported by"):
        del a[0]
    with pytest.raises(TypeError):
        hash(a)


def test_equality_and_repr():
    assert Vector2Array([(1, 2)]) == Vector2Array([(1, 2)]) != Vector2Array([(1, 3)])
    assert Vector2Array([(1, 2)]) != Vector3Array([(1, 2, 0)]) and Vector2Array() != []
    assert repr(Vector2Array([(1, 2.5)])) == "Vector2Array([(1.0, 2.5)])"
    assert repr(Vector3Array(1000)) == ("Vector3Array([(0.0, 0.0, 0.0), (0.0, 0.0, 0.0), "
                                        "(0.0, 0.0, 0.0), ..., (0.0, 0.0, 0.0)], count=1000)")


def test_growth_and_compaction():
    a = Vector2Array()
    for i in range(100):
        a.append((i, -i))
    a.extend(a)
    a.extend(packed([(1, 1), (1, 1)], "d"))
    assert len(a) == 202 and a[100] == Vector2(0, 0) and a[201] == Vector2(1, 1)
    a.remove_where(packed([i % 2 == 1 for i in range(202)], "?"))
    assert len(a) == 101 and a[1] == Vector2(2, -2)
    a.resize(103)
    assert a[102] == Vector2()
    with pytest.raises(ValueError, match="mask has 2 elements, the array 103"):
        a.remove_where([True, False])
    with pytest.raises(TypeError, match="mask must be a one-dimensional buffer of bools"):
        a.remove_where(zeros(103, "f"))


@BOTH
def test_copies_and_pickles_are_equal_and_independent(arr, vec, k):
    a = arr(rows(k, 4))
    for b in (a.copy(), copy.copy(a), copy.deepcopy(a), pickle.loads(pickle.dumps(a))):
        assert b == a and b is not a
        b[0] = vec()
        assert a[0] != vec()
    with pytest.raises(ValueError, match="state has 3 bytes"):
        arr(1).__setstate__(b"abc")


# ------------------------------------------------------ operands, results

def test_operand_refusals():
    a = Vector2Array(3)
    with pytest.raises(ValueError, match="other has 2 elements, the array 3"):
        a + Vector2Array(2)
    with pytest.raises(TypeError, match="unsupported operand"):
        a + 1.0
    with pytest.raises(TypeError, match="Argument 'other' has incorrect type \\(expected "
                       "tarvex.vector2.vector2.Vector2 or tarvex.vector2_array.vector2_array."
                       "Vector2Array, got tuple\\)"):
        a.get_added((1, 2))
    with pytest.raises(TypeError, match="factor must be a number or a one-dimensional buffer"):
        a.get_added(Vector2(), zeros((3, 2)))
    with pytest.raises(ValueError, match="factor has 4 elements, the array 3"):
        a.get_added(Vector2(), zeros(4))
    with pytest.raises(ValueError, match="out has 2 elements, the array 3"):
        a.get_added(Vector2(), out=Vector2Array(2))
    with pytest.raises(TypeError, match="out must be a buffer of format 'd', got format 'f'"):
        a.get_length(out=zeros(3, "f"))


def test_failing_operations_store_nothing():
    a = Vector2Array([(1, 0), (0, 0)])
    with pytest.raises(ValueError, match="cannot scale a zero vector to a length"):
        a.to_scaled_to_length(2.0)
    with pytest.raises(ValueError, match="low must not exceed high"):
        a.to_clamped(Vector2Array([(0, 0), (5, 5)]), Vector2Array([(1, 1), (1, 1)]))
    assert a == Vector2Array([(1, 0), (0, 0)])


def test_results_are_buffers_and_out_is_filled():
    a = Vector2Array([(3, 4), (6, 8)])
    lengths = a.get_length()
    assert isinstance(lengths, memoryview) and lengths.format == "d" and list(lengths) == [5.0, 10.0]
    assert not lengths.readonly and lengths.shape == (2,)
    out = zeros(2)
    assert a.distance_to(Vector2(), out=out) is out and out.tolist() == [5.0, 10.0]
    assert a.get_length(out=lengths) is lengths
    mask = a.in_rect(Rect(0, 0, 4, 4))
    assert mask.format == "?" and list(mask) == [True, False]
    b = Vector2Array(2)
    assert a.get_added(Vector2(1, 1), 2.0, out=b) is b and b == Vector2Array([(5, 6), (8, 10)])
    assert a.get_added(a, out=a) is a and a == Vector2Array([(6, 8), (12, 16)])


@needs_numpy
def test_results_are_zero_copy_buffers_and_numpy_out_is_filled():
    a = Vector2Array([(3, 4), (6, 8)])
    lengths = a.get_length()
    assert isinstance(lengths, memoryview) and lengths.format == "d" and list(lengths) == [5.0, 10.0]
    assert np.asarray(lengths).base is not None
    out = np.zeros(2)
    assert a.distance_to(Vector2(), out=out) is out and out.tolist() == [5.0, 10.0]
    with pytest.raises(TypeError, match="out must be a buffer of format 'd', got format 'f'"):
        a.get_length(out=np.zeros(2, np.float32))


def test_particle_step_bounces_in_the_box():
    pos = Vector2Array([(-1, 5), (11, 5), (5, -1), (5, 11), (5, 5), (10, 10)])
    vel = Vector2Array([(-1, -1)] * 3 + [(1, 1)] * 3)
    vel.to_bounced(pos, Rect(0, 0, 10, 10))
    assert vel == Vector2Array([(1, -1), (-1, -1), (-1, 1), (1, -1), (1, 1), (1, 1)])
    with pytest.raises(ValueError, match="positions has 1 elements, the array 6"):
        vel.to_bounced(Vector2Array(1), Rect())
    with pytest.raises(TypeError, match="rect_like argument must be Rect, tuple, or list, got int"):
        vel.in_rect(5)


def test_a_mask_that_resizes_the_array_is_refused():
    a = Vector2Array(3)

    class Shrinks:
        def __bool__(self):
            a.clear()
            return True

    with pytest.raises(RuntimeError, match="Vector2Array changed size while the arguments were read"):
        a.to_neg(where=[Shrinks(), True, True])


# ------------------------------------------------------------- C table

def test_the_c_table_gives_pointer_and_count_and_builds_from_them():
    a = Vector2Array([(1, 2), (3, 4)])
    assert native.strip(a) == [(1.0, 2.0), (3.0, 4.0)]
    assert native.from_floats([1.0, 2.0, 3.0, 4.0]) == a
    assert native.make(3) == Vector2Array(3)
    native.doubled(a)
    assert native.strip(a) == [(1.0, 2.0), (3.0, 4.0)] * 2
    native.resize(a, 1)
    assert a == Vector2Array([(1, 2)])
    with pytest.raises(ValueError, match="count must not be negative"):
        native.make(-1)
    assert native.strip(Vector2Array()) == []
