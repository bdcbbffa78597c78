"""Images in compressed pixel formats (and formats raylib does not know):
raylib cannot read their pixels as colours and hands back a buffer it never
filled when asked to, so they never reach the functions that would. Their
bytes stay readable, copyable and exportable as raw data."""
import copy
import os
import shutil
import subprocess
import sys
import textwrap

import pytest

import _image_testhelper as helper
from tarvex.image.image import Image

from imagetools import GRAYSCALE, child_env, pattern, pil_image, run_ok

# format: bits per pixel
COMPRESSED = {14: 4, 15: 4, 16: 8, 17: 8, 18: 4, 19: 4, 20: 8, 21: 4, 22: 4, 23: 8, 24: 2}


@pytest.fixture(params=sorted(COMPRESSED))
def compressed(request, tmp_path):
    fmt = request.param
    data = pattern(8 * 8 * COMPRESSED[fmt] // 8, seed=fmt)
    path = tmp_path / "c.raw"
    path.write_bytes(data)
    im = Image.load_raw(str(path), 8, 8, fmt, 0)
    assert im.valid and (im.width, im.height, im.format) == (8, 8, fmt)
    return im, data


def test_bytes_are_viewed_and_copied_as_they_are(compressed):
    im, data = compressed
    assert bytes(im.data_view) == data
    for c in (im.copy(), copy.copy(im), helper.call("c_copy", im)):
        assert c.valid and c.format == im.format and bytes(c.data_view) == data


@pytest.mark.parametrize("ext", ["png", "bmp", "jpg", "qoi"])
def test_export_to_an_image_file_is_false(tmp_path, compressed, ext):
    im, _ = compressed
    out = tmp_path / f"x.{ext}"
    assert im.export(str(out)) is False
    assert helper.call("export", im, str(out), 1) == 0
    assert not out.exists()


def test_export_to_raw_writes_the_bytes(tmp_path, compressed):
    im, data = compressed
    out = tmp_path / "x.RAW"  # raylib's extension test ignores case
    assert im.export(str(out)) is True and out.read_bytes() == data
    again = Image.load_raw(str(out), 8, 8, im.format, 0)
    assert bytes(again.data_view) == data


def test_from_channel_gives_the_invalid_image(compressed):
    im, data = compressed
    for ch in (im.from_channel(0), im.from_channel(3), helper.call("from_channel", im, 1, 1)):
        assert type(ch) is Image and not ch.valid and (ch.width, ch.height) == (0, 0)
    assert bytes(im.data_view) == data


@pytest.mark.parametrize("fmt", [99, -1])
def test_unknown_formats_made_by_a_sibling(tmp_path, fmt):
    pixels = bytearray(pattern(64))
    im = helper.new(("borrow", pixels), 4, 4, 1, fmt, (1, 0))
    for name in ("x.png", "x.raw"):
        assert im.export(str(tmp_path / name)) is False
    assert not im.from_channel(0).valid and not im.copy().valid
    assert pixels == pattern(64)


@pytest.mark.parametrize("fmt, bits", [(3, 16), (8, 32), (13, 64)])
def test_other_uncompressed_formats_still_convert(tmp_path, fmt, bits):
    path = tmp_path / "u.raw"
    path.write_bytes(bytes(4 * 4 * bits // 8))
    im = Image.load_raw(str(path), 4, 4, fmt, 0)
    out = str(tmp_path / "u.png")
    assert im.export(out) is True
    PILImage = pil_image()
    with PILImage.open(out) as written:
        assert written.size == (4, 4)
    ch = im.from_channel(0)
    assert ch.valid and ch.format == GRAYSCALE and bytes(ch.data_view) == bytes(16)


REPRO = """
    import os, sys, tempfile
    from tarvex.image.image import Image
    d = tempfile.mkdtemp()
    p = os.path.join(d, "p.raw")
    open(p, "wb").write(bytes(range(64)))
    for fmt in range(14, 25):
        im = Image.load_raw(p, 8, 8, fmt, 0)
        assert im.valid, fmt
        print(im.export(os.path.join(d, "z.png")), im.export(os.path.join(d, "z.raw")),
              im.from_channel(0).valid)
"""


def test_raylib_is_never_asked_for_their_colours():
    # raylib warns on every attempt to read a compressed image's colours.
    p = run_ok(REPRO)
    assert "Pixel data retrieval" not in p.stdout + p.stderr
    assert set(p.stdout.splitlines()) == {"False True False"}


@pytest.mark.skipif(shutil.which("valgrind") is None, reason="needs valgrind")
@pytest.mark.skipif(os.environ.get("TARVEX_SANITIZE") == "1",
                    reason="the sanitizer runtimes do not run under valgrind")
def test_no_uninitialised_bytes_reach_a_file():
    # Writing a buffer raylib never filled shows as valgrind errors (its
    # encoder branching on the bytes, the write of them).
    p = subprocess.run(["valgrind", "-q", "--error-exitcode=99", "--leak-check=no",
                        sys.executable, "-c", textwrap.dedent(REPRO)],
                       capture_output=True, text=True, timeout=600,
                       env=child_env(PYTHONMALLOC="malloc"))
    assert p.returncode == 0, p.stderr[-4000:]
    assert set(p.stdout.splitlines()) == {"False True False"}
