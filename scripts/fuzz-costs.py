#!/usr/bin/env python3
"""Where fuzzing time goes: the inputs a second and the mean cost of an
input, per setup, of both fuzz targets.

    python3 scripts/fuzz-costs.py [--seconds N] [--target draw|config] [--setup SUBSTRING]

Needs the fuzz build (cmake --preset fuzz && cmake --build --preset fuzz).
Each target runs as scripts/fuzz.sh runs it (the stored inputs of a setup
back to back, then generated inputs with the time shared over the driver
families), in one process pinned to one core, and times every input in
processor time (FUZZ_COSTS), so other work on the machine disturbs the
figures little.

By default only the stored inputs run (seeds and regressions): per setup,
the mean cost of an input on a screen kept from the input before and of one
that brought up a screen first (the draw target's start-up; the config
target brings up a board for every input). With --seconds N the target also
generates inputs for N seconds, as a new user's run does, and the table
shows every input that ran.

A setup's rate is the inputs a second it gets (one over its mean cost); the
mix's rate is every input over the processor time of the whole process,
libFuzzer's own work and the start included. A setup below a quarter of the
mix's rate is marked "slow". Last, with --seconds, the goals: fuzz_draw at
least 200 inputs a second and fuzz_config at least 500 over the mix, and no
setup slow.
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GOALS = {"draw": 200, "config": 500}


def measure(target, seconds):
    """Per setup: (inputs, seconds, start-ups, their seconds); and the
    inputs run and the processor seconds of the whole process."""
    binary = os.path.join(ROOT, "build", "fuzz", "fuzz", "fuzz_" + target)
    if not os.path.exists(binary):
        raise SystemExit("no %s: build the fuzz preset first" % binary)
    with tempfile.TemporaryDirectory() as scratch:
        costs = os.path.join(scratch, "costs")
        env = dict(os.environ, FUZZ_COSTS=costs)
        core = str(min(os.sched_getaffinity(0)))
        limits = ["-runs=0"] if seconds == 0 else ["-max_total_time=%d" % seconds, "-seed=1"]
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        proc = subprocess.run(["taskset", "-c", core, "bash", os.path.join(ROOT, "scripts", "fuzz.sh"),
                               target, os.path.join(scratch, "new")] + limits,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if proc.returncode != 0:
            sys.stderr.write(proc.stderr.decode(errors="replace")[-3000:])
            raise SystemExit("fuzz_%s failed" % target)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        rows = {}
        with open(costs) as f:
            for line in f:
                setup, inputs, secs, starts, start_secs = line.split()
                rows[setup] = (int(inputs), float(secs), int(starts), float(start_secs))
    return rows, cpu


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--target", choices=("draw", "config"), action="append")
    p.add_argument("--seconds", type=int, default=0,
                   help="generate inputs for this long after the stored ones")
    p.add_argument("--setup", default="", help="only setups whose name holds this")
    args = p.parse_args()
    met = True
    for target in args.target or ("draw", "config"):
        rows, cpu = measure(target, args.seconds)
        count = sum(r[0] for s, r in rows.items())
        mix = count / cpu if cpu > 0 else 0
        shown = [(r[1] / r[0], s, r) for s, r in rows.items()
                 if args.setup in s and s != "-" and r[0] > 0]
        what = "stored inputs" if args.seconds == 0 else \
            "inputs (stored, then %d s generated)" % args.seconds
        print("fuzz_%s: %d %s on %d setups" % (target, count, what, len(shown)))
        print("  %-28s %7s %9s %9s %7s %11s" %
              ("setup", "inputs", "ms/input", "inputs/s", "starts", "ms/start-up"))
        slow = 0
        for cost, setup, (n, secs, starts, start_secs) in sorted(shown, reverse=True):
            rate = 1 / cost if cost > 0 else float("inf")
            mark = ""
            if rate < mix / 4:
                mark = "  slow"
                slow += 1
            print("  %-28s %7d %9.2f %9.0f %7d %11s%s" %
                  (setup, n, cost * 1000, rate, starts,
                   "%.2f" % (1000 * start_secs / starts) if starts else "-", mark))
        print("fuzz_%s: the mix: %.0f inputs/s (%d inputs in %.1f processor seconds);"
              " goal %d; %d setup(s) below a quarter of it"
              % (target, mix, count, cpu, GOALS[target], slow))
        met = met and mix >= GOALS[target] and slow == 0
    if args.seconds == 0:
        print("goals: measured on a run that generates inputs (--seconds 60, say); the stored"
              " inputs alone weigh the process's start too heavily")
    else:
        print("goals %s" % ("met" if met else "NOT met"))


if __name__ == "__main__":
    main()
