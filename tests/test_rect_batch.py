"""Rect's batch collision queries: the same answers as a loop over
collide_rect, every kind of collection, sequences that change while they
are read, and the refusals."""
import math
import traceback

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4

COLLISION = "rect for collision must be a Rect, Vector4, tuple, or list of length 4"

values = st.sampled_from([0.0, 0.1, 0.2, 0.30000001, 5.0, 9.5, 10.0, -5.0, 2.0 ** 24 + 1,
                          math.nan, math.inf, -0.0]) | st.floats(-20, 20)
boxes = st.tuples(values, values, values, values)
KINDS = [lambda b: Rect(*b), tuple, list, lambda b: Vector4(*b)]
items = st.lists(st.tuples(st.integers(0, 3), boxes), max_size=12).map(
    lambda pairs: [KINDS[k](b) for k, b in pairs])


def loop(r, rects):
    return [i for i, b in enumerate(rects) if r.collide_rect(b)]


@settings(max_examples=400)
@given(receiver=boxes, rects=items)
def test_lists_are_collide_rect_loops(receiver, rects):
    r = Rect(*receiver)
    want = loop(r, rects)
    for given_as in (list, tuple, iter):
        assert r.collide_list_all(given_as(rects)) == want
        assert r.collide_list(given_as(rects)) == (want[0] if want else -1)


@settings(max_examples=200)
@given(receiver=boxes, rects=items)
def test_objects_and_dicts_are_collide_rect_loops(receiver, rects):
    r = Rect(*receiver)
    want = loop(r, rects)
    sprites = [Sprite(b) for b in rects]
    assert r.collide_objects_all(sprites) == [sprites[i] for i in want]
    assert r.collide_objects(sprites) is (sprites[want[0]] if want else None)
    assert r.collide_objects_all(rects, key=lambda b: b) == [rects[i] for i in want]
    by_index = dict(enumerate(rects))
    assert r.collide_dict_all(by_index, use_values=True) == [(i, rects[i]) for i in want]
    assert r.collide_dict(by_index, True) == ((want[0], rects[want[0]]) if want else None)
    keyed = {tuple(b): i for i, b in enumerate(rects) if not isinstance(b, Rect)}
    assert r.collide_dict_all(keyed) == [(k, i) for k, i in keyed.items() if r.collide_rect(k)]


class Sprite:
    def __init__(self, rect):
        self.rect = rect


def test_results():
    r = Rect(0, 0, 10, 10)
    rects = [Rect(20, 20, 1, 1), (5, 5, 1, 1), Rect(10, 0, 5, 5), [9.5, 9.5, 5, 5], Vector4(1, 1, 1, 1)]
    assert r.collide_list(rects) == 1
    assert r.collide_list_all(rects) == [1, 3, 4]
    assert r.collide_list([]) == -1 and r.collide_list_all(()) == []
    assert r.collide_list_all(x for x in rects) == [1, 3, 4]
    sprites = [Sprite(b) for b in rects]
    assert r.collide_objects(sprites) is sprites[1]
    assert r.collide_objects_all(sprites, key=None) == [sprites[1], sprites[3], sprites[4]]
    assert r.collide_objects([Sprite((50, 50, 1, 1))]) is None
    assert r.collide_dict({(20, 20, 1, 1): "a", (5, 5, 1, 1): "b"}) == ((5, 5, 1, 1), "b")
    assert r.collide_dict({"a": Rect(20, 20, 1, 1)}, use_values=True) is None
    assert r.collide_dict_all({"a": Rect(2, 2, 1, 1), "b": (3, 3, 1, 1)}, 1) == [
        ("a", Rect(2, 2, 1, 1)), ("b", (3, 3, 1, 1))]
    assert r.collide_dict_all({}) == []


