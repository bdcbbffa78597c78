"""Image's C method table, called the way a sibling module calls it, and the
dispatch of its overridable entries to Python subclasses."""
import copy

import pytest

import _image_testhelper as helper
from tarvex.color.color import Color
from tarvex.image.image import Image

from imagetools import GRAYSCALE, RGBA, pattern


def test_every_instance_carries_the_table():
    for im in (Image(), Image.generate_with_color(1, 1, Color(1, 2, 3, 4)), helper.new(None, 0, 0, 0, 0, None)):
        assert helper.fields(im)[0] is True


@pytest.mark.parametrize("record, owner", [(None, 1), ((0, 0), 1), ((1, 0), 0), ((1, 1), 1)])
def test_new_takes_the_value_as_it_is(record, owner):
    im = helper.new(None, 7, -3, 5, 99, record)
    assert type(im) is Image
    assert helper.fields(im)[1:7] == (0, 7, -3, 5, 99, owner)
    assert not im.valid


def test_new_borrowing_shares_the_buffer():
    pixels = bytearray(pattern(8))
    im = helper.new(("borrow", pixels), 2, 1, 1, RGBA, (1, 0))
    assert im.valid and helper.fields(im)[1] == helper.address(pixels)
    v = im.data_view
    v[0] = 200
    assert pixels[0] == 200
    del v
    im.unload()  # forgets the pixels, does not free them
    assert helper.fields(im)[1] == 0 and pixels[1:] == pattern(8)[1:]


def test_loader_entries(pil_png, tmp_path):
    path, data = pil_png(2, 3)
    assert bytes(helper.call("c_load", path).data_view) == data
    im, frames = helper.call("c_load_anim", path)
    assert frames == 1 and bytes(im.data_view) == data
    raw = tmp_path / "r.raw"
    raw.write_bytes(b"xx" + data)
    assert bytes(helper.call("c_load_raw", str(raw), 2, 3, RGBA, 2).data_view) == data
    assert not helper.call("c_load_from_screen").valid
    assert helper.call("c_load_anim", str(tmp_path / "no.gif"))[1] == 0


@pytest.mark.parametrize("entry, args", [("c_load", ()), ("c_load_anim", ()),
                                         ("c_load_raw", (1, 1, 1, 0))])
def test_loader_entries_refuse_bad_names(entry, args):
    with pytest.raises(AttributeError, match="has no attribute 'encode'") as e:
        helper.call(entry, None, *args)
    assert e.traceback[-1].name == f"tarvex.image.image.Image.{entry}"
    with pytest.raises(TypeError, match="expected str, got int"):
        helper.call(entry, 5, *args)


def test_export_entry_reports_failure_apart_from_false(tmp_path):
    im = Image.generate_with_color(2, 2, Color(9, 8, 7, 6))
    assert helper.call("export", im, str(tmp_path / "a.png"), 1) == 1
    assert helper.call("export", im, str(tmp_path / "a.unknown"), 1) == 0
    with pytest.raises(AttributeError):  # 0 with the exception set
        helper.call("export", im, None, 1)


def test_copy_entries_and_channel_entry():
    im = Image.generate_with_color(2, 2, Color(10, 20, 30, 40))
    for c in (helper.call("c_copy", im), helper.call("copy", im, 0), helper.call("copy", im, 1)):
        assert bytes(c.data_view) == bytes(im.data_view)
    g = helper.call("from_channel", im, 1, 1)
    assert g.format == GRAYSCALE and bytes(g.data_view) == bytes([20] * 4)
    helper.call("unload", im, 1)
    assert not im.valid


class Overrides(Image):
    """Records the C-level calls that reach its methods."""

    def __init__(self, result=None):
        self.calls = []
        self.result = result

    def export(self, file_name):
        self.calls.append(("export", file_name))
        return self.result

    def unload(self):
        self.calls.append(("unload",))
        return "ignored"

    def copy(self):
        self.calls.append(("copy",))
        return self.result

    def from_channel(self, selected_channel):
        self.calls.append(("from_channel", selected_channel))
        return self.result


@pytest.mark.parametrize("result, truth", [([1], 1), ([], 0), ("yes", 1), (None, 0)])
def test_export_dispatches_and_takes_the_truth_value(result, truth):
    im = Overrides(result)
    assert helper.call("export", im, "f.png", 0) == truth
    assert im.calls == [("export", "f.png")]
    # With dispatch skipped the built-in code runs (an empty image: False).
    assert helper.call("export", im, "f.png", 1) == 0 and len(im.calls) == 1


def test_unload_dispatches():
    im = Overrides()
    assert helper.call("unload", im, 0) is None and im.calls == [("unload",)]
    helper.call("unload", im, 1)
    assert im.calls == [("unload",)]


@pytest.mark.parametrize("entry, args", [("copy", ()), ("from_channel", (3,))])
def test_image_results_are_checked(entry, args):
    made = Image.generate_with_color(1, 1, Color(1, 1, 1, 1))
    sub = Overrides()
    for result in (made, sub, None):
        im = Overrides(result)
        assert helper.call(entry, im, *args, 0) is result
        assert im.calls == [(entry, *args)]
    im = Overrides(5)
    with pytest.raises(TypeError, match=r"^Cannot convert int to tarvex\.image\.image\.Image$") as e:
        helper.call(entry, im, *args, 0)
    assert e.traceback[-1].name == f"tarvex.image.image.Image.{entry}"
    assert type(helper.call(entry, im, *args, 1)) is Image


def test_python_methods_never_dispatch_but_copy_protocol_does():
    made = Image.generate_with_color(1, 1, Color(1, 1, 1, 1))
    im = Overrides(made)
    # Calling the built-in methods directly (the subclass shadows them).
    assert type(Image.copy(im)) is Image and Image.copy(im) is not made
    assert Image.export(im, "x.unknown") is False
    assert copy.copy(im) is made and copy.deepcopy(im) is made
    assert im.calls == [("copy",), ("copy",)]


def test_an_override_that_raises_fails_the_entry():
    class Broken(Image):
        def copy(self):
            raise KeyError("k")

        def export(self, file_name):
            raise KeyError("e")

    with pytest.raises(KeyError):
        helper.call("copy", Broken(), 0)
    with pytest.raises(KeyError):
        helper.call("export", Broken(), "x", 0)
    with pytest.raises(KeyError):
        copy.copy(Broken())


def test_a_subclass_without_overrides_runs_the_built_in_code():
    class Plain(Image):
        pass
    p = Plain()
    helper.adopt(p, Image.generate_with_color(2, 1, Color(5, 6, 7, 8)))
    assert bytes(helper.call("copy", p, 0).data_view) == bytes([5, 6, 7, 8] * 2)
    assert helper.call("from_channel", p, 2, 0).data_view[1] == 7
