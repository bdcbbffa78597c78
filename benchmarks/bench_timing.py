"""Interleaved timing: the sides of a comparison take turns over many rounds.

A machine shared with other work speeds up and slows down over seconds, so
timing one side for a while and then the other compares two different
machines. Here every side runs one short calibrated batch per round, in a
shuffled order (bench_worker.py runs the rounds), and a comparison is
summarised by the median of its per-round ratios: a slow patch hits both
sides of the same round alike. This module prepares and times one side
(Timed) and summarises samples (Summary).
"""
import gc
import math
import re
import statistics
import time
import timeit


class C:
    """A side timed by a C loop in _tarvex_bench: `func(*args, number)`
    returns nanoseconds per operation. `args` is the argument list as
    Python source, evaluated in the case's namespace."""

    def __init__(self, func, args="", label=None):
        self.func, self.args = func, args
        self.label = label or f"{func}({args})"

    def __repr__(self):
        return f"C({self.func!r}, {self.args!r})"


_NAME = re.compile(r"[A-Za-z_]\w*")


# The clock of every batch. The thread's CPU time leaves out the time the
# process spends descheduled while other programs run, which on a shared
# machine is most of the noise; "wall" (perf_counter) is there to compare.
CLOCKS = {"cpu": time.thread_time, "wall": time.perf_counter}


class Timed:
    """One prepared side: `run(number)` returns nanoseconds per operation."""

    def __init__(self, code, ns, clock="cpu"):
        self.code = code
        now = CLOCKS[clock]
        if isinstance(code, C):
            bench = ns.get("bench")
            if bench is None:
                raise RuntimeError("_tarvex_bench is not importable")
            func = getattr(bench, code.func)
            args = eval(f"({code.args},)", ns) if code.args else ()

            def run(number):
                # The C loop times itself by the wall clock; the batch is
                # timed here instead, by the same clock as the other sides.
                gc.disable()
                try:
                    t0 = now()
                    func(*args, number)
                    return (now() - t0) / number * 1e9
                finally:
                    gc.enable()

            self.run = run
        else:
            # The case's names become locals of the timing function, as with
            # timeit's own setup: a local load costs the same on every side,
            # a global one would add a dict lookup to each.
            names = sorted({n for n in _NAME.findall(code) if n in ns and not n.startswith("__")})
            setup = "\n".join(f"{n} = _ns[{n!r}]" for n in names) or "pass"
            timer = timeit.Timer(code, setup, timer=now, globals={"_ns": ns})
            self.run = lambda number: timer.timeit(number) / number * 1e9

    def check(self):
        """Run once, so a broken statement fails before any timing."""
        self.run(1)

    def calibrate(self, target_s):
        """Loop count for a batch of about target_s seconds."""
        number = 1
        while True:
            ns = self.run(number)
            elapsed = ns * number * 1e-9
            if elapsed >= target_s / 8 or number >= 10**8:
                break
            number *= 4 if elapsed < target_s / 64 else 2
        return max(1, int(round(number * target_s / max(elapsed, 1e-9))))


class Summary:
    """Median and quartiles of a sample."""

    def __init__(self, values):
        self.values = list(values)
        self.median = statistics.median(self.values)
        if len(self.values) >= 2:
            q = statistics.quantiles(self.values, n=4, method="inclusive")
            self.q1, self.q3 = q[0], q[2]
        else:
            self.q1 = self.q3 = self.median

    def median_interval(self):
        """About 95 % confidence interval of the median, from the order
        statistics (no assumption on the distribution)."""
        v = sorted(self.values)
        n = len(v)
        half = 0.98 * math.sqrt(n)  # 1.96 standard deviations of Binomial(n, 1/2)
        lo, hi = max(0, math.floor(n / 2 - half)), min(n - 1, math.ceil(n / 2 + half) - 1)
        return v[lo], v[hi]


def ratio_summary(ours, ref):
    """Summary of the per-round ratios ours/ref (two equally long lists)."""
    return Summary(a / b for a, b in zip(ours, ref))
