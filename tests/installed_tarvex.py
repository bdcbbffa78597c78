"""pytest plugin for a run against an installed tarvex (`-p installed_tarvex`,
as ./dev test-wheel loads it). Before any test it proves which tarvex the run
imports: the package that pip installed into the environment named by
TARVEX_INSTALLED_PREFIX, every module a file that installation recorded,
and raylib and the libraries it needs loaded from the package's tarvex.libs,
never from a build tree or the system. The run stops if any of that fails;
the report header says what was found."""
import importlib
import importlib.metadata
import importlib.util
import os
import pathlib
import re
import sys
import sysconfig

import pytest

from package_modules import MODULES
# Libraries the wheel carries: any copy of them in the process must be its own.
CARRIED = re.compile(r"/lib(raylib|glfw|X11|xcb|Xau|Xdmcp)[-.][^/]*$")

_found = []


def _loaded_objects():
    """The shared objects the dynamic loader has loaded (dl_iterate_phdr), by
    the paths it opened them at."""
    import ctypes

    class PhdrInfo(ctypes.Structure):
        _fields_ = [("addr", ctypes.c_void_p), ("name", ctypes.c_char_p)]

    callback_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(PhdrInfo), ctypes.c_size_t,
                                     ctypes.c_void_p)
    names = set()

    def collect(info, size, data):
        if info.contents.name:
            names.add(os.fsdecode(info.contents.name))
        return 0

    libc = ctypes.CDLL(None)
    libc.dl_iterate_phdr(callback_type(collect), None)
    return names


def _mapped_files():
    # Under user-mode emulation (the aarch64 wheel's tests under qemu) the
    # process's maps name no files; the loader's own list names them all.
    with open("/proc/self/maps") as maps:
        mapped = {line.split(None, 5)[5].strip() for line in maps if len(line.split(None, 5)) == 6}
    return mapped | _loaded_objects()


def _check():
    prefix = os.environ.get("TARVEX_INSTALLED_PREFIX")
    if not prefix:
        raise pytest.UsageError("installed_tarvex: TARVEX_INSTALLED_PREFIX is not set")
    prefix = pathlib.Path(prefix).resolve()
    if pathlib.Path(sys.prefix).resolve() != prefix:
        raise pytest.UsageError(f"installed_tarvex: the interpreter runs in {sys.prefix}, not {prefix}")
    site = pathlib.Path(sysconfig.get_paths()["platlib"]).resolve()

    import tarvex
    package = pathlib.Path(tarvex.__file__).resolve().parent
    if package.parent != site:
        raise pytest.UsageError(f"installed_tarvex: tarvex was imported from {package}, not from {site}")
    dist = importlib.metadata.distribution("tarvex")
    recorded = {pathlib.Path(dist.locate_file(f)).resolve() for f in dist.files}
    for short in MODULES:
        module = importlib.import_module(f"tarvex.{short}.{short}")
        path = pathlib.Path(module.__file__).resolve()
        if path not in recorded:
            raise pytest.UsageError(f"installed_tarvex: {module.__name__} is {path}, "
                                    "which the installed wheel did not record")

    libs = site / "tarvex.libs"
    carried = sorted(f for f in _mapped_files() if CARRIED.search(f))
    stray = [f for f in carried if pathlib.Path(f).parent.resolve() != libs]
    if stray or not any("/libraylib" in f for f in carried):
        raise pytest.UsageError(f"installed_tarvex: raylib and its libraries must come from {libs}; "
                                f"loaded: {carried}")
    _found.append(f"tarvex {dist.version} installed in {site} ({len(MODULES)} modules, "
                  f"all recorded by the wheel)")
    _found.append("loaded from tarvex.libs: " + ", ".join(pathlib.Path(f).name for f in carried))
    helper = importlib.util.find_spec("_vector_testhelper")
    _found.append("test-only native helpers: " + (str(pathlib.Path(helper.origin).parent)
                                                  if helper else "none"))


def pytest_configure(config):
    _check()


def pytest_report_header(config):
    return list(_found)
