"""The vector family's Python surface, run over Vector2, Vector3 and Vector4."""
import copy
import itertools
import math
import pickle
import sys
import sysconfig
import traceback
from collections import namedtuple

import pytest

from vectors_common import KINDS, V2, V3, V4, f32

kinds = pytest.mark.parametrize("k", KINDS, ids=repr)


def seq(k, start=1):
    return tuple(float(start + i) for i in range(k.n))


# ------------------------------------------------------------ construction

@kinds
def test_constructor_forms(k):
    vals = seq(k)
    NT = namedtuple("NT", list(k.letters))
    for arg in (vals, list(vals), k.make(*vals), NT(*vals)):
        assert k.comps(k.make(arg)) == vals
    assert k.comps(k.make()) == (0.0,) * k.n


class Foreign:
    """A vector of another library: recognised by its clamp_magnitude_ip."""
    clamp_magnitude_ip = None

    def __init__(self, *vals):
        for c, v in zip("xyzw", vals):
            setattr(self, c, v)


@kinds
def test_foreign_vector_read_by_attribute(k):
    assert k.comps(k.make(Foreign(*seq(k)))) == seq(k)


@kinds
@pytest.mark.parametrize("args,msg", [
    ((3,), "{n}() invalid constructor argument: int"),
    ((None,), "{n}() invalid constructor argument: NoneType"),
    ((type("dotted.name", (), {})(),), "{n}() invalid constructor argument: dotted.name"),
    (([1.0] * 7,), "{n}() takes a sequence of length {c}, but got 7"),
    (((),), "{n}() takes a sequence of length {c}, but got 0"),
    ((1, 2, 3, 4, 5), "{n}() takes 0, 1, or {c} arguments, but 5 were given"),
])
def test_constructor_refusals(k, args, msg):
    with pytest.raises(TypeError) as e:
        k.make(*args)
    assert str(e.value) == msg.format(n=k.name, c=k.n)


@pytest.mark.parametrize("k,count", [(V2, 3), (V3, 2), (V4, 3)], ids=repr)
def test_wrong_argument_count(k, count):
    with pytest.raises(TypeError, match=rf"^{k.name}\(\) takes 0, 1, or {k.n} arguments, but {count} were given$"):
        k.make(*range(count))


@kinds
def test_keywords_refused_by_init(k):
    with pytest.raises(TypeError, match=r"^__init__\(\) got an unexpected keyword argument 'x'$"):
        k.cls(x=1)
    v = k.make(*seq(k))
    with pytest.raises(TypeError, match="unexpected keyword argument 'q'"):
        v.__init__(q=1)
    k.cls(**{})  # an empty keyword dict is fine


@kinds
def test_partial_store_on_failure(k):
    # Components are stored one by one: a failing later one leaves the
    # earlier ones changed.
    v = k.make()
    bad = [5.0] * (k.n - 1) + ["no"]
    with pytest.raises(TypeError):
        v.__init__(*bad)
    assert k.comps(v)[: k.n - 1] == (5.0,) * (k.n - 1)
    assert k.comps(v)[-1] == 0.0


@kinds
def test_foreign_attribute_check_propagates_other_errors(k):
    class Weird:
        def __getattr__(self, name):
            raise RuntimeError(name)
    with pytest.raises(RuntimeError, match="clamp_magnitude_ip"):
        k.make(Weird())


def test_list_shrinking_during_conversion_is_safe():
    items = []

    class Shrinker:
        def __float__(self):
            items.clear()
            return 1.0
    items.extend([Shrinker(), 2.0])
    with pytest.raises(IndexError):
        V2.cls(items)
    items.extend([Shrinker(), 2.0, 3.0])
    with pytest.raises(IndexError):
        V2.cls.from_list(items)


# ---------------------------------------------------------- static methods

