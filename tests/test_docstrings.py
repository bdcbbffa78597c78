"""Every type, and every callable and property of every type, carries a
docstring, and every callable has a signature that inspect can read."""
import enum
import importlib
import inspect
import pydoc

import pytest

from tarvex.color.color import Color
from tarvex.image.image import Image

from package_modules import MODULES
CALLABLE_KINDS = {"method_descriptor", "builtin_function_or_method", "classmethod_descriptor",
                  "wrapper_descriptor", "staticmethod", "classmethod"}
PROPERTY_KINDS = {"getset_descriptor", "member_descriptor"}
NOT_MEMBERS = {"__doc__", "__module__", "__pyx_vtable__", "__hash__"}
DISALLOW_INSTANTIATION = 1 << 7


def types_of(name):
    module = importlib.import_module(f"tarvex.{name}.{name}")
    found = [v for v in vars(module).values() if isinstance(v, type)]
    if name == "image":
        # The pixel view type is reachable only through Image.data_view.
        found.append(type(Image.generate_with_color(1, 1, Color(0, 0, 0)).data_view))
    return found


def problems(t):
    """What `t` lacks, one text per missing docstring or signature."""
    out = []
    if not (t.__doc__ or "").strip():
        out.append(f"{t.__qualname__}: no docstring")
    if issubclass(t, enum.Enum):
        # An enumeration's members and methods are the enum module's.
        return out
    if not t.__flags__ & DISALLOW_INSTANTIATION:
        try:
            inspect.signature(t)
        except ValueError:
            out.append(f"{t.__qualname__}: no signature")
    for name, member in vars(t).items():
        if name in NOT_MEMBERS and not callable(member):
            continue
        kind = type(member).__name__
        where = f"{t.__qualname__}.{name}"
        if kind not in CALLABLE_KINDS | PROPERTY_KINDS:
            out.append(f"{where}: unexpected member kind {kind}")
            continue
        if not (member.__doc__ or "").strip():
            out.append(f"{where}: no docstring")
        if kind in CALLABLE_KINDS:
            try:
                inspect.signature(getattr(t, name))
            except ValueError:
                out.append(f"{where}: no signature")
    return out


@pytest.mark.parametrize("name", MODULES)
def test_every_public_item_has_a_docstring_and_a_signature(name):
    missing = [p for t in types_of(name) for p in problems(t)]
    assert missing == []



# What help() prints of the interpreter's own types (inherited by an
# enumeration of ints) is the interpreter's, not ours.
FOREIGN = {line.strip() for t in (int, enum.IntEnum)
           for line in pydoc.render_doc(t, renderer=pydoc.plaintext).splitlines()}
# The buffer protocol's slot wrappers carry the interpreter's own text.
FOREIGN |= {line.strip() for line in pydoc.render_doc(bytearray, renderer=pydoc.plaintext).splitlines()}


@pytest.mark.parametrize("name", MODULES)
def test_help_fits_a_terminal(name):
    # The title line names the module, whose path is fixed.
    too_long = [f"{t.__qualname__}: {line}" for t in types_of(name)
                for line in pydoc.render_doc(t, renderer=pydoc.plaintext).splitlines()[1:]
                if len(line) > 80 and line.strip() not in FOREIGN]
    assert too_long == []
