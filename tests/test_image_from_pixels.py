"""Image.from_pixels, owning copies of pixels from any buffer, and the
PixelFormat names of raylib's formats."""
import array
import enum
import gc

import pytest

from tarvex.color.color import Color
from tarvex.image.image import Image
from tarvex.pixel_format.pixel_format import PixelFormat

# Debian builds numpy for the newest interpreters only: without it these
# tests skip.
np = pytest.importorskip("numpy", exc_type=ImportError)

RGBA = PixelFormat.UNCOMPRESSED_R8G8B8A8


def test_pixel_format_names_raylibs_codes():
    assert issubclass(PixelFormat, enum.IntEnum)
    assert PixelFormat.__module__ == "tarvex.pixel_format.pixel_format"
    assert [(f.name, f.value) for f in PixelFormat][:2] == [("UNCOMPRESSED_GRAYSCALE", 1),
                                                            ("UNCOMPRESSED_GRAY_ALPHA", 2)]
    assert (RGBA == 7 and PixelFormat.UNCOMPRESSED_R8G8B8 == 4
            and PixelFormat.COMPRESSED_ASTC_8x8_RGBA == 24 and len(PixelFormat) == 24)
    im = Image.generate_with_color(2, 2, Color(1, 2, 3, 4))
    assert type(im.format) is int and im.format == RGBA and PixelFormat(im.format) is RGBA


@pytest.mark.parametrize("fmt, per_pixel", [(PixelFormat.UNCOMPRESSED_GRAYSCALE, 1),
                                            (PixelFormat.UNCOMPRESSED_R5G6B5, 2),
                                            (PixelFormat.UNCOMPRESSED_R8G8B8, 3), (RGBA, 4),
                                            (PixelFormat.UNCOMPRESSED_R32G32B32A32, 16)])
def test_from_pixels_copies_the_bytes(fmt, per_pixel):
    data = bytearray(range(3 * 2 * per_pixel))
    im = Image.from_pixels(3, 2, fmt, data)
    assert type(im) is Image and im.valid
    assert (im.width, im.height, im.mipmaps, im.format) == (3, 2, 1, fmt)
    data[0] = 255                              # a copy: the buffer may change or go
    del data
    gc.collect()
    assert bytes(im.data_view) == bytes(range(3 * 2 * per_pixel))


@pytest.mark.parametrize("make", [
    bytes, bytearray, lambda b: memoryview(b),
    lambda b: np.frombuffer(b, np.uint8).reshape(2, 3, 4),
    lambda b: np.frombuffer(b, np.uint32),
    lambda b: np.frombuffer(b, np.float32).reshape(3, 2),
    lambda b: array.array("H", b),
    lambda b: memoryview(b).cast("B", (6, 4)),
])
def test_from_pixels_takes_any_buffer_of_the_right_size(make):
    raw = bytes(range(24))
    im = Image.from_pixels(3, 2, 7, make(raw))
    assert bytes(im.data_view) == raw


def test_non_contiguous_buffers_are_copied_in_c_order():
    a = np.arange(48, dtype=np.uint8).reshape(2, 6, 4)[:, ::2]      # every other pixel
    assert not a.flags.c_contiguous
    assert bytes(Image.from_pixels(3, 2, RGBA, a).data_view) == a.tobytes()
    f = np.asfortranarray(np.arange(24, dtype=np.uint8).reshape(6, 4))
    assert bytes(Image.from_pixels(3, 2, RGBA, f).data_view) == f.tobytes(order="C")


@pytest.mark.parametrize("args, exc, text", [
    ((2, 2, 7, bytes(15)), ValueError, r"^from_pixels\(\) expected 16 bytes, got 15$"),
    ((2, 2, 7, bytes(17)), ValueError, r"^from_pixels\(\) expected 16 bytes, got 17$"),
    ((2, 2, 1, np.zeros(4, np.uint16)), ValueError, r"expected 4 bytes, got 8$"),
    ((0, 2, 7, b""), ValueError, r"^width and height must be positive \(got 0 x 2\)$"),
    ((2, -1, 7, b""), ValueError, r"^width and height must be positive \(got 2 x -1\)$"),
    ((1, 1, 0, b""), ValueError, r"^format must be a pixel format from 1 to 24 \(got 0\)$"),
    ((1, 1, 25, b""), ValueError, r"^format must be a pixel format from 1 to 24 \(got 25\)$"),
    ((65536, 65536, 7, b""), ValueError, r"too large for raylib$"),
    ((2, 2, 7, 16), TypeError, r"a bytes-like object is required, not 'int'"),
    ((2, 2, 7, "x" * 16), TypeError, r"a bytes-like object is required, not 'str'"),
    (("2", 2, 7, None), TypeError, r"^an integer is required$"),      # numbers first
    ((2, 2, 2**31, b""), OverflowError, r"^value too large to convert to int$"),
])
def test_from_pixels_refusals(args, exc, text):
    with pytest.raises(exc, match=text) as e:
        Image.from_pixels(*args)
    assert e.traceback[-1].name == "tarvex.image.image.Image.from_pixels"


def test_compressed_formats_take_raylibs_block_size():
    # GetPixelDataSize: at least one 8-byte DXT1 block, 16 bytes for DXT3.
    im = Image.from_pixels(2, 2, PixelFormat.COMPRESSED_DXT1_RGB, bytes(8))
    assert im.valid and len(im.data_view) == 8
    assert len(Image.from_pixels(8, 8, PixelFormat.COMPRESSED_DXT3_RGBA, bytes(64)).data_view) == 64


def test_keywords_and_subclasses():
    class Sub(Image):
        pass
    im = Sub.from_pixels(width=1, height=1, format=PixelFormat.UNCOMPRESSED_GRAYSCALE, data=b"\x07")
    assert type(im) is Image and bytes(im.data_view) == b"\x07"


def test_round_trip_through_numpy_and_export(tmp_path):
    source = Image.generate_with_checked(8, 4, 2, 2, Color(200, 10, 10, 255), Color(0, 0, 90, 255))
    pixels = np.array(source.data_view, copy=True).reshape(source.height, source.width, 4)
    pixels[:, :, 1] = 128                      # computed in numpy
    made = Image.from_pixels(source.width, source.height, source.format, pixels)
    assert made.format == RGBA and bytes(made.data_view) == pixels.tobytes()
    path = str(tmp_path / "made.png")
    assert made.export(path)
    back = Image.load(path)
    assert (back.width, back.height, back.format) == (8, 4, RGBA)
    assert np.array_equal(np.frombuffer(back.data_view, np.uint8).reshape(4, 8, 4), pixels)


def test_pixel_format_goes_wherever_a_format_code_does(tmp_path):
    path = tmp_path / "p.raw"
    path.write_bytes(bytes(range(12)))
    im = Image.load_raw(str(path), 2, 2, PixelFormat.UNCOMPRESSED_R8G8B8, 0)
    assert im.valid and im.format == PixelFormat.UNCOMPRESSED_R8G8B8
    assert bytes(im.data_view) == bytes(range(12))
