"""The module frame: module attributes, reuse, and binding a sibling type."""
import importlib
import os
import pathlib
import re
import subprocess
import sys
import traceback
import types

import pytest

import _vector_testhelper as helper
import tarvex.vector2.vector2 as v2mod
from tarvex.vector2.vector2 import Vector2


@pytest.mark.parametrize("short", ["vector2", "vector3", "vector4"])
def test_module_attributes(short):
    name = f"tarvex.{short}.{short}"
    mod = importlib.import_module(name)
    cls = getattr(mod, short.capitalize())
    assert mod.__name__ == name and sys.modules[name] is mod
    assert mod.__package__ == f"tarvex.{short}"
    assert mod.__file__.endswith(".so") and mod.__loader__ is not None
    assert not hasattr(mod, "__path__")
    assert mod.__builtins__ is importlib.import_module("builtins")
    assert [n for n in dir(mod) if not n.startswith("__")] == [cls.__name__]
    assert cls.__module__ == name
    assert type(cls.__dict__["__pyx_vtable__"]).__name__ == "PyCapsule"


def test_reimport_returns_the_same_module():
    del sys.modules["tarvex.vector2.vector2"]
    try:
        again = importlib.import_module("tarvex.vector2.vector2")
        assert again is v2mod
    finally:
        sys.modules["tarvex.vector2.vector2"] = v2mod


@pytest.fixture
def fake_module():
    name = "_tarvex_fake_sibling"
    mod = types.ModuleType(name)
    sys.modules[name] = mod
    yield mod
    del sys.modules[name]


def test_bind_not_a_type(fake_module):
    fake_module.Vector2 = 5
    with pytest.raises(TypeError, match=r"^_tarvex_fake_sibling\.Vector2 is not a type object$"):
        helper.bind(fake_module.__name__, "Vector2", 32)


def test_bind_size_checks(fake_module):
    fake_module.Vector2 = Vector2
    with pytest.raises(ValueError) as e:
        helper.bind(fake_module.__name__, "Vector2", Vector2.__basicsize__ + 8)
    assert str(e.value) == (
        "_tarvex_fake_sibling.Vector2 size changed, may indicate binary incompatibility. "
        f"Expected {Vector2.__basicsize__ + 8} from C header, got {Vector2.__basicsize__} from PyObject")
    with pytest.warns(RuntimeWarning, match="size changed"):
        helper.bind(fake_module.__name__, "Vector2", Vector2.__basicsize__ - 8)


def test_bind_missing_or_bad_table(fake_module):
    class NoTable:
        pass
    fake_module.T = NoTable
    with pytest.raises(KeyError):
        helper.bind(fake_module.__name__, "T", NoTable.__basicsize__)
    NoTable.__pyx_vtable__ = "not a capsule"
    with pytest.raises((ValueError, RuntimeError)):
        helper.bind(fake_module.__name__, "T", NoTable.__basicsize__)


def test_bind_missing_module():
    with pytest.raises(ModuleNotFoundError):
        helper.bind("_tarvex_no_such_module", "X", 0)


def _no_arg_methods():
    from tarvex.color.color import Color
    from tarvex.image.image import Image
    from tarvex.rect.rect import Rect
    from tarvex.vector3.vector3 import Vector3
    from tarvex.vector4.vector4 import Vector4

    return [
        (Vector2(1, 2), "get_normalized"), (Vector3(), "copy"), (Vector4(), "get_int_tuple"),
        (Vector2(), "__reduce__"), (Rect(), "__reduce__"), (Color(1, 2, 3, 4), "to_int"),
        (Color(1, 2, 3, 4), "normalize"), (Image(), "unload"), (Image(), "copy"),
        (Image, "load_from_screen"),
    ]


def _entry(exc_info):
    last = traceback.extract_tb(exc_info.value.__traceback__)[-1]
    return last.name, last.filename


