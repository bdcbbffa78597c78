"""Requests that raylib itself would turn into a crash, an out-of-bounds read
or write, an int overflow or an absurd allocation. Each runs in a child
interpreter, so a crash fails only its own case; each must give the invalid
Image and leave the process healthy."""
import pytest

from imagetools import run_ok

PRELUDE = """
import gc, os, sys, tempfile
from tarvex.image.image import Image
from tarvex.color.color import Color
C = Color(1, 2, 3, 4)
d = tempfile.mkdtemp()
raw = os.path.join(d, "p.raw")
with open(raw, "wb") as f:
    f.write(bytes(range(64)))          # 4x4 RGBA exactly
def invalid(im):
    assert type(im) is Image and not im.valid, im
    assert (im.width, im.height) == (0, 0), (im.width, im.height)
    try:
        im.data_view
    except ValueError:
        pass
    else:
        raise AssertionError("view of an invalid image")
    assert im.export(os.path.join(d, "x.png")) is False
    im.copy(); im.unload()
"""

CASES = {
    # load_raw: the header and the size must fit inside the file.
    "raw negative header": "invalid(Image.load_raw(raw, 4, 4, 7, -8))",
    "raw header past the end": "invalid(Image.load_raw(raw, 4, 4, 7, 2**31 - 16))",
    "raw shorter than header plus pixels": "invalid(Image.load_raw(raw, 4, 4, 7, 1))",
    "raw size overflows int": "invalid(Image.load_raw(raw, 65536, 65536, 7, 0))",
    "raw size overflows to a small number": "invalid(Image.load_raw(raw, 2**30 + 1, 4, 7, 0))",
    "raw zero width": "invalid(Image.load_raw(raw, 0, 4, 7, 0))",
    "raw negative sizes": "invalid(Image.load_raw(raw, -4, -4, 7, 0))",
    "raw unknown format": "invalid(Image.load_raw(raw, 4, 4, 99, 0))",
    "raw format zero": "invalid(Image.load_raw(raw, 4, 4, 0, 0))",
    "raw directory": "invalid(Image.load_raw(d, 4, 4, 7, 0))",
    "load directory": "invalid(Image.load(d)); invalid(Image.load_anim(d + '/x.gif')[0])",
    # generators: int products and divisors
    "colour overflow": "invalid(Image.generate_with_color(65536, 32769, C))",
    "colour negative": "invalid(Image.generate_with_color(-3, 5, C))",
    "colour zero": "invalid(Image.generate_with_color(0, 5, C))",
    "linear overflow": "invalid(Image.generate_with_linear_gradient(2**16, 2**15, 0, C, C))",
    "radial negative": "invalid(Image.generate_with_radial_gradient(-1, -1, 0.5, C, C))",
    "square overflow": "invalid(Image.generate_with_square_gradient(2**20, 2**20, 0.5, C, C))",
    "checked zero check size": "invalid(Image.generate_with_checked(4, 4, 0, 1, C, C))",
    "checked zero check height": "invalid(Image.generate_with_checked(4, 4, 1, 0, C, C))",
    "white noise overflow": "invalid(Image.generate_with_white_noise(2**31 - 1, 2, 0.5))",
    "perlin zero": "invalid(Image.generate_with_perlin_noise(0, 0, 0, 0, 1.0))",
    "cellular zero tile": "invalid(Image.generate_with_cellular(8, 8, 0))",
    "cellular negative tile": "invalid(Image.generate_with_cellular(8, 8, -2**31))",
    "text negative": "invalid(Image.generate_with_text(-4, 4, 'abc'))",
    "text overflow": "invalid(Image.generate_with_text(2**16, 2**16, 'abc'))",
    # operations on an image without pixels
    "copy after unload": """
im = Image.generate_with_color(8, 8, C); im.unload(); invalid(im.copy())
""",
    "channel after unload": """
im = Image.generate_with_color(8, 8, C); im.unload(); invalid(im.from_channel(1))
""",
    "screen without a window": "invalid(Image.load_from_screen())",
    # views outliving their image
    "view outlives the image": """
v = Image.generate_with_color(64, 64, C).data_view
gc.collect()
w = v[100:200]
del v
gc.collect()
w[:] = 9
assert bytes(w) == bytes([9]) * 100 and w.obj.valid
""",
    "view made before unload": """
im = Image.generate_with_color(64, 64, C)
v = im.data_view
try:
    im.unload()
except BufferError:
    pass
else:
    raise AssertionError("unload freed pixels under a view")
del im
gc.collect()
v[0] = 5
assert v[0] == 5
""",
    "borrowed pixels are never freed": """
import _image_testhelper as h
buf = bytearray(64)
for _ in range(20):
    im = h.new(("borrow", buf), 4, 4, 1, 7, (1, 0))
    im.unload(); im.unload()
    im = h.new(("borrow", buf), 4, 4, 1, 7, (1, 0))
    del im
buf.extend(bytes(1 << 16))
""",
    # sizes that are fine stay fine
    "largest exact raw": "assert Image.load_raw(raw, 4, 4, 7, 0).valid and Image.load_raw(raw, 2, 2, 7, 48).valid",
}


@pytest.mark.parametrize("case", CASES)
def test_unsafe_request_is_refused_safely(case):
    p = run_ok(PRELUDE + CASES[case] + "\nprint('done')\n")
    assert p.stdout.strip().endswith("done")


def test_no_info_lines_on_import_or_load(tmp_path):
    p = run_ok(f"""
        from tarvex.image.image import Image
        from tarvex.color.color import Color
        im = Image.generate_with_color(2, 2, Color(1, 1, 1, 1))
        im.export({str(tmp_path / 'a.png')!r})
        for _ in range(3):
            Image.load({str(tmp_path / 'a.png')!r}).valid
    """)
    assert "INFO" not in p.stdout + p.stderr
