"""tarvex benchmark suite: every case timed side by side in one process.

Prints a table of nanoseconds per operation (best of several repeats) with
the ratio to each reference on the same row, writes it to
benchmarks/results/table.txt and draws the ratios as a bar chart beside it.
"""
import argparse
import gc
import math
import os
import pathlib
import sys
import timeit
import tracemalloc

os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
import warnings  # noqa: E402

warnings.simplefilter("ignore")

try:
    import pygame  # noqa: F401
    from pygame.math import Vector2 as PgVector2, Vector3 as PgVector3
    from pygame import Rect as PgRect
except ImportError:  # pragma: no cover - pygame is part of the root
    PgVector2 = PgVector3 = PgRect = None

from tarvex.vector2.vector2 import Vector2
from tarvex.vector3.vector3 import Vector3
from tarvex.vector4.vector4 import Vector4


from tarvex.color.color import Color
from tarvex.image.image import Image
from tarvex.rect.rect import Rect

import _tarvex_bench as bench

ROOT = pathlib.Path(__file__).resolve().parent
RESULTS = ROOT / "results"

NS = dict(
    Vector2=Vector2, Vector3=Vector3, Vector4=Vector4, Rect=Rect, Image=Image, Color=Color,
    PgVector2=PgVector2, PgVector3=PgVector3, PgRect=PgRect,
    x=1.5, y=2.5, z=3.5, t=4.5, xy=(1.5, 2.5),
    c1=complex(1.5, 2.5), c2=complex(3.5, 4.5),
)
SETUP = """
v = Vector2(1.5, 2.5); w = Vector2(3.5, 4.5)
v3 = Vector3(1.5, 2.5, 3.5); w3 = Vector3(4.5, 5.5, 6.5)
v4 = Vector4(1.5, 2.5, 3.5, 4.5); w4 = Vector4(5.5, 6.5, 7.5, 8.5)
if PgVector2 is not None:
    pv = PgVector2(1.5, 2.5); pw = PgVector2(3.5, 4.5)
    pv3 = PgVector3(1.5, 2.5, 3.5); pw3 = PgVector3(4.5, 5.5, 6.5)
r = Rect(0, 0, 10, 10); r2 = Rect(5, 5, 10, 10); p = Vector2(5, 5)
if PgRect is not None:
    pr = PgRect(0, 0, 10, 10); pr2 = PgRect(5, 5, 10, 10)
col = Color(10, 20, 30, 255)
img = Image.generate_with_color(256, 256, col)
n_bytes = 256 * 256 * 4
"""


def time_stmt(stmt, repeat, target):
    """Best time per execution of stmt, in ns."""
    timer = timeit.Timer(stmt, SETUP, globals=NS)
    number, elapsed = 1, 0.0
    while True:  # calibrate to about `target` seconds per repeat
        elapsed = timer.timeit(number)
        if elapsed >= target / 4 or number >= 10**8:
            break
        number *= 4
    number = max(1, int(number * target / max(elapsed, 1e-9)))
    gc.disable()
    try:
        best = min(timer.repeat(repeat, number)) / number
    finally:
        gc.enable()
    return best * 1e9


def native(func, *args, repeat=5, n=200_000):
    return min(func(*args, n) for _ in range(repeat))


class Row:
    def __init__(self, group, label, ours, refs):
        self.group, self.label, self.ours, self.refs = group, label, ours, refs


