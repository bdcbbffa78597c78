"""Completes a module's hand-written type stub with the members that repeat.

    gen_stubs.py MODULE SOURCE.pyi OUTPUT.pyi

A SOURCE whose first line is `# stubgen: template` serves several types (the
vector family's src/tarvex/_vector/vector.pyi): it is first filled in for
the one type MODULE defines, read from the built type (so MODULE must be
importable). Its placeholders are {T} the type's name, {E} its element
type's for an array type (Vector2 for Vector2Array; else the type's own),
{element_module} that type's module short name, {module} the
module's short name, {letters} the component letters, {reals}, {floats} and
{ints} one `_Real`, `float` or `int` per component, {real_params} and
{int_params} one parameter per component (`x: _Real, y: _Real`). Its
marker lines:

    # stubgen: if NAME / # stubgen: else / # stubgen: end
        the lines up to `else` (or `end`) when the type has the attribute
        NAME, else the lines from `else` to `end`.
    # stubgen: components GET [SET]
        one property per component (`x`, `y`, ...) of type GET, with a
        setter taking SET when given.

Then it copies the source to OUTPUT, replacing each marker line:

    # stubgen: swizzles
        inside a class body: one read-only property per swizzle of that class,
        read from the built type's own descriptors (the table the C++ makes),
        so MODULE must be importable. Every descriptor the source does not
        declare must be a swizzle, so a new property cannot go unnoticed.
    # stubgen: palette HEADER
        one read/write property per colour of the X-macro palette in HEADER
        (a path relative to SOURCE), the table the module is built from.
    # stubgen: members
        inside the body of an enumeration class: one `NAME = VALUE` line per
        member of the built enumeration of that name (made from its C table),
        so MODULE must be importable.
"""

import importlib
import keyword
import re
import sys
from pathlib import Path

MARKER = re.compile(r"^(\s*)# stubgen: (\w+)(?: (\S+))?\s*$")
TEMPLATE_MARKER = re.compile(r"^(\s*)# stubgen: (if|else|end|components)\b ?(.*?)\s*$")
PLACEHOLDER = re.compile(r"\{(\w+)\}")
CLASS = re.compile(r"^class (\w+)\b")
DECLARED = re.compile(r"^\s+(?:def (\w+)\(|(\w+)\s*:)")
PALETTE_ENTRY = re.compile(r"X\((\w+),\s*\d+,\s*\d+,\s*\d+,\s*\d+\)")


class StubError(Exception):
    pass


def declared_names(lines, cls):
    """Names the source declares in the body of class `cls`."""
    names, inside = set(), False
    for line in lines:
        m = CLASS.match(line)
        if m:
            inside = m.group(1) == cls
        elif inside and line.strip() and not line.startswith((" ", "\t")):
            inside = False
        elif inside:
            d = DECLARED.match(line)
            if d:
                names.add(d.group(1) or d.group(2))
    return names


def swizzles(module, cls, lines, indent):
    t = getattr(importlib.import_module(module), cls)
    getsets = [k for k, v in vars(t).items() if type(v).__name__ == "getset_descriptor"]
    letters = {k for k in getsets if len(k) == 1}
    if not letters:
        raise StubError(f"{module}.{cls} has no single-letter components")
    declared = declared_names(lines, cls)
    out = []
    for name in getsets:
        if name in declared:
            continue
        if len(name) < 2 or not set(name) <= letters:
            raise StubError(f"{module}.{cls}.{name} is neither declared in the stub nor a swizzle")
        out += [f"{indent}@property", f"{indent}def {name}(self) -> {cls}: ..."]
    if not out:
        raise StubError(f"{module}.{cls} has no swizzles")
    return out


def palette(header, indent):
    text = header.read_text()
    start = text.find("#define TARVEX_COLORS_PALETTE(X)")
    if start < 0:
        raise StubError(f"{header} defines no TARVEX_COLORS_PALETTE")
    body = []
    for line in text[start:].splitlines()[1:]:
        body.append(line)
        if not line.rstrip().endswith("\\"):
            break
    names = PALETTE_ENTRY.findall("\n".join(body))
    if not names or len(set(names)) != len(names) or any(keyword.iskeyword(n) for n in names):
        raise StubError(f"{header}: unexpected palette {names!r}")
    out = []
    for n in names:
        out += [
            f"{indent}@property",
            f"{indent}def {n}(self) -> Color: ...",
            f"{indent}@{n}.setter",
            f"{indent}def {n}(self, value: Color | None) -> None: ...",
            f"{indent}@{n}.deleter",
            f"{indent}def {n}(self) -> None: ...",
        ]
    return out


