"""GlyphInfo: the empty glyph, pickling refusal, and glyphs made through the
C-level `new` over pixel buffers that belong to the test."""
import copy
import gc
import pickle

import pytest

import _glyph_info_testhelper as helper
import tarvex.glyph_info.glyph_info as glyph_module
from tarvex.glyph_info.glyph_info import GlyphInfo
from tarvex.image.image import Image

from imagetools import GRAYSCALE, RGBA, pattern, run_ok

PICKLE = "self._raw cannot be converted to a Python object for pickling"


def test_module_and_type():
    assert [n for n in dir(glyph_module) if not n.startswith("__")] == ["GlyphInfo"]
    assert type(GlyphInfo.__dict__["__pyx_vtable__"]).__name__ == "PyCapsule"
    assert [n for n in dir(GlyphInfo()) if not n.startswith("__")] == []
    assert GlyphInfo.__flags__ & (1 << 14)  # collected by the cyclic collector


@pytest.mark.parametrize("args, kwargs", [((), {}), ((1, 2), {"key": 3})])
def test_empty_glyph(args, kwargs):
    g = GlyphInfo(*args, **kwargs)
    assert helper.fields(g) == (True, 0, 0, 0, 0, (0, 0, 0, 0, 0), None)
    assert g == g and g != GlyphInfo() and hash(g) == object.__hash__(g)


@pytest.mark.parametrize("action", [pickle.dumps, copy.copy, copy.deepcopy,
                                    lambda g: g.__reduce__(), lambda g: g.__setstate__(1)])
def test_pickling_and_copying_are_refused(action):
    with pytest.raises(TypeError) as e:
        action(GlyphInfo())
    assert str(e.value) == PICKLE


@pytest.mark.parametrize("call, text", [
    (lambda g: g.__reduce__(1), "__reduce__() takes exactly 0 positional arguments (1 given)"),
    (lambda g: g.__setstate__(), "__setstate__() takes exactly 1 positional argument (0 given)"),
])
def test_pickle_hook_argument_counts(call, text):
    with pytest.raises(TypeError, match=text.replace("(", r"\(").replace(")", r"\)")):
        call(GlyphInfo())


def test_subclass_initialiser_runs():
    class Mine(GlyphInfo):
        def __init__(self, tag):
            self.tag = tag
    m = Mine("t")
    assert m.tag == "t" and helper.fields(m)[-1] is None


def test_new_wraps_a_borrowing_image_over_the_record():
    pixels = bytearray(pattern(3 * 2))
    g = helper.new(65, -1, 2, 7, pixels, 3, 2, 1, GRAYSCALE)
    ok, value, ox, oy, adv, raw, image = helper.fields(g)
    assert (ok, value, ox, oy, adv) == (True, 65, -1, 2, 7)
    assert raw == (helper.address(pixels), 3, 2, 1, GRAYSCALE)
    assert type(image) is Image and image.valid and repr(image) == "<Image 3x2 format=1>"
    assert helper.image_fields(image) == (helper.address(pixels), 3, 2, 1, GRAYSCALE, 0)
    assert bytes(image.data_view) == pixels


def test_the_image_shares_the_buffer_but_keeps_its_own_record():
    pixels = bytearray(8)
    g = helper.new(1, 0, 0, 0, pixels, 2, 1, 1, RGBA)
    image = helper.fields(g)[-1]
    image.data_view[0] = 42
    assert pixels[0] == 42
    image.unload()  # the borrowing image only forgets the pixels
    assert helper.image_fields(image)[0] == 0
    assert helper.fields(g)[5][0] == helper.address(pixels) and pixels[0] == 42


def test_copy_of_the_glyph_image_owns_new_pixels():
    pixels = bytearray(pattern(16))
    g = helper.new(1, 0, 0, 0, pixels, 2, 2, 1, RGBA)
    c = helper.fields(g)[-1].copy()
    assert helper.image_fields(c)[5] == 1 and helper.image_fields(c)[0] != helper.address(pixels)
    assert bytes(c.data_view) == pixels
    del c
    gc.collect()
    assert pixels == pattern(16)


def test_null_pixels_still_make_a_glyph():
    g = helper.new(32, 0, 0, 5, None, 0, 0, 0, 0)
    image = helper.fields(g)[-1]
    assert type(image) is Image and not image.valid


def test_glyphs_are_tracked_and_their_image_is_visited():
    g = helper.new(0, 0, 0, 0, None, 0, 0, 0, 0)
    assert gc.is_tracked(g) and gc.get_referents(g) == [helper.fields(g)[-1]]


def test_releasing_glyph_and_image_leaves_the_buffer_intact():
    # In a child: freeing memory that belongs to someone else would crash it.
    run_ok("""
        import gc
        import _glyph_info_testhelper as helper
        buf = bytearray(range(16))
        for _ in range(50):
            g = helper.new(1, 0, 0, 0, buf, 2, 2, 1, 7)
            im = helper.fields(g)[-1]
            im.copy(); im.unload(); im.unload()
            del g
            gc.collect()
            del im
        gc.collect()
        assert buf == bytearray(range(16)), buf
        buf.extend(b"x" * 4096)  # the buffer is still the test's to resize
        print("ok")
    """)
