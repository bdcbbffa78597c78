"""data_view and export: the writable pixel view, its lifetime, and files
written by raylib read back by Pillow."""
import ctypes
import gc
import warnings

import pytest

try:
    import numpy as np
except ImportError:  # Debian builds numpy for its current interpreters only (not 3.13)
    np = None

import _image_testhelper as helper
from tarvex.color.color import Color
from tarvex.image.image import Image

from imagetools import GRAYSCALE, RGBA, pil_image

needs_numpy = pytest.mark.skipif(np is None, reason="numpy is not installed for this interpreter")

EMPTY = "Image data is empty or Image has been unloaded."


@pytest.fixture
def rgba():
    return Image.generate_with_color(2, 2, Color(1, 2, 3, 4))


def test_view_of_a_2x2_rgba_image(rgba):
    v = rgba.data_view
    assert len(v) == 16 and list(v) == [1, 2, 3, 4] * 4
    v[3] = 255
    assert helper.read(rgba, 4) == bytes([1, 2, 3, 255])
    assert v[-1] == 4 and v[-13] == 255


def test_buffer_properties_through_memoryview(rgba):
    m = memoryview(rgba.data_view)
    assert (m.ndim, m.format, m.itemsize, m.shape, m.strides) == (1, "B", 1, (16,), (1,))
    assert not m.readonly and m.c_contiguous and m.suboffsets == ()
    m[0] = 99
    assert rgba.data_view[0] == 99


@needs_numpy
def test_numpy_sees_and_writes_the_same_bytes(rgba):
    a = np.asarray(rgba.data_view)
    assert a.dtype == np.uint8 and a.shape == (16,) and a.flags.writeable
    a[4:8] = [9, 8, 7, 6]
    assert helper.read(rgba, 8)[4:] == bytes([9, 8, 7, 6])
    grid = np.frombuffer(rgba.data_view, dtype=np.uint8).reshape(2, 2, 4)
    assert grid[0, 1].tolist() == [9, 8, 7, 6]


def test_two_reads_are_two_views_of_the_same_bytes(rgba):
    a, b = rgba.data_view, rgba.data_view
    assert a is not b
    a[5] = 77
    assert b[5] == 77


def test_slices_are_views(rgba):
    v = rgba.data_view
    s = v[4:8]
    assert len(s) == 4 and list(s) == [1, 2, 3, 4]
    s[0] = 50
    assert v[4] == 50
    alpha = v[3::4]
    assert list(alpha) == [4] * 4 and alpha.strides == (4,)
    alpha[:] = 200
    assert list(v[3::4]) == [200] * 4
    assert bytes(alpha) == bytes([200] * 4)
    # A consumer that asks for plain contiguous bytes is refused.
    get_buffer = ctypes.pythonapi.PyObject_GetBuffer
    get_buffer.argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_int]
    view_struct = (ctypes.c_char * 256)()
    with pytest.raises(BufferError):
        get_buffer(alpha, ctypes.addressof(view_struct), 0)
    assert memoryview(alpha).tolist() == [200] * 4
    v[0:4] = b"wxyz"
    assert bytes(v[:4]) == b"wxyz"
    v[1:] = v[:-1]  # overlapping copy
    assert bytes(v[:5]) == b"wwxyz"
    with pytest.raises(ValueError):
        v[0:2] = b"abc"
    assert list(v[::-1])[-1] == ord("w")


@pytest.mark.parametrize("index", [16, -17, 2**70])
def test_out_of_range_index(rgba, index):
    with pytest.raises(IndexError) as e:
        rgba.data_view[index]
    assert str(e.value) == "Out of bounds on buffer access (axis 0)"


def test_sequence_slot_takes_indexes_the_interpreter_already_adjusted(rgba):
    # PySequence_GetItem adds the length to a negative index once.
    get_item = ctypes.pythonapi.PySequence_GetItem
    get_item.argtypes = [ctypes.py_object, ctypes.c_ssize_t]
    get_item.restype = ctypes.py_object
    v = rgba.data_view
    v[0] = 9
    assert get_item(v, -16) == 9 and get_item(v, -1) == 4
    with pytest.raises(IndexError, match=r"^Out of bounds on buffer access \(axis 0\)$"):
        get_item(v, -17)