@kinds
def test_static_creators(k):
    vals = seq(k)
    assert k.comps(getattr(k.cls, k.from_self)(k.make(*vals))) == vals
    assert k.comps(k.cls.from_tuple(vals + (99.0,))) == vals
    assert k.comps(k.cls.from_list(list(vals))) == vals
    assert k.comps(getattr(k.cls, k.from_comps)(*vals)) == vals
    assert k.comps(k.cls.from_ints(*[int(v) for v in vals])) == vals
    # by keyword, and from an instance
    kw = dict(zip(k.letters, vals))
    assert k.comps(k.make().from_floats(**kw)) == vals


@kinds
@pytest.mark.parametrize("meth,arg,expected", [
    ("from_tuple", [1.0, 2.0, 3.0, 4.0], "tuple"),
    ("from_list", (1.0, 2.0, 3.0, 4.0), "list"),
    ("from_tuple", None, "tuple"),
])
def test_exact_sequence_types(k, meth, arg, expected):
    with pytest.raises(TypeError) as e:
        getattr(k.cls, meth)(arg)
    assert str(e.value) == (f"Argument 'other' has incorrect type (expected {expected}, "
                            f"got {type(arg).__name__})")


@kinds
def test_named_tuple_refused_by_from_tuple(k):
    NT = namedtuple("NT", list(k.letters))
    with pytest.raises(TypeError, match=r"expected tuple, got NT"):
        k.cls.from_tuple(NT(*seq(k)))


@kinds
@pytest.mark.parametrize("meth", ["from_tuple", "from_list"])
def test_short_sequences_refused(k, meth):
    conv = tuple if meth == "from_tuple" else list
    with pytest.raises(ValueError, match=f"needs at least {k.n} items, got {k.n - 1}"):
        getattr(k.cls, meth)(conv(range(k.n - 1)))


@kinds
def test_from_self_type_check(k):
    with pytest.raises(TypeError) as e:
        getattr(k.cls, k.from_self)((1, 2))
    assert str(e.value) == f"Argument 'other' has incorrect type (expected {k.full}, got tuple)"


@kinds
def test_argument_binding_messages(k):
    f = k.cls.from_ints
    with pytest.raises(TypeError, match=rf"^from_ints\(\) takes exactly {k.n} positional arguments \(1 given\)$"):
        f(1)
    with pytest.raises(TypeError, match=r"^from_ints\(\) got multiple values for keyword argument 'x'$"):
        f(1, *([2] * (k.n - 1)), x=1)
    with pytest.raises(TypeError, match=r"^from_ints\(\) got an unexpected keyword argument 'q'$"):
        f(*([1] * k.n), q=1)
    with pytest.raises(TypeError, match=r"^__deepcopy__\(\) takes exactly 1 positional argument \(0 given\)$"):
        k.make().__deepcopy__()


class IntLike:
    def __init__(self, r):
        self.r = r

    def __int__(self):
        return self.r


@pytest.mark.parametrize("arg,exc,msg", [
    (2**31, OverflowError, "value too large to convert to int"),
    (-2**31 - 1, OverflowError, "value too large to convert to int"),
    (2**70, OverflowError, None),
    ("1", TypeError, "an integer is required"),
    (None, TypeError, "an integer is required"),
    (IntLike(1.5), TypeError, "__int__ returned non-int (type float)"),
])
def test_from_ints_refusals(arg, exc, msg):
    with pytest.raises(exc) as e:
        V2.cls.from_ints(arg, 0)
    if msg:
        assert str(e.value) == msg


def test_from_ints_narrowing():
    assert V2.comps(V2.cls.from_ints(1.9, -1.9)) == (1.0, -1.0)
    assert V2.cls.from_ints(2**24 + 1, 0).x == 2.0**24      # 32-bit float storage
    assert V4.cls.from_ints(2**24 + 1, 0, 0, 0).x == 2**24 + 1
    assert V2.cls.from_ints(IntLike(7), True).get_tuple() == (7.0, 1.0)
    with pytest.warns(DeprecationWarning):
        class MyInt(int):
            pass
        assert V2.cls.from_ints(IntLike(MyInt(3)), 0).x == 3.0


