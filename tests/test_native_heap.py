"""The raylib-backed lifecycles (images loaded, generated, copied, exported
and released; sounds loaded, updated, aliased and released) repeated under
valgrind: the native heap must not grow with the repetitions, apart from
raylib 6.0's known loss of 64 bytes per sound alias (tools/heapcheck.py)."""
import os
import shutil
import subprocess
import sys

import pytest

HEAPCHECK = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools",
                         "heapcheck.py")

pytestmark = [
    pytest.mark.skipif(os.environ.get("TARVEX_REFLEAKS") != "1",
                       reason="half a minute under valgrind: runs with ./dev test --refleaks"),
    pytest.mark.skipif(shutil.which("valgrind") is None, reason="needs valgrind"),
]


@pytest.mark.refleaks_exempt("repeats its lifecycles itself, in a child under valgrind")
def test_raylib_lifecycles_do_not_grow_the_native_heap():
    p = subprocess.run([sys.executable, HEAPCHECK], capture_output=True, text=True, timeout=900)
    assert p.returncode == 0, p.stdout + p.stderr
    print(p.stdout)
