"""The module frame: module attributes, reuse, and binding a sibling type."""
import _imp
import enum
import importlib
import json
import os
import pathlib
import re
import subprocess
import sys
import textwrap
import traceback
import types
import warnings

import pytest

import _vector_testhelper as helper
import tarvex.vector2.vector2 as v2mod
from tarvex.vector2.vector2 import Vector2


PUBLIC = {"vector2": ["Vector2"], "vector3": ["Vector3"], "vector4": ["Vector4"], "rect": ["Rect"],
          "parser": [], "color": ["Color"], "colors": ["Colors", "colors"], "image": ["Image"],
          "sound": ["Sound"], "audio_stream": ["AudioStream"], "glyph_info": ["GlyphInfo"],
          "vector2_array": ["Vector2Array"], "vector3_array": ["Vector3Array"],
          "rect_array": ["RectArray"],
          "pixel_format": ["PixelFormat"], "audio_device": ["AudioDevice"]}


@pytest.mark.parametrize("short", PUBLIC)
def test_module_attributes(short):
    name = f"tarvex.{short}.{short}"
    mod = importlib.import_module(name)
    assert mod.__name__ == name and sys.modules[name] is mod and mod.__doc__ is None
    assert mod.__package__ == f"tarvex.{short}"
    assert mod.__file__.endswith(".so") and mod.__loader__ is not None
    assert not hasattr(mod, "__path__")
    assert mod.__builtins__ is importlib.import_module("builtins")
    assert [n for n in dir(mod) if not n.startswith("__")] == PUBLIC[short]
    for cls in (v for v in vars(mod).values() if isinstance(v, type)):
        assert cls.__module__ == name
        if issubclass(cls, enum.Enum):
            # Made by the module body from its C table; no C-level type.
            continue
        if cls.__name__ == "Colors":
            assert not {"__pyx_vtable__", "__reduce__", "__setstate__"} & set(vars(cls))
            continue
        # The table is an unnamed capsule; both pickling hooks are the type's own.
        assert re.fullmatch(r"<capsule object NULL at 0x[0-9a-f]+>", repr(cls.__dict__["__pyx_vtable__"]))
        assert {"__reduce__", "__setstate__"} <= set(vars(cls))


@pytest.mark.refleaks_exempt("re-importing grows the import system's own state")
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


def test_modules_are_built_for_the_running_interpreter():
    assert helper.built_version() == sys.version_info[:2]


@pytest.mark.parametrize("built", [(3, 13), (3, 14), (3, 15), (3, 16), (4, 15)])
def test_version_check_compares_with_the_built_version(built):
    running = sys.version_info[:2]
    if built == running:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            helper.check_version("tarvex.rect.rect", *built)
        return
    with pytest.warns(RuntimeWarning) as caught:
        helper.check_version("tarvex.rect.rect", *built)
    assert [str(w.message) for w in caught] == [
        f"compile time Python version {built[0]}.{built[1]} of module 'tarvex.rect.rect' "
        f"does not match runtime version {running[0]}.{running[1]}"]
    # As warnings turned into errors, the import fails with it.
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(RuntimeWarning, match="^compile time Python version"):
            helper.check_version("tarvex.rect.rect", *built)


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


from package_modules import MODULES, RAYLIB_USERS
# The C library, by its names on x86-64 and aarch64; a wheel built for an
# older glibc also links libpthread (pthread_once lives there before 2.34).
C_LIBRARY = {"libc.so.6", "libm.so.6", "libpthread.so.0",
             "ld-linux-x86-64.so.2", "ld-linux-aarch64.so.1"}


@pytest.mark.skipif(os.environ.get("TARVEX_SANITIZE") == "1",
                    reason="sanitized builds link the sanitizer runtimes")
@pytest.mark.parametrize("name", MODULES)
def test_dynamic_dependencies(name):
    mod = importlib.import_module(f"tarvex.{name}.{name}")
    dyn = subprocess.run(["objdump", "-p", mod.__file__], capture_output=True, text=True,
                         check=True).stdout
    needed = set(re.findall(r"^\s*NEEDED\s+(\S+)", dyn, re.M))
    symbols = subprocess.run(["objdump", "-T", mod.__file__], capture_output=True, text=True,
                             check=True).stdout
    # Local section symbols (.init, .data: GNU ld for aarch64 puts them in
    # the dynamic table too) are no exports.
    exported = [line.split()[-1] for line in symbols.splitlines()
                if re.match(r"[0-9a-f]{16} [^l]", line) and "*UND*" not in line]
    assert exported == [f"PyInit_{name}"]
    runpath = re.findall(r"^\s*(?:RUNPATH|RPATH)\s+(\S+)", dyn, re.M)
    if name in RAYLIB_USERS:
        site = pathlib.Path(mod.__file__).parents[2]
        # A repaired wheel carries raylib under a name of its own.
        raylib = (r"libraylib-[0-9a-f]{8}\.so\.6\.0\.0" if list(site.glob("tarvex-*.dist-info"))
                  else r"libraylib\.so\.600")
        (lib,) = needed - C_LIBRARY
        assert re.fullmatch(raylib, lib)
        assert runpath == ["$ORIGIN/../../tarvex.libs"]
        assert (site / "tarvex.libs" / lib).is_file()
    else:
        assert needed <= C_LIBRARY