@pytest.mark.parametrize("outer, inner, length, stride", [
    (slice(None, None, 4), slice(None, None, 2**62), 1, 4),
    (slice(None, None, 4), slice(None, None, -2**62), 1, 4),
    (slice(None), slice(-100, -200, -1), 0, 1),
    (slice(3, None, 4), slice(1, 2), 1, 4),
])
def test_short_slices_keep_a_sane_stride(rgba, outer, inner, length, stride):
    s = rgba.data_view[outer][inner]
    assert len(s) == length and s.strides == (stride,)
    m = memoryview(s)
    assert m.nbytes == length and bytes(m) == bytes(s)


@pytest.mark.parametrize("value, exc, text", [
    (256, OverflowError, "value too large to convert to unsigned char"),
    (2**80, OverflowError, "value too large to convert to unsigned char"),
    (-1, OverflowError, "can't convert negative value to unsigned char"),
    ("1", TypeError, "an integer is required"),
    (None, TypeError, "an integer is required"),
])
def test_bad_item_values_leave_the_byte(rgba, value, exc, text):
    v = rgba.data_view
    with pytest.raises(exc) as e:
        v[0] = value
    assert str(e.value) == text and v[0] == 1


def test_item_deletion_is_refused(rgba):
    with pytest.raises(NotImplementedError, match="^Subscript deletion not supported by tarvex.image.image.PixelView$"):
        del rgba.data_view[0]


@pytest.mark.parametrize("make", [Image, lambda: (lambda i: (i.unload(), i)[1])(
    Image.generate_with_color(1, 1, Color(0, 0, 0, 0)))])
def test_view_of_nothing(make):
    with pytest.raises(ValueError) as e:
        make().data_view
    assert str(e.value) == EMPTY
    assert e.traceback[-1].name == "tarvex.image.image.Image.data_view.__get__"


@pytest.mark.parametrize("width, height, fmt, text", [
    (2, 2, 99, "Invalid shape in axis 0: 0."),
    (2, 2, 0, EMPTY),  # format 0 is not a valid image at all
    # Beyond the int range raylib's size comes back as the most negative int.
    (65536, 65536, RGBA, "Invalid shape in axis 0: -2147483648."),
    (2**31 - 1, 1, 2, "Invalid shape in axis 0: -2147483648."),
    (2**31 - 1, 2**31 - 1, 24, "Invalid shape in axis 0: -2147483648."),
])
def test_view_of_an_unusable_size(width, height, fmt, text):
    pixels = bytearray(16)
    im = helper.new(("borrow", pixels), width, height, 1, fmt, (1, 0))
    with pytest.raises(ValueError) as e:
        im.data_view
    assert str(e.value) == text


def test_view_of_a_negative_size_names_it():
    class Liar(Image):
        valid = True
    liar = Liar()
    helper.adopt(liar, helper.new(("borrow", bytearray(16)), -3, 5, 1, RGBA, (1, 0)))
    with pytest.raises(ValueError, match=r"^Invalid shape in axis 0: -60\.$"):
        liar.data_view


def test_view_of_a_null_image_that_claims_to_be_valid():
    class Liar(Image):
        valid = True
    liar = Liar()
    with pytest.raises(ValueError, match=r"^Invalid shape in axis 0: 0\.$"):
        liar.data_view
    helper.adopt(liar, helper.new(None, 2, 2, 1, RGBA, None))
    with pytest.raises(ValueError, match="^Image data is empty"):
        liar.data_view


def test_view_keeps_the_image_and_its_pixels():
    v = Image.generate_with_color(3, 1, Color(7, 7, 7, 7)).data_view
    gc.collect()
    assert list(v) == [7] * 12
    assert v.obj.valid


