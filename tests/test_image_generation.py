"""Image generators and from_channel: conversion order, colour and text
arguments, results read back pixel by pixel."""
import pytest

from tarvex.color.color import Color
from tarvex.image.image import Image

from imagetools import GRAYSCALE, RGBA

RED, BLUE = Color(255, 0, 0, 255), Color(0, 0, 255, 128)


class Shade(Color):
    pass


def pixels(im):
    v = bytes(im.data_view)
    return [tuple(v[i:i + 4]) for i in range(0, len(v), 4)]


GENERATORS = {
    "generate_with_color": (4, 3, RED),
    "generate_with_linear_gradient": (4, 3, 90, RED, BLUE),
    "generate_with_radial_gradient": (4, 3, 0.5, RED, BLUE),
    "generate_with_square_gradient": (4, 3, 0.5, RED, BLUE),
    "generate_with_checked": (4, 3, 2, 2, RED, BLUE),
    "generate_with_white_noise": (4, 3, 0.5),
    "generate_with_perlin_noise": (4, 3, 0, 0, 1.0),
    "generate_with_cellular": (4, 3, 2),
    "generate_with_text": (4, 3, "hi"),
}


@pytest.mark.parametrize("name", GENERATORS)
def test_generators_make_owning_images(name):
    im = getattr(Image, name)(*GENERATORS[name])
    assert type(im) is Image and im.valid
    assert (im.width, im.height, im.mipmaps) == (4, 3, 1)
    assert im.format == (GRAYSCALE if name == "generate_with_text" else RGBA)
    # The summary (the first paragraph) says what the generator returns.
    assert "Image" in getattr(Image, name).__doc__.split("\n\n")[0]


@pytest.mark.parametrize("name", GENERATORS)
def test_argument_count_message(name):
    n = len(GENERATORS[name])
    with pytest.raises(TypeError) as e:
        getattr(Image, name)(*GENERATORS[name][:-1])
    assert str(e.value) == f"{name}() takes exactly {n} positional arguments ({n - 1} given)"
    assert e.traceback[-1].name == f"tarvex.image.image.Image.{name}"


def test_keywords():
    im = Image.generate_with_checked(col2=BLUE, col1=RED, check_y=1, check_x=1, height=1, width=2)
    assert pixels(im) == [(255, 0, 0, 255), (0, 0, 255, 128)]


def test_plain_colour_and_subclass_colour():
    assert pixels(Image.generate_with_color(2, 1, Shade(1, 2, 3, 4))) == [(1, 2, 3, 4)] * 2


def test_checked_pattern():
    im = Image.generate_with_checked(4, 2, 2, 1, RED, BLUE)
    r, b = (255, 0, 0, 255), (0, 0, 255, 128)
    assert pixels(im) == [r, r, b, b, b, b, r, r]


def test_gradients_run_from_start_to_end():
    lin = pixels(Image.generate_with_linear_gradient(8, 1, 90, RED, BLUE))
    assert lin[0][0] > lin[-1][0] and lin[0][2] < lin[-1][2]
    rad = Image.generate_with_radial_gradient(8, 8, 0.0, RED, BLUE)
    p = pixels(rad)
    assert p[4 * 8 + 4] == (255, 0, 0, 255) and p[0] == (0, 0, 255, 128)


@pytest.mark.parametrize("factor, colour", [(1, (255, 255, 255, 255)), (0, (0, 0, 0, 255)),
                                            (2.5, (255, 255, 255, 255)), (-1, (0, 0, 0, 255))])
def test_white_noise_factor(factor, colour):
    assert set(pixels(Image.generate_with_white_noise(5, 5, factor))) == {colour}


@pytest.mark.parametrize("name, args", [("generate_with_perlin_noise", (6, 4, 3, 7, 2.0)),
                                        ("generate_with_cellular", (6, 4, 2))])
def test_noise_is_grey_and_opaque(name, args):
    for r, g, b, a in pixels(getattr(Image, name)(*args)):
        assert r == g == b and a == 255


def test_text_bytes_fill_a_grayscale_image():
    assert bytes(Image.generate_with_text(3, 2, "abcd").data_view) == b"abcd\0\0"
    assert bytes(Image.generate_with_text(2, 1, "héllo").data_view) == "h".encode() + "é".encode()[:1]


@pytest.mark.parametrize("tile, valid", [(2.9, True), (1.9, True), (0.9, False)])
def test_float_int_parameters_are_truncated(tile, valid):
    # 0.9 becomes 0, which is no tile size at all.
    assert Image.generate_with_cellular(4, 4, tile).valid is valid


@pytest.mark.parametrize("args, exc, text", [
    (("4", 3, None), TypeError, "an integer is required"),
    ((4, 2**31, None), OverflowError, "value too large to convert to int"),
    ((4, 3, None), TypeError, "Argument 'color' must not be None"),
    ((4, 3, (1, 2, 3, 4)), TypeError,
     "Argument 'color' has incorrect type (expected tarvex.color.color.Color, got tuple)"),
])
def test_numbers_are_converted_before_colours(args, exc, text):
    with pytest.raises(exc) as e:
        Image.generate_with_color(*args)
    assert str(e.value) == text


@pytest.mark.parametrize("name, args, param", [
    ("generate_with_linear_gradient", (1, 1, 0, RED, "x"), "end"),
    ("generate_with_radial_gradient", (1, 1, 0.5, 3, RED), "inner"),
    ("generate_with_square_gradient", (1, 1, 0.5, RED, None), "outer"),
    ("generate_with_checked", (1, 1, 1, 1, None, 7), "col1"),
    ("generate_with_checked", (1, 1, 1, 1, RED, 7), "col2"),
])
def test_colour_errors_name_the_parameter(name, args, param):
    with pytest.raises(TypeError, match=f"^Argument '{param}' "):
        getattr(Image, name)(*args)


@pytest.mark.parametrize("name, args", [
    ("generate_with_radial_gradient", (1, 1, "d", None, None)),
    ("generate_with_white_noise", (1, 1, None)),
    ("generate_with_perlin_noise", (1, 1, 0, 0, [])),
])
def test_float_parameters_refuse_non_numbers(name, args):
    with pytest.raises(TypeError, match="must be real number"):
        getattr(Image, name)(*args)


@pytest.mark.parametrize("text, exc, message", [
    (None, AttributeError, "'NoneType' object has no attribute 'encode'"),
    (b"ab", TypeError, "Argument 'text' has incorrect type (expected str, got bytes)"),
    (type("T", (str,), {})("ab"), TypeError, "Argument 'text' has incorrect type (expected str, got T)"),
    ("\udc80", UnicodeEncodeError, None),
    ("a\0b", ValueError, "embedded null character in text"),
])
def test_text_refusals(text, exc, message):
    with pytest.raises(exc) as e:
        Image.generate_with_text(2, 2, text)
    if message:
        assert str(e.value) == message


def test_from_channel_splits_one_channel():
    src = Image.generate_with_checked(2, 1, 1, 1, Color(10, 20, 30, 40), Color(50, 60, 70, 80))
    before = bytes(src.data_view)
    for channel, expected in [(0, [10, 50]), (1, [20, 60]), (2, [30, 70]), (3, [40, 80]),
                              (9, [40, 80]), (-4, [10, 50])]:
        ch = src.from_channel(channel)
        assert type(ch) is Image and ch.format == GRAYSCALE
        assert list(ch.data_view) == expected
    assert bytes(src.data_view) == before
    assert not Image().from_channel(0).valid
    with pytest.raises(TypeError, match="an integer is required"):
        src.from_channel("1")
