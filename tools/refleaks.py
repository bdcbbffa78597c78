"""pytest plugin: reference and memory block leak hunting on a debug
interpreter, in the manner of CPython's own `-R` runs.

With `--refleaks=WARMUPS:RUNS` every test is run WARMUPS + RUNS times in
silence (setup, call and teardown; function-scoped fixtures are made afresh
each time), then once more as usual. After each silent run the garbage
collector and the interpreter's caches are cleared and
`sys.gettotalrefcount()` and `sys.getallocatedblocks()` are read. The
warm-up runs fill caches; if every one of the measured runs then adds at
least one reference, or at least one memory block, the test fails with the
deltas (a lone or alternating delta is the noise CPython's runner ignores
too).

Not repeated: tests that fail, skip or error on their first run (they are
reported by the usual run), tests that start a child process (a subprocess,
fork or exec: their work happens in another interpreter, whose leaks this
process cannot see, and repeating them would only cost time), hypothesis
property tests (the engine grows its own caches on every run; the code they
drive is repeated by the example-based tests), and tests marked
`refleaks_exempt(reason)`.

Compared by memory blocks only: tests that call into an extension module
built for the release interpreter (Pillow and numpy, as Debian ships them).
Such a module's reference counting never reaches the debug interpreter's
total, so every reference it takes or drops on an object that the
interpreter counts shows up as a false delta; memory blocks are counted by
the allocator and stay exact. Only a test whose references alone grew is
run once more to look for such calls (with a profile hook: slow).

The terminal summary says how many tests were handled each way.
"""
import functools
import gc
import importlib.machinery
import linecache
import re
import struct
import sys

import pytest
from _pytest.runner import runtestprotocol

_CHILD_EVENTS = frozenset({"subprocess.Popen", "os.posix_spawn", "os.system", "os.fork",
                           "os.forkpty", "os.exec", "os.spawn"})
_LEAK = pytest.StashKey[str]()


class _Hunter:
    def __init__(self, warmups, runs):
        self.warmups, self.runs = warmups, runs
        self.spawned = False
        self.repeated = 0
        self.once = {"child process": [], "failed, skipped or errored": [],
                     "hypothesis property test": [], "marked refleaks_exempt": []}
        self.blocks_only = []
        self.foreign = False
        self._release_built = {}
        # Reading the counters must not allocate: deltas come from a pool of
        # integers made up front, as in CPython's runner.
        self.pool = {v: v for v in range(-1000, 1000)}
        sys.addaudithook(self._audit)

    def _audit(self, event, args):
        if event in _CHILD_EVENTS:
            self.spawned = True

    def _is_release_built(self, module):
        """Whether the package of `module` (a module name) has extension
        modules built for the release interpreter."""
        top = module.partition(".")[0]
        known = self._release_built.get(top)
        if known is None:
            debug_suffix = importlib.machinery.EXTENSION_SUFFIXES[0]
            known = False
            for name, mod in list(sys.modules.items()):
                if name == top or name.startswith(top + "."):
                    f = getattr(mod, "__file__", None) or ""
                    if f.endswith(".so") and not f.endswith(debug_suffix):
                        known = True
                        break
            self._release_built[top] = known
        return known

    def _profile(self, frame, event, arg):
        if event != "c_call":
            return
        module = getattr(arg, "__module__", None)
        if not isinstance(module, str):
            module = type(getattr(arg, "__self__", None)).__module__
        if self._is_release_built(module):
            self.foreign = True
            sys.setprofile(None)

    def _pooled(self, v):
        return self.pool.setdefault(v, v)

    @staticmethod
    def _prune_finalizers(item):
        """pytest registers, each time a fixture is made, a call of its
        finish() with every longer-lived fixture it requests (tmp_path with
        tmp_path_factory, say). Those calls of fixtures already torn down
        would only run the post-finalizer hook again; dropping them after a
        silent run keeps that growth of pytest's out of the counts."""
        info = getattr(item, "_fixtureinfo", None)
        for defs in getattr(info, "name2fixturedefs", {}).values():
            for fixturedef in defs:
                fins = getattr(fixturedef, "_finalizers", None)
                if fins:
                    fins[:] = [f for f in fins if not (
                        isinstance(f, functools.partial)
                        and getattr(f.func, "__name__", None) == "finish"
                        and getattr(f.func, "__self__", None) is not None
                        and f.func.__self__.cached_result is None)]

    @staticmethod
    def _cleanup():
        re.purge()
        struct._clearcache()
        linecache.clearcache()
        sys._clear_internal_caches()
        gc.collect()

    @staticmethod
    def _interned_immortal():
        try:
            return sys.getunicodeinternedsize(_only_immortal=True)
        except (AttributeError, TypeError):
            return 0

    def _counters(self):
        # Strings interned for good during a run are freed at shutdown only.
        return sys.gettotalrefcount(), sys.getallocatedblocks() - self._interned_immortal()

    def hunt(self, item):
        """Runs `item` silently WARMUPS + RUNS times; returns a leak report
        or None. The caller then runs it once more, reported."""
        if item.get_closest_marker("refleaks_exempt") is not None:
            self.once["marked refleaks_exempt"].append(item.nodeid)
            return None
        if getattr(getattr(item, "obj", None), "is_hypothesis_test", False):
            self.once["hypothesis property test"].append(item.nodeid)
            return None
        reps = self.warmups + self.runs
        rc_deltas, block_deltas = [0] * reps, [0] * reps
        sections = list(item._report_sections)
        keep = item.parent      # its fixtures stay; the item's are torn down each time
        self.spawned = False
        self._cleanup()
        # What exists now is not the test's: later collections skip it
        # (a full collection in the debug interpreter takes about 0.1 s).
        gc.freeze()
        rc_before, blocks_before = self._counters()
        for i in range(reps):
            reports = runtestprotocol(item, log=False, nextitem=keep)
            item._report_sections[:] = sections
            if self.spawned:
                self.once["child process"].append(item.nodeid)
                return None
            if not all(r.passed for r in reports):
                self.once["failed, skipped or errored"].append(item.nodeid)
                return None
            self._prune_finalizers(item)
            self._cleanup()
            rc_after, blocks_after = self._counters()
            rc_deltas[i] = self._pooled(rc_after - rc_before)
            block_deltas[i] = self._pooled(blocks_after - blocks_before)
            rc_before, blocks_before = rc_after, blocks_after
        self.repeated += 1
        leaks = {name: deltas for name, deltas in (("references", rc_deltas),
                                                   ("memory blocks", block_deltas))
                 if all(d >= 1 for d in deltas[self.warmups:])}
        if list(leaks) == ["references"] and self._calls_release_built(item, keep):
            # Only the references grew, and the test calls code whose
            # reference counting the interpreter cannot see.
            self.blocks_only.append(item.nodeid)
            return None
        return "\n".join(f"leaked {d[self.warmups:]} {name} (warm-ups: {d[:self.warmups]}), "
                         f"sum={sum(d[self.warmups:])}" for name, d in leaks.items()) or None

    def _calls_release_built(self, item, keep):
        """Runs `item` once more, silently, noting calls into extension
        modules built for the release interpreter."""
        sections = list(item._report_sections)
        self.foreign = False
        sys.setprofile(self._profile)
        try:
            runtestprotocol(item, log=False, nextitem=keep)
        finally:
            sys.setprofile(None)
            item._report_sections[:] = sections
        return self.foreign


