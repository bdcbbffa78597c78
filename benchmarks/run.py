"""tarvex benchmark suite.

Every case compares tarvex with its references (plain Python, pygame, PyGLM,
C floors). The sides of a case take turns over many rounds: each round runs
one short calibrated batch of every side in a shuffled order, in one of a
few worker processes (rounds rotate between them), and a comparison is
summarised by the median of its per-round ratios and their middle half. The
cases are listed in bench_cases.py, which says how to add one; the
game-loop kernels are in bench_kernels.py, the timing in bench_timing.py.

A whole run writes benchmarks/results/table.txt and results/ratios.png; a
run filtered with -k only prints.

--against DIR compares this build with an older one instead: the tarvex side
of every case runs in workers importing this build and in workers importing
the package in DIR (a pkg/ directory, or a directory holding pkg/ and
benchlib/; the older _tarvex_bench comes from that benchlib/), interleaved
the same way, and the table gives the medians of the per-round ratios
now/before. It prints only.
"""
import argparse
import os
import pathlib
import platform
import random
import sys
import textwrap
import time
import warnings

os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
warnings.simplefilter("ignore")

from bench_cases import CASES  # noqa: E402
from bench_report import Ref, Row, chart, fmt_rows  # noqa: E402
from bench_timing import Summary, ratio_summary  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
RESULTS = HERE / "results"
SLOWER = 1.05  # --against: a case slower than this (now/before) is marked


def selected(pattern):
    return [c for c in CASES if not pattern or pattern in c.id]


def progress(rows, **heads):
    """The last row on stderr as it is measured (its group when new)."""
    lines = fmt_rows(rows[-1:], **heads)[2:]
    if len(rows) > 1 and rows[-2].group == rows[-1].group:
        lines = lines[1:]
    print("\n".join(lines), file=sys.stderr, flush=True)


def versions():
    parts = [f"CPython {platform.python_version()}"]
    try:
        import pygame
        parts.append(f"pygame {pygame.version.ver}")
    except ImportError:
        parts.append("no pygame")
    try:
        import glm
        parts.append(f"PyGLM {glm.__version__}")
    except ImportError:
        parts.append("no PyGLM")
    return ", ".join(parts)


def method_text(args, what, procs, more=""):
    clock = ("the thread's CPU time (time spent descheduled is left out)" if args.clock == "cpu"
             else "the wall clock")
    text = (f"How it was measured: {what} take turns over {args.rounds} rounds per case, the rounds "
            f"rotating over {procs}; in each round every side runs one "
            f"batch calibrated to about {args.batch * 1e3:g} ms (a kernel: at least one whole step), "
            f"in a shuffled order, with the garbage collector off, timed by {clock}. Times are "
            "medians over the rounds of each side's time per call; 'ratio' is the median of the "
            "per-round ratios and 'middle half' their interquartile range (q1-q3). " + more)
    return textwrap.wrap(text, 100)


def start_workers(specs):
    """Start every worker at once (their imports overlap), then wait."""
    from bench_worker import Worker

    workers = [Worker(*args) for args in specs]
    for w in workers:
        w.start()
    return workers


def worker_options(args, tarvex_only):
    opts = ["--clock", args.clock]
    opts += ["-k", args.k] if args.k else []
    opts += ["--tarvex-only"] if tarvex_only else []
    opts += ["--cpu", str(args.cpu)] if args.cpu is not None else []
    return opts


def timed_rounds(case_id, lanes, args, rng, shared=False):
    """Calibrate in the first lane, warm the others, then run the rounds,
    rotating over the lanes. A lane is a list of workers, each holding some
    sides of the case; within a round the lane's workers go in a shuffled
    order. With `shared`, every worker uses the first one's loop counts.
    Returns one list of per-round times per side (in lane order)."""
    numbers = [w.ask(op="calibrate", id=case_id, target=args.batch) for w in lanes[0]]
    if shared:
        numbers = [numbers[0]] * len(numbers)
    for lane in lanes:
        for w, n in zip(lane, numbers):
            w.ask(op="warm", id=case_id, numbers=n)
    times = None
    for r in range(args.rounds):
        lane = lanes[r % len(lanes)]
        order = list(range(len(lane)))
        rng.shuffle(order)
        got = [None] * len(lane)
        for i in order:
            got[i] = lane[i].ask(op="round", id=case_id, numbers=numbers[i], seed=rng.getrandbits(32))
        flat = [t for part in got for t in part]
        times = times or [[] for _ in flat]
        for acc, t in zip(times, flat):
            acc.append(t)
    return times


