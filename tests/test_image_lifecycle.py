"""Image: construction, loaders on real files, copy, unload, properties, repr,
pickling and deallocation."""
import copy
import gc
import pickle
import sys

import pytest

import _image_testhelper as helper
import tarvex.image.image as image_module
from tarvex.image.image import Image

from imagetools import GRAYSCALE, RGBA, pattern, write_gif

PICKLE = "self._raw cannot be converted to a Python object for pickling"


def test_module_and_type():
    assert [n for n in dir(image_module) if not n.startswith("__")] == ["Image"]
    assert Image.__module__ == "tarvex.image.image" and Image.__name__ == "Image"
    assert type(Image.__dict__["__pyx_vtable__"]).__name__ == "PyCapsule"
    # The sibling view of the layout: header, table pointer, Image, is_owner.
    assert Image.__basicsize__ == helper.instance_size() == object.__basicsize__ + 8 + 24 + 8
    assert "tarvex.vector4.vector4" in sys.modules and "tarvex.color.color" in sys.modules
    assert Image.load_anim.__doc__.splitlines()[0].endswith("return (image, frame count).")
    assert Image.load.__doc__.splitlines()[0].endswith("return it as a new owning Image.")


@pytest.mark.parametrize("args, kwargs", [((), {}), ((1, 2), {"key": 3})])
def test_calling_the_type_gives_an_empty_image(args, kwargs):
    im = Image(*args, **kwargs)
    assert (im.valid, im.width, im.height, im.mipmaps, im.format) == (False, 0, 0, 0, 0)
    assert repr(im) == str(im) == "<Image Invalid/Unloaded>"
    assert helper.fields(im) == (True, 0, 0, 0, 0, 0, 0, 0)
    im.unload()
    im.unload()


def test_load_png_keeps_pixels(pil_png):
    path, data = pil_png(5, 3)
    im = Image.load(path)
    assert type(im) is Image and im.valid
    assert (im.width, im.height, im.mipmaps, im.format) == (5, 3, 1, RGBA)
    assert repr(im) == "<Image 5x3 format=7>"
    assert bytes(im.data_view) == data
    assert helper.fields(im)[6] == 1


@pytest.mark.parametrize("name, exc, text", [
    (b"x.png", TypeError, "Argument 'file_name' has incorrect type (expected str, got bytes)"),
    (type("S", (str,), {})("x.png"), TypeError,
     "Argument 'file_name' has incorrect type (expected str, got S)"),
    (None, AttributeError, "'NoneType' object has no attribute 'encode'"),
    ("bad\ud800.png", UnicodeEncodeError, None),
    ("a.png\0.txt", ValueError, "embedded null character in file_name"),
])
@pytest.mark.parametrize("loader", ["load", "load_anim"])
def test_file_name_refusals(loader, name, exc, text):
    with pytest.raises(exc) as e:
        getattr(Image, loader)(name)
    if text:
        assert str(e.value) == text
    assert e.traceback[-1].name == f"tarvex.image.image.Image.{loader}"


def test_missing_file_gives_invalid_image(tmp_path):
    im = Image.load(str(tmp_path / "none.png"))
    assert not im.valid and repr(im) == "<Image Invalid/Unloaded>"
    assert Image.load_anim(str(tmp_path / "none.gif"))[1] == 0


def test_argument_binding_messages():
    with pytest.raises(TypeError, match=r"^load_raw\(\) takes exactly 5 positional arguments \(2 given\)$"):
        Image.load_raw("a", 1)
    with pytest.raises(TypeError, match=r"^load\(\) got an unexpected keyword argument 'name'$"):
        Image.load(name="x")
    with pytest.raises(TypeError, match=r"^load\(\) got multiple values for keyword argument 'file_name'$"):
        Image.load("x", file_name="x")


@pytest.mark.parametrize("call, text", [
    (lambda im: im.copy(1), "copy() takes exactly 0 positional arguments (1 given)"),
    (lambda im: im.__copy__(1), "__copy__() takes exactly 0 positional arguments (1 given)"),
    (lambda im: im.unload(x=1), "unload() got an unexpected keyword argument 'x'"),
    (lambda im: im.__deepcopy__({}, 1), "__deepcopy__() takes exactly 1 positional argument (2 given)"),
    (lambda im: im.load_from_screen(1), "load_from_screen() takes exactly 0 positional arguments (1 given)"),
])
def test_methods_without_parameters_refuse_arguments(call, text):
    with pytest.raises(TypeError) as e:
        call(Image())
    assert str(e.value) == text
    assert e.traceback[-1].name == "tarvex.image.image.Image." + text.split("(")[0]


