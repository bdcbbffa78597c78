"""Completes a module's hand-written type stub with the members that repeat.

    gen_stubs.py MODULE SOURCE.pyi OUTPUT.pyi

Copies SOURCE to OUTPUT, replacing each marker line:

    # stubgen: swizzles
        inside a class body: one read-only property per swizzle of that class,
        read from the built type's own descriptors (the table the C++ makes),
        so MODULE must be importable. Every descriptor the source does not
        declare must be a swizzle, so a new property cannot go unnoticed.
    # stubgen: palette HEADER
        one read/write property per colour of the X-macro palette in HEADER
        (a path relative to SOURCE), the table the module is built from.
"""

import importlib
import keyword
import re
import sys
from pathlib import Path

MARKER = re.compile(r"^(\s*)# stubgen: (\w+)(?: (\S+))?\s*$")
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


def generate(module, source):
    lines = source.read_text().splitlines()
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
