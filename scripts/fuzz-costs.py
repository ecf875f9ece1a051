#!/usr/bin/env python3
"""Where fuzzing time goes: the mean cost of an input, per setup, of both
fuzz targets, measured on the stored inputs (seeds and regressions).

    python3 scripts/fuzz-costs.py [--target draw|config] [--setup SUBSTRING]

Needs the fuzz build (cmake --preset fuzz && cmake --build --preset fuzz).
Each target replays its stored inputs once, in one process pinned to one
core (as a fuzzing run gives each target a core), and times every input
(FUZZ_COSTS): a setup's cost is the mean over its inputs, including the
screen each new setup brings up, as fuzzing meets it. Prints one line per
setup, dearest first, then each target's mean over its whole mix of stored
inputs; a setup below a quarter of its target's mean rate is marked "slow".
Other work on the machine slows every figure: measure on an idle one.
"""
import argparse
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def measure(target):
    """Inputs and seconds per setup over the target's stored inputs."""
    binary = os.path.join(ROOT, "build", "fuzz", "fuzz", "fuzz_" + target)
    if not os.path.exists(binary):
        raise SystemExit("no %s: build the fuzz preset first" % binary)
    dirs = [os.path.join(ROOT, "fuzz", d, target) for d in ("corpus", "regressions")]
    with tempfile.TemporaryDirectory() as scratch:
        costs = os.path.join(scratch, "costs")
        env = dict(os.environ, FUZZ_COSTS=costs)
        core = str(min(os.sched_getaffinity(0)))
        proc = subprocess.run(["taskset", "-c", core, binary, "-runs=0", "-detect_leaks=0",
                               "-max_len=1024"] + [d for d in dirs if os.path.isdir(d)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        if proc.returncode != 0:
            sys.stderr.write(proc.stderr.decode(errors="replace")[-3000:])
            raise SystemExit("fuzz_%s failed on the stored inputs" % target)
        rows = {}
        with open(costs) as f:
            for line in f:
                setup, inputs, seconds = line.split()
                rows[setup] = (int(inputs), float(seconds))
    return rows


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--target", choices=("draw", "config"), action="append")
    p.add_argument("--setup", default="", help="only setups whose name holds this")
    args = p.parse_args()
    for target in args.target or ("draw", "config"):
        rows = [(seconds / n, setup, n, seconds)
                for setup, (n, seconds) in measure(target).items()
                if args.setup in setup and setup != "-"]
        if not rows:
            continue
        count = sum(r[2] for r in rows)
        total = sum(r[3] for r in rows)
        mean_rate = count / total
        print("fuzz_%s: %d stored inputs on %d setups" % (target, count, len(rows)))
        print("  %-28s %7s %10s %9s" % ("setup", "inputs", "ms/input", "inputs/s"))
        for cost, setup, n, _ in sorted(rows, reverse=True):
            rate = 1 / cost
            mark = "  slow" if rate < mean_rate / 4 else ""
            print("  %-28s %7d %10.2f %9.0f%s" % (setup, n, cost * 1000, rate, mark))
        print("fuzz_%s: mean over the mix: %.0f inputs/s (%.2f ms an input)"
              % (target, mean_rate, 1000 / mean_rate))


if __name__ == "__main__":
    main()