def test_load_raw_skips_the_header(tmp_path):
    pixels = pattern(4 * 3 * 4)
    path = tmp_path / "p.raw"
    path.write_bytes(b"HEADER!" + pixels + b"trailing")
    im = Image.load_raw(str(path), 4, 3, RGBA, 7)
    assert (im.valid, im.width, im.height, im.format) == (True, 4, 3, RGBA)
    assert bytes(im.data_view) == pixels
    im = Image.load_raw(file_name=str(path), width=2, height=2, format=GRAYSCALE, header=0)
    assert bytes(im.data_view) == b"HEAD"


@pytest.mark.parametrize("args, exc, text", [
    ((None, "w", 1, 1, 0), TypeError, "an integer is required"),
    ((b"x", 1, 2**31, 1, 0), OverflowError, "value too large to convert to int"),
    ((b"x", 1, 1, 1, -2**31 - 1), OverflowError, "value too large to convert to int"),
    ((b"x", 1, 1, 1, 0), TypeError, "Argument 'file_name' has incorrect type (expected str, got bytes)"),
    ((None, 1, 1, 1, 0), AttributeError, "'NoneType' object has no attribute 'encode'"),
])
def test_load_raw_converts_numbers_before_testing_the_name(args, exc, text):
    with pytest.raises(exc) as e:
        Image.load_raw(*args)
    assert str(e.value) == text


def test_load_raw_truncates_floats(tmp_path):
    path = tmp_path / "p.raw"
    path.write_bytes(bytes(range(16)))
    im = Image.load_raw(str(path), 2.9, 2.2, 7.5, 0.0)
    assert (im.width, im.height, im.format) == (2, 2, RGBA)


def test_load_anim_reads_every_frame(tmp_path):
    path = str(tmp_path / "a.gif")
    frames = write_gif(path, 3, 2, [(255, 0, 0), (0, 255, 0), (0, 0, 255)])
    im, count = Image.load_anim(path)
    assert type(im) is Image and type(count) is int and count == 3
    assert (im.width, im.height, im.format) == (3, 2, RGBA)
    # The view is the first frame; the others follow it in the buffer.
    assert bytes(im.data_view) == frames[0] * 6
    assert helper.read(im, 3 * 24) == b"".join(f * 6 for f in frames)


def test_load_anim_of_a_still_image_is_one_frame(pil_png):
    path, data = pil_png(2, 2)
    im, count = Image.load_anim(path)
    assert count == 1 and bytes(im.data_view) == data


class SubImage(Image):
    pass


def test_static_constructors_make_exact_images_through_subclasses(pil_png):
    path, _ = pil_png(2, 2)
    for im in (SubImage.load(path), SubImage().load(path), SubImage.load_anim(path)[0],
               SubImage.load_from_screen(), SubImage().copy()):
        assert type(im) is Image


def test_copy_has_its_own_pixels(pil_png):
    path, data = pil_png(3, 3)
    im = Image.load(path)
    for c in (im.copy(), copy.copy(im), copy.deepcopy(im), im.__deepcopy__({})):
        assert type(c) is Image and c.valid and bytes(c.data_view) == data
        assert helper.fields(c)[1] != helper.fields(im)[1] and helper.fields(c)[6] == 1
    with pytest.raises(TypeError, match=r"takes exactly 1 positional argument \(0 given\)"):
        im.__deepcopy__()


def test_copy_of_a_borrowing_image_owns_its_pixels():
    pixels = bytearray(pattern(2 * 2 * 4))
    borrowed = helper.new(("borrow", pixels), 2, 2, 1, RGBA, (1, 0))
    c = borrowed.copy()
    assert helper.fields(c)[6] == 1 and helper.fields(c)[1] != helper.address(pixels)
    del c, borrowed
    gc.collect()
    assert pixels == pattern(16)


