"""Arithmetic, geometry and the C method tables of the vector family."""
import math

import pytest

from vectors_common import KINDS, V2, V3, V4, f32

kinds = pytest.mark.parametrize("k", KINDS, ids=repr)
inf, nan = math.inf, math.nan


def vec(k, *vals):
    """A k-vector whose first components are vals and the rest zero."""
    return k.make(*(list(vals) + [0.0] * k.n)[: k.n])


def same(a, b):
    """Equal component tuples, NaN equal to NaN and signs of zero compared."""
    return len(a) == len(b) and all(
        (math.isnan(x) and math.isnan(y)) or (x == y and math.copysign(1, x) == math.copysign(1, y))
        for x, y in zip(a, b))


# ------------------------------------------------------------------ operators

@kinds
@pytest.mark.parametrize("expr,a,b,expected", [
    ("a + b", (1, 2), (3, 4), (4, 6)),
    ("a - b", (1, 2), (3, 5), (-2, -3)),
    ("a * b", (1, 2), (3, 4), (3, 8)),
    ("a * b", (1, 2), 2, (2, 4)),
    ("a * b", (1, 2), True, (1, 2)),
    ("a / b", (1, -2), 0, (inf, -inf)),
    ("a / b", (0, 1), (0, 1), (nan, 1)),
    ("a // b", (-7, 7), 2, (-4, 3)),
    ("a // b", (-7, 7), (2, 2), (-4, 3)),
    ("a // b", (-7, 7), 2.0, (-4, 3)),
])
def test_operators(k, expr, a, b, expected):
    a = vec(k, *a)
    b = vec(k, *b) if isinstance(b, tuple) else b
    r = eval(expr)
    # the padding components follow IEEE rules too (0/0 is nan, 0*x is 0)
    got = k.comps(r)[: len(expected)]
    assert same(got, tuple(float(e) for e in expected))
    assert type(r) is k.cls


@kinds
def test_zero_divisors(k):
    assert same(k.comps(vec(k, 1, -1) / 0)[:3 if k.n > 2 else 2], (inf, -inf, nan)[: min(k.n, 3)])


def test_vector4_division_by_zero_uses_reciprocal():
    assert same((V4.make(0, 1, 2, 3) / 0).get_tuple(),
                (nan, inf, inf, inf))
    assert same((V4.make(1, -1, 0, 2) / 0).get_tuple(), (inf, -inf, nan, inf))