# ---------------------------------------------------------------- precision

def test_32_bit_storage():
    assert repr(V2.make(0.1, -2)) == "Vector2(0.10000000149011612, -2.0)"
    assert repr(V3.make(1, 2, 3)) == "Vector3(1.0, 2.0, 3.0)"
    assert V2.make(1e40, -1e40).get_tuple() == (math.inf, -math.inf)
    # FLT_MAX plus less than half an ulp still rounds to FLT_MAX
    flt_max = 3.4028234663852886e38
    assert V2.make(flt_max * (1 + 2**-26), 0).x == flt_max
    assert V3.make(1e300, 0, 0).x == math.inf


def test_vector4_keeps_doubles():
    assert V4.make(0.1, 1e300, 0, 0).get_tuple() == (0.1, 1e300, 0.0, 0.0)
    assert V4.cls.from_xyzw(0.1, 0, 0, 0).x == 0.1
    assert V4.cls.from_floats(0.1, 0, 0, 0).x == 0.10000000149011612
    assert repr(V4.make(1, 2, 3, 4)) == "Vector4(1.0, 2.0, 3.0, 4.0)"


@kinds
def test_repr_uses_float_repr(k):
    v = k.make(*([math.nan] + [1e-7] + [-0.0] * (k.n - 2)))
    body = ", ".join(repr(c) for c in k.comps(v))
    assert repr(v) == f"{k.name}({body})"


# ---------------------------------------------------------------- protocol

@kinds
def test_equality_and_hash(k):
    a, b = k.make(*seq(k)), k.make(*seq(k))
    assert a == b and not a != b
    assert a != seq(k) and not a == seq(k)
    assert seq(k) != a
    assert hash(a) == hash(seq(k))
    assert k.make(*([-0.0] + [0.0] * (k.n - 1))) == k.make()
    with pytest.raises(TypeError):
        a < b
    v = k.make()
    h = hash(v)
    v.x = 5
    assert hash(v) != h


def test_equality_is_32_bit():
    assert V2.make(0.1, 0) == V2.make(0.10000000149011612, 0)
    assert V4.make(0.1, 0, 0, 0) != V4.make(0.10000000149011612, 0, 0, 0)


@kinds
def test_sequence_protocol(k):
    v = k.make(*seq(k))
    assert len(v) == k.n and bool(k.make())
    assert list(v) == list(seq(k))
    assert v[True] == v.y
    assert 1.0 in v
    *_, last = v
    assert last == float(k.n)


@kinds
@pytest.mark.parametrize("idx", ["-1", "n", "2**32"])
def test_index_out_of_range(k, idx):
    i = eval(idx, {"n": k.n})
    v = k.make()
    with pytest.raises(IndexError, match="^Vector index out of range$"):
        v[i]
    with pytest.raises(IndexError, match="^Vector index out of range$"):
        v[i] = 1


@kinds
def test_index_conversion_errors(k):
    v = k.make()
    with pytest.raises(TypeError):
        v[0:1]
    with pytest.raises(TypeError):
        v[1.0]
    with pytest.raises(OverflowError):
        v[2**64]
    # the value is converted before the index is checked
    with pytest.raises(TypeError, match="must be real number"):
        v[5] = "a"


@kinds
def test_item_assignment(k):
    v = k.make()
    v[k.n - 1] = 0.1
    assert k.comps(v)[-1] == k.narrow(0.1)
    v.x = 1e40
    assert v.x == k.narrow(1e40) if k is V4 else v.x == math.inf


@kinds
def test_deletion_errors(k):
    v = k.make()
    with pytest.raises(NotImplementedError, match=r"^__del__$"):
        del v.x
    with pytest.raises(NotImplementedError) as e:
        del v[0]
    assert str(e.value) == f"Subscript deletion not supported by {k.full}"