def run_suite(args):
    t0 = time.monotonic()
    load = os.getloadavg()[0]
    rng = random.Random(args.seed)
    cases = selected(args.k)
    if any(c.group == "Game loop" for c in cases):
        from bench_cases import base_namespace
        from bench_kernels import verify
        pairs = verify(base_namespace())
        print(f"kernels agree (broadphase: {pairs} overlapping pairs)", file=sys.stderr)
    opts = worker_options(args, tarvex_only=False)
    workers = start_workers((f"worker {i}", __file__, os.environ.get("PYTHONPATH", ""), opts)
                            for i in range(args.workers))
    rows = []
    try:
        for case in cases:
            info = workers[0].hello["cases"][case.id]
            if info["error"]:
                raise SystemExit(f"case {case.id!r}: the tarvex side fails: {info['error']}")
            for label, why in info["left out"].items():
                print(f"  (left out {case.id!r} vs {label}: {why})", file=sys.stderr)
            times = timed_rounds(case.id, [[w] for w in workers], args, rng)
            rows.append(Row(case.group, case.label, Summary(times[0]),
                            [Ref(key, label, Summary(t), ratio_summary(times[0], t), case.goal.get(key))
                             for (key, label), t in zip(info["sides"][1:], times[1:])]))
            progress(rows)
        if not args.k:
            m = workers[0].ask(op="memory", count=args.memory_count, refs=True)
            rows += memory_rows(m, args.memory_count)
    finally:
        for w in workers:
            w.close()
    head = [f"tarvex benchmarks ({versions()}; {os.cpu_count()} CPUs,",
            f"load average {load:.2f} when the run began; the run took {time.monotonic() - t0:.0f} s).",
            *method_text(args, "the sides of each case (tarvex and every reference)",
                         f"{args.workers} fresh worker processes",
                         "A goal is met when the median ratio is at or under it; '(?)' marks a goal "
                         "inside the 95 % confidence interval of that median. Memory rows are exact counts."), ""]
    table = "\n".join(head + fmt_rows(rows))
    print("\n" + table)
    if not args.k:  # a partial run leaves the recorded results alone
        RESULTS.mkdir(exist_ok=True)
        (RESULTS / "table.txt").write_text(table + "\n")
        png = chart(rows, RESULTS / "ratios.png",
                    f"tarvex against plain Python, pygame and PyGLM ({args.rounds} interleaved rounds per case)")
        print(f"\ntable: {RESULTS / 'table.txt'}" + (f"\nchart: {png}" if png else ""))
    print(f"whole run: {time.monotonic() - t0:.1f} s")


def memory_rows(m, count):
    return [Row("memory", f"bytes per Vector2 (tracemalloc, {count:,})", m["traced"],
                [Ref(label, label, v, m["traced"] / v) for label, v in m["traced refs"]], unit="B"),
            Row("memory", "sys.getsizeof(Vector2)", m["getsizeof"],
                [Ref(label, label, v, m["getsizeof"] / v) for label, v in m["getsizeof refs"]], unit="B"),
            *[Row("memory", f"bytes per {name} element (tracemalloc, {count:,})", v,
                  [Ref("list", listed_label, listed, v / listed)], unit="B")
              for name, v, listed, listed_label in m.get("arrays", [])]]


# -- comparison with an older build ----------------------------------------

def old_paths(where):
    p = pathlib.Path(where)
    if not p.is_absolute() and not p.exists():
        p = HERE.parent / p
    p = p.resolve()
    if (p / "tarvex").is_dir():
        return p, p.parent / "benchlib"
    if (p / "pkg" / "tarvex").is_dir():
        return p / "pkg", p / "benchlib"
    raise SystemExit(f"--against {where}: no tarvex package there (nor in its pkg/)")


def idlest_cpu(span=0.25):
    """The CPU of this process's set that was idle longest over `span` s."""
    cpus = os.sched_getaffinity(0)

    def idle():
        with open("/proc/stat") as f:
            return {int(p[0][3:]): int(p[4]) + int(p[5]) for p in (line.split() for line in f)
                    if p[0].startswith("cpu") and p[0][3:].isdigit()}

    try:
        a = idle()
        time.sleep(span)
        b = idle()
        return max(cpus, key=lambda c: b.get(c, 0) - a.get(c, 0))
    except (OSError, ValueError, IndexError):
        return max(cpus)


