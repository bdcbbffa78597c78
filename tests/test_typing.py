"""The package's type stubs, checked against the built modules: stubtest over
every module, a typed program that passes `mypy --strict`, and a program
whose type errors are exactly the ones it marks."""
import importlib.util
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import package_modules
import tarvex

HERE = Path(__file__).parent / "typecheck"
PKG = Path(tarvex.__file__).parent
# Every module of the package: a subpackage holding its extension module.
MODULES = sorted(
    d.name for d in PKG.iterdir() if d.is_dir() and list(d.glob(f"{d.name}.cpython-*.so"))
)
ALL_MODULES = set(package_modules.MODULES)


def mypy_runs(python):
    return subprocess.run([python, "-c", "import mypy.build"], capture_output=True).returncode == 0


# The interpreter that runs mypy: this one, or where Debian's mypy does not
# run here (its compiled runtime librt is built for the newest interpreters
# only, not for 3.13), the newest one where it does, checking the programs
# for this interpreter's version. stubtest imports the modules, so it needs
# mypy in this interpreter itself.
HAS_MYPY = importlib.util.find_spec("mypy") is not None
MYPY_HERE = HAS_MYPY and mypy_runs(sys.executable)
MYPY_PYTHON = sys.executable if MYPY_HERE else next(
    (p for p in map(shutil.which, ("python3.15", "python3.14")) if HAS_MYPY and p and mypy_runs(p)),
    None)

# The type checker's verdicts do not depend on the build flavour, and under
# the sanitizers they take several times as long: the release run makes them.
# An installation checked without mypy (the wheel's bare root) still checks
# that the stubs are there.
SANITIZED = os.environ.get("TARVEX_SANITIZE") == "1"
checker = pytest.mark.skipif(SANITIZED or MYPY_PYTHON is None,
                             reason="the release run with mypy checks the types")
stubtest_checker = pytest.mark.skipif(
    SANITIZED or not MYPY_HERE,
    reason="the release run with mypy checks the types; stubtest needs mypy in this interpreter")


@pytest.fixture(scope="module")
def cache_dir(tmp_path_factory):
    """mypy's cache: in the build directory when the package is the build's,
    so that repeated runs reuse it; else a temporary one."""
    if PKG.parent.name == "pkg":
        return PKG.parent.parent / "mypy-cache"
    return tmp_path_factory.mktemp("mypy-cache")


def run(*args, cwd=None, python=sys.executable):
    return subprocess.run([python, "-m", *args], capture_output=True, text=True,
                          timeout=600, cwd=cwd)


def test_every_module_has_a_stub_and_the_package_is_marked_typed():
    assert (PKG / "py.typed").is_file()
    assert MODULES and set(MODULES) <= ALL_MODULES
    assert [m for m in MODULES if not (PKG / m / f"{m}.pyi").is_file()] == []


@stubtest_checker
def test_stubtest_finds_the_stubs_and_runtime_agreeing(cache_dir):
    args = ["mypy.stubtest", *(f"tarvex.{m}.{m}" for m in MODULES), "--concise",
            "--allowlist", str(HERE / "stubtest-allowlist.txt")]
    if set(MODULES) != ALL_MODULES:
        # A build restricted to some modules leaves the others' entries unused.
        args.append("--ignore-unused-allowlist")
    # stubtest keeps mypy's files in its working directory.
    cache_dir.mkdir(parents=True, exist_ok=True)
    r = run(*args, cwd=cache_dir)
    assert r.returncode == 0, r.stdout + r.stderr


@pytest.fixture(scope="module")
def mypy_errors(cache_dir):
    """(file name, line, message) of every error mypy --strict reports on the
    two programs, checked in one run."""
    if set(MODULES) != ALL_MODULES:
        pytest.skip("the programs use every module")
    version = "{}.{}".format(*sys.version_info)
    r = run("mypy", "--strict", "--python-version", version, "--python-executable", sys.executable,
            "--cache-dir", str(cache_dir), "--no-error-summary",
            "--hide-error-context", "--no-pretty", "--show-error-codes",
            str(HERE / "typed_example.py"), str(HERE / "type_errors.py"), python=MYPY_PYTHON)
    errors = []
    for line in r.stdout.splitlines():
        m = re.match(r"(.*?):(\d+): error: (.*)$", line)
        if m:
            errors.append((Path(m[1]).name, int(m[2]), m[3]))
        else:
            assert ": note: " in line, line
    assert r.returncode == (1 if errors else 0), r.stdout + r.stderr
    return errors


@checker
def test_typed_example_passes_strict_checking(mypy_errors):
    assert [e for e in mypy_errors if e[0] == "typed_example.py"] == []


def test_typed_example_runs():
    r = subprocess.run([sys.executable, str(HERE / "typed_example.py")], capture_output=True,
                       text=True, timeout=120)
    assert r.returncode == 0, r.stderr


@checker
def test_type_errors_are_exactly_the_marked_ones(mypy_errors):
    expected = []
    for n, line in enumerate((HERE / "type_errors.py").read_text().splitlines(), 1):
        expected += [("type_errors.py", n, e.strip()) for e in line.split("  # E: ")[1:]]
    assert len(expected) > 30
    assert sorted(e for e in mypy_errors if e[0] == "type_errors.py") == expected