def test_subclass_items_and_receiver():
    class Sub(Rect):
        pass

    class Seq(tuple):
        pass

    r = Sub(0, 0, 10, 10)
    assert r.collide_list_all([Sub(1, 1, 1, 1), Seq((2, 2, 2, 2)), (50, 0, 1, 1)]) == [0, 1]


def test_an_overridden_collide_rect_tests_every_item():
    seen = []

    class Picky(Rect):
        def collide_rect(self, other):
            seen.append(other)
            return other == (7, 7, 7, 7)

    r = Picky(0, 0, 10, 10)
    rects = [Rect(1, 1, 1, 1), (7, 7, 7, 7), (50, 50, 1, 1)]
    assert r.collide_list_all(rects) == [1] and seen == rects
    assert r.collide_list(rects) == 1
    assert r.collide_objects(rects, key=lambda b: b) == (7, 7, 7, 7)
    assert r.collide_dict({(7, 7, 7, 7): 0, (1, 1, 1, 1): 1}) == ((7, 7, 7, 7), 0)
    # A subclass that keeps collide_rect takes the fast path.
    assert type("Plain", (Rect,), {})(0, 0, 10, 10).collide_list_all(rects) == [0, 1]


def test_use_values_is_a_truth_value():
    mapping = {(1, 1, 1, 1): (50, 50, 1, 1)}
    r = Rect(0, 0, 10, 10)
    assert r.collide_dict(mapping, use_values=[]) == ((1, 1, 1, 1), (50, 50, 1, 1))
    assert r.collide_dict(mapping, use_values="yes") is None

    class NoTruth:
        def __bool__(self):
            raise ZeroDivisionError

    with pytest.raises(ZeroDivisionError):
        r.collide_dict(mapping, NoTruth())


# ---------------------------------------------------------------------------
# Collections that change while they are read

class Clears:
    """A number whose conversion empties a list."""

    def __init__(self, victim, value=0.0):
        self.victim, self.value = victim, value

    def __float__(self):
        self.victim.clear()
        return self.value


def test_a_list_that_shrinks_is_not_read_past_its_end():
    r = Rect(0, 0, 10, 10)
    rects = [Rect(1, 1, 1, 1), None, Rect(2, 2, 1, 1), Rect(3, 3, 1, 1)]
    rects[1] = (Clears(rects, 1.0), 1, 1, 1)
    assert r.collide_list_all(rects) == [0, 1]
    assert rects == []
    rects = [None, Rect(2, 2, 1, 1)]
    rects[0] = [Clears(rects, 50.0), 1, 1, 1]
    assert r.collide_list(rects) == -1


def test_a_list_that_grows_is_read_to_its_new_end():
    r = Rect(0, 0, 10, 10)
    rects = [None]

    class Grows:
        def __float__(self):
            rects.append(Rect(5, 5, 1, 1))
            return 1.0

    rects[0] = (Grows(), 1, 1, 1)
    assert r.collide_list_all(rects) == [0, 1]


def test_objects_whose_lookup_empties_the_list():
    r = Rect(0, 0, 10, 10)
    objects = []

    class Sly:
        @property
        def rect(self):
            objects.clear()
            return (1, 1, 1, 1)

    objects[:] = [Sly(), Sprite(Rect(2, 2, 1, 1))]
    found = r.collide_objects(objects)
    assert isinstance(found, Sly) and objects == []
    objects[:] = [Sly(), Sprite(Rect(2, 2, 1, 1))]
    assert [type(o) for o in r.collide_objects_all(objects)] == [Sly]


def test_a_dict_that_changes_size():
    r = Rect(0, 0, 10, 10)
    mapping = {}

    class Adds:
        def __float__(self):
            mapping[len(mapping)] = None
            return 50.0

    mapping["a"] = (Adds(), 0, 1, 1)
    mapping["b"] = (1, 1, 1, 1)
    with pytest.raises(RuntimeError, match="dictionary changed size during iteration"):
        r.collide_dict_all(mapping, use_values=True)

    mapping = {}

    class Drops:
        def __float__(self):
            mapping.clear()
            return 1.0

    mapping["a"] = (Drops(), 1, 1, 1)
    # The entry is held while it converts, and reported after it is gone.
    assert r.collide_dict(mapping, use_values=True)[0] == "a"