def _run(code, *args):
    out = subprocess.run([sys.executable, "-c", textwrap.dedent(code), *args], capture_output=True,
                         text=True, check=True)
    return json.loads(out.stdout)


# A stand-in for tarvex.color.color is bound by parser; after the outcome is
# recorded the real module comes back and the import is tried again.
STAND_IN = """
    import datetime, json, sys, traceback, warnings
    import tarvex.color.color as real
    Real = real.Color
    kind = sys.argv[1]
    fake = type(sys)("tarvex.color.color")
    table = Real.__dict__["__pyx_vtable__"]
    if kind == "not_a_type":
        fake.Color = 5
    elif kind == "smaller":
        fake.Color = type("Color", (), {})
    elif kind in ("larger", "larger_error"):
        fake.Color = type("Color", (Real,), {"__slots__": ("extra",), "__pyx_vtable__": table})
    elif kind == "no_table":
        fake.Color = type("Color", (Real,), {"__slots__": ()})
    elif kind == "not_a_capsule":
        fake.Color = type("Color", (Real,), {"__slots__": (), "__pyx_vtable__": "table"})
    elif kind == "named_capsule":
        fake.Color = type("Color", (Real,), {"__slots__": (), "__pyx_vtable__": datetime.datetime_CAPI})
    sys.modules["tarvex.color.color"] = None if kind == "missing" else fake
    out = {"size": getattr(getattr(fake, "Color", None), "__basicsize__", None)}
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("error" if kind == "larger_error" else "always")
        try:
            import tarvex.parser.parser
        except Exception as e:
            out["error"] = [type(e).__name__, str(e)]
            out["entries"] = [[f.name, f.filename] for f in traceback.extract_tb(e.__traceback__)
                              if f.name.startswith("init ")]
    out["warnings"] = [[w.category.__name__, str(w.message)] for w in caught]
    sys.modules["tarvex.color.color"] = real
    import tarvex.parser.parser as parser
    out["capi"] = sorted(parser.__pyx_capi__)
    print(json.dumps(out))
"""

SIZE_MSG = ("tarvex.color.color.Color size changed, may indicate binary incompatibility. "
            "Expected {real} from C header, got {got} from PyObject")


@pytest.mark.parametrize("kind, exc, msg", [
    ("missing", "ModuleNotFoundError", "import of tarvex.color.color halted; None in sys.modules"),
    ("not_a_type", "TypeError", "tarvex.color.color.Color is not a type object"),
    ("smaller", "ValueError", SIZE_MSG),
    ("larger_error", "RuntimeWarning", SIZE_MSG),
    ("larger", None, SIZE_MSG),
    ("no_table", "KeyError", "'__pyx_vtable__'"),
    ("not_a_capsule", "ValueError", "PyCapsule_GetPointer called with invalid PyCapsule object"),
    ("named_capsule", "ValueError", "PyCapsule_GetPointer called with incorrect name"),
])
def test_binding_a_wrong_stand_in(kind, exc, msg):
    from tarvex.color.color import Color

    out = _run(STAND_IN, kind)
    msg = msg.format(real=Color.__basicsize__, got=out["size"])
    if exc is None:
        assert out["warnings"] == [["RuntimeWarning", msg]] and "error" not in out
    else:
        assert out["error"] == [exc, msg] and out["warnings"] == []
        assert out["entries"] == [["init tarvex.parser.parser", "src/tarvex/parser/parser"]]
    # A failed import leaves nothing behind that stops a later one.
    assert out["capi"] == ["parse_color_like", "parse_rect_like", "parse_vector2_like"]