def test_unload_is_refused_while_a_view_exists(rgba):
    v = rgba.data_view
    m = memoryview(v[2:6])
    del v
    with pytest.raises(BufferError, match="^cannot unload an Image while 1 view of its pixels exists$"):
        rgba.unload()
    with pytest.raises(BufferError):
        helper.call("unload", rgba, 1)
    assert rgba.valid and m[0] == 3
    m.release()
    gc.collect()
    rgba.unload()
    assert not rgba.valid and helper.fields(rgba)[7] == 0


@pytest.mark.parametrize("mode, fmt", [("RGBA", RGBA), ("L", GRAYSCALE), ("RGB", 4)])
def test_export_is_read_back_pixel_for_pixel(tmp_path, pil_png, mode, fmt):
    path, data = pil_png(5, 4, mode)
    im = Image.load(path)
    assert im.format == fmt
    out = str(tmp_path / "out.png")
    assert im.export(out) is True
    back = pil_image().open(out)
    assert back.size == (5, 4) and back.mode == mode and back.tobytes() == data


def test_export_after_writing_through_the_view(tmp_path, rgba):
    rgba.data_view[3] = 255
    rgba.export(str(tmp_path / "w.png"))
    PILImage = pil_image()
    assert PILImage.open(tmp_path / "w.png").getpixel((0, 0)) == (1, 2, 3, 255)


def test_export_raw_and_load_it_again(tmp_path):
    im = Image.generate_with_text(4, 2, "pixels!")
    out = str(tmp_path / "t.raw")
    assert im.export(out)
    again = Image.load_raw(out, 4, 2, GRAYSCALE, 0)
    assert bytes(again.data_view) == b"pixels!\0"


@pytest.mark.parametrize("name", ["x.unknownext", "no/such/dir/x.png"])
def test_failed_exports_are_false(tmp_path, rgba, name):
    assert rgba.export(str(tmp_path / name)) is False
    assert Image().export(str(tmp_path / "e.png")) is False


@pytest.mark.parametrize("name, exc", [(b"x.png", TypeError), (None, AttributeError),
                                       ("\ud800.png", UnicodeEncodeError), (1, TypeError)])
def test_export_name_refusals(rgba, name, exc):
    with pytest.raises(exc) as e:
        rgba.export(name)
    assert e.traceback[-1].name == "tarvex.image.image.Image.export"


class Number:
    def __init__(self, value):
        self.value = value

    def __int__(self):
        return self.value


class Small(int):
    pass


@pytest.mark.parametrize("value, exc, text", [
    (1e10, OverflowError, "value too large to convert to unsigned char"),
    (-1e10, OverflowError, "can't convert negative value to unsigned char"),
    pytest.param(np and np.int64(-2**40), OverflowError,
                 "can't convert negative value to unsigned char", marks=needs_numpy),
    (Number(2**70), OverflowError, "value too large to convert to unsigned char"),
    (Number(-2**40), OverflowError, "can't convert negative value to unsigned char"),
    (float("inf"), OverflowError, "cannot convert float infinity to integer"),
    (Number("7"), TypeError, "__int__ returned non-int (type str)"),
])
def test_item_values_converted_through_int(rgba, value, exc, text):
    # The sign of a value past the C int range picks the message; an error
    # of __int__ itself passes through.
    v = rgba.data_view
    with pytest.raises(exc) as e:
        v[0] = value
    assert str(e.value) == text and v[0] == 1
    v[1:3] = Number(9)
    v[3] = 7.9
    assert list(v[:4]) == [1, 9, 9, 7]


def test_int_subclass_from_int_is_deprecated(rgba):
    v = rgba.data_view
    with pytest.warns(DeprecationWarning, match=r"^__int__ returned non-int \(type Small\)"):
        v[0] = Number(Small(200))
    assert v[0] == 200
    with warnings.catch_warnings():
        warnings.simplefilter("error", DeprecationWarning)
        with pytest.raises(DeprecationWarning):
            v[0] = Number(Small(5))
    assert v[0] == 200
