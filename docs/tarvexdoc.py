"""Sphinx extension of tarvex's reference: a type's page from the built type
and its stub, members grouped by role.

``.. tarvex-type:: tarvex.rect.rect.Rect`` writes the class, then sections
for construction, properties, operators, the ``get_``/``to_`` pairs side by
side, the other methods, the queries whose results are buffers and the C
method table. Docstrings come from the built type (the text ``help()``
shows); parameter and return types come from the stub beside the module,
with its private aliases written out. The packed arrays' tables begin with
the entries all of them share (a macro of ``tarvex/_array/array.h``): they
are shown written out, with those entries' contracts below.
``.. tarvex-migration::`` writes the table of pygame and PyGLM names from
``pygame_names.py`` with an index entry per name, so that searching for a
pygame name finds its tarvex equivalent.
"""
import ast
import importlib
import inspect
import re
from pathlib import Path

from docutils import nodes
from docutils.parsers.rst import Directive, directives
from docutils.statemachine import StringList
from sphinx.util.nodes import nested_parse_with_titles

ROOT = Path(__file__).resolve().parent.parent

# What an operator's dunder method looks like in a program.
OPERATORS = {
    "__add__": "a + b", "__sub__": "a - b", "__mul__": "a * b", "__truediv__": "a / b",
    "__floordiv__": "a // b", "__iadd__": "a += b", "__isub__": "a -= b", "__imul__": "a *= b",
    "__itruediv__": "a /= b", "__neg__": "-a", "__eq__": "a == b", "__ne__": "a != b",
    "__hash__": "hash(a)", "__len__": "len(a)", "__getitem__": "a[i]",
    "__setitem__": "a[i] = value", "__delitem__": "del a[i]",
    "__iter__": "iter(a), a, b = ...", "__contains__": "b in a", "__bool__": "bool(a)",
    "__copy__": "copy.copy(a)", "__deepcopy__": "copy.deepcopy(a)",
    "__reduce__": "pickle.dumps(a)", "__setstate__": "pickle.loads(data)",
    "__enter__": "with a:", "__exit__": "(end of with)", "__buffer__": "memoryview(a)",
    "__release_buffer__": "view.release()",
}
QUERIES = "Queries: results in buffers"
ROLES = ["Construction", "Properties", "Operators and protocols", "Operations: ``get_`` and ``to_``",
         "Other methods", QUERIES, "C method table"]
# The macro of tarvex/_array/array.h that writes the first entries of every
# packed array's C table.
ARRAY_ENTRIES = "TARVEX_ARRAY_COMMON_ENTRIES"
ARRAY_HEADER = ROOT / "src" / "tarvex" / "_array" / "array.h"


class Stub:
    """A type's members as its stub declares them, in stub order: for each
    name the kind, the signatures (text with aliases written out), whether a
    property has a setter, and the comment lines above its first line."""

    def __init__(self, path, type_name):
        self.text = path.read_text() if path.exists() else ""
        tree = ast.parse(self.text)
        self.aliases, self.imports, self.plain = {}, {}, set()
        cls = None
        for node in tree.body:
            if isinstance(node, ast.ImportFrom) and (node.module or "").startswith("tarvex."):
                for a in node.names:
                    self.imports[a.asname or a.name] = f"{node.module}.{a.name}"
            elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
                self.aliases[node.target.id] = node.value
            elif isinstance(node, ast.Assign) and isinstance(node.value, ast.Call):
                tv = node.value
                name = node.targets[0].id
                bound = [k.value for k in tv.keywords if k.arg == "bound"]
                if bound:
                    self.aliases[name] = bound[0]
                else:
                    self.plain.add(name)
            elif isinstance(node, ast.ClassDef):
                if node.name == type_name:
                    cls = node
                else:
                    self.plain.add(node.name)
        self.module_of = {type_name: None}
        self.members = {}
        for node in cls.body if cls else []:
            if (isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name)
                    and node.target.id == "__hash__"):
                # `__hash__: None`: hash() refuses the type.
                self.members["__hash__"] = {"kind": "method", "sigs": ["()"], "setter": False,
                                            "note": "TypeError: unhashable"}
                continue
            if not isinstance(node, ast.FunctionDef):
                continue
            decos = {ast.unparse(d) for d in node.decorator_list}
            entry = self.members.setdefault(node.name, {
                "kind": "static" if "staticmethod" in decos else
                        "property" if "property" in decos else "method",
                "sigs": [], "setter": False, "note": self.comment_above(node)})
            if f"{node.name}.setter" in decos:
                entry["setter"] = True
                continue
            entry["sigs"].append(self.signature(node, entry["kind"]))

    def comment_above(self, node):
        lines = self.text.splitlines()[: node.lineno - 1 - len(node.decorator_list)]
        notes = []
        while lines and lines[-1].strip().startswith("#"):
            notes.insert(0, lines.pop().strip().lstrip("#").strip())
        return " ".join(notes)

    def annotation(self, node):
        if node is None:
            return ""
        return dedupe(ast.unparse(self.expand(node)))

    def expand(self, node):
        stub = self

        class Expand(ast.NodeTransformer):
            def visit_Name(self, n):
                if n.id in ("_Real",):
                    return ast.Name("float")
                if n.id in stub.aliases:
                    return self.visit(ast.parse(ast.unparse(stub.aliases[n.id]), mode="eval").body)
                if n.id in stub.imports:
                    return ast.Name(stub.imports[n.id])
                if n.id in stub.plain:
                    return ast.Name(n.id.lstrip("_"))
                return n

        return Expand().visit(ast.parse(ast.unparse(node), mode="eval").body)

    def signature(self, node, kind):
        a = node.args
        params = a.posonlyargs + a.args
        # Positional-only up to here (after self or cls is dropped).
        slash = len(a.posonlyargs)
        if kind != "static" and params:
            params, slash = params[1:], slash - 1
        defaults = [None] * (len(params) - len(a.defaults)) + list(a.defaults)
        parts = [self.parameter(p, d) for p, d in zip(params, defaults)]
        if slash > 0:
            parts.insert(slash, "/")
        if a.vararg:
            parts.append("*" + self.parameter(a.vararg, None))
        elif a.kwonlyargs:
            parts.append("*")
        parts += [self.parameter(p, d) for p, d in zip(a.kwonlyargs, a.kw_defaults)]
        if a.kwarg:
            parts.append("**" + self.parameter(a.kwarg, None))
        ret = self.annotation(node.returns)
        return f"({', '.join(parts)})" + (f" -> {ret}" if ret else "")

    def parameter(self, p, default):
        text = p.arg + (f": {self.annotation(p.annotation)}" if p.annotation else "")
        return text + (f" = {ast.unparse(default)}" if default is not None else "")


