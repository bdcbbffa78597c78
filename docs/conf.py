"""Sphinx configuration of tarvex's API reference. The reference documents
the built package (autodoc imports it, so its docstrings are the text); run
it through `./dev docs`, which puts the build on the import path."""
import importlib
import os
import sys

from docutils import nodes
from docutils.parsers.rst import Directive
from docutils.statemachine import StringList

import tarvex.colors.colors
import tarvex.image.image
from tarvex.color.color import Color
from tarvex.image.image import Image

# autodoc would otherwise load a native module's type stub in its place, and
# the stubs carry no docstrings: the reference documents the modules, all
# imported here.
os.environ["SPHINX_AUTODOC_IGNORE_NATIVE_MODULE_TYPE_STUBS"] = "1"
MODULES = ["vector2", "vector3", "vector4", "rect", "color", "colors", "pixel_format", "image",
           "sound", "audio_stream", "audio_device", "glyph_info", "parser",
           "vector2_array", "vector3_array", "rect_array"]
for _m in MODULES:
    importlib.import_module(f"tarvex.{_m}.{_m}")

project = "tarvex"
copyright = "the tarvex developers"
# The project's own extension (tarvexdoc.py) and the migration table's rows
# (pygame_names.py) sit beside this file.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
extensions = ["sphinx.ext.autodoc", "tarvexdoc"]
exclude_patterns = ["examples"]
html_theme = "alabaster"
html_static_path = ["_static"]
html_css_files = ["tarvex.css"]
html_sidebars = {"**": ["about.html", "navigation.html", "localtoc.html", "searchbox.html"]}
html_theme_options = {"page_width": "1100px", "sidebar_width": "240px"}
# Signatures and the page contents name members without their module.
add_module_names = False
python_use_unqualified_type_names = True
toc_object_entries_show_parents = "hide"
html_copy_source = False
nitpicky = True

autodoc_default_options = {"members": True, "undoc-members": True, "member-order": "groupwise"}
autodoc_docstring_signature = True
# `x` in a docstring is code, as it reads in help().
default_role = "literal"

# The pixel view type is no module attribute (views come from
# Image.data_view); the reference documents it under its own name.
if not hasattr(tarvex.image.image, "PixelView"):
    tarvex.image.image.PixelView = type(Image.generate_with_color(1, 1, Color(0, 0, 0)).data_view)


def is_swizzle(cls, name):
    """A swizzle property of a vector type: a name of two or more of its
    one-letter components. The type docstring describes them as a family."""
    letters = {k for k in vars(cls) if len(k) == 1}
    return cls.__name__.startswith("Vector") and len(name) > 1 and set(name) <= letters


def skip_member(app, what, name, obj, skip, options):
    cls = getattr(obj, "__objclass__", None)
    if cls is not None and type(obj).__name__ == "getset_descriptor":
        if is_swizzle(cls, name):
            return True
        # The palette is the table below the Colors type, not 152 entries.
        if cls is tarvex.colors.colors.Colors:
            return True
    return None


class Palette(Directive):
    """The palette of tarvex.colors.colors as a table of the running
    module's colours, in declaration order."""

    def run(self):
        colors = tarvex.colors.colors.colors
        names = [k for k, v in vars(tarvex.colors.colors.Colors).items()
                 if type(v).__name__ == "getset_descriptor"]
        rows = [".. list-table::", "   :header-rows: 1", "",
                "   * - name", "     - red", "     - green", "     - blue", "     - alpha"]
        for n in names:
            c = getattr(colors, n)
            rows += [f"   * - ``{n}``"] + [f"     - {v}" for v in (c.r, c.g, c.b, c.a)]
        node = nodes.section()
        self.state.nested_parse(StringList(rows, "palette"), self.content_offset, node)
        return node.children


def setup(app):
    app.connect("autodoc-skip-member", skip_member)
    app.add_directive("tarvex-palette", Palette)