@kinds
def test_copies_and_pickling(k):
    v = k.make(*seq(k))
    for c in (v.copy(), copy.copy(v), copy.deepcopy(v), v.__deepcopy__(memo={})):
        assert c == v and c is not v
    with pytest.raises(TypeError, match="self.data"):
        pickle.dumps(v)
    with pytest.raises(TypeError):
        v.__setstate__(None)
    with pytest.raises(TypeError):
        v.__reduce__()


@kinds
def test_final_type(k):
    with pytest.raises(TypeError):
        type("Sub", (k.cls,), {})


@pytest.mark.skipif(sysconfig.get_config_var("Py_GIL_DISABLED"), reason="larger object header")
def test_instance_size():
    # object header, table pointer, then the value itself
    assert [sys.getsizeof(k.make()) for k in KINDS] == [32, 40, 56]


# ------------------------------------------------------------------- data

def test_data_property():
    v = V2.make(0.1, 2)
    assert v.data == {"x": 0.10000000149011612, "y": 2.0}
    v.data = {"x": 3, "y": 4, "z": 5}
    assert v.get_tuple() == (3.0, 4.0)

    class M(dict):
        pass
    v.data = M(x=1, y=2)
    assert v.get_tuple() == (1.0, 2.0)


@pytest.mark.parametrize("value,exc,msg", [
    ({"x": 1}, ValueError, "No value specified for struct attribute 'y'"),
    ({"y": 1}, ValueError, "No value specified for struct attribute 'x'"),
    (5, TypeError, "Expected a mapping, got int"),
    ({"x": 1, "y": "no"}, TypeError, None),
])
def test_data_assignment_is_all_or_nothing(value, exc, msg):
    v = V2.make(7, 8)
    with pytest.raises(exc) as e:
        v.data = value
    if msg:
        assert str(e.value) == msg
    assert v.get_tuple() == (7.0, 8.0)


def test_data_absent_on_wider_vectors():
    for k in (V3, V4):
        with pytest.raises(AttributeError):
            k.make().data
        with pytest.raises(AttributeError):
            k.make().data = {}
    with pytest.raises(NotImplementedError, match="__del__"):
        del V2.make().data


# ------------------------------------------------------------- tracebacks

@pytest.mark.parametrize("call,func", [
    (lambda: V2.cls.from_ints("a", 1), "tarvex.vector2.vector2.Vector2.from_ints"),
    (lambda: V3.cls(1, 2), "tarvex.vector3.vector3.Vector3.__init__"),
    (lambda: setattr(V4.make(), "w", None), "tarvex.vector4.vector4.Vector4.w.__set__"),
    (lambda: V2.make() + 1, "tarvex.vector2.vector2.Vector2.__add__"),
    (lambda: V3.make().get_normalized(1), "tarvex.vector3.vector3.Vector3.get_normalized"),
    (lambda: V2.make().copy(memo=1), "tarvex.vector2.vector2.Vector2.copy"),
    (lambda: pickle.dumps(V4.make()), "tarvex.vector4.vector4.Vector4.__reduce__"),
    (lambda: V2.make().__setstate__(None), "tarvex.vector2.vector2.Vector2.__setstate__"),
])
def test_traceback_entry(call, func):
    with pytest.raises(TypeError) as e:
        call()
    last = traceback.extract_tb(e.value.__traceback__)[-1]
    mod = func.split(".")[1]
    assert (last.name, last.filename) == (func, f"src/tarvex/{mod}/{mod}")


# ---------------------------------------------------------------- swizzles

@kinds
def test_swizzles(k):
    v = k.make(*seq(k))
    names = ["".join(p) for p in itertools.product(k.letters, repeat=k.n)]
    assert len(names) == {2: 4, 3: 27, 4: 256}[k.n]
    for name in names:
        s = getattr(v, name)
        assert type(s) is k.cls and s is not v
        assert k.comps(s) == tuple(getattr(v, c) for c in name)
    with pytest.raises(AttributeError):
        setattr(v, names[-1], v)
    # no swizzles of another length
    with pytest.raises(AttributeError):
        getattr(v, k.letters[:2] + k.letters[0] * (k.n - 1))