def dedupe(text):
    """`list[float] | list[float]` as `list[float]`, at the top level."""
    depth, start, items = 0, 0, []
    for i, ch in enumerate(text + "|"):
        depth += ch in "[(" and 1 or ch in "])" and -1 or 0
        if ch == "|" and depth == 0:
            item = text[start:i].strip()
            if item not in items:
                items.append(item)
            start = i + 1
    return " | ".join(items)


def paragraphs(doc):
    return inspect.cleandoc(doc or "").split("\n\n")


def shared_paragraphs(docs):
    """The paragraphs that most docstrings of a section repeat word for word
    (the arrays' rule for their operands): written once, at the top of the
    section, rather than under every member. The first paragraph, the
    summary, always stays with its member."""
    counts = {}
    for doc in docs:
        for p in paragraphs(doc)[1:]:
            counts[p] = counts.get(p, 0) + 1
    return [p for p, n in counts.items() if n >= max(8, len(docs) / 2)]


def body(doc, indent="   "):
    return [indent + line if line else "" for line in inspect.cleandoc(doc or "").splitlines()]


def c_table(module, type_name):
    """The C method table as its declarations header writes it; a packed
    array's with the shared entries written out, their contracts below and
    a link to the guide's section on binding them."""
    short = module.rsplit(".", 1)[1]
    header = ROOT / "src" / "tarvex" / short / f"{short}.h"
    start = f"struct tarvex_{type_name}VTable {{"
    text = header.read_text() if header.exists() else ""
    if start not in text:
        return []
    rel = Path("..", "..", header.relative_to(ROOT)).as_posix()
    table = text[text.index(start):]
    table = table[:table.index("};") + 2]
    shared = re.search(rf"^( *){ARRAY_ENTRIES}\((\w+), (\w+)\)\n", table, re.M)
    if not shared:
        return [f".. literalinclude:: {rel}", "   :language: c", f"   :start-at: {start}",
                "   :end-at: };", ""]
    indent, obj, element = shared.groups()
    before = table[:shared.start()].rstrip("\n").splitlines()[-1].strip()
    lines = [] if before.startswith("/*") else [
        f"{indent}/* 0 to 5: the entries every packed array shares */"]
    lines += [indent + entry for entry in array_entries(obj, element)]
    table = table[:shared.start()] + "\n".join(lines) + "\n" + table[shared.end():]
    return [f"``{header.relative_to(ROOT / 'src').as_posix()}`` declares the table (slot 0 "
            f"first); the entries every packed array shares are written out from "
            f"``{ARRAY_HEADER.relative_to(ROOT / 'src').as_posix()}``. How a native module "
            "binds it and hands the elements to raylib: :ref:`array-tables`.", "",
            ".. code-block:: c", ""] + ["   " + ln if ln else "" for ln in table.splitlines()] + [
            ""] + array_contracts()