def test_scalar_operations_round_once():
    # 3 * 0.1 in double is 0.30000000000000004; rounded once to 32 bits.
    assert (V2.make(3, 0) * 0.1).x == f32(3 * 0.1)
    c = f32(0.37)
    assert (V2.make(c, 0) / 3).x == f32(c / 3)
    assert (V3.make(c, 0, 0) / 3).x == f32(c * (1.0 / 3))
    # Vector4 divides by multiplying with the reciprocal: 0.37 / 3 differs.
    assert (V4.make(0.37, 0, 0, 0) / 3).x == 0.37 * (1.0 / 3) != 0.37 / 3
    assert (V4.make(0.37, 0, 0, 0) // 0.001).x == math.floor(0.37 * (1.0 / 0.001))


def test_vector_operations_are_single_precision():
    a, b = f32(0.1), f32(0.2)
    # a + b in single differs from the double sum rounded once
    single = f32(a + b)
    assert (V2.make(a, 0) + V2.make(b, 0)).x == single
    assert (V2.make(1, 0) / V2.make(3, 1)).x == f32(1 / 3)


@kinds
@pytest.mark.parametrize("expr", ["a + 1", "a + (1, 2)", "a + None", "a - 1"])
def test_add_sub_refuse_non_vectors(k, expr):
    a = k.make()
    with pytest.raises(TypeError) as e:
        eval(expr)
    assert str(e.value).startswith(f"Argument 'other' has incorrect type (expected {k.full}, got ")


@kinds
@pytest.mark.parametrize("expr", ["2 * a", "a * 'x'", "a / None", "a // (1, 2)", "(1, 2) + a", "1 - a", "+a", "abs(a)"])
def test_unsupported_operand_types(k, expr):
    a = k.make()
    with pytest.raises(TypeError) as e:
        eval(expr)
    assert "Argument" not in str(e.value)


@kinds
def test_reflected_operation_is_tried(k):
    class Scale:
        def __rmul__(self, v):
            return "rmul"
    assert k.make() * Scale() == "rmul"


@kinds
def test_in_place_operators(k):
    a = vec(k, 1, 2)
    b = vec(k, 3, 4)
    keep = a
    a += b
    a -= vec(k, 1, 1)
    a *= vec(k, 2, 3)
    assert a is keep and k.comps(a)[:2] == (6.0, 15.0)
    with pytest.raises(TypeError, match="Argument 'other'"):
        a *= 2
    old = a
    a /= 2
    assert a is not old and old.x == 6.0 and a.x == 3.0


def test_huge_int_operand():
    with pytest.raises(OverflowError):
        V2.make() * 10**400


@kinds
def test_negation(k):
    assert same(k.comps(-vec(k, 0, 1)), (-0.0, -1.0) + (-0.0,) * (k.n - 2))


# -------------------------------------------------------------- transforms

@kinds
def test_rounding_halves_away_from_zero(k):
    v = vec(k, 0.5, -2.5, 1.5, -0.5)
    want = (1.0, -3.0, 2.0, -1.0)[: k.n]
    assert k.comps(v.get_round()) == want
    assert v.get_rounded_tuple() == tuple(int(x) for x in want)
    assert all(type(i) is int for i in v.get_rounded_tuple())
    assert vec(k, 1.9, -1.9).get_int_tuple()[:2] == (1, -1)
    assert v.to_round() is v and k.comps(v) == want


@kinds
def test_integer_tuples_of_unrepresentable_values_do_not_fail(k):
    v = vec(k, nan, inf, -inf, 1e30)
    assert len(v.get_int_tuple()) == k.n
    assert len(v.get_rounded_tuple()) == k.n


@kinds
def test_signs(k):
    v = vec(k, -0.0, -1)
    assert same(k.comps(v.get_abs())[:2], (0.0, 1.0))
    assert same(k.comps(v.get_neg())[:2], (0.0, 1.0))
    assert v.to_abs() is v and v.to_neg() is v
    assert same(k.comps(v)[:2], (-0.0, -1.0))


@kinds
def test_length_and_normalisation(k):
    v = {2: (3, 4), 3: (2, 3, 6), 4: (1, 2, 2, 4)}[k.n]
    v = k.make(*v)
    assert v.length == {2: 5.0, 3: 7.0, 4: 5.0}[k.n]
    n = v.get_normalized()
    assert math.isclose(n.length, 1.0, rel_tol=1e-6)
    assert k.comps(k.make().get_normalized()) == (0.0,) * k.n
    assert v.to_normalized() is v and v == n


def test_float_overflow_in_length_and_distance():
    v = V2.make(1e20, 0)
    assert v.length == inf                               # squared in single precision
    assert v.distance_to(V2.make()) == pytest.approx(1.0000000200408773e20, rel=1e-15)
    assert v.distance_squared_to(V2.make()) == f32(1e20) ** 2
    assert V2.comps(v.get_normalized()) == (0.0, 0.0)    # 1 / inf
    assert V3.make(1e20, 0, 0).length == inf
    assert V4.make(1e20, 0, 0, 0).length == 1e20
    assert V4.make(2, 0, 0, 0).get_normalized().get_tuple() == (1.0, 0.0, 0.0, 0.0)


@kinds
def test_measures(k):
    a, b = vec(k, 1, 2), vec(k, 4, 6)
    assert a.dot(b) == 16.0 and a.dot(other=b) == 16.0
    assert a.distance_to(b) == 5.0
    assert a.distance_squared_to(b) == 25.0
    for meth in ("dot", "distance_to", "distance_squared_to"):
        with pytest.raises(TypeError, match=f"^Argument 'other' has incorrect type \\(expected {k.full}, got tuple\\)$"):
            getattr(a, meth)((1, 2))


@kinds
def test_sadd(k):
    s = k.make()
    assert s.sadd(vec(k, 1, 2), vec(k, 3, 4)) is None
    assert k.comps(s)[:2] == (4.0, 6.0)
    for args, name in [((None, s), "new_vec"), ((s, 1), "old_vec")]:
        with pytest.raises(TypeError, match=f"^Argument '{name}' has incorrect type"):
            s.sadd(*args)
    s.sadd(old_vec=vec(k, 1), new_vec=vec(k, 1))
    assert s.x == 2.0


def test_cross():
    x, y = V3.make(1, 0, 0), V3.make(0, 1, 0)
    assert x.cross(y).get_tuple() == (0.0, 0.0, 1.0)
    assert y.cross(x).get_tuple() == (0.0, 0.0, -1.0)
    assert x.cross(x).get_tuple() == (0.0, 0.0, 0.0)
    assert x.get_tuple() == (1.0, 0.0, 0.0)
    with pytest.raises(TypeError, match="Argument 'other'"):
        x.cross((0, 1, 0))
    # Vector2's cross product is the 2-D number (see the geometry tests);
    # Vector4 has none.
    assert not hasattr(V4.make(), "cross")


# ----------------------------------------------------------- C method tables

@kinds
def test_table_creators(k):
    vals = (0.1,) + (2.0,) * (k.n - 1)
    want = tuple(k.narrow(v) for v in vals)
    assert k.comps(k.call("new", *vals)) == want
    assert k.comps(k.call("cfrom_" + k.letters, *vals)) == want
    assert k.comps(k.call("cfrom_floats", *vals)) == tuple(f32(v) for v in vals)
    assert k.comps(k.call("cfrom_ints", *([2**24 + 1] * k.n))) == (k.narrow(2**24 + 1),) * k.n
    assert k.comps(k.call("cfrom_tuple", vals + (5,))) == want
    assert k.comps(k.call("cfrom_list", list(vals))) == want
    src = k.make(*vals)
    c = k.call("cfrom_" + k.name.lower(), src)
    assert c == src and c is not src


def test_vector2_struct_creator():
    assert V2.comps(V2.call("cfrom_struct", 1.5, -2)) == (1.5, -2.0)


@kinds
def test_table_sequence_creators_refuse_short_input(k):
    with pytest.raises(ValueError):
        k.call("cfrom_tuple", (1.0,))
    with pytest.raises(ValueError):
        k.call("cfrom_list", [])


@kinds
def test_table_arithmetic(k):
    a, b = vec(k, 1, 2), vec(k, 3, 4)
    assert k.comps(k.call("_add", a, b))[:2] == (4.0, 6.0)
    assert k.comps(k.call("_sub", a, b))[:2] == (-2.0, -2.0)
    for entry, want in [("_iadd", 4.0), ("_isub", 1.0), ("_imul", 3.0)]:
        assert k.call(entry, a, b) is None
        assert a.x == want
    s = k.make()
    assert k.call("_sadd", s, a, b) is None and s.x == 6.0
    assert k.call("sadd", s, b, b, 0) is None and s.x == 6.0


@kinds
@pytest.mark.parametrize("entry", ["to_round", "to_abs", "to_neg", "to_normalized"])
def test_table_in_place_entries_return_self(k, entry):
    v = vec(k, -1.5, 2)
    before = k.comps(getattr(v.copy(), entry)())
    r = k.call(entry, v, 0)
    assert r is v and k.comps(v) == before


@kinds
@pytest.mark.parametrize("entry", ["get_round", "get_abs", "get_neg", "get_normalized", "copy",
                                   "get_tuple", "get_int_tuple", "get_rounded_tuple"])
def test_table_getters_match_methods(k, entry):
    v = vec(k, -1.5, 2.25)
    r = k.call(entry, v, 1)
    assert r == getattr(v, entry)() and r is not v
    assert k.comps(v)[:2] == (-1.5, 2.25)


@kinds
def test_table_measures(k):
    a, b = vec(k, 1, 2), vec(k, 4, 6)
    assert k.call("dot", a, b, 0) == 16.0
    assert k.call("distance_to", a, b, 0) == 5.0
    assert k.call("distance_squared_to", a, b, 0) == 25.0
    assert k.call("c_get_tuple", a) == a.get_tuple()


def test_table_cross():
    assert V3.call("cross", V3.make(1, 0, 0), V3.make(0, 1, 0), 0).get_tuple() == (0.0, 0.0, 1.0)


def test_tables_published_and_bound():
    import _vector_testhelper as h
    from tarvex.vector2.vector2 import Vector2
    from tarvex.vector3.vector3 import Vector3
    from tarvex.vector4.vector4 import Vector4
    for cls, addr in zip((Vector2, Vector3, Vector4), h.vtable_addresses()):
        assert h.bind(cls.__module__, cls.__name__, cls.__basicsize__) == addr


_SLOTS_2 = ("new_ cfrom_struct cfrom_list cfrom_ints cfrom_floats cfrom_tuple cfrom_vector2 cfrom_xy "
            "_add _sub _iadd _isub _imul _sadd sadd get_tuple c_get_tuple to_round get_round to_abs "
            "get_abs to_neg get_neg get_int_tuple get_rounded_tuple copy to_normalized get_normalized "
            "distance_to distance_squared_to dot").split()


def _slots(n):
    names = [s for s in _SLOTS_2 if s != "cfrom_struct"]
    names = [{"cfrom_vector2": f"cfrom_vector{n}", "cfrom_xy": "cfrom_" + "xyzw"[:n]}.get(s, s)
             for s in names]
    return names + ["cross"] if n == 3 else names


@pytest.mark.parametrize("k,slots,data_size", [
    (V2, _SLOTS_2, 8), (V3, _slots(3), 12), (V4, _slots(4), 32)], ids=repr)
def test_layout_and_slot_order_seen_by_a_binder(k, slots, data_size):
    import _vector_testhelper as h
    vtab, data, size, inst, table, names = h.layout(k.n)
    assert names == slots and table == len(slots) * 8
    header = object.__basicsize__
    assert (vtab, data, size) == (header, header + 8, data_size)
    assert inst == k.cls.__basicsize__ == -(-(data + size) // 8) * 8