def python_cases():
    """(group, label, stmt, [(ref label, ref stmt or None)])"""
    pg = PgVector2 is not None
    cases = [
        ("Vector2", "Vector2(x, y)", "Vector2(x, y)", [("slice(x, y)", "slice(x, y)"), ("pygame Vector2(x, y)", "PgVector2(x, y)" if pg else None)]),
        ("Vector2", "Vector2((x, y))", "Vector2(xy)", [("slice(x, y)", "slice(x, y)"), ("pygame Vector2((x, y))", "PgVector2(xy)" if pg else None)]),
        ("Vector2", "Vector2.from_xy(x, y)", "Vector2.from_xy(x, y)", [("slice(x, y)", "slice(x, y)"), ("pygame Vector2(x, y)", "PgVector2(x, y)" if pg else None)]),
        ("Vector2", "v + w", "v + w", [("c1 + c2", "c1 + c2"), ("pygame v + w", "pv + pw" if pg else None)]),
        ("Vector2", "v * 2.0", "v * 2.0", [("c1 * 2.0", "c1 * 2.0"), ("pygame v * 2.0", "pv * 2.0" if pg else None)]),
        ("Vector2", "v // 2", "v // 2", [("pygame v // 2", "pv // 2" if pg else None)]),
        ("Vector2", "-v", "-v", [("-c1", "-c1"), ("pygame -v", "-pv" if pg else None)]),
        ("Vector2", "v.x", "v.x", [("c1.real", "c1.real"), ("pygame v.x", "pv.x" if pg else None)]),
        ("Vector2", "v.length", "v.length", [("abs(c1)", "abs(c1)"), ("pygame v.length()", "pv.length()" if pg else None)]),
        ("Vector2", "v.get_normalized()", "v.get_normalized()", [("pygame v.normalize()", "pv.normalize()" if pg else None)]),
        ("Vector2", "v.dot(w)", "v.dot(w)", [("pygame v.dot(w)", "pv.dot(pw)" if pg else None)]),
        ("Vector2", "v.xy", "v.xy", [("pygame v.xy", "pv.xy" if pg else None)]),
        ("Vector2", "v == w", "v == w", [("c1 == c2", "c1 == c2"), ("pygame v == w", "pv == pw" if pg else None)]),
        ("Vector2", "hash(v)", "hash(v)", [("hash(c1)", "hash(c1)")]),
        ("Vector3", "Vector3(x, y, z)", "Vector3(x, y, z)", [("slice(x, y, z)", "slice(x, y, z)"), ("pygame Vector3(x, y, z)", "PgVector3(x, y, z)" if pg else None)]),
        ("Vector3", "v3 + w3", "v3 + w3", [("c1 + c2", "c1 + c2"), ("pygame v + w", "pv3 + pw3" if pg else None)]),
        ("Vector3", "v3 * 2.0", "v3 * 2.0", [("c1 * 2.0", "c1 * 2.0"), ("pygame v * 2.0", "pv3 * 2.0" if pg else None)]),
        ("Vector3", "v3.x", "v3.x", [("c1.real", "c1.real"), ("pygame v.x", "pv3.x" if pg else None)]),
        ("Vector3", "v3.length", "v3.length", [("pygame v.length()", "pv3.length()" if pg else None)]),
        ("Vector3", "v3.cross(w3)", "v3.cross(w3)", [("pygame v.cross(w)", "pv3.cross(pw3)" if pg else None)]),
        ("Vector4", "Vector4(x, y, z, t)", "Vector4(x, y, z, t)", [("slice(x, y, z)", "slice(x, y, z)")]),
        ("Vector4", "v4 + w4", "v4 + w4", [("c1 + c2", "c1 + c2")]),
        ("Vector4", "v4 * 2.0", "v4 * 2.0", [("c1 * 2.0", "c1 * 2.0")]),
        ("Vector4", "v4.x", "v4.x", [("c1.real", "c1.real")]),
        ("Vector4", "v4.length", "v4.length", [("abs(c1)", "abs(c1)")]),
        ("Vector4", "v4.wzyx", "v4.wzyx", []),
    ]
    pgr = PgRect is not None
    cases += [
        ("Rect", "Rect(0, 0, 10, 10)", "Rect(0, 0, 10, 10)", [("pygame Rect(0, 0, 10, 10)", "PgRect(0, 0, 10, 10)" if pgr else None)]),
        ("Rect", "Rect((0, 0), (10, 10))", "Rect((0, 0), (10, 10))", [("pygame Rect((0, 0), (10, 10))", "PgRect((0, 0), (10, 10))" if pgr else None)]),
        ("Rect", "r.collide_rect(r2)", "r.collide_rect(r2)", [("pygame colliderect", "pr.colliderect(pr2)" if pgr else None)]),
        ("Rect", "r.collide_rect_rect(r2)", "r.collide_rect_rect(r2)", [("pygame colliderect", "pr.colliderect(pr2)" if pgr else None)]),
        ("Rect", "r.collide_point((5, 5))", "r.collide_point((5, 5))", [("pygame collidepoint((5, 5))", "pr.collidepoint((5, 5))" if pgr else None)]),
        ("Rect", "r.collide_point(v)", "r.collide_point(p)", [("pygame collidepoint((5, 5))", "pr.collidepoint((5, 5))" if pgr else None)]),
        ("Rect", "r.center", "r.center", [("pygame center", "pr.center" if pgr else None)]),
    ]
    cases.append(("Image", "img.data_view", "img.data_view", [("memoryview(bytearray(n))", "memoryview(bytearray(n_bytes))")]))
    return cases