def array_contracts():
    """The contracts of the shared entries, from the comment that opens
    tarvex/_array/array.h, as a table of entry and contract."""
    comment = ARRAY_HEADER.read_text().split("*/", 1)[0]
    lines = [ln.strip().removeprefix("*")[1:] if ln.strip().startswith("*") else ln
             for ln in comment.splitlines()]
    lines = lines[lines.index("Common table entries, slot 0 first:") + 1:]
    rows, rest = [], []
    for line in lines:
        m = re.match(r"  (\w+) +(.*)", line)
        if m and not rest:
            rows.append([m.group(1), m.group(2)])
        elif line.startswith("   ") and rows and not rest:
            rows[-1][1] += " " + line.strip()
        elif line.strip():
            rest.append(line.strip())
    out = [".. list-table:: The shared entries", "   :header-rows: 1", "   :widths: 20 80", "",
           "   * - entry", "     - contract"]
    for name, text in rows:
        out += [f"   * - ``{name}``", f"     - {text}"]
    return out + [""] + [" ".join(rest), ""]


def array_entries(obj, element):
    """The declarations that the shared-entries macro writes for the
    instance type obj and the element structure element."""
    text = ARRAY_HEADER.read_text()
    body = text[text.index(f"#define {ARRAY_ENTRIES}("):].split("\n")
    lines = []
    for line in body[1:]:
        more = line.rstrip().endswith("\\")
        line = line.rstrip().rstrip("\\").strip()
        if line:
            line = re.sub(r"\bT\b", obj, re.sub(r"\bE\b", element, line))
            lines.append(re.sub(r"struct (\w+) \* ", r"struct \1* ", line))
        if not more:
            break
    return lines


class ClassContext(Directive):
    """Sets the class that the following method and property directives
    belong to, so they are written with short names."""

    required_arguments = 1

    def run(self):
        # The Python domain restores the class from this stack after each
        # member.
        ctx = self.state.document.settings.env.ref_context
        ctx["py:class"] = self.arguments[0]
        ctx["py:classes"] = [self.arguments[0]]
        return []


class TypePage(Directive):
    required_arguments = 1
    option_spec = {"no-heading": directives.flag}

    def run(self):
        module_name, type_name = self.arguments[0].rsplit(".", 1)
        cls = getattr(importlib.import_module(module_name), type_name)
        short = module_name.rsplit(".", 1)[1]
        mod = importlib.import_module(module_name)
        # The stub beside the built module (the vectors' is completed at build
        # time), else its source.
        path = Path(mod.__file__).parent / f"{short}.pyi"
        if not path.exists():
            path = ROOT / "src" / "tarvex" / short / f"{short}.pyi"
        stub = Stub(path, type_name)
        lines = self.render(module_name, cls, stub)
        node = nodes.section()
        nested_parse_with_titles(self.state, StringList(lines, f"<{type_name}>"), node)
        return node.children

    def render(self, module_name, cls, stub):
        name = cls.__name__
        members = {k: v for k, v in vars(cls).items()
                   if not k.startswith("_") and k != "mro" and not skip(cls, k, v)}
        order = [k for k in stub.members if k in members] + \
                [k for k in members if k not in stub.members]
        init = (stub.members.get("__init__") or stub.members.get("__new__")
                or {"sigs": ["()"]})["sigs"]
        out = [f".. py:currentmodule:: {module_name}", "",
               f".. py:class:: {name}{init[0].split(' ->')[0]}"]
        out += [f"   {' ' * len('.. py:class:: ')}{name}{s.split(' ->')[0]}" for s in init[1:]]
        out += ["", f"   ``from {module_name} import {name}``", ""] + body(cls.__doc__) + [""]
        groups = {role: [] for role in ROLES}
        done = set()
        for k in order:
            if k in done:
                continue
            kind = stub.members.get(k, {}).get("kind") or kind_of(members[k])
            twin = "to_" + k[4:] if k.startswith("get_") else "get_" + k[3:] \
                if k.startswith("to_") else None
            if kind == "property":
                groups["Properties"].append([k])
            elif kind in ("static", "class") or k in ("copy",):
                groups["Construction"].append([k])
            elif twin and twin in members:
                pair = sorted([k, twin], key=lambda n: not n.startswith("get_"))
                groups["Operations: ``get_`` and ``to_``"].append(pair)
                done.add(twin)
            elif all(s.endswith("-> memoryview") for s in stub.members.get(k, {}).get("sigs") or [""]):
                # Per-element answers in a new buffer (or the `out` given).
                groups[QUERIES].append([k])
            else:
                groups["Other methods"].append([k])
            done.add(k)
        out += [f".. tarvex-class-context:: {name}", ""]
        for role in ROLES:
            if role == "Operators and protocols":
                section = self.operators(cls, stub)
            elif role == "C method table":
                section = c_table(module_name, name)
            else:
                names = [k for item in groups[role] for k in item]
                common = shared_paragraphs([members[k].__doc__ for k in names])
                section = [ln for p in common for ln in body(p, "") + [""]]
                for item in groups[role]:
                    if len(item) == 2:
                        section += [".. container:: tarvex-pair", ""]
                        for k in item:
                            section += ["   " + ln if ln else "" for ln in
                                        self.member(cls, stub, k, members[k], common)]
                    else:
                        section += self.member(cls, stub, item[0], members[item[0]], common)
            if section:
                out += [role, "-" * len(role), ""] + section + [""]
        return out

    def member(self, cls, stub, k, obj, common=()):
        info = stub.members.get(k) or {"kind": kind_of(obj), "sigs": [], "setter": False}
        if info["kind"] == "property":
            ret = info["sigs"][0].split("-> ", 1)[1] if info["sigs"] else ""
            out = [f".. py:property:: {k}"] + ([f"   :type: {ret}"] if ret else [])
            out += [""] + body(obj.__doc__)
            if not info["setter"]:
                out += ["", "   Read-only."]
            return out + [""]
        sigs = info["sigs"] or [f"({getattr(obj, '__text_signature__', '') or ''})"
                                .replace("($self, ", "(").replace("($self)", "()")]
        head = f".. py:method:: {k}{sigs[0]}"
        out = [head] + [" " * len(".. py:method:: ") + k + s for s in sigs[1:]]
        if info["kind"] == "static":
            out.append("   :staticmethod:")
        doc = "\n\n".join(p for p in paragraphs(obj.__doc__) if p not in common)
        return out + [""] + body(doc) + [""]

    def operators(self, cls, stub):
        rows = []
        for k, info in stub.members.items():
            if k not in OPERATORS or k not in vars(cls) and not hasattr(cls, k):
                continue
            for sig in info["sigs"]:
                params, _, ret = sig.partition(" -> ")
                params = params.strip("()").replace(", /", "").replace("/", "")
                # Literal text: the types by their short names, as the signatures show them.
                params, ret = (re.sub(r"\btarvex(?:\.\w+)+\.(\w+)", r"\1", t) for t in (params, ret))
                rows += [f"   * - ``{OPERATORS[k]}``", f"     - ``{k}``",
                         f"     - {'``' + params + '``' if params else ''}",
                         f"     - {'``' + ret + '``' if ret else ''}",
                         f"     - {info['note'].replace('*', chr(92) + '*')}"]
        if not rows:
            return []
        return [".. list-table::", "   :header-rows: 1", "",
                "   * - expression", "     - method", "     - b (or arguments)",
                "     - result", "     - note"] + rows + [""]