# ---------------------------------------------------------------------------
# Refusals

@pytest.mark.parametrize("call,kind,msg,entry", [
    (lambda r: r.collide_list(5), TypeError,
     "Argument 'rects' has incorrect type (expected iterable, got int)", "collide_list"),
    (lambda r: r.collide_list_all(None), TypeError,
     "Argument 'rects' has incorrect type (expected iterable, got NoneType)", "collide_list_all"),
    (lambda r: r.collide_list_all([Rect(), 5]), ValueError, COLLISION, "collide_list_all"),
    (lambda r: r.collide_list([(1, 2, 3)]), ValueError, COLLISION, "collide_list"),
    (lambda r: r.collide_list([Vector2(1, 2)]), ValueError, COLLISION, "collide_list"),
    (lambda r: r.collide_list(["abcd"]), ValueError, COLLISION, "collide_list"),
    (lambda r: r.collide_list([(1, 2, 3, "x")]), TypeError, "must be real number, not str",
     "collide_list"),
    (lambda r: r.collide_list(), TypeError,
     "collide_list() takes exactly 1 positional argument (0 given)", "collide_list"),
    (lambda r: r.collide_objects(5), TypeError,
     "Argument 'objects' has incorrect type (expected iterable, got int)", "collide_objects"),
    (lambda r: r.collide_objects([Rect()]), AttributeError, "rect", "collide_objects"),
    (lambda r: r.collide_objects_all([1], key=5), TypeError,
     "Argument 'key' has incorrect type (expected callable, got int)", "collide_objects_all"),
    (lambda r: r.collide_objects_all([1], key=lambda o: o), ValueError, COLLISION,
     "collide_objects_all"),
    (lambda r: r.collide_objects([1], lambda o: 1 / 0), ZeroDivisionError, "division",
     "collide_objects"),
    (lambda r: r.collide_dict([(1, 1, 1, 1)]), TypeError,
     "Argument 'mapping' has incorrect type (expected dict, got list)", "collide_dict"),
    (lambda r: r.collide_dict_all({"a": 1}), ValueError, COLLISION, "collide_dict_all"),
    (lambda r: r.collide_dict_all({(1, 1, 1, 1): 1}, True), ValueError, COLLISION,
     "collide_dict_all"),
    (lambda r: r.collide_dict({}, wrong=1), TypeError,
     "collide_dict() got an unexpected keyword argument 'wrong'", "collide_dict"),
])
def test_refusals(call, kind, msg, entry):
    with pytest.raises(kind) as e:
        call(Rect(0, 0, 10, 10))
    assert msg in str(e.value)
    # The method's entry: the last one, or the caller of the key that raised.
    frames = [(f.name, f.filename) for f in traceback.extract_tb(e.value.__traceback__)]
    mine = (f"tarvex.rect.rect.Rect.{entry}", "src/tarvex/rect/rect")
    assert frames[-1] == mine or frames[-2] == mine and frames[-1][0] == "<lambda>"


def test_an_item_is_converted_even_when_the_test_would_not_need_it():
    # collide_rect converts all four values before testing.
    with pytest.raises(TypeError):
        Rect(0, 0, 10, 10).collide_list([(50, 0, "x", 1)])


def test_the_query_stops_at_the_first_hit():
    r = Rect(0, 0, 10, 10)
    assert r.collide_list([(1, 1, 1, 1), (1, 2, 3, "x")]) == 0
    seen = []

    def key(o):
        seen.append(o)
        return o

    assert r.collide_objects([(1, 1, 1, 1), (2, 2, 1, 1)], key=key) == (1, 1, 1, 1)
    assert seen == [(1, 1, 1, 1)]