def pytest_addoption(parser):
    parser.addoption("--refleaks", metavar="WARMUPS:RUNS", default=None,
                     help="repeat each test and fail on reference or memory block growth "
                          "(needs a debug interpreter)")


def pytest_configure(config):
    config.addinivalue_line("markers", "refleaks_exempt(reason): run once, unmeasured")
    counts = config.getoption("refleaks")
    if not counts:
        return
    if not hasattr(sys, "gettotalrefcount"):
        raise pytest.UsageError("--refleaks needs a debug interpreter (sys.gettotalrefcount)")
    warmups, runs = (int(n) for n in counts.split(":"))
    if runs < 1:
        raise pytest.UsageError("--refleaks needs at least one measured run")
    config.stash[_HUNTER] = _Hunter(warmups, runs)


_HUNTER = pytest.StashKey[_Hunter]()


@pytest.hookimpl(tryfirst=True)
def pytest_runtest_protocol(item, nextitem):
    hunter = item.config.stash.get(_HUNTER, None)
    if hunter is None:
        return None
    leak = hunter.hunt(item)
    if leak:
        item.stash[_LEAK] = leak
    return None     # the usual protocol runs the reported run


@pytest.hookimpl(wrapper=True)
def pytest_runtest_makereport(item, call):
    report = yield
    leak = item.stash.get(_LEAK, None)
    if leak and call.when == "call" and report.passed and item.config.stash.get(_HUNTER, None):
        # Only the reported run sees the mark: it is set after the silent runs.
        report.outcome = "failed"
        report.longrepr = f"{item.nodeid}: {leak}"
    return report


def pytest_terminal_summary(terminalreporter, config):
    hunter = config.stash.get(_HUNTER, None)
    if hunter is None:
        return
    tr = terminalreporter
    tr.section("refleaks")
    tr.write_line(f"{hunter.repeated} tests repeated {hunter.warmups}:{hunter.runs} "
                  "(warm-up:measured) with reference and memory block counts compared")
    if hunter.blocks_only:
        tr.write_line(f"{len(hunter.blocks_only)} of them compared by memory blocks only "
                      "(they call extension modules built for the release interpreter)")
        if config.getoption("verbose") > 0:
            for nodeid in hunter.blocks_only:
                tr.write_line(f"    {nodeid}")
    for why, ids in hunter.once.items():
        if ids:
            tr.write_line(f"{len(ids)} run once ({why})")
            if config.getoption("verbose") > 0:
                for nodeid in ids:
                    tr.write_line(f"    {nodeid}")