def enum_members(module, cls, indent):
    t = getattr(importlib.import_module(module), cls)
    members = list(getattr(t, "__members__", {}).items())
    if not members:
        raise StubError(f"{module}.{cls} is not an enumeration with members")
    return [f"{indent}{name} = {int(value)}" for name, value in members]


def template_type(module):
    """The one type that `module` defines."""
    mod = importlib.import_module(module)
    found = [v for v in vars(mod).values() if isinstance(v, type) and v.__module__ == module]
    if len(found) != 1:
        raise StubError(f"{module} defines {len(found)} types; a template serves exactly one")
    return found[0]


def fill_template(module, lines):
    """The template's lines for the type of `module`."""
    t = template_type(module)
    # An array type (Vector2Array) takes the components of its element type.
    element = t.__name__[:-len("Array")] if t.__name__.endswith("Array") else t.__name__
    e = t if element == t.__name__ else getattr(
        importlib.import_module(f"tarvex.{element.lower()}.{element.lower()}"), element)
    letters = [k for k, v in vars(e).items()
               if type(v).__name__ == "getset_descriptor" and len(k) == 1]
    if not letters:
        raise StubError(f"{module}.{t.__name__} has no single-letter components")
    values = {
        "T": t.__name__,
        "E": element,
        "element_module": element.lower(),
        "module": module.rsplit(".", 1)[1],
        "letters": "".join(letters),
        "reals": ", ".join("_Real" for _ in letters),
        "floats": ", ".join("float" for _ in letters),
        "ints": ", ".join("int" for _ in letters),
        "real_params": ", ".join(f"{c}: _Real" for c in letters),
        "int_params": ", ".join(f"{c}: SupportsInt" for c in letters),
    }

    def fill(line):
        unknown = [k for k in PLACEHOLDER.findall(line) if k not in values]
        if unknown:
            raise StubError(f"unknown placeholder {{{unknown[0]}}} in: {line.strip()}")
        return PLACEHOLDER.sub(lambda m: values[m.group(1)], line)

    out = []
    # One entry per open `if`: whether its lines are kept.
    keep = []
    for line in lines[1:]:
        m = TEMPLATE_MARKER.match(line)
        if not m:
            if all(keep):
                out.append(fill(line))
            continue
        indent, kind, arg = m.groups()
        if kind == "if" and re.fullmatch(r"\w+", arg):
            keep.append(hasattr(t, arg))
        elif kind == "else" and keep and not arg:
            keep[-1] = not keep[-1]
        elif kind == "end" and keep and not arg:
            keep.pop()
        elif kind == "components" and arg and len(arg.split()) <= 2:
            if not all(keep):
                continue
            get, *setter = arg.split()
            for c in letters:
                out += [f"{indent}@property", f"{indent}def {c}(self) -> {get}: ..."]
                if setter:
                    out += [f"{indent}@{c}.setter",
                            f"{indent}def {c}(self, value: {setter[0]}) -> None: ..."]
        else:
            raise StubError(f"misplaced or malformed marker: {line.strip()}")
    if keep:
        raise StubError("`# stubgen: if` without `# stubgen: end`")
    return out


def generate(module, source):
    lines = source.read_text().splitlines()
    if lines and lines[0].strip() == "# stubgen: template":
        lines = fill_template(module, lines)
    out, cls = [], None
    for line in lines:
        c = CLASS.match(line)
        if c:
            cls = c.group(1)
        m = MARKER.match(line)
        if not m:
            out.append(line)
        elif m.group(2) == "swizzles" and cls and m.group(1):
            out += swizzles(module, cls, lines, m.group(1))
        elif m.group(2) == "members" and cls and m.group(1) and not m.group(3):
            out += enum_members(module, cls, m.group(1))
        elif m.group(2) == "palette" and m.group(3):
            out += palette(source.parent / m.group(3), m.group(1))
        else:
            raise StubError(f"{source}: unknown or misplaced marker: {line.strip()}")
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    module, source, output = argv[1], Path(argv[2]), Path(argv[3])
    try:
        text = generate(module, source)
    except StubError as e:
        sys.exit(f"gen_stubs: {e}")
    tmp = output.with_suffix(".pyi.tmp")
    tmp.write_text(text)
    tmp.replace(output)


if __name__ == "__main__":
    main(sys.argv)
