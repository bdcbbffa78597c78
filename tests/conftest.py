"""Fixtures and helpers shared by the test modules, and the settings of the
property tests."""
import os
import struct

import pytest
from hypothesis import HealthCheck, settings

# Property tests: a modest number of examples, and a fixed sequence in CI
# (CI is set); `--hypothesis-profile=thorough` for a long search.
settings.register_profile("dev", max_examples=50, deadline=None, database=None,
                          suppress_health_check=[HealthCheck.too_slow])
settings.register_profile("ci", settings.get_profile("dev"), derandomize=True,
                          print_blob=True)
settings.register_profile("thorough", settings.get_profile("dev"), max_examples=5000)
settings.load_profile("ci" if os.environ.get("CI") else "dev")


def pytest_configure(config):
    # Hypothesis guesses from reference counts whether its own global random
    # object is kept alive; on the debug interpreter the guess misfires.
    config.addinivalue_line(
        "filterwarnings", "ignore:It looks like `register_random` was passed an object"
                          ":hypothesis.errors.HypothesisWarning")
    config.addinivalue_line(
        "markers", "refleaks_exempt(reason): run once, unmeasured, by the reference leak hunt "
                   "(tools/refleaks.py)")


def f32(x):
    """x rounded to the nearest 32-bit float, widened back."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return float("inf") if x > 0 else float("-inf")


@pytest.fixture(scope="session")
def audio():
    """raylib's audio device, opened once for the test process through an
    AudioDevice; the fixture's value is raylib itself (through ctypes), for
    the recorder of soundtools. The development root hides libasound from the
    tests, so miniaudio falls back on its real-time Null backend and the
    device must open there; on a host without a usable device the tests that
    need one are skipped."""
    # Imported here: a build restricted by TARVEX_MODULES may lack the
    # native helpers that the tools import.
    from soundtools import raylib
    from tarvex.audio_device.audio_device import AudioDevice

    device = AudioDevice().open()
    if not device.is_ready:
        assert os.environ.get("TARVEX_IN_ROOT") != "1", "raylib could not open an audio device"
        pytest.skip("raylib cannot open an audio device here")
    yield raylib()
    device.close()


@pytest.fixture
def pil_png(tmp_path):
    """make(width, height, mode="RGBA", name="p.png") writes a PNG with
    Pillow and returns its path and raw pixel bytes."""
    from imagetools import write_png

    def make(width, height, mode="RGBA", name="p.png"):
        path = str(tmp_path / name)
        return path, write_png(path, width, height, mode)
    return make
