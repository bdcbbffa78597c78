"""The API reference builds from the package's docstrings without a single
warning, with a page per module."""
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

DOCS = Path(__file__).resolve().parent.parent / "docs"
from package_modules import MODULES


@pytest.mark.skipif(os.environ.get("TARVEX_SANITIZE") == "1",
                    reason="the reference does not depend on the build flavour")
@pytest.mark.skipif(not DOCS.is_dir(), reason="needs the repository's docs/")
@pytest.mark.skipif(importlib.util.find_spec("sphinx") is None, reason="needs Sphinx")
def test_reference_builds_without_warnings(tmp_path):
    r = subprocess.run(
        [sys.executable, "-m", "sphinx", "-E", "-W", "-n", "-q", "-b", "html",
         "-d", str(tmp_path / "doctrees"), str(DOCS), str(tmp_path / "html")],
        capture_output=True, text=True, timeout=600)
    assert r.returncode == 0, r.stdout + r.stderr
    assert r.stderr == ""
    pages = {p.stem for p in (tmp_path / "html" / "api").glob("*.html")}
    assert pages == set(MODULES)
    vector2 = (tmp_path / "html" / "api" / "vector2.html").read_text()
    assert 'id="tarvex.vector2.vector2.Vector2.distance_to"' in vector2
    # The swizzles are described with their type, not listed one by one.
    assert 'id="tarvex.vector2.vector2.Vector2.yx"' not in vector2
    assert "CornflowerBlue" in (tmp_path / "html" / "api" / "colors.html").read_text()