def native_rows():
    rows = []
    floor = native(bench.argparse_ff, (1.5, 2.5))
    rows.append(Row("C level", "Vector2 table new", native(bench.vector2_new), [("PyArg_ParseTuple (ff)", floor)]))
    for label, obj in [("tuple", (1.5, 2.5)), ("Vector2", Vector2(1.5, 2.5)), ("list", [1.5, 2.5])]:
        rows.append(Row("C level", f"parse_vector2_like({label})", native(bench.parse_vector2, obj),
                        [("PyArg_ParseTuple (ff)", floor)]))
    rows.append(Row("C level", "Rect table collide_rect_rect",
                    native(bench.rect_collide_rect_rect, Rect(0, 0, 10, 10), Rect(5, 5, 10, 10)), []))
    bare = native(bench.gen_image_color, 256, 256, repeat=5, n=300)
    ours = time_stmt("Image.generate_with_color(256, 256, col)", 5, 0.05)
    rows.append(Row("Image", "Image.generate_with_color(256, 256, c)", ours,
                    [("raylib GenImageColor + UnloadImage", bare)]))
    return rows


def memory_rows(count):
    rows = []

    def traced(make):
        gc.collect()
        tracemalloc.start()
        objs = [make(i) for i in range(count)]
        size = tracemalloc.get_traced_memory()[0]
        tracemalloc.stop()
        del objs
        return size

    lst = traced(lambda i: None)
    ours = traced(lambda i: Vector2(i, 2.0)) - lst
    refs = [("tuple (x, y)", traced(lambda i: (float(i), 2.0)) - lst)]
    if PgVector2 is not None:
        refs.append(("pygame Vector2", traced(lambda i: PgVector2(i, 2.0)) - lst))
    rows.append(Row("memory", f"bytes per Vector2 (tracemalloc, {count:,})", ours / count,
                    [(label, size / count) for label, size in refs]))
    refs = [("tuple (x, y)", sys.getsizeof((1.5, 2.5)))]
    if PgVector2 is not None:
        refs.append(("pygame Vector2", sys.getsizeof(PgVector2(1, 2))))
    rows.append(Row("memory", "sys.getsizeof(Vector2)", sys.getsizeof(Vector2(1, 2)), refs))
    return rows


def fmt_table(rows, unit_of):
    lines = []
    header = f"{'case':<44} {'ours':>10}  reference: value (ours / reference)"
    lines.append(header)
    lines.append("-" * len(header))
    group = None
    for row in rows:
        if row.group != group:
            group = row.group
            lines.append(f"[{group}]")
        unit = unit_of(row)
        refs = "; ".join(f"{label}: {val:.1f}{unit} ({row.ours / val:.2f}x)" for label, val in row.refs if val)
        lines.append(f"  {row.label:<42} {row.ours:>8.1f}{unit}  {refs}")
    return "\n".join(lines)


def chart(rows, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return None
    labels, ratios, colors = [], [], []
    for row in rows:
        for label, val in row.refs:
            if val:
                labels.append(f"{row.label}  vs  {label}")
                ratios.append(row.ours / val)
                colors.append("tab:green" if row.ours <= val else "tab:red")
    fig, ax = plt.subplots(figsize=(11, max(4, 0.28 * len(labels))))
    ax.barh(range(len(labels)), ratios, color=colors)
    ax.set_yticks(range(len(labels)), labels, fontsize=7)
    ax.invert_yaxis()
    ax.axvline(1.0, color="black", linewidth=0.8)
    ax.set_xlabel("tarvex time (or bytes) / reference  — below 1 is better")
    ax.set_title("tarvex against the interpreter's floor and pygame")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)
    return path


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--repeat", type=int, default=7)
    ap.add_argument("--target", type=float, default=0.02, help="seconds per repeat")
    ap.add_argument("--memory-count", type=int, default=1_000_000)
    ap.add_argument("-k", help="only cases whose label contains this text")
    args = ap.parse_args()

    rows = []
    for group, label, stmt, refs in python_cases():
        if args.k and args.k not in label:
            continue
        ours = time_stmt(stmt, args.repeat, args.target)
        measured = [(rl, time_stmt(rs, args.repeat, args.target)) for rl, rs in refs if rs]
        rows.append(Row(group, label, ours, measured))
    if not args.k:
        rows += native_rows()
        rows += memory_rows(args.memory_count)
    table = fmt_table(rows, lambda r: " B" if r.group == "memory" else "ns")
    print(table)
    if args.k:  # a partial run leaves the recorded results alone
        return
    RESULTS.mkdir(exist_ok=True)
    (RESULTS / "table.txt").write_text(table + "\n")
    png = chart(rows, RESULTS / "ratios.png")
    print(f"\ntable: {RESULTS / 'table.txt'}")
    if png:
        print(f"chart: {png}")


if __name__ == "__main__":
    main()