def _origin(obj):
    cls = obj if isinstance(obj, type) else type(obj)
    mod = cls.__module__
    return f"{mod}.{cls.__name__}", "src/" + mod.replace(".", "/", 1).rsplit(".", 1)[0] + "/" + mod.rsplit(".", 1)[1]


@pytest.mark.parametrize("obj, name", _no_arg_methods())
def test_methods_without_parameters_use_the_package_messages(obj, name):
    method = getattr(obj, name)
    path, file = _origin(obj)
    with pytest.raises(TypeError) as e:
        method(1, 2)
    assert str(e.value) == f"{name}() takes exactly 0 positional arguments (2 given)"
    assert _entry(e) == (f"{path}.{name}", file)
    with pytest.raises(TypeError) as e:
        method(x=1)
    assert str(e.value) == f"{name}() got an unexpected keyword argument 'x'"


def _pickled_types():
    from tarvex.color.color import Color
    from tarvex.image.image import Image
    from tarvex.rect.rect import Rect
    from tarvex.sound.sound import Sound
    from tarvex.vector4.vector4 import Vector4

    return [Vector2(), Vector4(), Rect(), Color(1, 2, 3, 4), Image(), Sound()]


@pytest.mark.parametrize("obj", _pickled_types(), ids=lambda o: type(o).__name__)
@pytest.mark.parametrize("hook, args", [("__reduce__", ()), ("__setstate__", (None,)),
                                        ("__setstate__", ())])
def test_pickling_refusal_has_the_type_entry(obj, hook, args):
    path, file = _origin(obj)
    with pytest.raises(TypeError) as e:
        getattr(obj, hook)(*args)
    assert _entry(e) == (f"{path}.{hook}", file)


@pytest.mark.parametrize("type_name", ["Vector2", "Rect"])
def test_setstate_takes_one_argument(type_name):
    from tarvex.rect.rect import Rect

    obj = {"Vector2": Vector2, "Rect": Rect}[type_name]()
    with pytest.raises(TypeError, match=r"^__setstate__\(\) takes exactly 1 positional argument \(0 given\)$"):
        obj.__setstate__()
    with pytest.raises(TypeError, match="pickling"):
        obj.__setstate__(state=None)


def test_second_interpreter_is_refused():
    # A child process, so the interpreter made here leaves the test run alone.
    import subprocess
    code = """if True:
        import _interpreters
        import tarvex.vector2.vector2
        iid = _interpreters.create(_interpreters.new_config("legacy"))
        _interpreters.run_string(iid, '''if True:
            try:
                import tarvex.vector2.vector2
            except ImportError as e:
                print(e)
        ''')
        _interpreters.destroy(iid)
    """
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == ("Interpreter change detected - this module can only be loaded "
                                  "into one interpreter per process.")


MODULES = ["vector2", "vector3", "vector4", "rect", "parser", "color", "colors", "image",
           "sound", "audio_stream", "glyph_info"]
RAYLIB_USERS = {"image", "sound", "audio_stream"}
C_LIBRARY = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"}


@pytest.mark.skipif(os.environ.get("TARVEX_SANITIZE") == "1",
                    reason="sanitized builds link the sanitizer runtimes")
@pytest.mark.parametrize("name", MODULES)
def test_dynamic_dependencies(name):
    mod = importlib.import_module(f"tarvex.{name}.{name}")
    dyn = subprocess.run(["objdump", "-p", mod.__file__], capture_output=True, text=True,
                         check=True).stdout
    needed = set(re.findall(r"^\s*NEEDED\s+(\S+)", dyn, re.M))
    runpath = re.findall(r"^\s*(?:RUNPATH|RPATH)\s+(\S+)", dyn, re.M)
    if name in RAYLIB_USERS:
        assert needed - C_LIBRARY == {"libraylib.so.600"}
        assert runpath == ["$ORIGIN/../../tarvex.libs"]
        libs = pathlib.Path(mod.__file__).parents[2] / "tarvex.libs" / "libraylib.so.600"
        assert libs.is_file()
    else:
        assert needed <= C_LIBRARY
