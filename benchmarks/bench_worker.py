"""Worker processes that hold the prepared cases and time them on request.

Each worker is a fresh interpreter, with its own memory layout and string
hash seed. A process can be lucky or unlucky with where its objects and
code land (a few percent, now and then 20 % on one case), so the rounds of
a case are spread over several workers and no single process decides a
median. --against also needs them: two builds of the package cannot live
in one process.

Protocol: one JSON object per line each way. The worker first sends
{"tarvex": dir, "cases": {id: {"sides": [...], "left out": {...}, "error": str}}},
then answers each request (see serve()).
"""
import json
import os
import random
import subprocess
import sys

from bench_cases import base_namespace, ref_label, vector2_memory
from bench_timing import Timed


def prepare(case, base, clock, tarvex_only):
    """The timed sides of a case: tarvex first, then each reference that
    runs. Returns (sides, labels, left_out, error)."""
    try:
        ns = case.namespace(base)
        sides = [Timed(case.tarvex, ns, clock)]
        sides[0].check()
    except Exception as e:
        return [], [], {}, f"{type(e).__name__}: {e}"
    labels, left_out = [["tarvex", "tarvex"]], {}
    for key, kind, code in ([] if tarvex_only else case.refs):
        label = ref_label(kind, code)
        try:
            side = Timed(code, ns, clock)
            side.check()
        except Exception as e:
            left_out[label] = f"{type(e).__name__}: {e}"
            continue
        sides.append(side)
        labels.append([key, label])
    return sides, labels, left_out, None


def serve(cases, clock, tarvex_only, cpu):
    out = os.fdopen(os.dup(1), "w", buffering=1)
    os.dup2(2, 1)  # whatever else is printed goes to stderr
    if cpu is not None:
        os.sched_setaffinity(0, {cpu})
    base = base_namespace()
    prepared, hello = {}, {}
    for case in cases:
        sides, labels, left_out, error = prepare(case, base, clock, tarvex_only)
        prepared[case.id] = sides
        hello[case.id] = {"sides": labels, "left out": left_out, "error": error}
    import tarvex
    out.write(json.dumps({"tarvex": os.path.dirname(tarvex.__file__), "cases": hello}) + "\n")
    for line in sys.stdin:
        msg = json.loads(line)
        op = msg["op"]
        if op == "quit":
            break
        sides = prepared.get(msg.get("id"))
        if op == "calibrate":  # loop counts for batches of about `target` s
            reply = [s.calibrate(msg["target"]) for s in sides]
        elif op == "warm":  # one untimed batch of each side
            reply = [s.run(n) for s, n in zip(sides, msg["numbers"])]
        elif op == "round":  # one batch of each side, in a shuffled order
            order = list(range(len(sides)))
            random.Random(msg["seed"]).shuffle(order)
            reply = [0.0] * len(sides)
            for i in order:
                reply[i] = sides[i].run(msg["numbers"][i])
        elif op == "memory":
            reply = vector2_memory(msg["count"], refs=msg["refs"])
        else:
            raise ValueError(f"unknown request {op!r}")
        out.write(json.dumps(reply) + "\n")


class Worker:
    """The main process's end of one worker."""

    def __init__(self, name, run_py, pythonpath, options, hash_seed=None):
        env = dict(os.environ, PYTHONPATH=pythonpath)
        if hash_seed is not None:
            env["PYTHONHASHSEED"] = str(hash_seed)
        self.name = name
        self.proc = subprocess.Popen([sys.executable, str(run_py), "--worker", *options],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env,
                                     text=True, bufsize=1)

    def start(self):
        """Wait for the worker to be ready; returns its greeting."""
        self.hello = self._read()
        return self.hello

    def _read(self):
        line = self.proc.stdout.readline()
        if not line:
            raise SystemExit(f"the {self.name} worker stopped (exit {self.proc.wait()})")
        return json.loads(line)

    def ask(self, **msg):
        self.proc.stdin.write(json.dumps(msg) + "\n")
        return self._read()

    def close(self):
        try:
            self.proc.stdin.write('{"op": "quit"}\n')
            self.proc.stdin.close()
        except OSError:
            pass
        self.proc.wait()
