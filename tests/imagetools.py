"""Shared tools of the image and glyph tests: files written by Pillow, a
child interpreter for cases that could crash, and the raylib library the
package ships."""
import glob
import os
import subprocess
import sys
import textwrap

import pytest

import tarvex

RGBA = 7        # raylib's 8-bit-per-channel RGBA format
GRAYSCALE = 1
RGB = 4


def raylib_path():
    libs = os.path.join(os.path.dirname(os.path.dirname(tarvex.__file__)), "tarvex.libs")
    # libraylib.so.600 in a build; libraylib-<hash>.so.6.0.0 in an installed wheel.
    found = glob.glob(os.path.join(libs, "libraylib*.so*"))
    assert found, f"no raylib in {libs}"
    return found[0]


def pil_image():
    """Pillow's Image module, or a skip where Pillow is missing or, as Debian's
    on an interpreter it no longer builds for (3.13), its native part is."""
    return pytest.importorskip("PIL.Image", exc_type=ImportError,
                               reason="Pillow does not import on this interpreter")


def pattern(n, seed=0):
    """n bytes that differ from their neighbours."""
    return bytes((i * 37 + seed * 11 + 5) % 256 for i in range(n))


def write_png(path, width, height, mode="RGBA", data=None):
    """A PNG written by Pillow; returns its raw pixel bytes, top row first."""
    bands = len(mode)
    data = pattern(width * height * bands) if data is None else data
    PILImage = pil_image()
    PILImage.frombytes(mode, (width, height), data).save(path)
    return data


def write_gif(path, width, height, colours):
    """An animated GIF of one solid colour per frame; returns its RGBA frames."""
    PILImage = pil_image()
    frames = [PILImage.new("RGB", (width, height), c) for c in colours]
    frames[0].save(path, save_all=True, append_images=frames[1:], duration=50, loop=0,
                   disposal=1, optimize=False)
    return [bytes(c) + b"\xff" for c in colours]


def child_env(**extra):
    env = dict(os.environ)
    env.update(extra)
    return env


def run_child(code, timeout=120, env=None):
    """Runs code in a fresh interpreter with the same paths (and, under the
    sanitizers, the same preloads); a crash there fails only the caller."""
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=timeout, env=env or child_env())


def run_ok(code, **kw):
    p = run_child(code, **kw)
    assert p.returncode == 0, f"child exited with {p.returncode}\n{p.stdout}\n{p.stderr}"
    assert "Sanitizer" not in p.stderr, p.stderr
    return p

