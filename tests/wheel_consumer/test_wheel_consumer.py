"""An outside native extension compiled as a third-party package compiles
one: against the header an installed tarvex carries
(tarvex/include/tarvex/parser.h) and the interpreter's headers, without
raylib's, then calling the parser through that header."""
import importlib.util
import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

import pytest

import tarvex
from tarvex.color.color import Color
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2

HERE = pathlib.Path(__file__).resolve().parent
F32_01 = 0.10000000149011612


def header_dir():
    """The installed header; a build tree, laid out as installed but without
    the header, uses the source's own."""
    package = pathlib.Path(tarvex.__file__).resolve().parent
    if list(package.parent.glob("tarvex-*.dist-info")):
        assert (package / "include" / "tarvex" / "parser.h").is_file(), "the wheel lacks parser.h"
        return package / "include"
    return HERE.parents[1] / "include"


@pytest.fixture(scope="module")
def consumer(tmp_path_factory):
    cxx = shutil.which("g++")
    python_h = pathlib.Path(sysconfig.get_paths()["include"], "Python.h")
    if cxx is None or not python_h.is_file():
        pytest.skip("no C++ compiler or interpreter headers here")
    out = tmp_path_factory.mktemp("consumer") / ("wheel_consumer" + sysconfig.get_config_var("EXT_SUFFIX"))
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    build = subprocess.run([cxx, "-std=c++17", "-O1", "-fPIC", "-shared", "-Wall", "-Wextra", "-Werror",
                            "-I", str(header_dir()), "-I", str(python_h.parent),
                            str(HERE / "consumer.cpp"), "-o", str(out)],
                           capture_output=True, text=True, env=env)
    assert build.returncode == 0, build.stderr
    module_spec = importlib.util.spec_from_file_location("wheel_consumer", out)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


def test_compiled_with_raylib_header_only_where_it_exists(consumer):
    # Where raylib is not installed the header's stand-in structures are used.
    assert consumer.raylib_header() == pathlib.Path("/usr/include/raylib.h").is_file()
    assert "tarvex.parser.parser" in sys.modules


@pytest.mark.parametrize("arg, expected", [
    (Vector2(1.5, -2), (1.5, -2.0)),
    ((0.1, 2), (F32_01, 2.0)),
    ([3, 4], (3.0, 4.0)),
    (range(5, 7), (5.0, 6.0)),
])
def test_parse_vector2_like(consumer, arg, expected):
    assert consumer.vector2(arg) == expected


@pytest.mark.parametrize("arg, message", [
    (5, "vector2-like argument must be Vector2, or any sequence, got int."),
    ((1, None), "must be real number, not NoneType"),
])
def test_parse_vector2_like_refusals(consumer, arg, message):
    with pytest.raises(TypeError) as info:
        consumer.vector2(arg)
    assert str(info.value) == message


def test_rect_and_colour(consumer):
    assert consumer.rect(Rect(1, 2, 3, 0.1)) == (1.0, 2.0, 3.0, F32_01)
    assert consumer.color((1, 300, -4)) == (1, 255, 0, 255)
    assert consumer.color(Color(9, 8, 7, 6)) == (9, 8, 7, 6)
