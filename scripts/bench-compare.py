#!/usr/bin/env python3
"""Runs two builds of the engine benchmark in turn and compares their medians.

usage: bench-compare.py OLD_BENCH NEW_BENCH [--rounds N] [--cpu C] [--filter REGEX]

Each round runs the old program, then the new one (the order swaps every
round), pinned to one core; the figure is the real-time factor from CPU time,
so time lost to other processes on a shared machine counts less. Prints per
case the median of each side, their ratio and the spread (the largest and
smallest round of each side relative to its median), which is the noise.
"""
import argparse
import json
import statistics
import subprocess


def run(binary, cpu, regex, min_time):
    out = subprocess.run(["taskset", "-c", str(cpu), binary, f"--benchmark_filter={regex}",
                          f"--benchmark_min_time={min_time}", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    return {b["name"]: b["rtf"] for b in json.loads(out)["benchmarks"]}


def spread(values, median):
    return f"{100 * (min(values) / median - 1):+.0f}..{100 * (max(values) / median - 1):+.0f} %"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--cpu", type=int, default=1)
    ap.add_argument("--filter", default=".")
    ap.add_argument("--min-time", default="0.3")
    args = ap.parse_args()

    results = {"old": {}, "new": {}}
    for r in range(args.rounds):
        order = [("old", args.old), ("new", args.new)]
        for side, binary in order if r % 2 == 0 else reversed(order):
            for name, rtf in run(binary, args.cpu, args.filter, args.min_time).items():
                results[side].setdefault(name, []).append(rtf)

    print(f"{'case':32} {'old rtf':>9} {'new rtf':>9} {'new/old':>8}   spread old, new")
    for name, old in results["old"].items():
        new = results["new"].get(name)
        if not new:
            continue
        mo, mn = statistics.median(old), statistics.median(new)
        print(f"{name:32} {mo:9.1f} {mn:9.1f} {mn / mo:8.2f}   {spread(old, mo)}, {spread(new, mn)}")


if __name__ == "__main__":
    main()