# While a sibling type is bound, the importing module is in sys.modules with
# __builtins__, its own types ready (table and pickling hooks in place) and
# set, and its body not yet run.
DURING_BINDING = """
    import importlib, json, sys
    importer, sibling, name = sys.argv[1:]
    real = importlib.import_module(sibling)
    seen = []
    def lookup(attr):
        if attr != name:
            raise AttributeError(attr)
        m = sys.modules.get(importer)
        ns = vars(m) if m is not None else {}
        seen.append({"builtins": ns.get("__builtins__") is sys.modules["builtins"],
                     "names": sorted(k for k in ns if not k.startswith("__") or k == "__pyx_capi__"),
                     "ready": sorted(k for k, v in ns.items() if isinstance(v, type)
                                     and {"__pyx_vtable__", "__reduce__"} <= set(vars(v)))})
        return getattr(real, attr)
    fake = type(sys)(sibling)
    fake.__getattr__ = lookup
    sys.modules[sibling] = fake
    mod = importlib.import_module(importer)
    print(json.dumps([seen, sorted(k for k in vars(mod) if not k.startswith("__") or k == "__pyx_capi__")]))
"""


@pytest.mark.parametrize("importer, sibling, name, types_, after", [
    ("tarvex.rect.rect", "tarvex.vector2.vector2", "Vector2", ["Rect"], ["Rect"]),
    ("tarvex.parser.parser", "tarvex.color.color", "Color", [], ["__pyx_capi__"]),
    ("tarvex.colors.colors", "tarvex.color.color", "Color", [], ["Colors", "colors"]),
])
def test_exec_steps_before_binding(importer, sibling, name, types_, after):
    seen, names = _run(DURING_BINDING, importer, sibling, name)
    assert seen == [{"builtins": True, "names": [n for n in after if n[0].isupper()], "ready": types_}]
    assert names == after


@pytest.mark.parametrize("blocked, loaded", [
    ("tarvex.vector2.vector2", []),
    ("tarvex.vector4.vector4", ["tarvex.vector2.vector2"]),
    ("tarvex.color.color", ["tarvex.vector2.vector2", "tarvex.vector4.vector4"]),
    ("tarvex.rect.rect", ["tarvex.color.color", "tarvex.vector2.vector2", "tarvex.vector4.vector4"]),
])
def test_parser_binds_its_siblings_in_order(blocked, loaded):
    code = """
        import json, sys
        sys.modules[sys.argv[1]] = None
        try:
            import tarvex.parser.parser
        except ImportError as e:
            print(json.dumps([e.name, sorted(k for k, v in sys.modules.items()
                                             if k.startswith("tarvex.") and k.count(".") == 2 and v)]))
    """
    assert _run(code, blocked) == [blocked, loaded]


def test_create_step_copies_the_import_spec():
    code = """
        import _imp, importlib.util, json, sys
        loader = object()
        class Full:
            name = "tarvex.vector3.vector3"
            origin = importlib.util.find_spec(name).origin
            parent = None
            submodule_search_locations = ["/nowhere"]
        Full.loader = loader
        class Bare:
            name = "tarvex.vector4.vector4"
            origin = importlib.util.find_spec(name).origin
            submodule_search_locations = None
        full, bare = _imp.create_dynamic(Full), _imp.create_dynamic(Bare)
        print(json.dumps([
            [full.__name__, full.__loader__ is loader, full.__file__ == Full.origin, full.__package__,
             full.__path__, _imp.create_dynamic(Bare) is bare],
            [bare.__name__, bare.__loader__, bare.__package__, hasattr(bare, "__path__"),
             "tarvex.vector4.vector4" in sys.modules, _imp.exec_dynamic(bare),
             sys.modules.get("tarvex.vector4.vector4") is bare, "Vector4" in vars(bare)]]))
    """
    assert _run(code) == [
        ["tarvex.vector3.vector3", True, True, None, ["/nowhere"], True],
        ["tarvex.vector4.vector4", None, None, False, False, 0, True, True]]


def test_exec_again_on_the_same_module_does_nothing():
    before = dict(vars(v2mod))
    assert _imp.exec_dynamic(v2mod) == 0
    assert vars(v2mod) == before


def test_failed_exec_and_a_later_one():
    code = """
        import importlib.util, json, sys, traceback
        import _parser_testhelper
        found = importlib.util.spec_from_file_location("_frame_probe", _parser_testhelper.__file__)
        out = []
        for mode in ["raise", "silent", "succeed"]:
            sys._frame_probe = mode
            try:
                mod = importlib.util.module_from_spec(found)
                found.loader.exec_module(mod)
                out.append(mod.constants_calls)
            except Exception as e:
                sys.modules.pop("_frame_probe", None)
                out.append([type(e).__name__, str(e), [[f.name, f.filename] for f in
                            traceback.extract_tb(e.__traceback__) if f.name.startswith("init ")]])
        print(json.dumps(out))
    """
    entry = [["init _frame_probe", "tests/native/frame_probe"]]
    assert _run(code) == [
        ["ArithmeticError", "probe failed", entry],
        ["ImportError", "init _frame_probe", []],
        1,  # the constants are built once, however often the exec step runs
    ]
