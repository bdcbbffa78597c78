"""load_from_screen with a real raylib window on a virtual X server."""
import os
import shutil
import subprocess

import pytest

from imagetools import child_env, raylib_path, run_ok


@pytest.fixture(scope="module")
def display():
    if not shutil.which("Xvfb"):
        pytest.skip("Xvfb is not installed")
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "320x240x24",
                               "-nolisten", "tcp"], pass_fds=(write,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    try:
        number = b""
        with os.fdopen(read, "rb") as f:
            while not number.endswith(b"\n"):
                chunk = f.read(1)
                if not chunk:
                    pytest.fail("Xvfb did not report its display")
                number += chunk
        yield ":" + number.decode().strip()
    finally:
        server.terminate()
        server.wait(timeout=10)


SCREEN = """
import ctypes
from tarvex.image.image import Image

class Colour(ctypes.Structure):
    _fields_ = [(c, ctypes.c_ubyte) for c in "rgba"]

rl = ctypes.CDLL({lib!r})
rl.InitWindow.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_char_p]
rl.ClearBackground.argtypes = [Colour]
rl.IsWindowReady.restype = ctypes.c_bool
rl.InitWindow(64, 48, b"screen test")
assert rl.IsWindowReady()
rl.BeginDrawing()
rl.ClearBackground(Colour(10, 200, 30, 255))
shot = Image.load_from_screen()
rl.EndDrawing()
rl.CloseWindow()
assert type(shot) is Image and shot.valid, shot
assert (shot.width, shot.height, shot.format, shot.mipmaps) == (64, 48, 7, 1)
v = shot.data_view
assert len(v) == 64 * 48 * 4
assert set(bytes(v[i:i + 4]) for i in range(0, len(v), 4)) == {{bytes([10, 200, 30, 255])}}
assert not Image.load_from_screen().valid   # the window is closed again
print("captured")
"""


def test_load_from_screen_captures_the_window(display):
    env = child_env(DISPLAY=display, LIBGL_ALWAYS_SOFTWARE="1")
    p = run_ok(SCREEN.format(lib=raylib_path()), env=env)
    assert "captured" in p.stdout
