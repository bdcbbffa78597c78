"""An installed wheel keeps the promise of its manylinux tag: no library in
it needs a glibc symbol version newer than the tag names, and no module
leaves a symbol for the C library to provide that an older glibc lacks
(the C++ runtime linked into the modules refers to a few; the modules carry
them, see src/tarvex/_runtime/libc_compat.cpp)."""
import pathlib
import re
import subprocess

import pytest

import tarvex
from package_modules import MODULES, RAYLIB_USERS

SITE = pathlib.Path(tarvex.__file__).resolve().parents[1]
DIST_INFO = sorted(SITE.glob("tarvex-*.dist-info"))
pytestmark = pytest.mark.skipif(not DIST_INFO, reason="runs against an installed wheel")


def _floor():
    tags = re.findall(r"^Tag: \S+-\S+-manylinux_(\d+)_(\d+)_\w+$", (DIST_INFO[0] / "WHEEL").read_text(),
                      re.M)
    assert tags, "the wheel has no manylinux tag"
    return min((int(a), int(b)) for a, b in tags)


def _dynamic_symbols(path):
    return subprocess.run(["objdump", "-T", str(path)], capture_output=True, text=True,
                          check=True).stdout


def _elf_files():
    roots = [SITE / "tarvex", SITE / "tarvex.libs"]
    return sorted(p for root in roots for p in root.rglob("*.so*") if p.is_file())


@pytest.mark.parametrize("path", _elf_files() if DIST_INFO else [], ids=lambda p: p.name)
def test_no_glibc_version_beyond_the_tag(path):
    versions = {tuple(int(x) for x in v.split("."))
                for v in re.findall(r"\(GLIBC_(\d+\.\d+(?:\.\d+)?)\)", _dynamic_symbols(path))}
    floor = _floor()
    assert {v for v in versions if v[:2] > floor} == set()


# Undefined symbols a module may leave unversioned: the interpreter's C API,
# the weak references of the C++ runtime, and raylib's functions.
PYTHON_API = re.compile(r"_?Py")


@pytest.mark.parametrize("name", MODULES)
def test_modules_leave_nothing_unversioned_for_the_c_library(name):
    path = next((SITE / "tarvex" / name).glob(f"{name}.*.so"))
    raylib = set()
    if name in RAYLIB_USERS:
        lib = next((SITE / "tarvex.libs").glob("libraylib-*"))
        raylib = {line.split()[-1] for line in _dynamic_symbols(lib).splitlines()
                  if re.match(r"[0-9a-f]{16} g", line) and "*UND*" not in line}
    left = []
    for line in _dynamic_symbols(path).splitlines():
        fields = line.split()
        if "*UND*" not in fields or re.search(r"\(GLIBC_|\bw\b", line):
            continue
        symbol = fields[-1]
        if not PYTHON_API.match(symbol) and symbol not in raylib:
            left.append(symbol)
    assert left == []