def test_unload_keeps_the_sizes(pil_png):
    path, _ = pil_png(4, 2)
    im = Image.load(path)
    assert im.unload() is None
    assert (im.valid, im.width, im.height, im.mipmaps, im.format) == (False, 4, 2, 1, RGBA)
    assert repr(im) == "<Image Invalid/Unloaded>" and helper.fields(im)[1] == 0
    im.unload()
    assert not im.copy().valid


@pytest.mark.parametrize("attr", ["valid", "width", "height", "mipmaps", "format", "data_view"])
def test_properties_are_read_only(attr):
    with pytest.raises(AttributeError, match="not writable"):
        setattr(Image(), attr, 1)


@pytest.mark.parametrize("action", [pickle.dumps, lambda im: im.__reduce__(),
                                    lambda im: im.__setstate__(None)])
def test_pickling_is_refused(action):
    with pytest.raises(TypeError) as e:
        action(Image())
    assert str(e.value) == PICKLE


class Shown(Image):
    def __init__(self, valid, width, height, fmt):
        self._v = (valid, width, height, fmt)

    valid = property(lambda self: self._v[0])
    width = property(lambda self: self._v[1])
    height = property(lambda self: self._v[2])
    format = property(lambda self: self._v[3])


class Fmt:
    def __format__(self, format_spec):
        assert format_spec == ""
        return "F"

    def __repr__(self):
        raise AssertionError("repr must not be used")


@pytest.mark.parametrize("valid, w, h, f, text", [
    (0, 1, 1, 1, "<Image Invalid/Unloaded>"),
    ([1], "wide", 2.5, Fmt(), "<Image widex2.5 format=F>"),
    (True, True, 3, -1, "<Image Truex3 format=-1>"),
])
def test_repr_reads_the_attributes(valid, w, h, f, text):
    assert repr(Shown(valid, w, h, f)) == str(Shown(valid, w, h, f)) == text


def test_dealloc_reports_a_failing_valid(monkeypatch):
    class Bad(Image):
        @property
        def valid(self):
            raise RuntimeError("no answer")

    seen = []
    monkeypatch.setattr(sys, "unraisablehook", seen.append)
    im = Bad()
    # An owning subclass instance (only a sibling can make one); by the
    # deallocation rule its pixels are then left alone.
    helper.adopt(im, helper.new(("malloc", bytes(16)), 2, 2, 1, RGBA, None))
    assert helper.fields(im)[6] == 1
    del im
    gc.collect()
    assert len(seen) == 1
    assert seen[0].object == "tarvex.image.image.Image.__dealloc__"
    assert isinstance(seen[0].exc_value, RuntimeError)
    # The report's traceback holds this frame, whose locals hold the report:
    # a cycle the collector leaves alone.
    seen.clear()


def test_dealloc_lookup_leaves_no_instance_dict():
    # A `valid` found on the class is also looked up in the instance's
    # dictionary, which the subclass's deallocator has already cleared.
    class Liar(Image):
        valid = True

    def owned():
        helper.adopt(Liar(), helper.new(("malloc", bytes(16)), 2, 2, 1, RGBA, None))

    for _ in range(10):
        owned()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(500):
        owned()
    gc.collect()
    assert sys.getallocatedblocks() - before < 100


def test_an_owning_subclass_instance_releases_its_pixels():
    class Mine(Image):
        pass
    im = Mine()
    helper.adopt(im, helper.new(("malloc", bytes(16)), 2, 2, 1, RGBA, None))
    assert im.valid and repr(im) == "<Image 2x2 format=7>"
    del im  # a missing release would show as a leak, a double one as a crash
    gc.collect()


def test_an_image_kept_by_its_valid_getter_survives_without_pixels():
    kept, calls = [], []

    class Keeper(Image):
        @property
        def valid(self):
            calls.append(1)
            if len(calls) == 1:
                kept.append(self)
            return True

    im = Keeper()
    helper.adopt(im, helper.new(("malloc", bytes(16)), 2, 2, 1, RGBA, None))
    del im
    gc.collect()
    assert len(kept) == 1 and type(kept[0]) is Keeper
    assert helper.fields(kept[0])[1] == 0 and kept[0].width == 2
    kept.clear()  # the second deallocation finds nothing left to release
    gc.collect()
    assert len(calls) == 2