def kind_of(obj):
    t = type(obj).__name__
    if t in ("getset_descriptor", "member_descriptor", "property"):
        return "property"
    if t == "staticmethod" or isinstance(obj, staticmethod):
        return "static"
    if t in ("classmethod_descriptor", "classmethod"):
        return "class"
    return "method"


def skip(cls, name, obj):
    """Swizzles are described with their vector type as a family, and the
    palette's colours in the palette table."""
    letters = {k for k in vars(cls) if len(k) == 1}
    swizzle = cls.__name__.startswith("Vector") and len(name) > 1 and set(name) <= letters
    palette = cls.__name__ == "Colors" and kind_of(obj) == "property"
    return swizzle or palette


class MigrationTable(Directive):
    """The pygame and PyGLM names beside tarvex's, from pygame_names.ROWS,
    each pygame name also an index entry that points at this row."""

    def run(self):
        import pygame_names

        rows = [".. list-table::", "   :header-rows: 1", "   :widths: 30 40 30", "",
                "   * - pygame / PyGLM", "     - tarvex", "     - note"]
        entries = []
        for row in pygame_names.ROWS:
            entries.append(f"single: {row.peer_name} ({row.peer}); {row.tarvex_name}")
            rows += [f"   * - ``{row.peer_name}``", f"     - ``{row.tarvex_name}``",
                     f"     - {row.note}"]
        text = [".. index::"] + [f"   {e}" for e in entries] + [""] + rows
        node = nodes.section()
        self.state.nested_parse(StringList(text, "<migration>"), self.content_offset, node)
        return node.children


def missing_reference(app, env, node, contnode):
    """Names that only the stubs know (type variables, protocols) are shown
    as written, without a link."""
    target = node.get("reftarget", "")
    if node.get("refdomain") == "py" and "." not in target and target[:1].isupper():
        return contnode
    return None


def setup(app):
    app.add_directive("tarvex-type", TypePage)
    app.add_directive("tarvex-class-context", ClassContext)
    app.add_directive("tarvex-migration", MigrationTable)
    app.connect("missing-reference", missing_reference)
    return {"parallel_read_safe": True}