def run_against(args):
    t0 = time.monotonic()
    load = os.getloadavg()[0]
    pkg, benchlib = old_paths(args.against)
    old_path = f"{pkg}:{benchlib}" if benchlib.is_dir() else str(pkg)
    # All workers on one CPU: a process that the scheduler keeps waking on the
    # busier CPU would otherwise look slower for seconds at a time.
    if args.cpu is None:
        args.cpu = idlest_cpu()
    opts = worker_options(args, tarvex_only=True)
    new_path = os.environ.get("PYTHONPATH", "")
    # A lane is one worker of each build sharing a string hash seed, which
    # decides dict layouts and attribute-cache collisions.
    specs = []
    for i in range(args.workers):
        specs.append((f"current {i}", __file__, new_path, opts, args.seed + i))
        specs.append((f"older {i}", __file__, old_path, opts, args.seed + i))
    workers = start_workers(specs)
    lanes = [workers[i:i + 2] for i in range(0, len(workers), 2)]
    new, old = lanes[0]
    if new.hello["tarvex"] == old.hello["tarvex"]:
        raise SystemExit(f"both builds import the same package: {new.hello['tarvex']}")
    rng = random.Random(args.seed)
    rows = []
    try:
        for case in selected(args.k):
            missing = [(w.name.split()[0], w.hello["cases"][case.id]["error"]) for w in (new, old)
                       if w.hello["cases"][case.id]["error"]]
            if missing:
                rows.append(Row(case.group, case.label, float("nan"), [],
                                note="; ".join(f"not in the {n} build ({e})" for n, e in missing)))
                print(f"  {case.id}: {rows[-1].note}", file=sys.stderr)
                continue
            now, before = timed_rounds(case.id, lanes, args, rng, shared=True)
            rows.append(Row(case.group, case.label, Summary(now),
                            [Ref("before", "before", Summary(before), ratio_summary(now, before), SLOWER)]))
            progress(rows, ours_head="now", ratio_head="now/before")
        if not args.k:
            mn = new.ask(op="memory", count=args.memory_count, refs=False)
            mo = old.ask(op="memory", count=args.memory_count, refs=False)
            for key, label in (("traced", f"bytes per Vector2 (tracemalloc, {args.memory_count:,})"),
                               ("getsizeof", "sys.getsizeof(Vector2)")):
                rows.append(Row("memory", label, mn[key],
                                [Ref("before", "before", mo[key], mn[key] / mo[key], SLOWER)], unit="B"))
    finally:
        for w in workers:
            w.close()
    slow = [r.label for r in rows for ref in r.refs if getattr(ref.ratio, "median", ref.ratio) > SLOWER]
    head = [f"tarvex now against before ({versions()}; {os.cpu_count()} CPUs,",
            f"load average {load:.2f} when the run began; the run took {time.monotonic() - t0:.0f} s).",
            f"now:    {new.hello['tarvex']}",
            f"before: {old.hello['tarvex']}"
            + ("" if benchlib.is_dir() else " (no benchlib/ beside it: no C-level cases)"),
            *method_text(args, "the two builds",
                         f"{args.workers} lanes of fresh worker processes (one of each build per lane, "
                         f"sharing a string hash seed; all on CPU {args.cpu})",
                         f"The goal: no case more than {SLOWER:.2f}x its time before; '(?)' marks a goal inside "
                         "the 95 % confidence interval of the median."), ""]
    print("\n" + "\n".join(head + fmt_rows(rows, ours_head="now", ref_head="",
                                            ratio_head="now/before")))
    print(f"\n{len(slow)} case(s) over {SLOWER:.2f}x" + (": " + ", ".join(slow) if slow else ""))
    print(f"whole run: {time.monotonic() - t0:.1f} s")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--rounds", type=int, default=48, help="rounds per case (default 48)")
    ap.add_argument("--batch", type=float, default=0.002, help="seconds per batch (default 0.002)")
    ap.add_argument("--workers", type=int, default=4,
                    help="worker processes (with --against: per build) the rounds rotate over (default 4)")
    ap.add_argument("--clock", choices=("cpu", "wall"), default="cpu",
                    help="time batches by the thread's CPU time (default) or the wall clock")
    ap.add_argument("--memory-count", type=int, default=1_000_000)
    ap.add_argument("--seed", type=int, default=0, help="seed of the shuffled orders")
    ap.add_argument("-k", help="only cases whose 'group: label' contains this text; nothing is written")
    ap.add_argument("--against", metavar="DIR", help="compare this build with the older package in DIR")
    ap.add_argument("--cpu", type=int, help="the CPU the workers run on (default: any; with --against, "
                    "all on the idlest when the run begins)")
    ap.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    ap.add_argument("--tarvex-only", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.worker:
        from bench_worker import serve
        serve(selected(args.k), args.clock, args.tarvex_only, args.cpu)
    elif args.against:
        run_against(args)
    else:
        run_suite(args)


if __name__ == "__main__":
    main()
